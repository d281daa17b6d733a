// Path resolution and the canonical form on arbitrary text: never a crash, the canonical form is
// a fixed point, and a resolved path is absolute.
#include "vsnHandle.h"
#include "vsnPath.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void check(bool ok) {
  if (!ok) abort();
}

vsnHandle* handle() {
  static vsnHandle* h = [] {
    vsnHandle* made = createVSNHandle();
    vsnCreateObject(made, "/FLOW", 0);
    vsnCreateObject(made, "/FLOW/DOMAIN:rotor", 0);
    vsnCreateParam(made, "/FLOW/DOMAIN:rotor/Location", "B1");
    return made;
  }();
  return h;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  std::string text(reinterpret_cast<const char*>(data), size);
  text = text.c_str();  // up to the first NUL, as a C string would be

  char* once = normalisePath(text.c_str());
  check(once != nullptr);
  char* twice = normalisePath(once);
  check(twice && strcmp(once, twice) == 0);
  free(once);
  free(twice);

  vsnHandle* h = handle();
  // From the root and from deeper in the tree.
  for (const char* current : {"/", "/FLOW/DOMAIN:rotor"}) {
    vsnChangePath(h, current);
    char* full = getFullPath(h, text.c_str());
    check(full && full[0] == '/');
    char* again = getFullPath(h, full);
    check(again && strcmp(full, again) == 0);
    char* parent = getParentPath(h, text.c_str());
    check(parent && parent[0] == '/' && strlen(parent) <= strlen(full));
    free(full);
    free(again);
    free(parent);
    vsnPathExists(h, text.c_str());
    getEntryType(h, text.c_str());
  }
  vsnChangePath(h, "/");
  return 0;
}
