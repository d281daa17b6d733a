// A database on a disc that fills up or fails: an import into its model, a compaction and the
// export of a definition file, each with one write, flush or sync after another failing (every
// one for the smaller operations, a deterministic sample for the import), each in a child
// process. After each the call failed with an error naming the file and the system's reason, the
// model still answers as it did, a reopen answers exactly as the last committed state does, no
// target file was created or replaced and no temporary is left. Reads that fail while the
// database is opened and restored are refused or reported, never a crash.
// ZYR_FAULT_ONLY=<operation>:<plan> walks that fault alone and shows what was published.
#include "DamageTestSupport.h"

#include "zyrAPI.h"
#include "zyrCString.h"
#include "zyrFault.h"
#include "zyrTestChild.h"
#include "zyrTestErrors.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kMeshes = std::string(ZYR_SOURCE_DIR) + "/tests/data/meshes/";
const char *const kOldExport = "an earlier definition file\n";

// kReader: an import whose mesh reader (a program of its own) cannot write the intermediate file.
enum Operation { kImport, kCompaction, kExport, kReader };
const char *const kOperationNames[] = {"import", "compaction", "export", "reader"};

class FailingDiscTest : public testing::Test {
protected:
  void SetUp() override {
    m_dir = std::make_unique<zyrtest::ScratchDir>("zyrapi_disc");
    m_shop = std::make_unique<damagetest::Workshop>(m_dir->path());
    m_path = m_dir->file("model.zyr");
    m_export = m_dir->file("out.wez");
    // The last committed state: one mesh imported, closed with its history.
    const std::string built = zyrtest::inChild([&] {
      int32_t hDatabase = -1, hModel = -1;
      if (zyrDatabase_open(m_path.c_str(), &hDatabase, &hModel) != 1)
        return std::string("no open");
      const int imported = import(hModel, "box-hex.v4.msh");
      return std::string(imported == 1 && zyrDatabase_close(hDatabase, -1) == 1 ? "" : "no model");
    });
    ASSERT_EQ(built, "");
    m_intact = zyrtest::readFile(m_path);
    m_answers = zyrtest::inChild([&] {
      int32_t hDatabase = -1, hModel = -1;
      zyrDatabase_open(m_path.c_str(), &hDatabase, &hModel);
      const std::string text = damagetest::describe(hModel);
      zyrDatabase_close(hDatabase, -1);
      return text;
    });
  }

  static int import(int32_t hModel, const char *mesh) {
    int32_t n = 0;
    char **names = nullptr;
    const int status = zyrModel_importMesh(hModel, "Msh", (kMeshes + mesh).c_str(), nullptr, nullptr, "m", 0, &n, &names);
    zyrCStringArray_free(names, static_cast<uint64_t>(n > 0 ? n : 0));
    return status;
  }

  // The database as it was committed, and an earlier export in place (or none).
  void restore(bool earlier = true) const {
    std::remove((m_path + ".lck").c_str());
    zyrtest::writeFile(m_path, m_intact);
    if (earlier)
      zyrtest::writeFile(m_export, kOldExport);
    else
      std::remove(m_export.c_str());
  }

  // The walk of the database as it stands (opened, walked, exported beside, closed, reopened).
  damagetest::Walk walk() const {
    const damagetest::Outcome outcome = damagetest::runIsolated(
        [&] { return damagetest::walkDatabase(m_path, m_dir->file("walk.wez")); }, m_dir->file("walk.stderr"), 60);
    return outcome.m_kind == damagetest::Outcome::kCompleted ? outcome.m_walk : damagetest::Walk();
  }

  // The operation on the open database; its answer.
  int operate(Operation operation, int32_t hDatabase, int32_t hModel) const {
    switch (operation) {
    case kImport:
    case kReader:
      return import(hModel, "box-tet.v4.msh");
    case kCompaction:
      return zyrDatabase_close(hDatabase, 0);
    case kExport:
      return zyrModel_exportMesh(hModel, "Def", m_export.c_str(), "m", 0);
    }
    return 0;
  }

  // The writes, flushes, syncs and reads of the operation in this directory.
  std::vector<long> passes(Operation operation) const {
    std::istringstream counted(zyrtest::inChild([&] {
      restore();
      int32_t hDatabase = -1, hModel = -1;
      if (zyrDatabase_open(m_path.c_str(), &hDatabase, &hModel) != 1)
        return std::string();
      std::string text;
      if (operation == kReader) {
        // The reader counts its own passes and writes them down as it ends.
        const std::string counts = m_dir->file("counts");
        zyrFault_disarm();
        zyrtest::EnvGuard count("ZYR_FAULT_COUNT", counts.c_str());
        const int status = operate(operation, hDatabase, hModel);
        std::istringstream counted(zyrtest::readFile(counts));
        std::remove(counts.c_str());
        for (std::string kind, n; counted >> kind >> n;)
          text += (status == 1 ? n : "0") + " ";
      } else {
        zyrFault_arm("", m_dir->path().c_str());
        const int status = operate(operation, hDatabase, hModel);
        for (int kind = ZYR_FAULT_WRITE; kind <= ZYR_FAULT_READ; ++kind)
          text += std::to_string(status == 1 ? zyrFault_passes(kind) : 0) + " ";
        zyrFault_disarm();
      }
      if (operation != kCompaction)
        zyrDatabase_close(hDatabase, -1);
      return text;
    }));
    std::vector<long> counts(4, 0);
    for (long &count : counts)
      counted >> count;
    return counts;
  }

