#include "zyrMD5.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class MD5File : public testing::Test {
protected:
  std::string write(const std::string &name, const std::vector<unsigned char> &bytes) {
    const std::string path = m_dir + "/" + name;
    FILE *f = std::fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    if (f == nullptr) return path;
    if (!bytes.empty()) {
      EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    }
    std::fclose(f);
    return path;
  }
  zyrtest::ScratchDir m_scratch{"zyr_md5"};
  std::string m_dir = m_scratch.path();
};

std::vector<unsigned char> pattern(size_t n) {
  std::vector<unsigned char> bytes(n);
  uint32_t x = 777;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1664525u + 1013904223u;
    bytes[i] = static_cast<unsigned char>(x >> 24);
  }
  return bytes;
}

std::string hexOf(const std::vector<unsigned char> &bytes) {
  unsigned char digest[ZYR_MD5_DIGEST_SIZE];
  char text[ZYR_MD5_HEX_SIZE];
  zyrMD5_digest(bytes.data(), bytes.size(), digest);
  return zyrMD5_toHex(digest, text);
}

std::string hexOfFd(int fd) {
  unsigned char digest[ZYR_MD5_DIGEST_SIZE];
  char text[ZYR_MD5_HEX_SIZE];
  if (!zyrMD5_fd(fd, digest)) return "failed";
  return zyrMD5_toHex(digest, text);
}

TEST_F(MD5File, DescriptorDigestMatchesMemory) {
  // Past two whole read chunks, ending inside a block.
  const std::vector<unsigned char> bytes = pattern((2u << 20) + 1000003);
  for (size_t n : {size_t{0}, size_t{1}, size_t{1} << 20, bytes.size()}) {
    const std::vector<unsigned char> part(bytes.begin(), bytes.begin() + n);
    const std::string path = write("f" + std::to_string(n), part);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(hexOfFd(fd), hexOf(part)) << n;
    close(fd);
  }
}

// A pipe hands the bytes over in small, uneven reads.
TEST_F(MD5File, DescriptorDigestOverPipe) {
  const std::vector<unsigned char> bytes = pattern(300000);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::thread writer([&] {
    size_t at = 0, step = 1;
    while (at < bytes.size()) {
      const size_t n = std::min(step, bytes.size() - at);
      const ssize_t put = ::write(fds[1], bytes.data() + at, n);
      if (put <= 0) break;
      at += static_cast<size_t>(put);
      step = step * 3 % 8191 + 1;
    }
    close(fds[1]);
  });
  const std::string got = hexOfFd(fds[0]);
  writer.join();
  close(fds[0]);
  EXPECT_EQ(got, hexOf(bytes));
}

TEST_F(MD5File, DescriptorErrorsReportFailure) {
  unsigned char digest[ZYR_MD5_DIGEST_SIZE] = {1};
  errno = 0;
  EXPECT_EQ(zyrMD5_fd(-1, digest), 0);
  EXPECT_EQ(errno, EBADF);
  EXPECT_EQ(digest[0], 1);
  const int dirFd = open(m_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(dirFd, 0);
  EXPECT_EQ(zyrMD5_fd(dirFd, digest), 0);
  EXPECT_EQ(errno, EISDIR);
  close(dirFd);
}

struct ToolRun {
  int status = -1;
  std::string out, err;
};

std::string drain(int fd) {
  std::string text;
  char buf[4096];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
  return text;
}

ToolRun runTool(const std::string &tool, const std::vector<std::string> &args) {
  ToolRun run;
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return run;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    dup2(err[1], 2);
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(tool.c_str()));
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    execv(tool.c_str(), argv.data());
    zyrtest::leaveChild(127);
  }
  close(out[1]);
  close(err[1]);
  // Output is small: read standard output then error without risk of the child blocking.
  run.out = drain(out[0]);
  run.err = drain(err[0]);
  close(out[0]);
  close(err[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST_F(MD5File, ToolPrintsLikeMd5sum) {
  // The tool is built beside the test helpers' directory, in the same build tree.
  std::string tool = ZYR_TEST_HELPER_DIR;
  tool = tool.substr(0, tool.rfind('/')) + "/tools/zyrmd5/zyrmd5";
  ASSERT_EQ(access(tool.c_str(), X_OK), 0) << tool << " is not built";

  const std::vector<unsigned char> bytes = pattern(123457);
  const std::string a = write("a.bin", bytes);
  const std::string empty = write("empty", {});
  const std::string odd = write("back\\slash", {'x'});
  const std::string missing = m_dir + "/missing";

  ToolRun run = runTool(tool, {a, missing, empty, odd});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, hexOf(bytes) + "  " + a + "\n" + "d41d8cd98f00b204e9800998ecf8427e  " +
                         empty + "\n" + "\\9dd4e461268c8034f5c8564e155c67a6  " + m_dir +
                         "/back\\\\slash\n");
  EXPECT_EQ(run.err, "zyrmd5: " + missing + ": No such file or directory\n");

  run = runTool(tool, {a});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");

  // Options are not taken for files: help is help, an unknown option is wrong usage.
  run = runTool(tool, {"--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind("usage: zyrmd5 [FILE]...\n", 0), 0u) << run.out;
  EXPECT_EQ(run.err, "");
  run = runTool(tool, {"--hlep", a});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "zyrmd5: unknown option --hlep\nusage: zyrmd5 [FILE]...\n");
}

} // namespace
