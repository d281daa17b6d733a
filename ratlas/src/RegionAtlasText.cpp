#include "RegionAtlasText.h"

#include "RegionAtlas.h"
#include "RegionDefinition.h"
#include "RegionMap.h"
#include "RegionMemory.h"
#include "RegionNameDictionary.h"
#include "RegionNameRecord.h"
#include "RegionScope.h"
#include "RegionString.h"
#include "io_alloc.h"
#include "io_dataset.h"
#include "io_header.h"
#include "io_located.h"
#include "io_lock.h"
#include "iodata.h"
#include "lowlevel_io.h"
#include "vsnapi.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

const char* const kAtlasWord = "Region Atlas";
const char* const kMapWord = "Region Map";
const char* const kDefinitionWord = "Region Definition";

char s_message[REGION_MESSAGE_SIZE];

// ---- writing ---------------------------------------------------------------------------------

const char* nameOfId(uint64_t id) {
  const char* name = nullptr;
  RegionNameDictionary_name(id, &name);
  return name ? name : "";
}

// "<prefix>a, b\n"; an empty list cannot be written.
RegionStatus* appendList(std::string& out, const char* prefix, const StringList* list) {
  if (!list || list->m_count == 0) return RegionStatus_fail(RS_BAD_CALL, "Invalid string.");
  out += prefix;
  for (uint64_t i = 0; i < list->m_count; ++i) {
    if (i) out += ", ";
    out += nameOfId(list->m_items[i]);
  }
  out += '\n';
  return RegionStatus_success();
}

RegionStatus* writeDefinition(std::string& out, const RegionDefinition* d) {
  const char* word = RegionDefinition_combinationWord(d->m_combination);
  if (!word) return RegionStatus_fail(RS_INVALID_COMBINATION, "Invalid combination.");
  out += "    REGION: ";
  out += nameOfId(RegionDefinition_id(d));
  out += '\n';
  if (d->m_tags && d->m_tags->m_count > 0) appendList(out, "      Tags = ", d->m_tags);
  out += "      Combination = ";
  out += word;
  out += '\n';
  RegionStatus* status = RegionStatus_success();
  if (RegionDefinition_isTwoSidedCombination(d->m_combination)) {
    status = appendList(out, "      Region List A = ", d->m_listA);
    if (!RegionStatus_isError(status)) status = appendList(out, "      Region List B = ", d->m_listB);
  } else {
    status = appendList(out, "      Region List = ", d->m_listA);
  }
  if (RegionStatus_isError(status)) return status;
  out += "    END # REGION\n\n";
  return status;
}

template <class Get>
RegionStatus* listOf(RegionMap* map, Get get, StringList** list) {
  *list = nullptr;
  return get(map, STRING_LIST_COPY, list);
}

RegionStatus* writeMap(std::string& out, RegionMap* map, bool withPrimitives) {
  out += "  REGION MAP: ";
  out += map->m_name ? map->m_name : "";
  out += "\n\n";
  if (map->m_atlas) {
    out += "    Type = ";
    out += RegionMap_typeWord(map->m_type);
    out += "\n\n";
  }
  if (map->m_owner && *map->m_owner) {
    out += "    Owner = ";
    out += map->m_owner;
    out += "\n\n";
  }
  // The map's own declarations, which the text must give back (the primitive list below lumps
  // every kind of primitive together and is not read).
  StringList* list = nullptr;
  RegionStatus* status = listOf(map, RegionMap_getAllExplicitPrimitives, &list);
  if (RegionStatus_isError(status)) return status;
  if (list) {
    appendList(out, "    Explicit Primitive List = ", list);
    out += '\n';
    StringList_delete(&list);
  }
  RegionDefinition** definitions = nullptr;
  uint64_t count = 0;
  status = RegionMap_getRegionDefinitions(map, &definitions, &count);
  if (RegionStatus_isError(status)) return status;
  for (uint64_t i = 0; i < count && !RegionStatus_isError(status); ++i) status = writeDefinition(out, definitions[i]);
  RegionMemory_free(definitions);
  if (RegionStatus_isError(status)) return status;
  if (withPrimitives) {
    status = listOf(map, RegionMap_getAllPrimitives, &list);
    if (RegionStatus_isError(status)) return status;
    if (list) {
      out += "    PRIMITIVE REGIONS: \n";
      appendList(out, "      Primitive Region List = ", list);
      out += "    END # PRIMITIVE REGIONS\n";
      StringList_delete(&list);
    }
  }
  out += "  END # REGION MAP\n\n";
  return RegionStatus_success();
}

// Keeps text in a buffer, replacing the old one.
RegionStatus* keep(String** buffer, const std::string& text, const char** out) {
  String* fresh = nullptr;
  RegionStatus* status = String_new(&fresh, text.c_str());
  if (RegionStatus_isError(status)) return status;
  if (*buffer) String_delete(*buffer, 1);
  *buffer = fresh;
  *out = String_value(fresh);
  return status;
}

void drop(String** buffer) {
  if (*buffer) String_delete(*buffer, 1);
  *buffer = nullptr;
}

// ---- reading ---------------------------------------------------------------------------------

