#include "StoreTestSupport.h"

#include "Database.h"
#include "DefFile.h"
#include "zyrTestDataSets.h"

#include "zyrError.h"
#include "zyrErrorManager.h"
#include "zyrUUID.h"

#include <cstdlib>

namespace storetest {

void StoreTest::SetUp() {
  m_scratch = std::make_unique<zyrtest::ScratchDir>("zyrstore");
  m_dir = m_scratch->path();
  m_format = std::make_unique<zyrtest::EnvGuard>("WEZ_FORMAT", nullptr);
  m_version = std::make_unique<zyrtest::EnvGuard>("ZYR_DEFFILE_VERSION", nullptr);
  zyrErrorManager_clearErrors(zyrErrorManager_get());
}

void StoreTest::TearDown() {
  zyrErrorManager_clearErrors(zyrErrorManager_get());
  m_version.reset();
  m_format.reset();
  m_scratch.reset();
}

void DatabaseTestBase::SetUp() {
  StoreTest::SetUp();
  m_name = path("model");
  m_database = Database_new(m_name.c_str());
  ASSERT_NE(m_database, nullptr);
  m_object = zyrUUID_new();
}

void DatabaseTestBase::TearDown() {
  Database_delete(m_database);
  zyrUUID_delete(m_object);
  StoreTest::TearDown();
}

std::string DatabaseTestBase::key() const {
  char text[ZYR_UUID_BASE64_SIZE];
  zyrUUID_toBase64(m_object, text);
  return text;
}

void DatabaseTestBase::reopen() {
  Database_delete(m_database);
  m_database = Database_new(m_name.c_str());
  ASSERT_NE(m_database, nullptr);
}

bool damageEndTag(const std::string &file, const std::string &name, const std::string &key, int32_t when) {
  std::string bytes = readFile(file);
  if (!zyrtest::breakEndTag(bytes, name, key, when))
    return false;
  writeFile(file, bytes);
  return true;
}

bool damageDataType(const std::string &file, const std::string &name, const std::string &key, int32_t when,
                    const std::string &type) {
  std::string bytes = readFile(file);
  if (!zyrtest::replaceDataType(bytes, name, key, when, type))
    return false;
  writeFile(file, bytes);
  return true;
}

std::vector<std::string> StoreTest::listing() const { return m_scratch->listing(); }

zyrError *StoreTest::lastError() { return zyrError_getLast(); }

int32_t StoreTest::errorCount() {
  int32_t count = 0;
  zyrErrorManager_getNoOfErrors(zyrErrorManager_get(), &count);
  return count;
}

bool writeIntDataSets(const std::string &name, const std::vector<std::pair<std::string, int32_t>> &values) {
  DefFile *file = DefFile_new(name.c_str());
  if (file == nullptr) return false;
  bool written = true;
  for (const auto &[what, value] : values) written = DefFile_writeInt(file, what.c_str(), "EVERY", 0, value) == 1 && written;
  DefFile_delete(file);
  return written;
}

std::string lengthenEntry(std::string bytes, const std::string &key, int n) {
  const std::string esc(1, '\x1b');
  size_t at = bytes.rfind("*INDEX\n");
  for (int i = 0; i <= n; ++i) at = bytes.find("\nY" + esc + key + esc, at + 1);
  // status, what, where, when, length, position
  size_t length = at + 1;
  for (int field = 0; field < 4; ++field) length = bytes.find(esc, length) + 1;
  const size_t end = bytes.find(esc, length);
  const std::string longer = std::to_string(std::stoll(bytes.substr(length, end - length)) + 1);
  EXPECT_EQ(longer.size(), end - length) << "a length whose digits grow would move the index";
  return bytes.replace(length, end - length, longer);
}

std::string renameEntry(std::string bytes, const std::string &key, const std::string &renamed, int n) {
  EXPECT_EQ(renamed.size(), key.size()) << "a name whose length changes would move the index";
  const std::string esc(1, '\x1b');
  size_t at = bytes.rfind("*INDEX\n");
  for (int i = 0; i <= n; ++i) at = bytes.find("\nY" + esc + key + esc, at + 1);
  return bytes.replace(at + 3, key.size(), renamed);
}

} // namespace storetest
