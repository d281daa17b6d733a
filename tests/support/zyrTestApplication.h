#ifndef ZYR_TEST_APPLICATION_H
#define ZYR_TEST_APPLICATION_H
// The application's stored working directory for tests of the procedural interface and the layers
// above it. The directory is process-wide and, once stored, can never be unset: a test that stores
// one keeps this guard, so that no later test finds a scratch directory that has gone.
//
//   zyrtest::ApplicationDirectoryGuard keep;     // what is stored now comes back at the end
//   ASSERT_EQ(zyrApp_setWorkingDirectory(dir.path().c_str()), 1);
#include "zyrApplication.h"
#include "zyrCString.h"

namespace zyrtest {

class ApplicationDirectoryGuard {
public:
  ApplicationDirectoryGuard() : m_previous(zyrApplication_getWorkingDirectory()) {}
  // Back to the stored directory; when there was none, to the process's working directory (the
  // nearest to "none" that can be stored).
  ~ApplicationDirectoryGuard() {
    zyrApplication_setWorkingDirectory(m_previous != nullptr ? m_previous : ".");
    zyrCString_free(m_previous);
  }
  ApplicationDirectoryGuard(const ApplicationDirectoryGuard &) = delete;
  ApplicationDirectoryGuard &operator=(const ApplicationDirectoryGuard &) = delete;

private:
  char *m_previous;
};

} // namespace zyrtest

#endif
