// acctreset: see acctreset.h.
#include "acctreset.h"

int main(int argc, char** argv) { return AcctResetMain(argc, argv); }
