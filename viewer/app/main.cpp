#include "viewer/app/startup.h"

int main(int argc, char **argv) { return strandel::RunViewer(argc, argv); }