// The paths pushed on a handle's directory stack by one reader, popped again on the way out.
class PathScope {
 public:
  explicit PathScope(vsnHandle* h) : m_handle(h) {}
  ~PathScope() {
    for (int i = 0; i < m_pushed; ++i) popPath(m_handle);
  }
  PathScope(const PathScope&) = delete;
  PathScope& operator=(const PathScope&) = delete;
  bool push(const char* path) {
    if (pushPath(m_handle, path)) return false;
    ++m_pushed;
    return true;
  }

 private:
  vsnHandle* m_handle;
  int m_pushed = 0;
};

// What a reader looks for: its keyword and the words of its messages.
struct Kind {
  const char* m_keyword;  // "REGION MAP"
  const char* m_lower;    // "map"
  const char* m_upper;    // "Map"
  bool m_singletonNamed;  // a block named like its keyword is written as the bare keyword
};

const Kind kAtlasKind = {"REGION ATLAS", "atlas", "Atlas", false};
const Kind kMapKind = {"REGION MAP", "map", "Map", false};
const Kind kDefinitionKind = {"REGION", "definition", "Definition", true};

RegionStatus* readFailure(const Kind& kind, const char* reason) {
  return RegionStatus_failf(s_message, sizeof(s_message), RS_BAD_VSN, "Unable to read %s: %s", kind.m_lower, reason);
}

// The name a block's last path step gives it; false when it gives none.
bool nameOfStep(const Kind& kind, const char* path, std::string* name) {
  const char* slash = strrchr(path, '/');
  const char* step = slash ? slash + 1 : path;
  if (String_hasKeyPrefix(kind.m_keyword, step)) {
    *name = step + strlen(kind.m_keyword) + 1;
    return !name->empty();
  }
  // "REGION: REGION" reads back as the singleton REGION; its name is the keyword.
  if (kind.m_singletonNamed && strcmp(step, kind.m_keyword) == 0) {
    *name = kind.m_keyword;
    return true;
  }
  return false;
}

// Finds the block and enters it; hasName tells whether the text named it.
RegionStatus* findBlock(vsnHandle* h, const Kind& kind, const char* path, PathScope& scope, std::string* name, bool* hasName) {
  *hasName = false;
  if (path && *path) {
    char* full = getFullPath(h, path);
    if (!full) return RegionStatus_outOfMemory("path");
    *hasName = nameOfStep(kind, full, name);
    bool entered = scope.push(full);
    free(full);
    if (!entered) return readFailure(kind, "Path not found.");
  }
  if (*hasName) return RegionStatus_success();
  char** paths = nullptr;
  if (getObjectsByTypeH(h, kind.m_keyword, &paths)) return readFailure(kind, "Cannot list the blocks.");
  int count = 0;
  while (paths && paths[count]) ++count;
  RegionStatus* status = RegionStatus_success();
  if (count >= 2) {
    status = RegionStatus_failf(s_message, sizeof(s_message), RS_BAD_VSN, "Unable to read %s: Multiple %s entries found.", kind.m_lower,
                                kind.m_upper);
  } else if (count == 1) {
    *hasName = nameOfStep(kind, paths[0], name);
    if (!scope.push(paths[0])) status = readFailure(kind, "Path not found.");
  }
  freeStringArray(paths);
  return status;
}

// The values of a list parameter of the block; false when it is missing. A single empty value
// is an empty list.
bool readList(vsnHandle* h, const char* parameter, std::vector<std::string>* values) {
  values->clear();
  char** strings = nullptr;
  int count = 0;
  if (getStringList(h, parameter, &strings, &count)) return false;
  for (int i = 0; i < count; ++i) values->push_back(strings[i] ? strings[i] : "");
  freeStringList(strings, count);
  if (values->size() == 1 && (*values)[0].empty()) values->clear();
  return true;
}

std::vector<const char*> pointersOf(const std::vector<std::string>& values) {
  std::vector<const char*> pointers;
  for (const std::string& v : values) pointers.push_back(v.c_str());
  return pointers;
}

// Gives an existing definition the contents read into a new one; the new one is consumed.
RegionStatus* update(RegionDefinition* existing, RegionDefinition* read, bool hasName, const std::string& name) {
  RegionMap* map = existing->m_map;
  RegionStatus* status = map ? RegionMap_removeRegionDefinition(map, existing) : RegionStatus_success();
  if (RegionStatus_isError(status)) {
    return RegionStatus_keepAcross(status, [&] { RegionDefinition_delete(&read); });
  }
  uint64_t oldId = RegionDefinition_id(existing);
  auto swapContents = [&] {
    std::swap(existing->m_combination, read->m_combination);
    std::swap(existing->m_listA, read->m_listA);
    std::swap(existing->m_listB, read->m_listB);
  };
  swapContents();
  if (hasName) status = RegionDefinition_rename(existing, name.c_str());
  for (uint64_t i = 0; !RegionStatus_isError(status) && read->m_tags && i < read->m_tags->m_count; ++i)
    status = RegionDefinition_addTag(existing, nameOfId(read->m_tags->m_items[i]));
  if (!RegionStatus_isError(status) && map) status = RegionMap_addRegionDefinition(map, existing);
  if (RegionStatus_isError(status)) {
    status = RegionStatus_keepAcross(status, [&] {
      swapContents();
      existing->m_nameRecord->m_id = oldId;
      if (map) RegionMap_reattachDefinition(map, existing);
    });
  }
  RegionDefinition_delete(&read);
  return status;
}

