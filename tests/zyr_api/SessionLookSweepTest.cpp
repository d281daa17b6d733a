// Every look of an ordinary session, at every database and temporary of its directory, finds
// nothing where a file stands (ENOENT), and every look of the open of an older database fails
// (EIO) as well: afterwards every database holds its whole model, as its assemblies and their cells
// tell, or the session refused with the database as it was. A look never makes a database new,
// empty or free: an upgrade's copy, a compaction's, a purge's, a copy's temporary and a new
// database are made new only by what their own opens made. (The sweeps of each kind of work, the
// copies, restores, upgrades and purges, fail every look with EIO as well, with a mark of the model
// to compare.)
#include "ApiTestSupport.h"
#include "DamageTestSupport.h"
#include "Database.h"
#include "zyrAPI.h"
#include "zyrFault.h"
#include "zyrLeftovers.h"
#include "zyrTestChild.h"
#include "zyrTestErrors.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace {

const char *const kOlder = "5.0 (2003.03.27-23.59)";
const std::string kMeshes = std::string(ZYR_SOURCE_DIR) + "/tests/data/meshes/";

// The model a database holds, as it exports it: each assembly with its cells ("none": no file,
// "unopened": it does not open). Read from a copy of the file in `scratch`, so that neither an
// upgrade nor a close changes the file itself. In a process of its own: it opens databases.
std::string readModel(const std::string &path, const std::string &scratch) {
  if (!zyrtest::fileExists(path))
    return "none";
  const std::string copy = scratch + "/read.zyr";
  std::remove(copy.c_str());
  zyrtest::writeFile(copy, zyrtest::readFile(path));
  int32_t hDatabase = -1, hModel = -1, n = 0;
  if (zyrDatabase_open(copy.c_str(), &hDatabase, &hModel) != 1)
    return "unopened";
  char **names = nullptr;
  std::string held;
  if (zyrModel_getAssemblies(hModel, &n, &names) == 1)
    for (const std::string &name : apitest::strings(n, names)) {
      int32_t vertices = 0, elements = 0, byType[8] = {0};
      zyrLocation_getMeshSize(hModel, name.c_str(), 0, 15, &vertices, &elements, byType);
      held += name + ":" + std::to_string(elements) + " ";
    }
  zyrDatabase_close(hDatabase, -1);
  std::remove(copy.c_str());
  return held;
}

std::string modelOf(const std::string &path) {
  const zyrtest::ScratchDir reading("zyrapi_model");
  return zyrtest::inChild([&] { return readModel(path, reading.path()); });
}

// Stamps the database as one of an older release.
void makeOlder(const std::string &path) {
  EXPECT_EQ(zyrtest::inChild([&] {
              Database *database = Database_new(path.c_str());
              if (database == nullptr)
                return std::string("not opened");
              Database_setString(database, 0, nullptr, "Version", kOlder);
              Database_delete(database);
              return std::string();
            }),
            "");
}

int32_t theDatabase = -1, theModel = -1;

bool opened(const char *name) { return zyrDatabase_open(name, &theDatabase, &theModel) == 1; }

bool imported(const std::string &mesh) {
  int32_t n = 0;
  char **names = nullptr;
  const int status = zyrModel_importMesh(theModel, "Msh", (kMeshes + mesh).c_str(), nullptr, nullptr, "m", 0, &n,
                                         &names);
  apitest::strings(n, names);
  return status == 1;
}

// One step of a session, and what each database of the directory may hold afterwards: the models
// a success leaves, and those a refusal may leave ("kept": its bytes as they were).
struct Session {
  const char *m_name;
  bool m_older;                     // the database m.zyr is of an older release
  bool m_other;                     // c.zyr holds another model
  bool m_failing;                   // each look also fails (EIO), besides finding nothing
  std::function<bool()> m_steps;    // in the session's directory; whether every step succeeded
  std::vector<std::string> m_files; // the databases left, sorted
};