  // The operation with the fault armed, in a child; "" when all is as it must be. Without an
  // earlier definition file, the export must not make one.
  std::string failOnce(Operation operation, const std::string &plan, bool earlier = true) const {
    const bool only = std::getenv("ZYR_FAULT_ONLY") != nullptr;
    const std::string target = operation == kExport ? m_export : m_path;
    std::string problems = zyrtest::inChild([&] {
      restore(earlier);
      zyrtest::ErrorCapture errors;
      int32_t hDatabase = -1, hModel = -1;
      if (zyrDatabase_open(m_path.c_str(), &hDatabase, &hModel) != 1)
        return std::string("no open");
      // The reader is armed through its environment, this process not at all.
      const bool reader = operation == kReader;
      if (reader)
        zyrFault_disarm();
      else
        zyrFault_arm(plan.c_str(), m_dir->path().c_str());
      zyrtest::EnvGuard readerFault("ZYR_FAULT_AT", reader ? plan.c_str() : nullptr);
      const int status = operate(operation, hDatabase, hModel);
      const long failures = zyrFault_failures();
      zyrFault_disarm();
      // A disc that fills where the rest of the operation needs no room (it writes within its
      // files) fails nothing, as a real one would: the operation then succeeds.
      if (failures == 0 && !reader)
        return std::string(zyrtest::contains(plan, "full@") && status == 1 ? "" : "no fault made");
      const bool reading = zyrtest::contains(plan, "read@");
      // A read that fails may be one the operation can do without (of a lock file): then it
      // succeeds whole, as it does without the fault.
      if (reading && status == 1 && damagetest::describe(hModel) == m_imported)
        return std::string();
      std::string found;
      if (status != 0)
        found += "the call answered " + std::to_string(status) + "\n";
      const int reason =
          zyrtest::contains(plan, "EIO") || zyrtest::contains(plan, "sync") || reading ? EIO : ENOSPC;
      // The reader names the intermediate file it could not write, as the library named it
      // (in the working directory). A read that fails is reported, by the file it read.
      bool named = false;
      std::string messages;
      for (const zyrtest::RaisedError &e : errors.published()) {
        messages += std::to_string(e.code) + ": " + e.message + "\n";
        if (reading)
          named = named || zyrtest::contains(e.message, "zyr.zyr-pid") || zyrtest::contains(e.message, m_path);
        else
          named = named || (zyrtest::contains(e.message, reader ? std::string("zyr.zyr-pid") : target) &&
                            zyrtest::contains(e.message, strerror(reason)));
      }
      if (only)
        std::fprintf(stderr, "%s", messages.c_str());
      if (!named)
        found += "no error names " + target + " and the reason:\n" + messages;
      // A compaction is the close: there is no model left to ask.
      if (operation != kCompaction) {
        zyrtest::ErrorCapture::clear();
        const std::string now = damagetest::describe(hModel);
        if (now != m_answers)
          found += "the model answers after the failure:\n" + now;
        for (const zyrtest::RaisedError &e : zyrtest::ErrorCapture::held())
          found += "the model published " + std::to_string(e.code) + ": " + e.message + "\n";
        if (zyrDatabase_close(hDatabase, -1) != 1)
          found += "the close failed\n";
      }
      if (earlier && zyrtest::readFile(m_export) != kOldExport)
        found += "the earlier definition file was replaced\n";
      if (!earlier && zyrtest::fileExists(m_export))
        found += "a definition file was made\n";
      for (const std::string &name : m_dir->listing())
        if (name != "model.zyr" && name != "out.wez")
          found += "left: " + name + "\n";
      // Opened again, the database is its last committed state, and has nothing to complain of.
      zyrtest::ErrorCapture::clear();
      if (zyrDatabase_open(m_path.c_str(), &hDatabase, &hModel) != 1)
        return found + "no reopen\n";
      const std::string reopened = damagetest::describe(hModel);
      if (reopened != m_answers)
        found += "the model answers after a reopen:\n" + reopened;
      zyrDatabase_close(hDatabase, -1);
      for (const zyrtest::RaisedError &e : zyrtest::ErrorCapture::held())
        found += "the reopen published " + std::to_string(e.code) + ": " + e.message + "\n";
      return found;
    });
    return problems;
  }

