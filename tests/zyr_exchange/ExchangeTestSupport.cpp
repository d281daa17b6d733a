#include "ExchangeTestSupport.h"

#include "zyrError.h"
#include "zyrErrorManager.h"
#include "zyrMemory.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>

namespace zyrtest {

ScratchDir::ScratchDir() {
  const char *base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/zyr-exchange-XXXXXX";
  if (mkdtemp(&pattern[0]) == nullptr)
    ADD_FAILURE() << "no scratch directory";
  m_path = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(m_path, ignored);
}

std::string readFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeFile(const std::string &path, const std::string &contents) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << contents;
}

EnvGuard::EnvGuard(const char *name, const char *value) : m_name(name) {
  const char *old = std::getenv(name);
  m_had = old != nullptr;
  if (m_had)
    m_old = old;
  if (value != nullptr)
    setenv(name, value, 1);
  else
    unsetenv(name);
}

EnvGuard::~EnvGuard() {
  if (m_had)
    setenv(m_name.c_str(), m_old.c_str(), 1);
  else
    unsetenv(m_name.c_str());
}

void PrintTo(const RaisedError &error, std::ostream *stream) {
  *stream << "{" << error.code << ", \"" << testing::PrintToString(error.message) << "\"}";
}

namespace {

std::vector<RaisedError> &publishedList() {
  static std::vector<RaisedError> list;
  return list;
}

int recordPublished(zyrError *error) {
  publishedList().push_back({zyrError_getCode(error), zyrError_getMessage(error) ? zyrError_getMessage(error) : ""});
  return 0;
}

} // namespace

void ErrorCapture::SetUp() {
  zyrErrorManager_clearErrors(zyrErrorManager_get());
  publishedList().clear();
  zyrErrorManager_setErrorHandler(zyrErrorManager_get(), recordPublished, nullptr);
}

void ErrorCapture::TearDown() {
  zyrErrorManager_setErrorHandler(zyrErrorManager_get(), nullptr, nullptr);
  zyrErrorManager_clearErrors(zyrErrorManager_get());
  publishedList().clear();
}

std::vector<RaisedError> ErrorCapture::held() {
  int32_t count = 0;
  zyrError **errors = nullptr;
  zyrErrorManager_getErrors(zyrErrorManager_get(), &count, &errors);
  std::vector<RaisedError> list;
  for (int32_t i = 0; i < count; ++i)
    list.push_back({zyrError_getCode(errors[i]), zyrError_getMessage(errors[i]) ? zyrError_getMessage(errors[i]) : ""});
  zyrMemory_free(errors, "ErrorCapture::held");
  return list;
}

const std::vector<RaisedError> &ErrorCapture::published() { return publishedList(); }

std::string toolsDir() {
  std::string helpers = ZYR_TEST_HELPER_DIR;
  return helpers.substr(0, helpers.rfind('/')) + "/tools";
}

} // namespace zyrtest
