#include "ErrorTestSupport.h"

#include "zyrCString.h"
#include "zyrLibrary.h"
#include "zyrSystem.h"

namespace zyrtest {

void ErrorTest::SetUp() {
  m_manager = zyrErrorManager_get();
  zyrErrorManager_clearErrors(m_manager);
}

void ErrorTest::TearDown() {
  for (int32_t handle : m_handles)
    zyrErrorManager_removeDisplay(m_manager, handle);
  zyrErrorManager_setErrorHandler(m_manager, nullptr, nullptr);
  for (int32_t &level : m_manager->m_errorLevel)
    level = 3;
  zyrErrorManager_clearErrors(m_manager);
  zyrLibrary_clearProgramName();
}

int32_t ErrorTest::addCallback(int32_t format, ErrorDisplayCallback callback) {
  int32_t handle = -1;
  EXPECT_EQ(zyrErrorManager_addCallbackDisplay(m_manager, format, callback, &handle), 1);
  m_handles.push_back(handle);
  return handle;
}

int32_t ErrorTest::addStream(int32_t format, FILE *stream) {
  int32_t handle = -1;
  EXPECT_EQ(zyrErrorManager_addStreamDisplay(m_manager, format, stream, &handle), 1);
  m_handles.push_back(handle);
  return handle;
}

std::string replaceAll(std::string text, const std::string &from, const std::string &to) {
  if (from.empty())
    return text;
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

std::string mask(const std::string &text, const zyrError *error) {
  std::string out = text;
  auto swap = [&out](char *value, const char *name) {
    if (value != nullptr)
      out = replaceAll(out, value, name);
    zyrCString_free(value);
  };
  out = replaceAll(out, "id=\"" + std::to_string(zyrError_getIdentity(error)) + "\"", "id=\"@ID@\"");
  swap(zyrCString_clone(zyrError_getDate(error)), "@DATE@");
  swap(zyrCString_clone(zyrError_getTime(error)), "@TIME@");
  swap(zyrGetCurrentDirectory(), "@DIR@");
  swap(zyrGetHostName(), "@HOST@");
  swap(zyrCString_clone(zyrGetBuildInfo(zyrBuildStamp)), "@STAMP@");
  swap(zyrCString_clone(zyrGetBuildInfo(zyrBuildRelease)), "@RELEASE@");
  return out;
}

} // namespace zyrtest