RegionStatus* readDefinition(vsnHandle* h, RegionDefinition** definition, const char* path) {
  PathScope scope(h);
  std::string name;
  bool hasName = false;
  RegionStatus* status = findBlock(h, kDefinitionKind, path, scope, &name, &hasName);
  if (RegionStatus_isError(status)) return status;
  int32_t combination = RC_ALIAS;
  char* word = nullptr;
  if (!getStringValue(h, "Combination", &word) && word) {
    combination = RC_NONE;
    for (int32_t c = RC_UNION; c <= RC_ALIAS; ++c) {
      if (strcmp(word, RegionDefinition_combinationWord(c)) == 0) combination = c;
    }
    free(word);
    if (combination == RC_NONE) return readFailure(kDefinitionKind, "Unrecognised Combination.");
  }
  std::vector<std::string> listA, listB, tags;
  if (RegionDefinition_isTwoSidedCombination(combination)) {
    if (!readList(h, "Region List A", &listA)) return readFailure(kDefinitionKind, "Missing 'Region List A' for definition");
    if (!readList(h, "Region List B", &listB)) return readFailure(kDefinitionKind, "Missing 'Region List B' for definition");
  } else if (!readList(h, "Region List", &listA)) {
    return readFailure(kDefinitionKind, "Missing 'Region List' for definition");
  }
  bool tagged = readList(h, "Tags", &tags);
  std::vector<const char*> a = pointersOf(listA), b = pointersOf(listB);
  RegionDefinition* read = nullptr;
  status = RegionDefinition_new(&read, hasName ? name.c_str() : "New Definition", combination, a.data(), b.data(), int32_t(a.size()),
                                int32_t(b.size()));
  if (RegionStatus_isError(status)) return status;
  for (size_t i = 0; tagged && i < tags.size() && !RegionStatus_isError(status); ++i) status = RegionDefinition_addTag(read, tags[i].c_str());
  if (RegionStatus_isError(status)) {
    return RegionStatus_keepAcross(status, [&] { RegionDefinition_delete(&read); });
  }
  if (*definition) return update(*definition, read, hasName, name);
  *definition = read;
  return status;
}

RegionStatus* fillMap(vsnHandle* h, RegionMap* map) {
  std::vector<std::string> values;
  if (readList(h, "Owner", &values) && values.size() == 1) {
    RegionStatus* status = RegionMap_setOwner(map, values[0].c_str());
    if (RegionStatus_isError(status)) return status;
  }
  std::string block = getCurrentPathH(h);
  int count = 0;
  vsnChildInfo* children = nullptr;
  if (getChildList(h, block.c_str(), &count, &children, nullptr, nullptr)) return readFailure(kMapKind, "Cannot list the definitions.");
  RegionStatus* status = RegionStatus_success();
  for (int i = 0; i < count && !RegionStatus_isError(status); ++i) {
    const vsnChildInfo& c = children[i];
    if (strcmp(c.m_type, "REGION") != 0 || strcmp(c.m_kind, "Param") == 0) continue;
    std::string path = block == "/" ? "" : block;
    path += strcmp(c.m_kind, "Object") == 0 ? std::string("/REGION:") + c.m_name : std::string("/REGION");
    RegionDefinition* definition = nullptr;
    status = readDefinition(h, &definition, path.c_str());
    if (RegionStatus_isError(status)) break;
    status = RegionMap_addRegionDefinition(map, definition);
    if (RegionStatus_isError(status)) status = RegionStatus_keepAcross(status, [&] { RegionDefinition_delete(&definition); });
  }
  freeChildArray(children, count);
  if (RegionStatus_isError(status)) return status;
  if (readList(h, "Explicit Primitive List", &values)) {
    for (size_t i = 0; i < values.size() && !RegionStatus_isError(status); ++i) {
      if (!values[i].empty()) status = RegionMap_addExplicitPrimitive(map, values[i].c_str());
    }
  }
  return status;
}

RegionStatus* readMap(vsnHandle* h, RegionMap** map, const char* path) {
  PathScope scope(h);
  std::string name;
  bool hasName = false;
  RegionStatus* status = findBlock(h, kMapKind, path, scope, &name, &hasName);
  if (RegionStatus_isError(status)) return status;
  RegionMap* m = *map;
  bool created = !m;
  if (created) status = RegionMap_new(&m, hasName ? name.c_str() : "New Map");
  else if (hasName) status = RegionMap_setName(m, name.c_str());
  if (RegionStatus_isError(status)) return status;
  status = fillMap(h, m);
  if (RegionStatus_isError(status) && created) return RegionStatus_keepAcross(status, [&] { RegionMap_delete(&m, 1); });
  *map = m;
  return status;
}

const uint32_t kReadOrder[] = {REGION_MAP_ZYR, REGION_MAP_PRIMARY, REGION_MAP_SECONDARY};

