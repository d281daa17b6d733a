// wezdsdbreader.exe: the simulation-database reader that the library starts (DsdbReaderRun.h).
#include "DsdbReaderRun.h"
#include "ToolInterrupt.h"

#include <cstdio>

int main(int argc, char **argv) {
  ToolInterrupt_catch();
  return DsdbReaderRun_main(argc, argv, stdout);
}
