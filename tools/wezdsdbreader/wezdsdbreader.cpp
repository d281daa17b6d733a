// wezdsdbreader.exe: the simulation-database reader that the library starts (DsdbReaderRun.h).
#include "DsdbReaderRun.h"

#include <cstdio>

int main(int argc, char **argv) { return DsdbReaderRun_main(argc, argv, stdout); }