RegionStatus* fillAtlas(vsnHandle* h, RegionAtlas* atlas, RegionMap* created[3]) {
  char** paths = nullptr;
  if (getObjectsByTypeH(h, "REGION MAP", &paths)) return readFailure(kAtlasKind, "Cannot list the maps.");
  int count = 0;
  while (paths && paths[count]) ++count;
  RegionStatus* status = RegionStatus_success();
  for (int k = 0; k < 3 && !RegionStatus_isError(status); ++k) {
    uint32_t type = kReadOrder[k];
    const char* word = RegionMap_typeWord(type);
    // Visited from the last listed to the first: of two blocks of a type, the first listed wins.
    const char* chosen = nullptr;
    for (int i = count - 1; i >= 0; --i) {
      PathScope scope(h);
      if (!scope.push(paths[i])) continue;
      char* value = nullptr;
      if (getStringValue(h, "Type", &value) || !value) continue;
      for (char* p = value; *p; ++p) *p = char(toupper(static_cast<unsigned char>(*p)));
      if (strcmp(value, word) == 0) chosen = paths[i];
      free(value);
    }
    if (!chosen) continue;
    std::string name;
    bool hasName = nameOfStep(kMapKind, chosen, &name);
    RegionMap* map = RegionAtlas_slot(atlas, type);
    if (!map) {
      if (!hasName) name = std::string("New ") + word + " Map";
      status = RegionMap_new(&map, name.c_str());
      if (RegionStatus_isError(status)) break;
      status = RegionAtlas_addMap(atlas, map, type);
      if (RegionStatus_isError(status)) {
        status = RegionStatus_keepAcross(status, [&] { RegionMap_delete(&map, 1); });
        break;
      }
      created[k] = map;
    } else if (hasName) {
      status = RegionMap_setName(map, name.c_str());
      if (RegionStatus_isError(status)) break;
    }
    status = readMap(h, &map, chosen);
  }
  freeStringArray(paths);
  return status;
}

RegionStatus* readAtlas(vsnHandle* h, RegionAtlas** atlas, const char* path) {
  PathScope scope(h);
  std::string name;
  bool hasName = false;
  RegionStatus* status = findBlock(h, kAtlasKind, path, scope, &name, &hasName);
  if (RegionStatus_isError(status)) return status;
  RegionAtlas* a = *atlas;
  bool createdAtlas = !a;
  if (createdAtlas) status = RegionAtlas_new(&a, hasName ? name.c_str() : "New Atlas");
  else if (hasName) status = RegionAtlas_setName(a, name.c_str());
  if (RegionStatus_isError(status)) return status;
  RegionMap* created[3] = {nullptr, nullptr, nullptr};
  status = fillAtlas(h, a, created);
  if (RegionStatus_isError(status)) {
    // Every map this read made goes again, whichever types it made.
    return RegionStatus_keepAcross(status, [&] {
      for (RegionMap* m : created) {
        if (!m) continue;
        RegionAtlas_removeMap(a, m);
        RegionMap_delete(&m, 1);
      }
      if (createdAtlas) RegionAtlas_delete(&a, 1);
    });
  }
  *atlas = a;
  return status;
}

// ---- front ends ------------------------------------------------------------------------------

RegionStatus* frontFailure(uint32_t code, const char* typeWord, const char* reason) {
  return RegionStatus_failf(s_message, sizeof(s_message), code, "Unable to read %s: %s.", typeWord, reason);
}

template <class T>
using BlockReader = RegionStatus* (*)(vsnHandle*, T**, const char*);

template <class T>
RegionStatus* fromStrings(const char* typeWord, BlockReader<T> reader, T** object, int32_t count, const char* const* lines,
                          const char* path) {
  if (!object) return frontFailure(RS_BAD_CALL, typeWord, "Invalid object pointer");
  if (!lines || count < 0) return frontFailure(RS_BAD_CALL, typeWord, "Invalid string pointer");
  vsnHandle* h = createVSNHandle();
  if (!h) return frontFailure(RS_USER, typeWord, "Cannot initialise VSN API");
  RegionStatus* status = RegionStatus_success();
  try {
    const char* err = loadVSNDataH(h, lines, count);
    if (err) {
      status = frontFailure(RS_BAD_VSN, typeWord, "Unrecognised VSN");
      RegionStatus_appendDetail(status, err);
    } else {
      status = reader(h, object, path);
    }
  } catch (const std::bad_alloc&) {
    status = RegionStatus_outOfMemory(typeWord);
  }
  destroyVSNHandle(h);
  return status;
}

template <class T>
RegionStatus* fromFile(const char* typeWord, BlockReader<T> reader, T** object, const char* fileName, const char* path) {
  if (!object) return frontFailure(RS_BAD_CALL, typeWord, "Invalid object pointer");
  if (!fileName || !*fileName) return frontFailure(RS_BAD_FILE, typeWord, "File Name is invalid");
  vsnHandle* h = createVSNHandle();
  if (!h) return frontFailure(RS_USER, typeWord, "Cannot initialise VSN API");
  RegionStatus* status = RegionStatus_success();
  try {
    const char* err = loadVSNFileH(h, fileName, "vsn");
    if (err) {
      status = frontFailure(RS_BAD_VSN, typeWord, "Unrecognised VSN");
      RegionStatus_appendDetail(status, err);
    } else {
      status = reader(h, object, path);
    }
  } catch (const std::bad_alloc&) {
    status = RegionStatus_outOfMemory(typeWord);
  }
  destroyVSNHandle(h);
  return status;
}

