#ifndef ZYR_STORE_TEST_SUPPORT_H
#define ZYR_STORE_TEST_SUPPORT_H
// Shared by the object-store tests: a fixture with a scratch directory (removed at the end), the
// error manager emptied before and after, and the environment variables that change what the
// store writes unset.
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <memory>

#include <string>
#include <utility>
#include <vector>

struct Database;
struct zyrError;
struct zyrUUID;

namespace storetest {

class StoreTest : public testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;
  std::string path(const std::string &name) const { return m_dir + "/" + name; }
  const std::string &dir() const { return m_dir; }
  // The names in the scratch directory, sorted.
  std::vector<std::string> listing() const;
  // The newest published error, or NULL.
  static zyrError *lastError();
  static int32_t errorCount();

private:
  std::unique_ptr<zyrtest::ScratchDir> m_scratch;
  std::unique_ptr<zyrtest::EnvGuard> m_format;
  std::unique_ptr<zyrtest::EnvGuard> m_version;
  std::string m_dir;
};

// A store test with the database "model.zyr" of the scratch directory open, and an object whose
// values it keeps.
class DatabaseTestBase : public StoreTest {
protected:
  void SetUp() override;
  void TearDown() override;
  // Closes the database and opens it again.
  void reopen();
  // The object's key (the Base64 text of its UUID).
  std::string key() const;
  std::string m_name;
  Database *m_database = nullptr;
  zyrUUID *m_object = nullptr;
};

using zyrtest::readFile;
using zyrtest::writeFile;

// A data-set file's bytes with the stored index's entry of the `n`-th data set (from 0) whose entry
// begins with `key` (what, or what ESC where) made to claim one byte more than its frame holds:
// the frame no longer stands as the index says, the data set itself intact.
std::string lengthenEntry(std::string bytes, const std::string &key, int n = 0);

// The same with that entry's what, or what ESC where, `key` replaced by `renamed` of the same
// length: the entry names another data set than its frame, which is whole.
std::string renameEntry(std::string bytes, const std::string &key, const std::string &renamed, int n = 0);

// Makes the data-set file `name` holding one integer data set of each (what, value), where EVERY,
// when 0, in this order (a what given twice is written twice); true when every write took.
bool writeIntDataSets(const std::string &name, const std::vector<std::pair<std::string, int32_t>> &values);

// Damages the data set of [name, key, when] of a closed database file: the end tag after its data
// ("*ENDDATASET") reads "*ENDDATASAT". Its frame stays whole, so the file opens with the index it
// has and the damage shows when the data set is read. False when the stored index names no such
// data set.
bool damageEndTag(const std::string &file, const std::string &name, const std::string &key, int32_t when);

// Damages the data type that the header of [name, key, when] of a closed database file declares:
// it reads `type`, of the same length (as "JNTR" for "INTR"). False when the stored index names no
// such data set or its type is of another length.
bool damageDataType(const std::string &file, const std::string &name, const std::string &key, int32_t when,
                    const std::string &type);

} // namespace storetest

#endif
