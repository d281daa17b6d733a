// The diagnostic prints of the store's records, and the few store calls only tools and the
// command layer make: attributes through the database, a repository's state manager's owner,
// deleting a located data set.
#include "ObjectTestSupport.h"
#include "StoreTestSupport.h"

#include "Database.h"
#include "Dataset.h"
#include "DefFile.h"
#include "Repository.h"
#include "zyrCString.h"
#include "zyrStateManager.h"
#include "zyrUUID.h"
#include "zyrTestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

namespace {

using zyrtest::contains;
using zyrtest::printed;

class StorePrintTest : public storetest::StoreTest {};

TEST_F(StorePrintTest, DatabaseAttributesAndPrint) {
  Database *database = Database_new(path("model").c_str());
  ASSERT_NE(database, nullptr);
  zyrUUID *object = zyrUUID_new();
  const char *texts[2] = {"one", "two"};
  ASSERT_EQ(Database_setStrings(database, 1, object, "names", texts, 2), 1);
  ASSERT_EQ(Database_setInt(database, 1, object, "plain", 5), 1);

  int32_t count = -1;
  char **names = nullptr, **values = nullptr;
  ASSERT_EQ(Database_readAttributes(database, 1, object, "names", &count, &names, &values), 1);
  ASSERT_EQ(count, 1);
  EXPECT_STREQ(names[0], "t");
  EXPECT_STREQ(values[0], "s");
  zyrCStringArray_free(names, 1);
  zyrCStringArray_free(values, 1);
  // No version before the first state: nothing, and the outputs say so.
  EXPECT_EQ(Database_readAttributes(database, 0, object, "names", &count, &names, &values), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(names, nullptr);

  const std::string text = printed([&](FILE *f) { Database_print(database, f); });
  EXPECT_TRUE(contains(text, "Database: ")) << text;
  EXPECT_TRUE(contains(text, "m_fileName   = " + path("model.zyr") + "\n")) << text;
  EXPECT_TRUE(contains(text, "m_isModified = ")) << text;
  zyrUUID_delete(object);
  Database_delete(database);
}

TEST_F(StorePrintTest, DeletingTheLocatedDataSetLeavesTheOthers) {
  DefFile *file = DefFile_new(path("data.wez").c_str());
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(DefFile_writeInt(file, "A", "K", 1, 10), 1);
  ASSERT_EQ(DefFile_writeInt(file, "A", "K", 2, 20), 1);
  Dataset *dataset = file->m_dataset;
  ASSERT_EQ(Dataset_locate(dataset, "A", "K", 2), 1);
  EXPECT_EQ(Dataset_deleteDataset(dataset), 1);
  EXPECT_EQ(DefFile_exists(file, "A", "K", 2), 0);
  int32_t value = 0;
  ASSERT_EQ(DefFile_readInt(file, "A", "K", -2, &value), 1);
  EXPECT_EQ(value, 10);
  DefFile_delete(file);
}

class RepositoryPrintTest : public objecttest::ObjectStoreTest {};

TEST_F(RepositoryPrintTest, PrintShowsThePrimaryModelAndTheOwner) {
  objecttest::installTestTypes();
  Repository *repository = Repository_new(file("printed").c_str());
  ASSERT_NE(repository, nullptr);
  EXPECT_EQ(zyrStateManager_getOwner(Repository_getStateManager(repository)), repository);
  const std::string text = printed([&](FILE *f) { Repository_print(repository, f); });
  EXPECT_TRUE(contains(text, "Repository: ")) << text;
  EXPECT_TRUE(contains(text, Repository_getPrimaryModel(repository) != nullptr ? "m_primaryModel = " + objecttest::keyOf(Repository_getPrimaryModel(repository))
                                                                          : std::string("m_primaryModel = NOT SET")))
      << text;
  Repository_close(repository, -1);
}

} // namespace