template <class T>
RegionStatus* fromStream(const char* typeWord, BlockReader<T> reader, T** object, FILE* stream, const char* path) {
  if (!object) return frontFailure(RS_BAD_CALL, typeWord, "Invalid object pointer");
  if (!stream) return frontFailure(RS_BAD_CALL, typeWord, "Invalid file pointer");
  char** lines = nullptr;
  int32_t count = 0;
  RegionStatus* status = RegionText_readStreamLines(stream, typeWord, &lines, &count);
  if (RegionStatus_isError(status)) return status;
  static const char* const kNoLines[] = {nullptr};
  status = fromStrings(typeWord, reader, object, count, lines ? lines : kNoLines, path);
  if (lines) StringArray_delete(&lines, uint64_t(count));
  return status;
}

template <class T>
RegionStatus* fromDataset(const char* typeWord, BlockReader<T> reader, T** object, void* file, const char* what, const char* where,
                          int32_t when, const char* path) {
  if (!object) return frontFailure(RS_BAD_CALL, typeWord, "Invalid object pointer");
  if (!file) return frontFailure(RS_BAD_CALL, typeWord, "Invalid file pointer");
  if (!what || !where) return frontFailure(RS_BAD_CALL, typeWord, "Invalid dataset WHAT/WHERE");
  IO_file* dataFile = static_cast<IO_file*>(file);
  IO_location location{};
  if (ii_locate_single_dataset(dataFile, &location, what, where, when) != 0) {
    ii_free_location(&location);
    return frontFailure(RS_BAD_CALL, typeWord, "Cannot locate requested dataset");
  }
  char* characters = nullptr;
  int32_t length = 0;
  int read = ii_read_located_char(dataFile, &location, &characters, &length, 0);
  ii_free_location(&location);
  if (read != 0 || length < 0) {
    io_free(characters);
    return frontFailure(RS_USER, typeWord, "Cannot read requested dataset");
  }
  // The characters carry no terminator of their own: the cutter keeps within their count.
  char** lines = nullptr;
  int32_t count = 0;
  RegionStatus* status = RegionText_cutDatasetLines(characters, uint64_t(length), &lines, &count);
  io_free(characters);
  if (RegionStatus_isError(status)) return status;
  static const char* const kNoLines[] = {nullptr};
  status = fromStrings(typeWord, reader, object, count, lines ? lines : kNoLines, path);
  if (lines) StringArray_delete(&lines, uint64_t(count));
  return status;
}

// Growable array of line copies, 100 entries at a time.
struct LineArray {
  char** m_lines = nullptr;
  int32_t m_count = 0;
  int32_t m_capacity = 0;
  bool add(const char* text, size_t length, bool continued) {
    if (m_count == INT32_MAX) return false;
    if (m_count == m_capacity) {
      if (m_capacity > INT32_MAX - 100) return false;
      char** grown = static_cast<char**>(RegionMemory_reallocArray(m_lines, uint64_t(m_capacity) + 100, sizeof(char*)));
      if (!grown) return false;
      m_lines = grown;
      m_capacity += 100;
    }
    char* line = static_cast<char*>(RegionMemory_alloc(length + (continued ? 2 : 1)));
    if (!line) return false;
    memcpy(line, text, length);
    if (continued) line[length++] = '\\';
    line[length] = '\0';
    m_lines[m_count++] = line;
    return true;
  }
  void release() {
    if (m_lines) StringArray_delete(&m_lines, uint64_t(m_count));
    m_count = m_capacity = 0;
  }
};

// Runs a block reader, turning a lack of memory into a status.
template <class T>
RegionStatus* guardedRead(const Kind& kind, const char* typeWord, BlockReader<T> reader, vsnHandle* handle, T** object,
                          const char* path) {
  if (!handle || !object) return readFailure(kind, "Invalid object pointer.");
  try {
    return reader(handle, object, path);
  } catch (const std::bad_alloc&) {
    return RegionStatus_outOfMemory(typeWord);
  }
}

// Writes the text get makes to the stream and frees it.
template <class Get, class Free>
RegionStatus* writeText(FILE* stream, const char* badStream, const char* failed, Get get, Free release) {
  if (!stream) return RegionStatus_fail(RS_BAD_CALL, badStream);
  const char* text = nullptr;
  RegionStatus* status = get(&text);
  if (RegionStatus_isError(status)) return status;
  bool written = fputs(text, stream) >= 0;
  release();
  if (!written) return RegionStatus_fail(RS_BAD_FILE, failed);
  return status;
}

} // namespace

