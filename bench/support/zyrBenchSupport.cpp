#include "zyrBenchSupport.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace zyrbench {

double seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

uint64_t mix(uint64_t x) {
  x += UINT64_C(0x9E3779B97F4A7C15);
  x = (x ^ (x >> 30)) * UINT64_C(0xBF58476D1CE4E5B9);
  x = (x ^ (x >> 27)) * UINT64_C(0x94D049BB133111EB);
  return x ^ (x >> 31);
}

void reportRatio(benchmark::State &state, const char *ours, double ourSeconds, const char *baseline,
                 double baselineSeconds, int decimals) {
  state.SetIterationTime(ourSeconds);
  reportTotals(state, ours, ourSeconds, baseline, baselineSeconds, decimals);
}

void reportTotals(benchmark::State &state, const char *ours, double ourSeconds, const char *baseline,
                  double baselineSeconds, int decimals) {
  const double ratio = ourSeconds / baselineSeconds;
  state.counters[std::string(ours) + "_s"] = ourSeconds;
  state.counters[std::string(baseline) + "_s"] = baselineSeconds;
  state.counters["ratio_" + std::string(baseline)] = ratio;
  setLabel(state, "%s/%s = %.*f", ours, baseline, decimals, ratio);
}

uint64_t byteSum(const unsigned char *bytes, size_t count) {
  uint64_t sum = 0;
  size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    uint64_t word;
    std::memcpy(&word, bytes + i, sizeof word);
    sum += word;
  }
  for (; i < count; ++i)
    sum += bytes[i];
  return sum;
}

std::string readRaw(const std::string &path) {
  std::string bytes;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return bytes;
  std::vector<char> block(size_t{1} << 20);
  for (ssize_t n; (n = read(fd, block.data(), block.size())) > 0;)
    bytes.append(block.data(), static_cast<size_t>(n));
  close(fd);
  return bytes;
}

bool writeRaw(const std::string &path, const std::string &bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0)
    return false;
  bool ok = true;
  for (size_t done = 0; ok && done < bytes.size();) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    ok = n > 0;
    done += ok ? static_cast<size_t>(n) : 0;
  }
  ok = fsync(fd) == 0 && ok;
  return close(fd) == 0 && ok;
}

bool replaceRaw(const std::string &path, const std::string &bytes) {
  const std::string beside = path + ".raw";
  if (!writeRaw(beside, bytes) || rename(beside.c_str(), path.c_str()) != 0)
    return false;
  const size_t slash = path.rfind('/');
  const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return false;
  const bool ok = fsync(fd) == 0;
  return close(fd) == 0 && ok;
}

void setLabel(benchmark::State &state, const char *format, ...) {
  char label[256];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(label, sizeof label, format, arguments);
  va_end(arguments);
  state.SetLabel(label);
}

} // namespace zyrbench
