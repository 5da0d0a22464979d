#include "viewer/main_forms.h"
int main(int argc, char **argv) { return strandel::RunViewer(argc, argv); }