RegionStatus* RegionText_readStreamLines(FILE* stream, const char* typeWord, char*** lines, int32_t* count) {
  if (!lines || !count) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer - cannot return lines");
  *lines = nullptr;
  *count = 0;
  if (!stream) return RegionStatus_fail(RS_BAD_CALL, "Invalid file pointer");
  enum { kSize = 2048 };
  char buffer[kSize];
  size_t kept = 0;  // text carried over from a cut, at the start of the buffer
  LineArray out;
  bool ok = true;
  while (ok) {
    if (!fgets(buffer + kept, int(kSize - kept), stream)) {
      if (kept) ok = out.add(buffer, kept, false);
      break;
    }
    size_t length = kept + strlen(buffer + kept);
    kept = 0;
    if (length < kSize - 1 || buffer[length - 1] == '\n') {
      ok = out.add(buffer, length, false);
      continue;
    }
    // A full buffer without a line end: cut at the last comma, which starts the next piece. A
    // comma at the very start would cut nothing, so it counts as no comma at all.
    char* comma = static_cast<char*>(memrchr(buffer, ',', length));
    if (comma && comma > buffer) {
      size_t before = size_t(comma - buffer);
      ok = out.add(buffer, before, true);
      kept = length - before;
      memmove(buffer, comma, kept);
    } else {
      ok = out.add(buffer, length, true);
    }
  }
  if (!ok) {
    out.release();
    return RegionStatus_outOfMemory(typeWord ? typeWord : "lines");
  }
  *lines = out.m_lines;
  *count = out.m_count;
  return RegionStatus_success();
}

RegionStatus* RegionText_cutDatasetLines(const char* characters, uint64_t length, char*** lines, int32_t* count) {
  if (!lines || !count) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer - cannot return lines");
  *lines = nullptr;
  *count = 0;
  if (!characters && length) return RegionStatus_fail(RS_BAD_CALL, "Invalid string pointer");
  LineArray out;
  uint64_t position = 0;
  bool ok = true;
  while (ok && position < length) {
    const void* end = memchr(characters + position, '\0', size_t(length - position));
    uint64_t stop = end ? uint64_t(static_cast<const char*>(end) - characters) : length;
    ok = out.add(characters + position, size_t(stop - position), false);
    // Past the zero byte and the one byte after it.
    position = stop + 2;
  }
  if (!ok) {
    out.release();
    return RegionStatus_outOfMemory("lines");
  }
  *lines = out.m_lines;
  *count = out.m_count;
  return RegionStatus_success();
}

RegionStatus* RegionDefinition_getVSN(RegionDefinition* definition, const char** text) {
  if (!text)
    return RegionStatus_failf(s_message, sizeof(s_message), RS_BAD_POINTER, "Cannot return the VSN describing the %s.", kDefinitionWord);
  if (!definition) return RegionStatus_failf(s_message, sizeof(s_message), RS_INVALID_DEFINITION, "Invalid %s.", kDefinitionWord);
  RegionStatus* status = RegionStatus_success();
  try {
    std::string out;
    status = writeDefinition(out, definition);
    if (!RegionStatus_isError(status)) status = keep(&definition->m_vsnText, out, text);
  } catch (const std::bad_alloc&) {
    status = RegionStatus_outOfMemory("string");
  }
  if (RegionStatus_isError(status)) drop(&definition->m_vsnText);
  return status;
}

RegionStatus* RegionMap_getVSN(RegionMap* map, int withPrimitives, const char** text) {
  if (!text) return RegionStatus_failf(s_message, sizeof(s_message), RS_BAD_POINTER, "Cannot return the VSN describing the %s.", kMapWord);
  if (!map) return RegionStatus_failf(s_message, sizeof(s_message), RS_INVALID_MAP, "Invalid %s.", kMapWord);
  RegionStatus* status = RegionStatus_success();
  try {
    std::string out;
    status = writeMap(out, map, withPrimitives != 0);
    if (!RegionStatus_isError(status)) status = keep(&map->m_vsnText, out, text);
  } catch (const std::bad_alloc&) {
    status = RegionStatus_outOfMemory("string");
  }
  if (RegionStatus_isError(status)) drop(&map->m_vsnText);
  return status;
}

RegionStatus* RegionMap_freeVSN(RegionMap* map) {
  if (!map) return RegionStatus_failf(s_message, sizeof(s_message), RS_INVALID_MAP, "Invalid %s.", kMapWord);
  drop(&map->m_vsnText);
  return RegionStatus_success();
}

RegionStatus* RegionAtlas_getVSN(RegionAtlas* atlas, const char** text) {
  if (!text) return RegionStatus_failf(s_message, sizeof(s_message), RS_BAD_POINTER, "Cannot return the VSN describing the %s.", kAtlasWord);
  *text = nullptr;
  if (!atlas) return RegionStatus_failf(s_message, sizeof(s_message), RS_INVALID_ATLAS, "Invalid %s.", kAtlasWord);
  RegionStatus* status = RegionStatus_success();
  try {
    std::string out = "REGION ATLAS: ";
    out += atlas->m_name ? atlas->m_name : "";
    out += '\n';
    for (RegionMap* map : {atlas->m_secondaryMap, atlas->m_primaryMap, atlas->m_zyrMap}) {
      if (map && !RegionStatus_isError(status)) status = writeMap(out, map, true);
    }
    out += "END # REGION ATLAS\n";
    if (!RegionStatus_isError(status)) status = keep(&atlas->m_vsnText, out, text);
  } catch (const std::bad_alloc&) {
    status = RegionStatus_outOfMemory("string");
  }
  if (RegionStatus_isError(status)) {
    drop(&atlas->m_vsnText);
    *text = nullptr;
  }
  return status;
}

