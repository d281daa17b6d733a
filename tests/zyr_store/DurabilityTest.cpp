// A state that Repository_commit reported is on disc when the call returns: the database file's
// data is synced by the commit itself, and a created file's directory entry with it.
#include "ObjectTestSupport.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace {

// The files (by their path) that were synced, in order.
std::mutex s_lock;
std::vector<std::string> s_synced;

std::string pathOf(int fd) {
  char link[64], target[PATH_MAX];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  ssize_t n = readlink(link, target, sizeof target - 1);
  return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
}

void record(int fd) {
  std::lock_guard<std::mutex> guard(s_lock);
  s_synced.push_back(pathOf(fd));
}

std::vector<std::string> takeSynced() {
  std::lock_guard<std::mutex> guard(s_lock);
  std::vector<std::string> synced;
  synced.swap(s_synced);
  return synced;
}

} // namespace

// Seen by every call in this program; the work is done by the system's own calls.
extern "C" int fdatasync(int fd) {
  using Call = int (*)(int);
  static Call real = reinterpret_cast<Call>(dlsym(RTLD_NEXT, "fdatasync"));
  record(fd);
  return real(fd);
}

extern "C" int fsync(int fd) {
  using Call = int (*)(int);
  static Call real = reinterpret_cast<Call>(dlsym(RTLD_NEXT, "fsync"));
  record(fd);
  return real(fd);
}

namespace {

class DurabilityTest : public objecttest::ObjectStoreTest {};

size_t count(const std::vector<std::string> &list, const std::string &path) {
  size_t n = 0;
  for (const std::string &p : list) n += p == path;
  return n;
}

TEST_F(DurabilityTest, ACommitSyncsTheDatabaseFileAndTheDirectoryOfANewOne) {
  char real[PATH_MAX];
  ASSERT_NE(realpath(m_dir.c_str(), real), nullptr);
  const std::string dir = real, name = dir + "/durable.zyr";
  takeSynced();
  // The creation commits its first state: the new file's directory entry goes to disc once.
  Repository *repository = Repository_new("durable.zyr");
  ASSERT_NE(repository, nullptr);
  std::vector<std::string> synced = takeSynced();
  EXPECT_GE(count(synced, name), 1u);
  EXPECT_EQ(count(synced, dir), 1u) << "the new file's directory entry";
  objecttest::Thing_setCount(objecttest::Thing_new(), 1);
  takeSynced();
  ASSERT_GT(Repository_commit(repository), 0);
  synced = takeSynced();
  EXPECT_GE(count(synced, name), 1u);
  EXPECT_EQ(count(synced, dir), 0u);
  // Later commits sync the file again, the directory no more.
  objecttest::Thing_setCount(static_cast<objecttest::TestThing *>(
                                 Repository_getSingletonByTypeName(repository, "Assembly")),
                             2);
  takeSynced();
  ASSERT_GT(Repository_commit(repository), 0);
  synced = takeSynced();
  EXPECT_GE(count(synced, name), 1u);
  EXPECT_EQ(count(synced, dir), 0u);
  // A commit with nothing to commit writes nothing and has nothing to sync.
  ASSERT_GT(Repository_commit(repository), 0);
  EXPECT_EQ(count(takeSynced(), name), 0u);
  Repository_close(repository, -1);
}

} // namespace
