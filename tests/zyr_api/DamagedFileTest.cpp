// A real model database damaged in a few hundred ways, each variant walked through the procedural
// interface in a child process: every variant is refused, or walked with an error or warning
// published, or answers exactly as the intact file does. None may crash, trip a sanitizer or
// hang. The variants are walked in shards, each by a test of its own. ZYR_DAMAGE_VARIANTS and ZYR_DAMAGE_SEED change how many variants and which, and
// ZYR_DAMAGE_JOBS how many are walked at once; ZYR_DAMAGE_ONLY=<number> walks that variant alone
// (ZYR_DAMAGE_KEEP=<file> keeps a copy of it), ZYR_DAMAGE_VERBOSE=1 tells every verdict.
#include "DamageTestSupport.h"

#include "Database.h"
#include "ElementMesh.h"
#include "Mesh.h"
#include "Model.h"
#include "Topology.h"
#include "Vertices.h"
#include "zyrAPI.h"
#include "zyrTestErrors.h"
#include "zyrTestSupport.h"
#include "zyrUUID.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <string>
#include <utility>

namespace {

int64_t setting(const char *name, int64_t fallback) {
  const char *text = std::getenv(name);
  return text != nullptr && *text != '\0' ? std::strtoll(text, nullptr, 10) : fallback;
}

class DamagedFileSweep : public testing::TestWithParam<int> {};

TEST_P(DamagedFileSweep, EveryVariantIsRefusedReportedOrAnsweredAsTheIntactFile) {
  zyrtest::ScratchDir dir("zyrapi_damage");
  damagetest::Workshop shop(dir.path());
  const std::string intact = damagetest::buildModel(dir.file("model.zyr"));
  ASSERT_FALSE(intact.empty());
  // Each of the children walking at once has files of its own.
  const auto path = [&](size_t slot) { return dir.file("variant" + std::to_string(slot) + ".zyr"); };
  const auto start = [&](size_t slot, const std::string &bytes) {
    std::remove((path(slot) + ".lck").c_str());
    zyrtest::writeFile(path(slot), bytes);
    const std::string file = path(slot);
    const std::string exported = dir.file("export" + std::to_string(slot) + ".wez");
    return damagetest::startIsolated([file, exported] { return damagetest::walkDatabase(file, exported); },
                                     dir.file("stderr" + std::to_string(slot)), 60);
  };
  const auto finish = [&](size_t slot, int pid) {
    return damagetest::finishIsolated(pid, dir.file("stderr" + std::to_string(slot)));
  };

  const damagetest::Outcome first = finish(0, start(0, intact));
  ASSERT_EQ(first.m_kind, damagetest::Outcome::kCompleted) << first.m_stderr;
  ASSERT_FALSE(first.m_walk.m_refused);
  ASSERT_FALSE(first.m_walk.m_reported) << first.m_walk.m_errors;
  // The walk of the intact file closes and reopens it: walked again it answers the same.
  const damagetest::Outcome second = finish(0, start(0, intact));
  ASSERT_EQ(second.m_kind, damagetest::Outcome::kCompleted) << second.m_stderr;
  ASSERT_EQ(second.m_walk.m_answers, first.m_walk.m_answers);

  const int32_t wanted = static_cast<int32_t>(setting("ZYR_DAMAGE_VARIANTS", 300));
  const std::vector<damagetest::Variant> variants =
      damagetest::mutations(intact, wanted, static_cast<uint64_t>(setting("ZYR_DAMAGE_SEED", 1)));
  ASSERT_EQ(variants.size(), static_cast<size_t>(wanted));
  const int64_t only = setting("ZYR_DAMAGE_ONLY", -1);
  const bool verbose = setting("ZYR_DAMAGE_VERBOSE", 0) != 0;
  const size_t jobs = static_cast<size_t>(std::max<int64_t>(1, setting("ZYR_DAMAGE_JOBS", 2)));
  if (only >= 0 && only < wanted && std::getenv("ZYR_DAMAGE_KEEP") != nullptr)
    zyrtest::writeFile(std::getenv("ZYR_DAMAGE_KEEP"), variants[static_cast<size_t>(only)].m_bytes);

  std::map<std::string, int> tally;
  // (variant, pid) of each slot's child; a finished child frees its slot for the next variant.
  std::vector<std::pair<size_t, int>> running(jobs, {0, -2});
  const auto judge = [&](size_t slot) {
    const size_t i = running[slot].first;
    const damagetest::Outcome outcome = finish(slot, running[slot].second);
    running[slot].second = -2;
    const std::string verdict = damagetest::judge(outcome, first.m_walk);
    const bool fine = verdict == "refused" || verdict == "reported" || verdict == "identical";
    ++tally[fine ? verdict : "failed"];
    if (verbose)
      std::printf("%zu %s: %s\n%s%s", i, variants[i].m_name.c_str(), verdict.c_str(), outcome.m_walk.m_errors.c_str(),
                  fine ? "" : outcome.m_stderr.c_str());
    EXPECT_TRUE(fine) << "variant " << i << ", " << variants[i].m_name << ": " << verdict;
  };
  size_t slot = 0;
  long walked = 0;
  for (size_t i = 0; i < variants.size(); ++i) {
    if ((only >= 0 && static_cast<size_t>(only) != i) || !zyrtest::inShard(static_cast<long>(i), GetParam()))
      continue;
    if (running[slot].second != -2)
      judge(slot);
    running[slot] = {i, start(slot, variants[i].m_bytes)};
    slot = (slot + 1) % jobs;
    ++walked;
  }
  for (size_t k = 0; k < jobs; ++k)
    if (running[k].second != -2)
      judge(k);
  std::string summary;
  for (const auto &entry : tally)
    summary += " " + entry.first + " " + std::to_string(entry.second);
  std::printf("shard %d of %zu variants:%s\n", GetParam(), variants.size(), summary.c_str());
  // Together the shards walk every variant.
  if (only < 0)
    EXPECT_EQ(walked, zyrtest::shareOf(static_cast<long>(variants.size()), GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Shard, DamagedFileSweep, testing::Range(0, zyrtest::kSweepShards));

TEST(DamagedFileTest, AMeshWhoseCoordinatesWereLostIsReportedAndNotExported) {
  zyrtest::ScratchDir dir("zyrapi_damage");
  damagetest::Workshop shop(dir.path());
  const std::string path = dir.file("model.zyr");
  ASSERT_FALSE(damagetest::buildModel(path).empty());
  // The stored coordinates of the renamed volume's vertices taken away.
  int32_t hDatabase = -1, hModel = -1;
  ASSERT_EQ(zyrDatabase_open(path.c_str(), &hDatabase, &hModel), 1);
  Model *model = nullptr;
  ASSERT_EQ(zyrAPI_getModel(hModel, "test", &model), 1);
  ElementMesh *volume = Mesh_getElementMesh(Model_getMesh(model), Topology_findRegion(Model_getTopology(model), "renamed"));
  ASSERT_NE(volume, nullptr);
  char key[ZYR_UUID_BASE64_SIZE];
  zyrObject_getUUIDString(ElementMesh_getVertices(volume)->m_xyz, key);
  zyrUUID *blob = zyrUUID_newFromBase64(key);
  ASSERT_EQ(zyrDatabase_close(hDatabase, -1), 1);
  Database *database = Database_new(path.c_str());
  ASSERT_EQ(Database_deleteDataSet(database, blob, "data"), 1);
  Database_delete(database);
  zyrUUID_delete(blob);

  const damagetest::Walk walk = damagetest::walkDatabase(path, dir.file("out.wez"));
  EXPECT_FALSE(walk.m_refused);
  EXPECT_TRUE(walk.m_reported);
  EXPECT_TRUE(zyrtest::contains(walk.m_answers, "\nexport 0 0 ")) << walk.m_answers;
  EXPECT_TRUE(zyrtest::contains(walk.m_errors, "The mesh of the region \"renamed\" could not be restored whole; no "
                                                "definition file is written.\n"))
      << walk.m_errors;
  EXPECT_FALSE(zyrtest::fileExists(dir.file("out.wez")));
}

TEST(DamagedFileTest, ANewestVersionThatCannotBeReadIsReportedWithItsObjectAndState) {
  zyrtest::ScratchDir dir("zyrapi_damage");
  damagetest::Workshop shop(dir.path());
  const std::string path = dir.file("model.zyr");
  std::string bytes = damagetest::buildModel(path);
  ASSERT_FALSE(bytes.empty());
  // The header tag of the newest version of an element mesh's list of element sets damaged: the
  // older version the index also holds must not be taken for the current one in silence.
  const damagetest::Frame *newest = nullptr;
  const std::vector<damagetest::Frame> frames = damagetest::frames(bytes);
  for (const damagetest::Frame &frame : frames)
    if (frame.m_what == "elementSets" && !frame.m_deleted && (newest == nullptr || frame.m_when > newest->m_when))
      newest = &frame;
  ASSERT_NE(newest, nullptr);
  const size_t tag = bytes.find("*HEADER", newest->m_header);
  ASSERT_LT(tag, newest->m_data);
  bytes[tag + 6] = 'S';
  zyrtest::writeFile(path, bytes);

  const damagetest::Walk walk = damagetest::walkDatabase(path, dir.file("out.wez"));
  EXPECT_TRUE(walk.m_refused || walk.m_reported);
  EXPECT_TRUE(zyrtest::contains(walk.m_errors, "\"elementSets\"")) << walk.m_errors;
  EXPECT_TRUE(zyrtest::contains(walk.m_errors, newest->m_where)) << walk.m_errors;
  EXPECT_TRUE(zyrtest::contains(walk.m_errors, "state " + std::to_string(newest->m_when))) << walk.m_errors;
}

} // namespace
