// restore_bak BACKUP
//
// Puts the backups of BACKUP's database and definition file back through
// qiv::ZYRAPI::restoreBakFiles, then writes "restored <name>" (the name the call hands back), or
// "threw <method> <code> <text>" with the text's line ends written as "|": a test holds it at a
// pause point on the way, and changes the files meanwhile or kills it there.
//
// Exit status 0 after a restore, 1 when it threw, 2 on wrong usage.
#include "ZYRAPI.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: restore_bak BACKUP\n");
    return 2;
  }
  std::string name = argv[1];
  try {
    qiv::ZYRAPI::instance().restoreBakFiles(name);
  } catch (const qiv::Error &e) {
    std::string text = e.getText();
    std::replace(text.begin(), text.end(), '\n', '|');
    std::cout << "threw " << e.getMethod() << " " << e.getCode() << " " << text << std::endl;
    return 1;
  }
  std::cout << "restored " << name << std::endl;
  return 0;
}