  // Walks the faults of the kinds over the operation's passes: every pass up to `every`, else
  // that many spread evenly (the first and the last among them).
  void walkFaults(Operation operation, long every, bool reads = false) {
    const std::vector<long> counted = passes(operation);
    if (reads)
      m_imported = zyrtest::inChild([&] {
        restore();
        int32_t hDatabase = -1, hModel = -1;
        zyrDatabase_open(m_path.c_str(), &hDatabase, &hModel);
        const std::string text = operate(operation, hDatabase, hModel) == 1 ? damagetest::describe(hModel) : "";
        zyrDatabase_close(hDatabase, -1);
        return text;
      });
    ASSERT_GT(counted[ZYR_FAULT_WRITE], 0) << kOperationNames[operation];
    const char *only = std::getenv("ZYR_FAULT_ONLY");
    struct Kind {
      const char *m_name;
      long m_total;
      const char *m_error;
    };
    const Kind kinds[] = {{"write", counted[ZYR_FAULT_WRITE], ""},
                          {"flush", counted[ZYR_FAULT_FLUSH], ""},
                          {"sync", counted[ZYR_FAULT_SYNC], ""},
                          {"full", counted[ZYR_FAULT_WRITE], ""},
                          {"write", counted[ZYR_FAULT_WRITE], ":EIO"},
                          {"read", reads ? counted[ZYR_FAULT_READ] : 0, ""}};
    for (const Kind &kind : kinds) {
      const long steps = std::min(kind.m_total, *kind.m_error != '\0' ? every / 4 + 1 : every);
      for (long i = 0; i < steps; ++i) {
        const long n = steps == kind.m_total ? i + 1 : 1 + i * (kind.m_total - 1) / std::max(1L, steps - 1);
        const std::string plan = std::string(kind.m_name) + "@" + std::to_string(n) + kind.m_error;
        if (only != nullptr && std::string(kOperationNames[operation]) + ":" + plan != only)
          continue;
        EXPECT_EQ(failOnce(operation, plan, i % 2 == 0), "") << kOperationNames[operation] << " " << plan << " of "
                                                             << kind.m_total;
      }
    }
  }

  std::unique_ptr<zyrtest::ScratchDir> m_dir;
  std::unique_ptr<damagetest::Workshop> m_shop;
  std::string m_path;
  std::string m_export;
  std::string m_intact;
  std::string m_answers;
  std::string m_imported; // what the model answers after the operation succeeded
};

TEST_F(FailingDiscTest, AnExportThatCannotBeWrittenReplacesNothing) { walkFaults(kExport, 16); }

TEST_F(FailingDiscTest, ACompactionThatCannotBeWrittenLeavesTheDatabaseAsItWas) { walkFaults(kCompaction, 16); }

TEST_F(FailingDiscTest, AnImportThatCannotBeWrittenOrReadLeavesTheLastCommittedState) {
  walkFaults(kImport, 10, true);
}

TEST_F(FailingDiscTest, AnImportWhoseMeshReaderCannotWriteFailsAndLeavesNothing) { walkFaults(kReader, 4); }

// After a failed sync the disc may hold anything of what was written: nothing counts as done.
TEST_F(FailingDiscTest, EverySyncFailingFailsTheCall) {
  EXPECT_EQ(failOnce(kImport, "sync@1+"), "");
  EXPECT_EQ(failOnce(kCompaction, "sync@1+"), "");
  EXPECT_EQ(failOnce(kExport, "sync@1+"), "");
  EXPECT_EQ(failOnce(kExport, "sync@1+", false), "");
}

TEST_F(FailingDiscTest, AReadThatFailsWhileOpeningOrRestoringIsRefusedOrReported) {
  // The reads of a whole walk, sampled.
  const std::string counted = zyrtest::inChild([&] {
    restore();
    zyrFault_arm("", m_dir->path().c_str());
    damagetest::walkDatabase(m_path, m_dir->file("walk.wez"));
    return std::to_string(zyrFault_passes(ZYR_FAULT_READ));
  });
  const long total = std::strtol(counted.c_str(), nullptr, 10);
  ASSERT_GT(total, 10);
  restore();
  damagetest::Walk intact;
  intact.m_answers = walk().m_answers;
  ASSERT_FALSE(intact.m_answers.empty());
  const long steps = std::min(total, 24L);
  for (long i = 0; i < steps; ++i) {
    const long n = 1 + i * (total - 1) / (steps - 1);
    restore();
    const std::string plan = "read@" + std::to_string(n);
    const damagetest::Outcome outcome = damagetest::runIsolated(
        [&] {
          zyrFault_arm(plan.c_str(), m_dir->path().c_str());
          return damagetest::walkDatabase(m_path, m_dir->file("walk.wez"));
        },
        m_dir->file("walk.stderr"), 60);
    const std::string verdict = damagetest::judge(outcome, intact);
    EXPECT_TRUE(verdict == "refused" || verdict == "reported" || verdict == "identical") << plan << ": " << verdict;
  }
}

} // namespace
