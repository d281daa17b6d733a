#include "DamageTestSupport.h"

#include "Database.h"
#include "zyrAPI.h"
#include "zyrCString.h"
#include "zyrMemory.h"
#include "zyrTestErrors.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/lsan_interface.h>
#define DAMAGE_TEST_LEAK_CHECK 1
#endif
#endif

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <sstream>

namespace damagetest {

namespace {

std::string toolsDir() {
  const std::string helpers = ZYR_TEST_HELPER_DIR;
  return helpers.substr(0, helpers.rfind('/')) + "/tools";
}

const std::string kKelvo = toolsDir() + "/kelvo/Kelvo.exe";
const std::string kMeshes = std::string(ZYR_SOURCE_DIR) + "/tests/data/meshes/";

// A small deterministic generator (splitmix64).
struct Random {
  uint64_t m_state;
  uint64_t next() {
    uint64_t z = (m_state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  size_t below(size_t n) { return n == 0 ? 0 : static_cast<size_t>(next() % n); }
};

uint64_t fnv(const void *data, size_t size, uint64_t hash = 0xcbf29ce484222325ULL) {
  const unsigned char *bytes = static_cast<const unsigned char *>(data);
  for (size_t i = 0; i < size; ++i)
    hash = (hash ^ bytes[i]) * 0x100000001b3ULL;
  return hash;
}

std::string hex(uint64_t value) {
  char text[20];
  std::snprintf(text, sizeof text, "%016" PRIx64, value);
  return text;
}

// The names sorted (some lists come in an order of memory addresses, which differs between
// processes); frees the array.
std::vector<std::string> sortedNames(int32_t n, char **names) {
  std::vector<std::string> sorted;
  for (int32_t i = 0; i < n; ++i)
    sorted.push_back(names != nullptr && names[i] != nullptr ? names[i] : "<null>");
  zyrCStringArray_free(names, static_cast<uint64_t>(n > 0 ? n : 0));
  std::sort(sorted.begin(), sorted.end());
  return sorted;
}

std::string joined(int32_t n, char **names) {
  std::string text;
  for (const std::string &name : sortedNames(n, names))
    text += (text.empty() ? "" : ",") + name;
  return text;
}

std::string number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

uint32_t readU32(const std::string &bytes, size_t at) {
  uint32_t value = 0;
  std::memcpy(&value, bytes.data() + at, 4);
  return value;
}

bool isKeyChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
}

// The next character of the same class, so that a key stays a key and a digit a digit.
char nextOfKind(char c) {
  static const char kKeys[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  if (c >= '0' && c <= '9')
    return c == '9' ? '0' : static_cast<char>(c + 1);
  const char *at = std::strchr(kKeys, c);
  if (c != '\0' && at != nullptr)
    return kKeys[(at - kKeys + 1) % 64];
  return static_cast<char>(c + 1);
}

// What a region, composite name and model answer, appended to out.
void describeModel(int32_t hModel, std::ostringstream &out) {
  int32_t n = 0;
  char **names = nullptr;
  int status = zyrModel_getAssemblies(hModel, &n, &names);
  out << "assemblies " << status << " " << joined(n, names) << "\n";
  n = 0;
  names = nullptr;
  status = zyrModel_getRegions(hModel, 15, &n, &names);
  out << "regions " << status << " " << n << "\n";
  const std::vector<std::string> regions = sortedNames(n, names);
  static const int32_t kVerticesOfType[] = {1, 2, 3, 4, 4, 5, 6, 8};
  for (const std::string &region : regions) {
    int32_t noOfVertices = 0, noOfElements = 0;
    double *xyz = nullptr;
    int32_t *types = nullptr, *vertices = nullptr;
    status = zyrRegion_getMesh(hModel, region.c_str(), 0, "m", &noOfVertices, &xyz, &noOfElements, &types, &vertices);
    out << "region " << region << " mesh " << status;
    if (status == 1) {
      uint64_t hash = fnv(xyz, sizeof(double) * 3 * static_cast<size_t>(noOfVertices > 0 ? noOfVertices : 0));
      hash = fnv(types, sizeof(int32_t) * static_cast<size_t>(noOfElements > 0 ? noOfElements : 0), hash);
      size_t noOfEntries = 0;
      for (int32_t e = 0; e < noOfElements; ++e)
        noOfEntries += types[e] >= 0 && types[e] < 8 ? static_cast<size_t>(kVerticesOfType[types[e]]) : 0;
      hash = fnv(vertices, sizeof(int32_t) * noOfEntries, hash);
      out << " " << noOfVertices << " " << noOfElements << " " << hex(hash);
    }
    zyrMemory_free(xyz, "damagetest");
    zyrMemory_free(types, "damagetest");
    zyrMemory_free(vertices, "damagetest");
    int32_t noOfNeighbours = 0;
    char **neighbours = nullptr;
    status = zyrRegion_getNeighbours(hModel, region.c_str(), &noOfNeighbours, &neighbours);
    out << " neighbours " << status << " " << joined(noOfNeighbours, neighbours);
    double box[6] = {0, 0, 0, 0, 0, 0};
    status = zyrLocation_getBoundingBox(hModel, region.c_str(), 0, "m", &box[0], &box[1], &box[2], &box[3], &box[4],
                                        &box[5]);
    out << " box " << status;
    for (double value : box)
      out << " " << number(value);
    out << "\n";
  }
  n = 0;
  names = nullptr;
  status = zyrModel_getCompositeNames(hModel, &n, &names);
  const std::vector<std::string> composites = sortedNames(n, names);
  out << "composites " << status << " " << composites.size() << "\n";
  for (const std::string &composite : composites) {
    int32_t noOfMembers = 0;
    char **members = nullptr;
    status = zyrLocation_getRegions(hModel, composite.c_str(), 0, 15, &noOfMembers, &members);
    out << "composite " << composite << " " << status << " " << joined(noOfMembers, members) << "\n";
  }
}

// The frame of a binary ("u", "U", "l", "L") data set at p, or false.
bool binaryFrame(const std::string &bytes, size_t p, Frame *frame) {
  const char letter = bytes[p];
  const size_t field = letter == 'l' || letter == 'L' ? 8 : 4;
  if (p + 3 + field > bytes.size() || field == 8)
    return false;
  const size_t s = p + 3 + field;
  const uint32_t length = readU32(bytes, p + 3);
  if (length < 19 || s + length + field > bytes.size() || bytes.compare(s, 8, "*DATASET") != 0)
    return false;
  frame->m_start = p;
  frame->m_end = s + length + field;
  frame->m_header = s;
  frame->m_dataEnd = s + length - 11;
  frame->m_data = frame->m_dataEnd;
  size_t q = s + 8;
  while (q + 4 <= frame->m_dataEnd) {
    const uint32_t size = readU32(bytes, q);
    if (q + 4 + size > frame->m_dataEnd)
      break;
    const std::string record = bytes.substr(q + 4, size);
    const size_t value = q + 4;
    q += 4 + size;
    if (record == "*DATA") {
      frame->m_data = q;
      break;
    }
    if (record.compare(0, 5, "WHAT\x1b") == 0) {
      frame->m_what = record.substr(5);
      frame->m_whatAt = value + 5;
    } else if (record.compare(0, 6, "WHERE\x1b") == 0) {
      frame->m_where = record.substr(6);
      frame->m_whereAt = value + 6;
    } else if (record.compare(0, 5, "WHEN\x1b") == 0) {
      frame->m_when = std::atoi(record.c_str() + 5);
      frame->m_whenAt = value + 5;
      frame->m_whenLength = record.size() - 5;
    } else if (record.compare(0, 9, "DATATYPE\x1b") == 0) {
      frame->m_datatype = record.substr(9);
    } else if (record == "t=u") {
      frame->m_references = true;
    }
  }
  return true;
}

// The record names of a binary header: one of them is given a wrong letter.
const char *const kRecordNames[] = {"*HEADER", "WHAT\x1b", "WHERE\x1b", "WHEN\x1b", "NUMATTRB\x1b",
                                    "DATATYPE\x1b", "NUMBER\x1b", "BLOCKFACTOR\x1b", "*DATA"};

using Mutator = bool (*)(const std::string &intact, const std::vector<Frame> &all, const Frame &frame,
                         Random &random, std::string *bytes, std::string *what);

bool flipHeader(const std::string &, const std::vector<Frame> &, const Frame &f, Random &random, std::string *bytes,
                std::string *what) {
  if (f.m_what.empty())
    return false;
  const size_t at = f.m_header + random.below(f.m_data - f.m_header);
  const int bit = static_cast<int>(random.below(8));
  (*bytes)[at] = static_cast<char>((*bytes)[at] ^ (1 << bit));
  *what = "header byte " + std::to_string(at - f.m_start) + " bit " + std::to_string(bit);
  return true;
}

// A changed byte of a compressed value: the stream's own check finds it. (A changed byte of a
// plain value is another value, which a file without checksums cannot tell from the real one.)
bool flipData(const std::string &intact, const std::vector<Frame> &, const Frame &f, Random &random,
              std::string *bytes, std::string *what) {
  if (f.m_what.empty() || f.m_dataEnd <= f.m_data + 6 || static_cast<unsigned char>(intact[f.m_data + 4]) != 0x78)
    return false;
  const size_t at = f.m_data + random.below(f.m_dataEnd - f.m_data);
  const int bit = static_cast<int>(random.below(8));
  (*bytes)[at] = static_cast<char>((*bytes)[at] ^ (1 << bit));
  *what = "data byte " + std::to_string(at - f.m_data) + " bit " + std::to_string(bit);
  return true;
}

bool renameRecord(const std::string &, const std::vector<Frame> &, const Frame &f, Random &random,
                  std::string *bytes, std::string *what) {
  if (f.m_what.empty())
    return false;
  const char *name = kRecordNames[random.below(sizeof kRecordNames / sizeof kRecordNames[0])];
  const size_t at = bytes->find(name, f.m_header);
  if (at == std::string::npos || at >= f.m_data)
    return false;
  const size_t letter = at + 3;
  (*bytes)[letter] = static_cast<char>((*bytes)[letter] + 1);
  *what = std::string("record ") + std::string(name, std::strcspn(name, "\x1b")) + " renamed";
  return true;
}

bool changeWhat(const std::string &, const std::vector<Frame> &, const Frame &f, Random &, std::string *bytes,
                std::string *what) {
  if (f.m_what.empty())
    return false;
  const size_t at = f.m_whatAt + f.m_what.size() - 1;
  (*bytes)[at] = nextOfKind((*bytes)[at]);
  *what = "name changed";
  return true;
}

bool changeKey(const std::string &, const std::vector<Frame> &, const Frame &f, Random &random, std::string *bytes,
               std::string *what) {
  if (f.m_where.empty())
    return false;
  const size_t at = f.m_whereAt + random.below(f.m_where.size());
  (*bytes)[at] = nextOfKind((*bytes)[at]);
  *what = "key character " + std::to_string(at - f.m_whereAt) + " changed";
  return true;
}

bool changeState(const std::string &, const std::vector<Frame> &, const Frame &f, Random &random,
                 std::string *bytes, std::string *what) {
  if (f.m_whenLength == 0)
    return false;
  const size_t at = f.m_whenAt + f.m_whenLength - 1;
  char digit = (*bytes)[at];
  for (size_t steps = 1 + random.below(8); steps > 0; --steps)
    digit = nextOfKind(digit);
  (*bytes)[at] = digit;
  *what = "state changed";
  return true;
}

// A stored type made another type that the file holds.
bool changeType(const std::string &intact, const std::vector<Frame> &all, const Frame &f, Random &random,
                std::string *bytes, std::string *what) {
  if (f.m_what != "__TYPE__" || f.m_dataEnd - f.m_data != 4)
    return false;
  const uint32_t own = readU32(intact, f.m_data);
  std::set<uint32_t> others;
  for (const Frame &g : all)
    if (g.m_what == "__TYPE__" && g.m_dataEnd - g.m_data == 4 && readU32(intact, g.m_data) != own)
      others.insert(readU32(intact, g.m_data));
  if (others.empty())
    return false;
  auto it = others.begin();
  std::advance(it, static_cast<std::ptrdiff_t>(random.below(others.size())));
  const uint32_t type = *it;
  std::memcpy(&(*bytes)[f.m_data], &type, 4);
  *what = "type " + std::to_string(own) + " made " + std::to_string(type);
  return true;
}

// One stored reference pointed at another object of the file.
bool swapReference(const std::string &intact, const std::vector<Frame> &all, const Frame &f, Random &random,
                   std::string *bytes, std::string *what) {
  if (!f.m_references || f.m_dataEnd - f.m_data < 22)
    return false;
  const size_t n = (f.m_dataEnd - f.m_data) / 22;
  const size_t slot = f.m_data + 22 * random.below(n);
  for (size_t i = 0; i < 22; ++i)
    if (!isKeyChar(intact[slot + i]))
      return false;
  std::vector<std::string> keys;
  for (const Frame &g : all)
    if (g.m_where.size() == 22 && g.m_where != intact.substr(slot, 22) &&
        std::find(keys.begin(), keys.end(), g.m_where) == keys.end())
      keys.push_back(g.m_where);
  if (keys.empty())
    return false;
  bytes->replace(slot, 22, keys[random.below(keys.size())]);
  *what = "reference " + std::to_string((slot - f.m_data) / 22) + " pointed elsewhere";
  return true;
}

bool cut(const std::string &, const std::vector<Frame> &, const Frame &f, Random &random, std::string *bytes,
         std::string *what) {
  const size_t at = f.m_start + random.below(f.m_end - f.m_start);
  bytes->resize(at);
  *what = "cut at " + std::to_string(at);
  return true;
}

bool dropFrame(const std::string &, const std::vector<Frame> &, const Frame &f, Random &, std::string *bytes,
               std::string *what) {
  if (f.m_what.empty())
    return false;
  bytes->erase(f.m_start, f.m_end - f.m_start);
  *what = "frame dropped";
  return true;
}

bool copyFrame(const std::string &intact, const std::vector<Frame> &all, const Frame &f, Random &random,
               std::string *bytes, std::string *what) {
  const Frame &other = all[random.below(all.size())];
  if (other.m_what.empty())
    return false;
  bytes->insert(f.m_start, intact.substr(other.m_start, other.m_end - other.m_start));
  *what = "frame of " + other.m_what + " copied before it";
  return true;
}

bool graftData(const std::string &intact, const std::vector<Frame> &all, const Frame &f, Random &random,
               std::string *bytes, std::string *what) {
  std::vector<const Frame *> same;
  for (const Frame &g : all)
    if (&g != &f && !g.m_what.empty() && g.m_datatype == f.m_datatype &&
        g.m_dataEnd - g.m_data == f.m_dataEnd - f.m_data && g.m_where != f.m_where &&
        intact.compare(g.m_data, g.m_dataEnd - g.m_data, intact, f.m_data, f.m_dataEnd - f.m_data) != 0)
      same.push_back(&g);
  if (f.m_what.empty() || same.empty())
    return false;
  const Frame *g = same[random.below(same.size())];
  bytes->replace(f.m_data, f.m_dataEnd - f.m_data, intact.substr(g->m_data, g->m_dataEnd - g->m_data));
  *what = "values of another " + g->m_what + " grafted";
  return true;
}

bool flipIndex(const std::string &, const std::vector<Frame> &, const Frame &f, Random &random, std::string *bytes,
               std::string *what) {
  if (!f.m_what.empty())
    return false;
  const size_t at = f.m_start + random.below(f.m_end - f.m_start);
  (*bytes)[at] = nextOfKind((*bytes)[at]);
  *what = "index byte " + std::to_string(at - f.m_start) + " changed";
  return true;
}

struct Operation {
  const char *m_name;
  Mutator m_apply;
};

const Operation kOperations[] = {
    {"flip", flipHeader},         {"flip", flipData},         {"rename", renameRecord}, {"what", changeWhat},
    {"key", changeKey},           {"when", changeState},      {"type", changeType},     {"reference", swapReference},
    {"cut", cut},                 {"drop", dropFrame},        {"copy", copyFrame},      {"graft", graftData},
    {"index", flipIndex},
};

// The kind of a frame for spreading the damage: the stored name, one for the index.
std::string kindOf(const Frame &frame) {
  return frame.m_what.empty() ? "<index>" : frame.m_deleted ? "<deleted>" : frame.m_what;
}

} // namespace

Workshop::Workshop(const std::string &directory)
    : m_units("ZYR_USE_LOCAL_UNITS", "1"), m_session("ZYR_SESSION_FILE", nullptr),
      m_bin("WEZ5BINDIR", directory.c_str()), m_exec("WEZ5EXECDIR", directory.c_str()),
      m_reader("WEZ5_KELVO_EXEC", kKelvo.c_str()), m_here(directory) {}

std::string buildModel(const std::string &path, const std::string &mesh) {
  int32_t hDatabase = -1, hModel = -1;
  if (zyrDatabase_open(path.c_str(), &hDatabase, &hModel) != 1)
    return "";
  int ok = 1;
  int32_t n = 0;
  char **names = nullptr;
  ok &= zyrModel_importMesh(hModel, "Msh", (kMeshes + mesh).c_str(), nullptr, nullptr, "m", 0, &n, &names);
  zyrCStringArray_free(names, static_cast<uint64_t>(n > 0 ? n : 0));
  names = nullptr;
  ok &= zyrModel_getRegions(hModel, 4, &n, &names);
  std::vector<char *> surfaces(names, names + (n > 1 ? 2 : n));
  ok &= surfaces.size() == 2 ? zyrCompositeName_create(hModel, "faces", 1, 2, surfaces.data(), 0, nullptr) : 0;
  zyrCStringArray_free(names, static_cast<uint64_t>(n > 0 ? n : 0));
  int32_t checkpoint = -1;
  ok &= zyrDatabase_saveCheckpoint(hDatabase, &checkpoint);
  names = nullptr;
  ok &= zyrModel_importMesh(hModel, "Msh", (kMeshes + mesh).c_str(), nullptr, nullptr, "m", 0, &n, &names);
  zyrCStringArray_free(names, static_cast<uint64_t>(n > 0 ? n : 0));
  names = nullptr;
  ok &= zyrModel_getRegions(hModel, 8, &n, &names);
  char *actual = nullptr;
  ok &= n > 0 ? zyrRegion_rename(hModel, names[0], "renamed", 0, &actual) : 0;
  zyrCString_free(actual);
  zyrCStringArray_free(names, static_cast<uint64_t>(n > 0 ? n : 0));
  ok &= zyrDatabase_saveCheckpoint(hDatabase, &checkpoint);
  ok &= zyrDatabase_close(hDatabase, -1);
  return ok == 1 ? zyrtest::readFile(path) : "";
}

std::vector<Frame> frames(const std::string &bytes) {
  std::vector<Frame> list;
  // The information block: "*INFO\n", the size in a line of the offset width, "*ENDINFO\n".
  const size_t line = bytes.find('\n', 6);
  if (bytes.compare(0, 6, "*INFO\n") != 0 || line == std::string::npos)
    return list;
  const size_t width = line - 6;
  size_t p = line + 1 + 9;
  while (p + 3 <= bytes.size()) {
    Frame frame;
    // Live binary frames, and deleted ones ("D" and the digit with its high bit, or the digit).
    const bool deleted = bytes[p] == 'D' && bytes[p + 1] != 'F' && bytes[p + 1] != '\0';
    if ((bytes[p] == 'u' || bytes[p] == 'U' || deleted) && binaryFrame(bytes, p, &frame)) {
      frame.m_deleted = deleted;
      list.push_back(frame);
      p = frame.m_end;
      continue;
    }
    if (bytes[p] == 'F' && bytes.compare(p + 3 + width + 1, 6, "*INDEX") == 0) {
      // The index frame runs to the end of the file (its closing fields and position line).
      frame.m_start = p;
      frame.m_end = bytes.size();
      frame.m_header = frame.m_data = frame.m_dataEnd = p + 3 + width + 1;
      list.push_back(frame);
    }
    break;
  }
  return list;
}

std::vector<Variant> mutations(const std::string &intact, int32_t count, uint64_t seed) {
  const std::vector<Frame> all = frames(intact);
  std::map<std::string, std::vector<size_t>> byKind;
  for (size_t i = 0; i < all.size(); ++i)
    byKind[kindOf(all[i])].push_back(i);
  std::vector<std::string> kinds;
  for (const auto &entry : byKind)
    kinds.push_back(entry.first);
  std::vector<Variant> variants;
  if (kinds.empty())
    return variants;
  Random random{seed};
  const size_t noOfOperations = sizeof kOperations / sizeof kOperations[0];
  for (int32_t i = 0; static_cast<int32_t>(variants.size()) < count && i < 50 * count; ++i) {
    const std::string &kind = kinds[static_cast<size_t>(i) % kinds.size()];
    const std::vector<size_t> &members = byKind[kind];
    const Frame &frame = all[members[random.below(members.size())]];
    // Each kind meets the operations in turn; those that do not fit it are passed over.
    const size_t first = (static_cast<size_t>(i) / kinds.size() + random.below(2)) % noOfOperations;
    for (size_t k = 0; k < noOfOperations; ++k) {
      const Operation &operation = kOperations[(first + k) % noOfOperations];
      std::string bytes = intact;
      std::string what;
      if (operation.m_apply(intact, all, frame, random, &bytes, &what) && bytes != intact) {
        variants.push_back({kind + " [" + frame.m_where + " @" + std::to_string(frame.m_when) + "]: " + what,
                            std::move(bytes)});
        break;
      }
    }
  }
  return variants;
}

std::string describe(int32_t hModel) {
  std::ostringstream out;
  describeModel(hModel, out);
  return out.str();
}

Walk walkDatabase(const std::string &path, const std::string &exportPath) {
  Walk walk;
  zyrtest::ErrorCapture errors;
  std::ostringstream out;
  int32_t hDatabase = -1, hModel = -1;
  int status = zyrDatabase_open(path.c_str(), &hDatabase, &hModel);
  out << "open " << status << "\n";
  if (status == 1) {
    describeModel(hModel, out);
    std::remove(exportPath.c_str());
    status = zyrModel_exportMesh(hModel, "Def", exportPath.c_str(), "m", 0);
    const std::string exported = zyrtest::readFile(exportPath);
    out << "export " << status << " " << exported.size() << " " << hex(fnv(exported.data(), exported.size()))
        << "\n";
    std::remove(exportPath.c_str());
    std::remove((exportPath + ".lck").c_str());
    status = zyrDatabase_restoreCheckpoint(hDatabase, 1);
    out << "checkpoint " << status << "\n";
    describeModel(hModel, out);
    out << "close " << zyrDatabase_close(hDatabase, -1) << "\n";
    // A file that opened opens again after what its close wrote.
    status = zyrDatabase_open(path.c_str(), &hDatabase, &hModel);
    out << "reopen " << status << "\n";
    if (status == 1) {
      int32_t n = 0;
      char **names = nullptr;
      status = zyrModel_getAssemblies(hModel, &n, &names);
      out << "assemblies " << status << " " << joined(n, names) << "\n";
      out << "close " << zyrDatabase_close(hDatabase, -1) << "\n";
    }
  } else {
    walk.m_refused = true;
  }
  for (const zyrtest::RaisedError &error : errors.published())
    walk.m_errors += std::to_string(error.code) + ": " + error.message + "\n";
  walk.m_reported = !errors.published().empty();
  walk.m_answers = out.str();
  return walk;
}

int startIsolated(const std::function<Walk()> &walk, const std::string &stderrPath, unsigned seconds) {
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t pid = fork();
  if (pid != 0)
    return pid;
  const int fd = open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd >= 0)
    dup2(fd, 2);
  alarm(seconds);
  const Walk result = walk();
  const std::string text = std::string(result.m_refused ? "1" : "0") + (result.m_reported ? "1" : "0") + "\n" +
                           std::to_string(result.m_answers.size()) + "\n" + result.m_answers + result.m_errors;
  zyrtest::writeFile(stderrPath + ".walk", text);
#ifdef DAMAGE_TEST_LEAK_CHECK
  if (__lsan_do_recoverable_leak_check() != 0)
    zyrtest::leaveChild(99);
#endif
  zyrtest::leaveChild(0);
}

Outcome runIsolated(const std::function<Walk()> &walk, const std::string &stderrPath, unsigned seconds) {
  return finishIsolated(startIsolated(walk, stderrPath, seconds), stderrPath);
}

Outcome finishIsolated(int pid, const std::string &stderrPath) {
  Outcome outcome;
  const std::string answers = stderrPath + ".walk";
  if (pid < 0) {
    outcome.m_stderr = "fork failed";
    return outcome;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  outcome.m_stderr = zyrtest::readFile(stderrPath);
  std::remove(stderrPath.c_str());
  const std::string text = zyrtest::readFile(answers);
  std::remove(answers.c_str());
  if (WIFSIGNALED(status)) {
    outcome.m_kind = WTERMSIG(status) == SIGALRM ? Outcome::kHung : Outcome::kCrashed;
    outcome.m_status = WTERMSIG(status);
    return outcome;
  }
  outcome.m_status = WEXITSTATUS(status);
  const size_t line = text.find('\n');
  const size_t second = line != std::string::npos ? text.find('\n', line + 1) : std::string::npos;
  if (outcome.m_status != 0 || second == std::string::npos || line != 2 ||
      zyrtest::contains(outcome.m_stderr, "Sanitizer") || zyrtest::contains(outcome.m_stderr, "runtime error")) {
    outcome.m_kind = Outcome::kCrashed;
    return outcome;
  }
  outcome.m_kind = Outcome::kCompleted;
  outcome.m_walk.m_refused = text[0] == '1';
  outcome.m_walk.m_reported = text[1] == '1';
  const size_t size = static_cast<size_t>(std::strtoull(text.c_str() + line + 1, nullptr, 10));
  outcome.m_walk.m_answers = text.substr(second + 1, size);
  outcome.m_walk.m_errors = second + 1 + size <= text.size() ? text.substr(second + 1 + size) : "";
  return outcome;
}

std::string judge(const Outcome &outcome, const Walk &intact) {
  if (outcome.m_kind == Outcome::kHung)
    return "HANG";
  if (outcome.m_kind == Outcome::kCrashed) {
    // The first lines of the report say where.
    std::string head;
    std::istringstream lines(outcome.m_stderr);
    std::string line;
    for (int kept = 0; kept < 12 && std::getline(lines, line);)
      if (zyrtest::contains(line, "ERROR") || zyrtest::contains(line, "runtime error") ||
          zyrtest::contains(line, "    #")) {
        head += "\n    " + line;
        ++kept;
      }
    return "CRASH (status " + std::to_string(outcome.m_status) + ")" + head;
  }
  if (outcome.m_walk.m_refused)
    return "refused";
  if (outcome.m_walk.m_reported)
    return "reported";
  if (outcome.m_walk.m_answers == intact.m_answers)
    return "identical";
  std::istringstream a(outcome.m_walk.m_answers), b(intact.m_answers);
  std::string lineA, lineB;
  while (std::getline(a, lineA)) {
    if (!std::getline(b, lineB))
      lineB = "<nothing>";
    if (lineA != lineB)
      return "SILENT DIFFERENCE: \"" + lineA.substr(0, 200) + "\" where the intact file gives \"" +
             lineB.substr(0, 200) + "\"";
  }
  return "SILENT DIFFERENCE: fewer answers";
}

} // namespace damagetest
