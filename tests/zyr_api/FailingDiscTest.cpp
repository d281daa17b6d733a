// A database on a disc that fills up or fails: an import into its model, a compaction and the
// export of a definition file, each with one write, flush or sync after another failing (every
// one for the smaller operations, a deterministic sample for the import), each in a child
// process. After each the call failed with an error naming the file and the system's reason, the
// model still answers as it did, a reopen answers exactly as the last committed state does, no
// target file was created or replaced and no temporary is left. Reads that fail while the
// database is opened and restored are refused or reported, never a crash.
// ZYR_FAULT_ONLY=<operation>:<spec> walks that fault alone and shows what was published.
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

enum Operation { kImport, kCompaction, kExport };
const char *const kOperationNames[] = {"import", "compaction", "export"};

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
    m_walk = walk().m_answers;
    ASSERT_FALSE(m_walk.empty());
  }

  static int import(int32_t hModel, const char *mesh) {
    int32_t n = 0;
    char **names = nullptr;
    const int status = zyrModel_importMesh(hModel, "Msh", (kMeshes + mesh).c_str(), nullptr, nullptr, "m", 0, &n, &names);
    zyrCStringArray_free(names, static_cast<uint64_t>(n > 0 ? n : 0));
    return status;
  }

  // The database as it was committed, and an earlier export in place.
  void restore() const {
    std::remove((m_path + ".lck").c_str());
    zyrtest::writeFile(m_path, m_intact);
    zyrtest::writeFile(m_export, kOldExport);
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
      zyrFault_arm("", m_dir->path().c_str());
      const int status = operate(operation, hDatabase, hModel);
      std::string text;
      for (int kind = ZYR_FAULT_WRITE; kind <= ZYR_FAULT_READ; ++kind)
        text += std::to_string(status == 1 ? zyrFault_passes(kind) : 0) + " ";
      zyrFault_disarm();
      if (operation != kCompaction)
        zyrDatabase_close(hDatabase, -1);
      return text;
    }));
    std::vector<long> counts(4, 0);
    for (long &count : counts)
      counted >> count;
    return counts;
  }

  // The operation with the fault armed, in a child; "" when all is as it must be.
  std::string failOnce(Operation operation, const std::string &spec) const {
    const bool only = std::getenv("ZYR_FAULT_ONLY") != nullptr;
    const std::string target = operation == kExport ? m_export : m_path;
    std::string problems = zyrtest::inChild([&] {
      restore();
      zyrtest::ErrorCapture errors;
      int32_t hDatabase = -1, hModel = -1;
      if (zyrDatabase_open(m_path.c_str(), &hDatabase, &hModel) != 1)
        return std::string("no open");
      zyrFault_arm(spec.c_str(), m_dir->path().c_str());
      const int status = operate(operation, hDatabase, hModel);
      const long failures = zyrFault_failures();
      zyrFault_disarm();
      if (failures == 0)
        return std::string("no fault made");
      std::string found;
      if (status != 0)
        found += "the call answered " + std::to_string(status) + "\n";
      const int reason = zyrtest::contains(spec, "EIO") || zyrtest::contains(spec, "sync") ? EIO : ENOSPC;
      bool named = false;
      std::string messages;
      for (const zyrtest::RaisedError &e : errors.published()) {
        messages += std::to_string(e.code) + ": " + e.message + "\n";
        named = named || (zyrtest::contains(e.message, target) && zyrtest::contains(e.message, strerror(reason)));
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
      if (zyrtest::readFile(m_export) != kOldExport)
        found += "the earlier definition file was replaced\n";
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
  void walkFaults(Operation operation, long every) const {
    const std::vector<long> counted = passes(operation);
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
                          {"write", counted[ZYR_FAULT_WRITE], ":EIO"}};
    for (const Kind &kind : kinds) {
      const long steps = std::min(kind.m_total, *kind.m_error != '\0' ? every / 4 + 1 : every);
      for (long i = 0; i < steps; ++i) {
        const long n = steps == kind.m_total ? i + 1 : 1 + i * (kind.m_total - 1) / std::max(1L, steps - 1);
        const std::string spec = std::string(kind.m_name) + "@" + std::to_string(n) + kind.m_error;
        if (only != nullptr && std::string(kOperationNames[operation]) + ":" + spec != only)
          continue;
        EXPECT_EQ(failOnce(operation, spec), "") << kOperationNames[operation] << " " << spec << " of "
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
  std::string m_walk;
};

TEST_F(FailingDiscTest, AnExportThatCannotBeWrittenReplacesNothing) { walkFaults(kExport, 24); }

TEST_F(FailingDiscTest, ACompactionThatCannotBeWrittenLeavesTheDatabaseAsItWas) { walkFaults(kCompaction, 24); }

TEST_F(FailingDiscTest, AnImportThatCannotBeWrittenLeavesTheLastCommittedState) { walkFaults(kImport, 12); }

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
  damagetest::Walk intact;
  intact.m_answers = m_walk;
  const long steps = std::min(total, 40L);
  for (long i = 0; i < steps; ++i) {
    const long n = 1 + i * (total - 1) / (steps - 1);
    restore();
    const std::string spec = "read@" + std::to_string(n);
    const damagetest::Outcome outcome = damagetest::runIsolated(
        [&] {
          zyrFault_arm(spec.c_str(), m_dir->path().c_str());
          return damagetest::walkDatabase(m_path, m_dir->file("walk.wez"));
        },
        m_dir->file("walk.stderr"), 60);
    const std::string verdict = damagetest::judge(outcome, intact);
    EXPECT_TRUE(verdict == "refused" || verdict == "reported" || verdict == "identical") << spec << ": " << verdict;
  }
}

} // namespace