RegionStatus* RegionAtlas_freeVSN(RegionAtlas* atlas) {
  if (!atlas) return RegionStatus_failf(s_message, sizeof(s_message), RS_INVALID_ATLAS, "Invalid %s.", kAtlasWord);
  drop(&atlas->m_vsnText);
  return RegionStatus_success();
}

RegionStatus* RegionMap_writeToFile(RegionMap* map, int withPrimitives, FILE* stream) {
  return writeText(
      stream, "Unable to write map: File Descriptor is invalid.", "Unable to write map: File write failed.",
      [&](const char** text) { return RegionMap_getVSN(map, withPrimitives, text); }, [&] { RegionMap_freeVSN(map); });
}

RegionStatus* RegionAtlas_writeToFile(RegionAtlas* atlas, FILE* stream) {
  return writeText(
      stream, "Unable to write atlas: File Descriptor is invalid.", "Unable to write atlas: File write failed.",
      [&](const char** text) { return RegionAtlas_getVSN(atlas, text); }, [&] { RegionAtlas_freeVSN(atlas); });
}

namespace {

int silentCallback(const char*, int32_t) { return 0; }

// Writes text as a character data set at time 0 in the layout the dataset readers cut: each line
// ended by a zero byte and a line end. 0 on success, else the io library's status.
int writeTextDataset(IO_file* file, const char* what, const char* where, const char* text) {
  std::string characters;
  const char* start = text;
  for (const char* p = text; *p; ++p)
    if (*p == '\n') {
      characters.append(start, size_t(p - start)).append("\0\n", 2);
      start = p + 1;
    }
  if (*start) characters.append(start).append("\0\n", 2);
  if (!file->m_stream) return IO_OPEN_ERR;
  if (characters.size() > size_t(INT32_MAX) || strlen(what) >= IO_NAME_LEN || strlen(where) >= IO_NAME_LEN)
    return IO_MEMORY_ERR;
  IO_header* header = ioheader_alloc(silentCallback);
  IO_data* data = iodata_alloc(silentCallback);
  if (!header || !data) {
    if (header) ioheader_free(silentCallback, header);
    if (data) iodata_free(silentCallback, data);
    return IO_MEMORY_ERR;
  }
  int status = iodata_set_chars(silentCallback, data, characters.data(), int32_t(characters.size()));
  if (status == IO_OK) {
    snprintf(header->m_what, IO_NAME_LEN, "%s", what);
    snprintf(header->m_where, IO_NAME_LEN, "%s", where);
    *header->m_when = 0;
    *header->m_numattrb = 0;
    snprintf(header->m_datatype, IO_DATATYPE_LEN, "CHAR");
    *header->m_number = int32_t(characters.size());
    *header->m_blockfactor = 1;
    // The file's own write format, else the library's default one.
    if (!iofmt_is_valid(file->m_writeformat[0])) {
      memcpy(file->m_writeformat, "U5", 3);
      iofmt_make_native(silentCallback, file->m_writeformat);
    }
    status = setfilebusyflag(silentCallback, file);
    if (status == IO_OK && io_seek(file->m_stream, file->m_indexlocation, 0) != 0) status = IO_SEEK_ERR;
    if (status == IO_OK) status = write_dataset(silentCallback, file->m_writeformat, header, data, file);
    if (status == IO_OK) {
      int64_t position = io_tell(file->m_stream);
      if (position < 0)
        status = IO_TELL_ERR;
      else
        file->m_indexlocation = position;
    }
  }
  ioheader_free(silentCallback, header);
  iodata_free(silentCallback, data);
  return status;
}

}  // namespace

RegionStatus* RegionMap_writeToDataset(RegionMap* map, int withPrimitives, void* file, const char* what, const char* where) {
  if (!file) return RegionStatus_fail(RS_BAD_CALL, "Unable to write map: File Descriptor is invalid.");
  if (!what || !*what || !where || !*where)
    return RegionStatus_fail(RS_BAD_CALL, "Unable to write map: Dataset specified (WHAT/WHERE/WHEN) is invalid.");
  const char* text = nullptr;
  RegionStatus* status = RegionMap_getVSN(map, withPrimitives, &text);
  if (RegionStatus_isError(status)) return status;
  int written = writeTextDataset(static_cast<IO_file*>(file), what, where, text);
  RegionMap_freeVSN(map);
  if (written != IO_OK) return RegionStatus_fail(RS_BAD_FILE, "Unable to write map: File write failed.");
  return RegionStatus_success();
}

RegionStatus* RegionAtlas_writeToDataset(RegionAtlas* atlas, void* file, const char* what, const char* where) {
  if (!file) return RegionStatus_fail(RS_BAD_CALL, "Unable to write atlas: File Descriptor is invalid.");
  if (!what || !*what || !where || !*where)
    return RegionStatus_fail(RS_BAD_CALL, "Unable to write atlas: Dataset specified (WHAT/WHERE/WHEN) is invalid.");
  const char* text = nullptr;
  RegionStatus* status = RegionAtlas_getVSN(atlas, &text);
  if (RegionStatus_isError(status)) return status;
  int written = writeTextDataset(static_cast<IO_file*>(file), what, where, text);
  RegionAtlas_freeVSN(atlas);
  if (written != IO_OK) return RegionStatus_fail(RS_BAD_FILE, "Unable to write atlas: File write failed.");
  return RegionStatus_success();
}

