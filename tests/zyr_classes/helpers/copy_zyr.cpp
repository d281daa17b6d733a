// copy_zyr DATABASE TARGET WORK
//
// Opens DATABASE through qiv::ZYRAPI and copies it to TARGET with copyZyr (WORK 1: working on the
// copy from then on), then writes "copied", or "threw <text>" when the copy threw, and waits for
// its standard input to end before it closes the database: a test looks at the files meanwhile,
// or kills it at a pause point on the way. WORK "new": the procedural interface's copy to a new
// name (zyrDatabase_copy), which writes "copied" or "failed".
//
// Exit status 0 after a copy, 1 when it threw or failed, 2 on wrong usage.
#include "ZYRAPI.h"
#include "zyrAPI.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

int main(int argc, char **argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: copy_zyr DATABASE TARGET WORK\n");
    return 2;
  }
  int status = 0;
  if (std::strcmp(argv[3], "new") == 0) {
    int32_t hd = -1, hm = -1;
    status = zyrDatabase_open(argv[1], &hd, &hm) == 1 && zyrDatabase_copy(hd, argv[2], 0, 0) == 1 ? 0 : 1;
    std::cout << (status == 0 ? "copied" : "failed") << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    zyrDatabase_closeAll(nullptr);
    return status;
  }
  qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
  try {
    api.openDB(argv[1], true);
    api.copyZyr(argv[2], std::strcmp(argv[3], "1") == 0, false);
    std::cout << "copied" << std::endl;
  } catch (const qiv::Error &e) {
    std::cout << "threw " << e.getText() << std::endl;
    status = 1;
  }
  std::string line;
  while (std::getline(std::cin, line)) {
  }
  zyrDatabase_closeAll(nullptr);
  return status;
}
