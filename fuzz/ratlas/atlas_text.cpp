// Arbitrary text through the region-atlas readers: the first byte picks the reader (atlas, map
// or definition from lines, or a map from a stream through the long-line splitter), the rest is
// the text. Whatever reads must write, and what it writes must read back and write again to the
// same bytes whenever every name involved is one the text can carry. The data-set line cutter
// gets the raw bytes as well.
#include "RegionAtlas.h"
#include "RegionAtlasText.h"
#include "RegionDefinition.h"
#include "RegionMap.h"
#include "RegionNameDictionary.h"
#include "RegionString.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::string> splitLines(const uint8_t* data, size_t size) {
  std::vector<std::string> lines;
  std::string line;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\n') {
      lines.push_back(line);
      line.clear();
    } else {
      line.push_back(char(data[i]));
    }
  }
  lines.push_back(line);
  return lines;
}

template <class T, class Reader>
RegionStatus* readLines(Reader reader, T** object, const std::vector<std::string>& lines) {
  std::vector<const char*> pointers;
  for (const std::string& l : lines) pointers.push_back(l.c_str());
  return reader(object, int32_t(pointers.size()), pointers.data(), nullptr);
}

// Every name entered since the dictionary was emptied can stand in the text unchanged.
bool namesAreWritable() {
  const RegionNameDictionary* d = RegionNameDictionary_instance();
  for (uint64_t id = 1; d && id <= d->m_count; ++id) {
    const char* name = nullptr;
    RegionNameDictionary_name(id, &name);
    if (!name || !RegionDefinition_isWritableWord(name)) return false;
  }
  return true;
}

struct AtlasKind {
  static RegionStatus* read(RegionAtlas** a, int32_t n, const char* const* l, const char* p) { return RegionAtlas_readFromStrings(a, n, l, p); }
  static RegionStatus* write(RegionAtlas* a, const char** t) { return RegionAtlas_getVSN(a, t); }
  static void destroy(RegionAtlas** a) { RegionAtlas_delete(a, 1); }
  // Each map is written as a block named after the map, and blocks of one name are one block
  // when the text is read: two maps of one name do not come back apart.
  static bool carried(const RegionAtlas* a) {
    const RegionMap* maps[] = {a->m_zyrMap, a->m_primaryMap, a->m_secondaryMap};
    for (int i = 0; i < 3; ++i) {
      for (int j = i + 1; j < 3; ++j) {
        if (maps[i] && maps[j] && maps[i]->m_name && maps[j]->m_name && strcmp(maps[i]->m_name, maps[j]->m_name) == 0)
          return false;
      }
    }
    return true;
  }
};

struct MapKind {
  static RegionStatus* read(RegionMap** m, int32_t n, const char* const* l, const char* p) { return RegionMap_readFromStrings(m, n, l, p); }
  static RegionStatus* write(RegionMap* m, const char** t) { return RegionMap_getVSN(m, 1, t); }
  static void destroy(RegionMap** m) { RegionMap_delete(m, 1); }
  static bool carried(const RegionMap*) { return true; }
};

struct DefinitionKind {
  static RegionStatus* read(RegionDefinition** d, int32_t n, const char* const* l, const char* p) {
    return RegionDefinition_readFromStrings(d, n, l, p);
  }
  static RegionStatus* write(RegionDefinition* d, const char** t) { return RegionDefinition_getVSN(d, t); }
  static void destroy(RegionDefinition** d) { RegionDefinition_delete(d); }
  static bool carried(const RegionDefinition*) { return true; }
};

template <class Kind, class T>
void roundTrip(T* first) {
  const char* text = nullptr;
  if (RegionStatus_isError(Kind::write(first, &text))) return;
  std::string written = text;
  T* second = nullptr;
  RegionStatus* status = Kind::read(&second, 0, nullptr, nullptr);  // refused: no lines
  if (!RegionStatus_isError(status)) abort();
  status = readLines(Kind::read, &second, splitLines(reinterpret_cast<const uint8_t*>(written.data()), written.size()));
  bool writable = namesAreWritable() && Kind::carried(first);
  if (RegionStatus_isError(status)) {
    if (writable) {
      fprintf(stderr, "written text does not read back: %s\n%s", status->m_text ? status->m_text : "", written.c_str());
      abort();
    }
    return;
  }
  if (!RegionStatus_isError(Kind::write(second, &text)) && writable && written != text) {
    fprintf(stderr, "round trip differs:\n%s----\n%s", written.c_str(), text);
    abort();
  }
  Kind::destroy(&second);
}

template <class Kind, class T>
void readAndCheck(const std::vector<std::string>& lines) {
  T* object = nullptr;
  RegionStatus* status = readLines(Kind::read, &object, lines);
  if (RegionStatus_isError(status)) {
    if (object) abort();  // a failed read leaves no new object behind
    return;
  }
  roundTrip<Kind>(object);
  Kind::destroy(&object);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > (1u << 16)) return 0;
  RegionNameDictionary_destroy();
  char** cut = nullptr;
  int32_t count = 0;
  if (!RegionStatus_isError(RegionText_cutDatasetLines(reinterpret_cast<const char*>(data + 1), size - 1, &cut, &count)) && cut)
    StringArray_delete(&cut, uint64_t(count));
  std::vector<std::string> lines = splitLines(data + 1, size - 1);
  switch (data[0] % 4) {
    case 0:
      readAndCheck<AtlasKind, RegionAtlas>(lines);
      break;
    case 1:
      readAndCheck<MapKind, RegionMap>(lines);
      break;
    case 2:
      readAndCheck<DefinitionKind, RegionDefinition>(lines);
      break;
    default: {
      if (size == 1) break;
      FILE* stream = fmemopen(const_cast<uint8_t*>(data + 1), size - 1, "r");
      if (!stream) break;
      RegionMap* map = nullptr;
      if (!RegionStatus_isError(RegionMap_readFromFILE(&map, stream, nullptr))) {
        roundTrip<MapKind>(map);
        RegionMap_delete(&map, 1);
      } else if (map) {
        abort();
      }
      fclose(stream);
    }
  }
  return 0;
}
