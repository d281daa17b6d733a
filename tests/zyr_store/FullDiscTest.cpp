// The fault seam's full disc fails as a real one does: the same calls on a data-set file meet the
// same outcome on it as under a file-size limit and on a small file system filled up (where the
// test may mount one). A write that finds no room fails; the data set it would have replaced
// still reads, and its erasure (a delete tag takes no room) survives a crash.
#include "StoreTestSupport.h"

#include "DefFile.h"
#include "zyrFault.h"
#include "zyrMemory.h"
#include "zyrTestChild.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

enum Disc { kSeam, kSizeLimit, kFilled };

// Values of a data set: more bytes than a page (written uncompressed), so that no disc takes
// them in the room left at the end of a file's last page.
const int32_t kCount = 3000;

bool put(DefFile *file, const char *what, int32_t value) {
  const std::vector<int32_t> values(kCount, value);
  return DefFile_writeIntArray(file, what, "w", 0, values.data(), kCount, 0) == 1;
}

// What the data set holds: its value, "none", or "?" when it does not read back whole.
std::string value(DefFile *file, const char *what) {
  if (!DefFile_exists(file, what, "w", 0))
    return "none";
  int32_t *values = nullptr, count = 0;
  std::string text = "?";
  if (DefFile_readInts(file, what, "w", 0, &values, &count) && count == kCount &&
      std::count(values, values + count, values[0]) == count)
    text = std::to_string(values[0]);
  zyrMemory_free(values, "value");
  return text;
}

// Writes bytes to the file of the name until the disc takes no more.
void fillUp(const std::string &name) {
  const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  const std::string page(4096, 'f');
  for (size_t chunk = page.size(); fd >= 0 && chunk > 0; chunk /= 2)
    while (write(fd, page.data(), chunk) == static_cast<ssize_t>(chunk)) {
    }
  if (fd >= 0)
    close(fd);
}

// The file system mounted at the directory while the guard lives, when this process may mount one.
class SmallDisc {
public:
  explicit SmallDisc(const std::string &dir) : m_dir(dir) {
    m_mounted = mkdir(dir.c_str(), 0755) == 0 &&
                mount("zyrfull", dir.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=256k") == 0;
  }
  ~SmallDisc() {
    if (m_mounted)
      umount2(m_dir.c_str(), MNT_DETACH);
  }
  SmallDisc(const SmallDisc &) = delete;
  SmallDisc &operator=(const SmallDisc &) = delete;
  bool mounted() const { return m_mounted; }

private:
  std::string m_dir;
  bool m_mounted = false;
};

class FullDiscTest : public storetest::StoreTest {
protected:
  // In a process that crashes at its end: A and B written, the disc full, A written again, read
  // and erased, B read. Then what a clean open finds, with room again.
  static std::string play(const std::string &dir, Disc disc) {
    const std::string name = dir + "/full.wez";
    const std::string filler = dir + "/filler";
    std::string outcome = zyrtest::crashedChild([&] {
      // Uncompressed: a page of values takes a page of the disc.
      setenv("WEZ_FORMAT", "u", 1);
      DefFile *file = DefFile_new(name.c_str());
      if (file == nullptr || !put(file, "A", 1) || !put(file, "B", 2))
        return std::string("no start");
      struct stat status;
      stat(name.c_str(), &status);
      const rlimit limit = {static_cast<rlim_t>(status.st_size), RLIM_INFINITY};
      switch (disc) {
      case kSeam: zyrFault_arm("full@1", name.c_str()); break;
      case kSizeLimit:
        signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &limit);
        break;
      case kFilled: fillUp(filler); break;
      }
      std::string text = std::string("write ") + (put(file, "A", 3) ? "ok" : "failed");
      text += ", A=" + value(file, "A");
      text += ", erase " + std::to_string(DefFile_erase(file, "A", "w", 0));
      return text + ", A=" + value(file, "A") + ", B=" + value(file, "B");
    });
    std::remove(filler.c_str());
    return outcome + "; after a crash " + zyrtest::inChild([&] {
             DefFile *file = DefFile_new(name.c_str());
             if (file == nullptr)
               return std::string("no open");
             const std::string text = "A=" + value(file, "A") + ", B=" + value(file, "B");
             DefFile_delete(file);
             return text;
           });
  }
};

const char *const kOutcome = "write failed, A=1, erase 1, A=none, B=2; after a crash A=none, B=2";

TEST_F(FullDiscTest, TheSeamsFullDiscIsAFileThatCannotGrow) {
  ASSERT_EQ(mkdir(path("seam").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(path("limit").c_str(), 0755), 0);
  EXPECT_EQ(play(path("limit"), kSizeLimit), kOutcome);
  EXPECT_EQ(play(path("seam"), kSeam), kOutcome);
}

TEST_F(FullDiscTest, TheSeamsFullDiscIsAFullFileSystem) {
  SmallDisc disc(path("small"));
  if (!disc.mounted())
    GTEST_SKIP() << "no file system can be mounted here";
  ASSERT_EQ(mkdir(path("seam").c_str(), 0755), 0);
  EXPECT_EQ(play(path("small"), kFilled), kOutcome);
  EXPECT_EQ(play(path("seam"), kSeam), kOutcome);
}

} // namespace
