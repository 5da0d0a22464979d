#pragma once
namespace strandel { int RunViewer(int argc, char **argv); }