// The sessions swept: between them they make every kind of file the library makes for moments
// (an upgrade's copy, a compaction's and a purge's, the import's intermediate file, a copy's new
// file beside a free name and beside another database) and a new database.
const std::vector<Session> &sessions() {
  static const std::vector<Session> all = {
      {"open an older database and close", true, false, true,
       [] { return opened("m.zyr") && zyrDatabase_close(theDatabase, 0) == 1; }, {"m.zyr"}},
      {"make a new database and purge", false, false, false,
       [] { return opened("n.zyr") && imported("box-hex.v2.msh") && zyrDatabase_close(theDatabase, 1) == 1; },
       {"m.zyr", "n.zyr"}},
      {"copy", false, false, false,
       [] {
         return opened("m.zyr") && zyrDatabase_copy(theDatabase, "c.zyr", 0, 0) == 1 &&
                zyrDatabase_close(theDatabase, -1) == 1;
       },
       {"c.zyr", "m.zyr"}},
      {"copy over another database, work on it and purge", false, true, false,
       [] {
         return opened("m.zyr") && zyrDatabase_copyOver(theDatabase, "c.zyr", 1, 1) == 1 &&
                zyrDatabase_close(theDatabase, 0) == 1;
       },
       {"c.zyr", "m.zyr"}},
      {"upgrade to a new name", true, false, false,
       [] {
         int upgraded = 0;
         return zyrDatabase_upgrade("m.zyr", "u.zyr", &upgraded) == 1 && upgraded == 1;
       },
       {"m.zyr", "u.zyr"}},
      {"upgrade in place", true, false, false,
       [] {
         int upgraded = 0;
         return zyrDatabase_upgrade("m.zyr", "", &upgraded) == 1 && upgraded == 1;
       },
       {"m.zyr"}},
  };
  return all;
}

// What a session did: the looks it made, whether every step succeeded, the models its databases
// hold afterwards (in the session's order) and what it told.
struct Played {
  long m_looks = 0;
  bool m_done = false;
  std::vector<std::string> m_models;
  std::string m_told;
};

class SessionLookSweep : public testing::TestWithParam<int> {
protected:
  void SetUp() override {
    m_model = damagetest::buildModel(m_base.file("model.zyr"));
    m_other = damagetest::buildModel(m_base.file("other.zyr"), "two-blocks.v2.msh");
    ASSERT_FALSE(m_model.empty());
    ASSERT_FALSE(m_other.empty());
    zyrtest::writeFile(m_base.file("older.zyr"), m_model);
    makeOlder(m_base.file("older.zyr"));
    m_older = zyrtest::readFile(m_base.file("older.zyr"));
    zyrtest::writeFile(m_base.file("new.zyr"), "");
    m_models = {modelOf(m_base.file("model.zyr")), modelOf(m_base.file("other.zyr"))};
    ASSERT_EQ(modelOf(m_base.file("older.zyr")), m_models[0]);
    ASSERT_EQ(m_models[0], "Assembly:288 Assembly 2:288 ");
  }
  // The session's directory, as the session starts.
  void prepare(const zyrtest::ScratchDir &dir, const Session &session) {
    zyrtest::writeFile(dir.file("m.zyr"), session.m_older ? m_older : m_model);
    if (session.m_other)
      zyrtest::writeFile(dir.file("c.zyr"), m_other);
  }
  // Plays the session in a child in the directory, with the plan armed on the directory's files,
  // then reads the model of each of its databases: the looks it made, "done" or "refused", the
  // models, and the errors published.
  Played play(const zyrtest::ScratchDir &dir, const Session &session, const std::string &plan) {
    const std::string text = zyrtest::inChild([&] {
      std::string told;
      {
        zyrtest::ErrorCapture errors;
        const zyrtest::WorkingDir here(dir.path());
        zyrFault_arm(plan.c_str(), dir.path().c_str());
        const bool done = session.m_steps();
        told = std::to_string(zyrFault_passes(ZYR_FAULT_LOOK)) + (done ? " done\n" : " refused\n");
        zyrFault_disarm();
        zyrDatabase_closeAll(nullptr);
        for (const zyrtest::RaisedError &error : errors.published())
          told += std::to_string(error.code) + ": " + error.message + "\n";
      }
      // A file with the bytes of a database the session started from holds its model.
      std::string models;
      for (const std::string &file : session.m_files) {
        const std::string bytes = zyrtest::fileExists(dir.file(file)) ? zyrtest::readFile(dir.file(file)) : "";
        const bool known = bytes == m_model || bytes == m_older || bytes == m_other;
        models += (known ? m_models[bytes == m_other ? 1 : 0] : readModel(dir.file(file), m_base.path())) + "\n";
      }
      return models + "--\n" + told;
    });
    Played played;
    size_t at = 0;
    for (size_t i = 0; i < session.m_files.size(); ++i) {
      const size_t end = text.find('\n', at);
      played.m_models.push_back(text.substr(at, end - at));
      at = end == std::string::npos ? text.size() : end + 1;
    }
    if (text.compare(at, 3, "--\n") == 0)
      at += 3;
    played.m_told = text.substr(at);
    played.m_looks = std::atol(played.m_told.c_str());
    played.m_done = played.m_told.find(" done\n") < played.m_told.find('\n') + 1;
    return played;
  }
  // What the session left wrong: a database without its whole model, one a success did not make
  // or replace as it said, or one a refusal changed.
  std::string judge(const zyrtest::ScratchDir &dir, const Session &session, const Played &played) {
    const bool done = played.m_done;
    // A temporary whose removal could not look at its name is left for the next clean-up.
    zyrLeftovers_remove(dir.path().c_str(), nullptr, nullptr, nullptr);
    std::vector<std::string> left;
    for (const std::string &name : dir.listing())
      if (name.size() > 4 && name.compare(name.size() - 4, 4, ".zyr") == 0)
        left.push_back(name);
    std::string wrong;
    const std::string &model = m_models[0];
    const std::string name = session.m_name;
    for (size_t i = 0; i < session.m_files.size(); ++i) {
      const std::string &file = session.m_files[i];
      const std::string held = i < played.m_models.size() ? played.m_models[i] : "(not read)";
      std::set<std::string> allowed;
      if (file == "m.zyr") {
        allowed = {model};
      } else if (file == "n.zyr") {
        // Made, then given the import's assembly; a refusal may come before either, or after both
        // (the purge).
        allowed = {"Assembly:288 "};
        if (!done)
          allowed.insert({"none", ""});
      } else {
        // A copy, or an upgrade to a new name, holds the model; refused, the name holds what it
        // held before, as it was, unless the step that failed came after the copy (its close).
        allowed = {model};
        if (!done)
          allowed.insert(session.m_other ? m_models[1] : "none");
        if (!done && held != model && session.m_other && zyrtest::readFile(dir.file(file)) != m_other)
          wrong += file + " has changed\n";
      }
      if (allowed.count(held) == 0)
        wrong += file + " holds \"" + held + "\"\n";
    }
    // An upgrade refused leaves the database as it was, byte for byte.
    if (!done && session.m_older && name.rfind("upgrade", 0) == 0 && zyrtest::readFile(dir.file("m.zyr")) != m_older)
      wrong += "m.zyr has changed\n";
    std::vector<std::string> expected;
    for (const std::string &file : session.m_files)
      if (zyrtest::fileExists(dir.file(file)))
        expected.push_back(file);
    if (left != expected)
      wrong += "left " + testing::PrintToString(left) + "\n";
    return wrong;
  }

