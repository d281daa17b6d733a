// Directories held by a descriptor, and their files reached through it.
#include "zyrDirectoryHandle.h"

#include "zyrFileUse.h"
#include "zyrLeftovers.h"

#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const char kThrough[] = "/proc/self/fd/";

// A held directory: its descriptor and the name messages give it ("" for the working directory
// of a bare name, else the name with its last '/').
struct Held {
  int m_fd;
  std::string m_shown;
};

std::mutex &heldMutex() {
  static std::mutex *mutex = new std::mutex();
  return *mutex;
}

std::vector<Held> &held() {
  static std::vector<Held> *all = new std::vector<Held>();
  return *all;
}

// The name messages give the held directory of the descriptor, with its last '/' when `slash`;
// false when the descriptor holds none. The caller holds heldMutex().
bool shownOf(int fd, bool slash, std::string *shown) {
  for (const Held &directory : held()) {
    if (directory.m_fd != fd)
      continue;
    *shown = directory.m_shown;
    if (!slash)
      *shown = shown->empty() ? "." : shown->size() > 1 ? shown->substr(0, shown->size() - 1) : *shown;
    return true;
  }
  return false;
}

} // namespace

namespace {

// The descriptor of a name that starts with a name through a descriptor, or -1; *rest the rest.
int descriptorOf(const char *name, const char **rest) {
  const size_t length = sizeof kThrough - 1;
  if (name == nullptr || std::strncmp(name, kThrough, length) != 0)
    return -1;
  const char *digits = name + length, *end = digits;
  int fd = 0;
  while (*end >= '0' && *end <= '9' && end - digits < 9)
    fd = fd * 10 + (*end++ - '0');
  *rest = end;
  return end > digits ? fd : -1;
}

} // namespace

bool zyrDirectoryHandle_leadsThrough(const char *name) {
  const char *rest = nullptr;
  const int fd = descriptorOf(name, &rest);
  if (fd < 0 || *rest != '/')
    return false;
  std::lock_guard<std::mutex> lock(heldMutex());
  std::string shown;
  return shownOf(fd, true, &shown);
}

namespace {

std::atomic<bool> theEnabled{true};

} // namespace

void zyrDirectoryHandle_setEnabled(int enabled) { theEnabled = enabled != 0; }

std::string zyrDirectoryHandle_hold(const char *name, int *fd) {
  *fd = -1;
  if (!theEnabled || name == nullptr || name[0] == '\0' || zyrDirectoryHandle_leadsThrough(name))
    return std::string();
  const char *slash = std::strrchr(name, '/');
  const std::string file = slash != nullptr ? slash + 1 : name;
  if (file.empty() || file == "." || file == "..")
    return std::string();
  // Held by a descriptor that needs no permission on the directory but its search: what the process
  // could reach by the name it can reach through the descriptor.
  const int directory = open(zyrLeftovers_directory(name).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (directory < 0)
    return std::string();
  const std::string through = kThrough + std::to_string(directory) + "/";
  struct stat own, reached;
  if (fstat(directory, &own) != 0 || stat(through.c_str(), &reached) != 0 || !zyrFileUse_isSame(own, reached)) {
    close(directory);
    return std::string();
  }
  {
    std::lock_guard<std::mutex> lock(heldMutex());
    held().push_back({directory, slash != nullptr ? std::string(name, static_cast<size_t>(slash - name) + 1) : ""});
  }
  *fd = directory;
  return through + file;
}

std::string zyrDirectoryHandle_fileOf(int fd) {
  if (!theEnabled || fd < 0)
    return std::string();
  return kThrough + std::to_string(fd);
}

void zyrDirectoryHandle_release(int fd) {
  if (fd < 0)
    return;
  {
    std::lock_guard<std::mutex> lock(heldMutex());
    std::vector<Held> &all = held();
    for (size_t i = 0; i < all.size(); ++i)
      if (all[i].m_fd == fd) {
        all.erase(all.begin() + static_cast<long>(i));
        break;
      }
  }
  close(fd);
}

std::string zyrDirectoryHandle_shown(const char *text) {
  if (text == nullptr)
    return std::string();
  const char *next = std::strstr(text, kThrough);
  if (next == nullptr)
    return text;
  std::string shown;
  std::lock_guard<std::mutex> lock(heldMutex());
  const size_t length = sizeof kThrough - 1;
  while (next != nullptr) {
    shown.append(text, static_cast<size_t>(next - text));
    const char *end = nullptr;
    const int fd = descriptorOf(next, &end);
    std::string directory;
    const bool slash = fd >= 0 && *end == '/';
    if (fd >= 0 && !(*end >= '0' && *end <= '9') && shownOf(fd, slash, &directory)) {
      shown += directory;
      text = slash ? end + 1 : end;
    } else {
      shown.append(next, length);
      text = next + length;
    }
    next = std::strstr(text, kThrough);
  }
  shown += text;
  return shown;
}
