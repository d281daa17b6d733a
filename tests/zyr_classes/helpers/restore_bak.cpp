// restore_bak BACKUP
//
// Puts the backups of BACKUP's database and definition file back through
// qiv::ZYRAPI::restoreBakFiles, then writes "restored <name>" (the name the call hands back) and a
// line "warned <method> <text>" for each warning that reached the host, or "threw <method> <code>
// <text>", texts with their line ends written as "|": a test holds it at a pause point on the way,
// and changes the files meanwhile or kills it there. The point "restore_bak.returned", as the call
// has returned and before anything is written, lets a test give back what it took from the
// process for the call (its descriptors).
//
// Exit status 0 after a restore, 1 when it threw, 2 on wrong usage.
#include "ErrorProgressReporter.h"
#include "ZYRAPI.h"
#include "zyrPause.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>

namespace {

std::string oneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', '|');
  return text;
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: restore_bak BACKUP\n");
    return 2;
  }
  std::string name = argv[1];
  try {
    qiv::ZYRAPI::instance().restoreBakFiles(name);
    zyrPause_point("restore_bak.returned");
  } catch (const qiv::Error &e) {
    std::cout << "threw " << e.getMethod() << " " << e.getCode() << " " << oneLine(e.getText()) << std::endl;
    return 1;
  }
  std::cout << "restored " << name << std::endl;
  for (const qiv::ErrorMsg &warning : qiv::ErrorProgressReporter::instance().takeReports())
    std::cout << "warned " << warning.getMethod() << " " << oneLine(warning.getMessage()) << std::endl;
  return 0;
}
