// Whether a database is new is what its open did, never what a look before it saw: a look that
// cannot tell refuses, saying why, and a database put under the name between a look and the open
// is found and keeps what it holds.
#include "ObjectTestSupport.h"

#include "Database.h"
#include "zyrFault.h"
#include "zyrTestChild.h"

#include <cerrno>
#include <cstring>

namespace {

class ExistenceTest : public objecttest::ObjectStoreTest {
protected:
  // A database holding the thing "put" of the count; with a version text, of that release.
  void make(const std::string &name, int32_t count, const char *version = nullptr) {
    Repository *repository = Repository_new(name.c_str());
    ASSERT_NE(repository, nullptr);
    objecttest::TestThing *thing = objecttest::Thing_new();
    objecttest::Thing_setLabel(thing, "put");
    objecttest::Thing_setCount(thing, count);
    Repository_commit(repository);
    Repository_close(repository, -1);
    if (version != nullptr) {
      Database *database = Database_new(name.c_str());
      Database_setString(database, 0, nullptr, "Version", version);
      Database_delete(database);
    }
  }
  // The count of the thing "put" (-1: none could be read).
  int32_t countOf(const std::string &name) {
    Repository *repository = Repository_new(name.c_str());
    objecttest::TestThing *thing = repository != nullptr ? objecttest::thingLabelled(repository, "put") : nullptr;
    const int32_t count = thing != nullptr ? thing->m_count : -1;
    Repository_close(repository, -1);
    return count;
  }
  // The key of the primary model the open takes ("" when none).
  std::string modelOf(const std::string &name) {
    Repository *repository = Repository_new(name.c_str());
    void *model = repository != nullptr ? Repository_getPrimaryModel(repository) : nullptr;
    const std::string key = model != nullptr ? objecttest::keyOf(model) : "";
    Repository_close(repository, -1);
    return key;
  }
  std::unique_ptr<zyrtest::ChildProcess> driver(const std::string &pauseAt) {
    return std::make_unique<zyrtest::ChildProcess>(std::string(ZYR_TEST_HELPER_DIR) + "/store_driver",
                                                   std::vector<std::string>{},
                                                   std::vector<std::pair<std::string, const char *>>{}, m_dir,
                                                   pauseAt);
  }
};

TEST_F(ExistenceTest, ALookThatCannotTellNeverMakesADatabaseNewAndRefusesWithWhy) {
  make(file("s.zyr"), 7);
  const std::string model = modelOf(file("s.zyr"));
  ASSERT_EQ(zyrFault_arm("look@1+", "s.zyr"), 1);
  // What would make, replace or read a file by the look is refused.
  int upgraded = 0;
  EXPECT_EQ(zyrDatabaseUpgrade(file("s.zyr").c_str(), nullptr, &upgraded), 0);
  Repository *other = Repository_new(file("t.zyr").c_str());
  ASSERT_NE(other, nullptr);
  void *imported = nullptr;
  EXPECT_EQ(Repository_importModel(other, file("s").c_str(), &imported), 0);
  EXPECT_EQ(Repository_copyDatabase(other, file("s.zyr").c_str(), 0, -1), 0);
  zyrFault_disarm();
  Repository_close(other, -1);
  const std::string told = "Whether the file\n\n" + file("s.zyr") + "\n\nexists cannot be told (stat: " +
                           std::strerror(EIO) + ").\n";
  EXPECT_EQ(takeErrors(), (std::vector<std::string>{"10007: " + told, "10031: " + told, "10005: " + told}));
  EXPECT_EQ(modelOf(file("s.zyr")), model);
  EXPECT_EQ(countOf(file("s.zyr")), 7);
}

// Held after the look at a free name and before its open, an opener meets a database put there: it
// works on that database as found. One that may work only on the current release refuses one of an
// older release, and leaves it as it was.
TEST_F(ExistenceTest, ADatabasePutUnderTheNameBeforeTheOpenIsFoundAsItIs) {
  for (const bool older : {false, true}) {
    SCOPED_TRACE(older ? "older release" : "current release");
    const std::string name = older ? "old.zyr" : "s.zyr";
    std::unique_ptr<zyrtest::ChildProcess> opener = driver("repository.before-open@1");
    ASSERT_TRUE(opener->send("open " + name + (older ? " 1" : "")));
    ASSERT_EQ(opener->waitPause(), "repository.before-open");
    make(file(name), 7, older ? "5.0 (2003.03.27-23.59)" : nullptr);
    const std::string bytes = zyrtest::readFile(file(name));
    opener->release();
    if (older) {
      EXPECT_EQ(opener->readLine(), "fail 0 10003");
      EXPECT_EQ(zyrtest::readFile(file(name)), bytes);
    } else {
      EXPECT_EQ(opener->readLine(), "ok 2");
      EXPECT_EQ(opener->ask("things"), "ok put=7");
      EXPECT_EQ(opener->ask("close -1"), "ok 1");
    }
    EXPECT_EQ(opener->ask("exit"), "");
    EXPECT_EQ(countOf(file(name)), 7);
    EXPECT_EQ(takeErrors(), std::vector<std::string>{});
  }
}

// A copy to a new name that another program takes after the copy's look refuses as for a name
// taken from the start, and the other database keeps its bytes.
TEST_F(ExistenceTest, ACopysNewNameTakenAfterItsLookKeepsWhatWasPutThere) {
  std::unique_ptr<zyrtest::ChildProcess> copier = driver("copy.looked");
  ASSERT_EQ(copier->ask("open a.zyr"), "ok 1");
  ASSERT_TRUE(copier->send("copy new.zyr"));
  ASSERT_EQ(copier->waitPause(), "copy.looked");
  make(file("new.zyr"), 5);
  const std::string bytes = zyrtest::readFile(file("new.zyr"));
  copier->release();
  EXPECT_EQ(copier->readLine(), "fail 0 10005");
  EXPECT_EQ(copier->ask("close -1"), "ok 1");
  EXPECT_EQ(zyrtest::readFile(file("new.zyr")), bytes);
  EXPECT_EQ(countOf(file("new.zyr")), 5);
}

} // namespace