RegionStatus* RegionDefinition_writeTextToDataset(const char* text, void* file, const char* what, const char* where) {
  if (writeTextDataset(static_cast<IO_file*>(file), what, where, text) != IO_OK)
    return RegionStatus_fail(RS_BAD_FILE, "Unable to write definition: File write failed.");
  return RegionStatus_success();
}

RegionStatus* RegionDefinition_readFromVSN(vsnHandle* handle, RegionDefinition** definition, const char* path) {
  return guardedRead(kDefinitionKind, kDefinitionWord, readDefinition, handle, definition, path);
}

RegionStatus* RegionMap_readFromVSN(vsnHandle* handle, RegionMap** map, const char* path) {
  return guardedRead(kMapKind, kMapWord, readMap, handle, map, path);
}

RegionStatus* RegionAtlas_readFromVSN(vsnHandle* handle, RegionAtlas** atlas, const char* path) {
  return guardedRead(kAtlasKind, kAtlasWord, readAtlas, handle, atlas, path);
}

RegionStatus* RegionDefinition_readFromStrings(RegionDefinition** definition, int32_t count, const char* const* lines, const char* path) {
  return fromStrings(kDefinitionWord, RegionDefinition_readFromVSN, definition, count, lines, path);
}

RegionStatus* RegionDefinition_readFromString(RegionDefinition** definition, const char* text, const char* path) {
  if (!definition) return frontFailure(RS_BAD_CALL, kDefinitionWord, "Invalid object pointer");
  if (!text) return frontFailure(RS_BAD_CALL, kDefinitionWord, "Invalid string pointer");
  try {
    std::vector<std::string> pieces;
    const char* start = text;
    for (const char* p = text;; ++p) {
      if (*p == '\n' || *p == '\0') {
        pieces.emplace_back(start, size_t(p - start));
        if (!*p) break;
        start = p + 1;
      }
    }
    if (pieces.size() > size_t(INT32_MAX)) return RegionStatus_outOfMemory(kDefinitionWord);
    std::vector<const char*> lines = pointersOf(pieces);
    return RegionDefinition_readFromStrings(definition, int32_t(lines.size()), lines.data(), path);
  } catch (const std::bad_alloc&) {
    return RegionStatus_outOfMemory(kDefinitionWord);
  }
}

RegionStatus* RegionDefinition_readFromFile(RegionDefinition** definition, const char* fileName, const char* path) {
  return fromFile(kDefinitionWord, RegionDefinition_readFromVSN, definition, fileName, path);
}

RegionStatus* RegionDefinition_readFromFILE(RegionDefinition** definition, FILE* stream, const char* path) {
  return fromStream(kDefinitionWord, RegionDefinition_readFromVSN, definition, stream, path);
}

RegionStatus* RegionMap_readFromStrings(RegionMap** map, int32_t count, const char* const* lines, const char* path) {
  return fromStrings(kMapWord, RegionMap_readFromVSN, map, count, lines, path);
}

RegionStatus* RegionMap_readFromFile(RegionMap** map, const char* fileName, const char* path) {
  return fromFile(kMapWord, RegionMap_readFromVSN, map, fileName, path);
}

RegionStatus* RegionMap_readFromFILE(RegionMap** map, FILE* stream, const char* path) {
  return fromStream(kMapWord, RegionMap_readFromVSN, map, stream, path);
}

RegionStatus* RegionAtlas_readFromStrings(RegionAtlas** atlas, int32_t count, const char* const* lines, const char* path) {
  return fromStrings(kAtlasWord, RegionAtlas_readFromVSN, atlas, count, lines, path);
}

RegionStatus* RegionAtlas_readFromFile(RegionAtlas** atlas, const char* fileName, const char* path) {
  return fromFile(kAtlasWord, RegionAtlas_readFromVSN, atlas, fileName, path);
}

RegionStatus* RegionAtlas_readFromFILE(RegionAtlas** atlas, FILE* stream, const char* path) {
  return fromStream(kAtlasWord, RegionAtlas_readFromVSN, atlas, stream, path);
}

RegionStatus* RegionDefinition_readFromDataset(RegionDefinition** definition, void* file, const char* what, const char* where,
                                               int32_t when, const char* path) {
  return fromDataset(kDefinitionWord, RegionDefinition_readFromVSN, definition, file, what, where, when, path);
}

RegionStatus* RegionMap_readFromDataset(RegionMap** map, void* file, const char* what, const char* where, int32_t when,
                                        const char* path) {
  if (!map) return RegionStatus_fail(RS_BAD_CALL, "Unable to read map: Invalid Map pointer.");
  if (!file) return RegionStatus_fail(RS_BAD_CALL, "Unable to read map: Invalid File pointer.");
  if (!what || !where) return RegionStatus_fail(RS_BAD_CALL, "Unable to read map: Invalid WHAT/WHERE.");
  return fromDataset(kMapWord, RegionMap_readFromVSN, map, file, what, where, when, path);
}

RegionStatus* RegionAtlas_readFromDataset(RegionAtlas** atlas, void* file, const char* what, const char* where, int32_t when,
                                          const char* path) {
  return fromDataset(kAtlasWord, RegionAtlas_readFromVSN, atlas, file, what, where, when, path);
}