  zyrtest::ScratchDir m_base{"zyrapi_sessionlooks"};
  damagetest::Workshop m_shop{m_base.path()};
  std::string m_model, m_other, m_older;
  std::vector<std::string> m_models;
};

// Each case is a session, a look of it and the way it fails; the shards share the cases.
TEST_P(SessionLookSweep, AnyOneLookLeavesEveryDatabaseWithItsWholeModelOrTheSessionRefused) {
  long number = 0, walked = 0, all = 0;
  for (const Session &session : sessions()) {
    SCOPED_TRACE(session.m_name);
    const zyrtest::ScratchDir counted("count", m_base.path());
    prepare(counted, session);
    const Played whole = play(counted, session, "");
    ASSERT_TRUE(whole.m_done) << whole.m_told;
    ASSERT_GT(whole.m_looks, 2);
    EXPECT_EQ(judge(counted, session, whole), "");
    std::vector<const char *> errors = {"ENOENT"};
    if (session.m_failing)
      errors.push_back("EIO");
    for (const char *error : errors)
      for (long n = 1; n <= whole.m_looks; ++n, ++number) {
        ++all;
        if (!zyrtest::inShard(number, GetParam()))
          continue;
        ++walked;
        const std::string plan = "look@" + std::to_string(n) + ":" + error;
        SCOPED_TRACE(plan);
        const zyrtest::ScratchDir dir("looks", m_base.path());
        prepare(dir, session);
        const Played played = play(dir, session, plan);
        EXPECT_EQ(judge(dir, session, played), "") << played.m_told;
      }
  }
  // Together the shards walk every case.
  EXPECT_EQ(walked, zyrtest::shareOf(all, GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Shard, SessionLookSweep, testing::Range(0, zyrtest::kSweepShards));

} // namespace
