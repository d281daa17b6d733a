#include "MshFile.h"

#include "KelvoElements.h"
#include "zyrFault.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>
#include <unordered_map>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

std::string quoted(std::string_view text) {
  // Enough of a token to recognise it, without dumping binary data into a message.
  std::string out = "\"";
  size_t n = 0;
  for (char c : text) {
    if (++n > 40) {
      out += "...";
      break;
    }
    out += (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126) ? '?' : c;
  }
  return out + "\"";
}

struct EntityPhysicals {
  int32_t m_first; // first physical tag, 0 for none
  int64_t m_count = 0;
};

uint64_t entityKey(int64_t dimension, int64_t tag) {
  return (static_cast<uint64_t>(dimension) << 32) ^ static_cast<uint32_t>(tag);
}

class Parser {
public:
  Parser(MshFile *mesh, const char *data, size_t size, std::string *error)
      : m_mesh(mesh), m_data(data), m_size(size), m_error(error) {}

  bool run();

private:
  MshFile *m_mesh;
  const char *m_data;
  size_t m_size;
  size_t m_pos = 0;
  std::string *m_error;
  std::string m_section; // the section being read, for messages
  bool m_inBinary = false;
  int32_t m_sizeT = 8; // bytes of a size_t value in a binary 4.1 file
  bool m_sawElements = false;
  std::unordered_map<uint64_t, EntityPhysicals> m_entities;
  // Corner node tags become node indices as the elements are read, through an index of the
  // nodes read so far (dense tags only); the tags it does not know are resolved at the end.
  struct Unresolved {
    int64_t m_element;
    int64_t m_at; // in m_elementNodes
    int64_t m_tag;
  };
  std::vector<int32_t> m_nodeIndex; // node tag -> node index, -1 none
  int64_t m_indexedNodes = -1;      // the number of nodes m_nodeIndex was made from
  std::vector<Unresolved> m_unresolved;

  size_t remaining() const { return m_size - m_pos; }

  bool fail(const char *format, ...) __attribute__((format(printf, 2, 3)));
  bool failAtEnd();

  bool token(std::string_view *out);
  bool expectToken(const char *what, std::string_view *out);
  template <class T> bool readNumber(const char *what, T *value, std::string_view *t);
  bool readInt64(const char *what, int64_t *value);
  bool readCount(const char *what, int64_t *value);
  bool readInt32(const char *what, int32_t *value);
  bool readDouble(const char *what, double *value);
  bool skipLine();
  bool endOfHeaderLine();

  bool need(size_t bytes);
  bool binInt32(int32_t *value);
  bool binSize(int64_t *value);
  bool bin64(uint64_t *value);
  bool binDouble(double *value);

  bool meshFormat();
  bool physicalNames();
  bool entities();
  bool nodes2();
  bool elements2();
  bool nodes4();
  bool elements4();
  bool sectionHeader4(const char *what, int64_t header[4]);
  bool blockHeader4(const char *third, const char *count, int32_t *dim, int32_t *entity,
                    int32_t *value, int64_t *n);
  bool skipSection(std::string_view name);
  bool closeSection(const char *name);
  bool resolve();
  void indexNodes();
  int64_t m_firstTag = -1; // the tags run from m_firstTag one by one (the usual case), or -1
  int32_t nodeIndex(int64_t tag) const {
    if (m_firstTag >= 0) // no look into the index, which is large and read at random
      return tag >= m_firstTag && tag - m_firstTag < m_indexedNodes
                 ? static_cast<int32_t>(tag - m_firstTag)
                 : -1;
    return tag >= 0 && static_cast<uint64_t>(tag) < m_nodeIndex.size() ? m_nodeIndex[tag] : -1;
  }
  void addCorners(const int64_t *tags, int32_t corners);
  bool binaryBlock4(const KelvoGmshType *type, int32_t gmshType, int64_t n, int32_t physical,
                    int32_t entity, int64_t noOfPhysicals);
  bool decodeValues(const char *at, size_t values, int64_t *v, size_t *bad) const;
  bool binaryNodes4(int64_t n, int32_t values);

  bool addNode(int64_t tag, const double xyz[3]);
  bool addElement(int64_t tag, int32_t gmshType, int32_t physical, int32_t entity,
                  const int64_t *nodes);
  void addToRuns(int64_t n, int32_t kind, int32_t physical, int32_t entity);
  void reserveElements(int64_t n, int32_t corners);
  void reserveBinaryBlocks(int64_t blocks, bool version4);
  bool elementNodes(const KelvoGmshType *type, int64_t *nodes, bool binary, int32_t width);
};

bool Parser::fail(const char *format, ...) {
  char buffer[512];
  va_list args;
  va_start(args, format);
  vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  *m_error = buffer;
  if (m_inBinary) {
    *m_error += " (at byte " + std::to_string(m_pos) + ")";
  } else {
    int64_t line = 1;
    for (size_t i = 0; i < m_pos && i < m_size; ++i)
      line += m_data[i] == '\n';
    *m_error += " (line " + std::to_string(line) + ")";
  }
  return false;
}

bool Parser::failAtEnd() {
  if (m_section.empty())
    return fail("The file ends unexpectedly.");
  return fail("The file ends inside its $%s section.", m_section.c_str());
}

bool Parser::token(std::string_view *out) {
  while (m_pos < m_size && isSpace(m_data[m_pos]))
    ++m_pos;
  if (m_pos >= m_size)
    return false;
  size_t start = m_pos;
  while (m_pos < m_size && !isSpace(m_data[m_pos]))
    ++m_pos;
  *out = std::string_view(m_data + start, m_pos - start);
  return true;
}

bool Parser::expectToken(const char *what, std::string_view *out) {
  if (token(out))
    return true;
  (void)what;
  return failAtEnd();
}

// The next token as a number filling the whole token (a leading '+' allowed).
template <class T> bool Parser::readNumber(const char *what, T *value, std::string_view *t) {
  if (!expectToken(what, t))
    return false;
  const char *first = t->data();
  if (t->size() > 1 && *first == '+')
    ++first;
  auto result = std::from_chars(first, t->data() + t->size(), *value);
  if (result.ec != std::errc() || result.ptr != t->data() + t->size())
    return fail("Expected %s, found %s.", what, quoted(*t).c_str());
  return true;
}

bool Parser::readInt64(const char *what, int64_t *value) {
  std::string_view t;
  return readNumber(what, value, &t);
}

bool Parser::readCount(const char *what, int64_t *value) {
  if (!readInt64(what, value))
    return false;
  if (*value < 0)
    return fail("Expected %s, found the negative value %lld.", what, (long long)*value);
  return true;
}

bool Parser::readInt32(const char *what, int32_t *value) {
  int64_t v = 0;
  if (!readInt64(what, &v))
    return false;
  if (v < INT32_MIN || v > INT32_MAX)
    return fail("Expected %s, found %lld, which is out of range.", what, (long long)v);
  *value = static_cast<int32_t>(v);
  return true;
}

bool Parser::readDouble(const char *what, double *value) {
  std::string_view t;
  if (!readNumber(what, value, &t))
    return false;
  if (!std::isfinite(*value))
    return fail("Expected %s, found %s, which is not a finite number.", what, quoted(t).c_str());
  return true;
}

bool Parser::skipLine() {
  while (m_pos < m_size && m_data[m_pos] != '\n')
    ++m_pos;
  if (m_pos >= m_size)
    return failAtEnd();
  ++m_pos;
  return true;
}

// Before binary data: the rest of the text line, through exactly one line end.
bool Parser::endOfHeaderLine() {
  while (m_pos < m_size && (m_data[m_pos] == ' ' || m_data[m_pos] == '\t' || m_data[m_pos] == '\r'))
    ++m_pos;
  if (m_pos >= m_size)
    return failAtEnd();
  if (m_data[m_pos] != '\n')
    return fail("Expected the end of a line before binary data.");
  ++m_pos;
  return true;
}

bool Parser::need(size_t bytes) {
  if (bytes > remaining())
    return failAtEnd();
  return true;
}

bool Parser::binInt32(int32_t *value) {
  if (!need(4))
    return false;
  uint32_t v = 0;
  memcpy(&v, m_data + m_pos, 4);
  m_pos += 4;
  if (m_mesh->m_swap)
    v = __builtin_bswap32(v);
  memcpy(value, &v, 4);
  return true;
}

bool Parser::binSize(int64_t *value) {
  if (m_sizeT == 4) {
    int32_t v = 0;
    if (!binInt32(&v))
      return false;
    *value = static_cast<uint32_t>(v);
    return true;
  }
  uint64_t v = 0;
  if (!bin64(&v))
    return false;
  if (v > static_cast<uint64_t>(INT64_MAX))
    return fail("A size value is out of range.");
  *value = static_cast<int64_t>(v);
  return true;
}

// Eight bytes in the file's byte order.
bool Parser::bin64(uint64_t *value) {
  if (!need(8))
    return false;
  memcpy(value, m_data + m_pos, 8);
  m_pos += 8;
  if (m_mesh->m_swap)
    *value = __builtin_bswap64(*value);
  return true;
}

bool Parser::binDouble(double *value) {
  uint64_t v = 0;
  if (!bin64(&v))
    return false;
  memcpy(value, &v, 8);
  if (!std::isfinite(*value))
    return fail("A coordinate is not a finite number.");
  return true;
}

bool Parser::run() {
  std::string_view t;
  if (!token(&t) || t != "$MeshFormat") {
    if (t == "$NOD" || t == "$NOE")
      return fail("This is a Gmsh mesh file of version 1, which cannot be read; "
                  "save the mesh in format 2.2 or 4.1.");
    *m_error = "The file is not a Gmsh mesh file: it does not begin with $MeshFormat.";
    return false;
  }
  if (!meshFormat())
    return false;
  while (token(&t)) {
    if (t.size() < 2 || t[0] != '$' || t.substr(0, 4) == "$End")
      return fail("Expected the start of a section, found %s.", quoted(t).c_str());
    std::string_view name = t.substr(1);
    m_section = std::string(name);
    bool ok;
    if (name == "MeshFormat") {
      ok = fail("The file holds a second $MeshFormat section.");
    } else if (name == "PhysicalNames") {
      ok = physicalNames();
    } else if (name == "Entities" && m_mesh->m_major == 4) {
      ok = entities();
    } else if (name == "PartitionedEntities") {
      ok = fail("Partitioned meshes cannot be read; save the mesh without partitions.");
    } else if (name == "Nodes") {
      ok = m_mesh->m_major == 4 ? nodes4() : nodes2();
    } else if (name == "Elements") {
      ok = m_mesh->m_major == 4 ? elements4() : elements2();
    } else {
      ok = skipSection(name);
    }
    if (!ok)
      return false;
    m_section.clear();
    m_inBinary = false;
  }
  return resolve();
}

bool Parser::meshFormat() {
  m_section = "MeshFormat";
  std::string_view version, fileType, dataSize;
  if (!expectToken("a version number", &version) || !expectToken("a file type", &fileType) ||
      !expectToken("a data size", &dataSize))
    return false;
  m_mesh->m_version = std::string(version.substr(0, 20));
  if (version.size() >= 2 && version[0] == '2' && version[1] == '.' &&
      version.find_first_not_of("0123456789", 2) == std::string_view::npos) {
    m_mesh->m_major = 2;
  } else if (version == "4.1") {
    m_mesh->m_major = 4;
  } else {
    return fail("Version %s of the Gmsh mesh format cannot be read; save the mesh in format "
                "2.2 or 4.1.",
                quoted(version).c_str());
  }
  if (fileType == "0") {
    m_mesh->m_binary = 0;
  } else if (fileType == "1") {
    m_mesh->m_binary = 1;
  } else {
    return fail("The file type %s is neither 0 (ASCII) nor 1 (binary).", quoted(fileType).c_str());
  }
  if (m_mesh->m_binary) {
    if (m_mesh->m_major == 2 && dataSize != "8")
      return fail("Binary files with a data size of %s cannot be read.", quoted(dataSize).c_str());
    if (m_mesh->m_major == 4) {
      if (dataSize == "8")
        m_sizeT = 8;
      else if (dataSize == "4")
        m_sizeT = 4;
      else
        return fail("Binary files with a data size of %s cannot be read.",
                    quoted(dataSize).c_str());
    }
    if (!endOfHeaderLine())
      return false;
    m_inBinary = true;
    if (!need(4))
      return false;
    uint32_t one = 0;
    memcpy(&one, m_data + m_pos, 4);
    if (one == 1)
      m_mesh->m_swap = 0;
    else if (__builtin_bswap32(one) == 1)
      m_mesh->m_swap = 1;
    else
      return fail("The byte-order mark of the binary file is not 1.");
    m_pos += 4;
    m_inBinary = false;
  }
  return closeSection("MeshFormat");
}

bool Parser::closeSection(const char *name) {
  std::string_view t;
  m_inBinary = false;
  std::string end = std::string("$End") + name;
  if (!token(&t))
    return failAtEnd();
  if (t != end)
    return fail("Expected %s, found %s.", end.c_str(), quoted(t).c_str());
  return true;
}

bool Parser::skipSection(std::string_view name) {
  std::string end = "$End" + std::string(name);
  bool known = false;
  for (const std::string &s : m_mesh->m_skippedSections)
    known = known || s == name;
  if (!known && m_mesh->m_skippedSections.size() < 32)
    m_mesh->m_skippedSections.emplace_back(name.substr(0, 40));
  // The end tag starts a line; binary data in between may hold anything else.
  while (m_pos < m_size) {
    const void *hit = memmem(m_data + m_pos, m_size - m_pos, end.data(), end.size());
    if (hit == nullptr)
      break;
    size_t at = static_cast<const char *>(hit) - m_data;
    size_t after = at + end.size();
    if ((at == 0 || m_data[at - 1] == '\n') && (after == m_size || isSpace(m_data[after]))) {
      m_pos = after;
      return true;
    }
    m_pos = at + 1;
  }
  m_pos = m_size;
  return fail("The $%s section is not closed by %s.", m_section.c_str(), end.c_str());
}

bool Parser::physicalNames() {
  int64_t count = 0;
  if (!readCount("a number of physical names", &count))
    return false;
  for (int64_t i = 0; i < count; ++i) {
    MshPhysicalName name;
    if (!readInt32("a physical dimension", &name.m_dimension) ||
        !readInt32("a physical tag", &name.m_tag))
      return false;
    if (name.m_dimension < 0 || name.m_dimension > 3)
      return fail("The physical dimension %d is not 0, 1, 2 or 3.", name.m_dimension);
    while (m_pos < m_size && (m_data[m_pos] == ' ' || m_data[m_pos] == '\t'))
      ++m_pos;
    if (m_pos >= m_size)
      return failAtEnd();
    if (m_data[m_pos] != '"')
      return fail("Expected a physical name in double quotes.");
    size_t start = ++m_pos;
    while (m_pos < m_size && m_data[m_pos] != '"' && m_data[m_pos] != '\n')
      ++m_pos;
    if (m_pos >= m_size)
      return failAtEnd();
    if (m_data[m_pos] != '"')
      return fail("A physical name lacks its closing double quote.");
    name.m_name.assign(m_data + start, m_pos - start);
    ++m_pos;
    m_mesh->m_physicalNames.push_back(std::move(name));
  }
  return closeSection("PhysicalNames");
}

bool Parser::entities() {
  if (m_sawElements)
    return fail("The $Entities section follows the $Elements section.");
  int64_t counts[4]; // entities of dimension 0 to 3
  if (!sectionHeader4("a number of entities", counts))
    return false;
  for (int dim = 0; dim < 4; ++dim) {
    for (int64_t i = 0; i < counts[dim]; ++i) {
      int32_t tag = 0;
      int64_t noOfPhysicals = 0;
      int32_t first = 0;
      const int noOfDoubles = dim == 0 ? 3 : 6;
      if (m_mesh->m_binary) {
        if (!binInt32(&tag) || !need(8 * noOfDoubles))
          return false;
        m_pos += 8 * noOfDoubles;
        if (!binSize(&noOfPhysicals))
          return false;
        if (noOfPhysicals > static_cast<int64_t>(remaining() / 4))
          return failAtEnd();
        for (int64_t p = 0; p < noOfPhysicals; ++p) {
          int32_t physical = 0;
          if (!binInt32(&physical))
            return false;
          if (p == 0)
            first = physical;
        }
        if (dim > 0) {
          int64_t noOfBounding = 0;
          if (!binSize(&noOfBounding))
            return false;
          if (noOfBounding > static_cast<int64_t>(remaining() / 4))
            return failAtEnd();
          m_pos += 4 * noOfBounding;
        }
      } else {
        if (!readInt32("an entity tag", &tag))
          return false;
        for (int k = 0; k < noOfDoubles; ++k) {
          double ignored = 0;
          if (!readDouble("a coordinate", &ignored))
            return false;
        }
        if (!readCount("a number of physical tags", &noOfPhysicals))
          return false;
        for (int64_t p = 0; p < noOfPhysicals; ++p) {
          int32_t physical = 0;
          if (!readInt32("a physical tag", &physical))
            return false;
          if (p == 0)
            first = physical;
        }
        if (dim > 0) {
          int64_t noOfBounding = 0;
          if (!readCount("a number of bounding entities", &noOfBounding))
            return false;
          for (int64_t b = 0; b < noOfBounding; ++b) {
            int32_t bounding = 0;
            if (!readInt32("a bounding entity tag", &bounding))
              return false;
          }
        }
      }
      m_entities[entityKey(dim, tag)] = {first, noOfPhysicals};
    }
  }
  return closeSection("Entities");
}

bool Parser::addNode(int64_t tag, const double xyz[3]) {
  if (tag < 1)
    return fail("The node tag %lld is not positive.", (long long)tag);
  if (m_mesh->m_nodeTags.size() >= static_cast<size_t>(INT32_MAX / 3))
    return fail("The mesh holds too many nodes.");
  m_mesh->m_nodeTags.push_back(tag);
  m_mesh->m_coordinates.insert(m_mesh->m_coordinates.end(), xyz, xyz + 3);
  return true;
}

bool Parser::nodes2() {
  int64_t count = 0;
  if (!readCount("a number of nodes", &count))
    return false;
  const size_t perNode = m_mesh->m_binary ? 28 : 8;
  if (count > static_cast<int64_t>(remaining() / perNode))
    return fail("The $Nodes section claims %lld nodes, more than the rest of the file can hold.",
                (long long)count);
  m_mesh->m_nodeTags.reserve(m_mesh->m_nodeTags.size() + count);
  m_mesh->m_coordinates.reserve(m_mesh->m_coordinates.size() + 3 * count);
  if (m_mesh->m_binary) {
    if (!endOfHeaderLine())
      return false;
    m_inBinary = true;
  }
  for (int64_t i = 0; i < count; ++i) {
    int64_t tag = 0;
    double xyz[3];
    if (m_mesh->m_binary) {
      int32_t t = 0;
      if (!binInt32(&t))
        return false;
      tag = t;
      for (double &c : xyz)
        if (!binDouble(&c))
          return false;
    } else {
      if (!readInt64("a node tag", &tag))
        return false;
      for (double &c : xyz)
        if (!readDouble("a coordinate", &c))
          return false;
    }
    if (!addNode(tag, xyz))
      return false;
  }
  return closeSection("Nodes");
}

// Room for `more` further items. The first block gets exactly its own: growing by doubling
// touched (and had the system zero) twice the memory, which cost more than the parsing on large
// meshes. A later block that does not fit grows the room by half at least, so that a file of
// many small blocks is not copied over once per block.
template <class Array> void roomFor(Array &items, size_t more) {
  const size_t need = items.size() + more;
  if (need <= items.capacity())
    return;
  items.reserve(items.empty() ? need : std::max(need, items.capacity() + items.capacity() / 2));
}

// Room for n more kept elements of `corners` corners, for a count already checked against the
// bytes left.
void Parser::reserveElements(int64_t n, int32_t corners) {
  const size_t more = static_cast<size_t>(n);
  roomFor(m_mesh->m_elementTags, more);
  roomFor(m_mesh->m_elementNodes, more * static_cast<size_t>(corners));
}

// Room at once for the kept elements of the binary element blocks ahead (the next `blocks` blocks
// of a version 4 section, or blocks up to `blocks` elements of a version 2 section), counted from the
// block headers as far as each block lies within the file: a file of many small blocks is then
// read without growing its arrays. Nothing is reported here; the reading itself does that.
void Parser::reserveBinaryBlocks(int64_t blocks, bool version4) {
  const bool swap = m_mesh->m_swap != 0;
  auto value = [&](size_t at, size_t width) -> uint64_t {
    if (width == 4) {
      uint32_t x;
      memcpy(&x, m_data + at, 4);
      return swap ? __builtin_bswap32(x) : x;
    }
    uint64_t x;
    memcpy(&x, m_data + at, 8);
    return swap ? __builtin_bswap64(x) : x;
  };
  const size_t sizeT = version4 ? static_cast<size_t>(m_sizeT) : 4;
  const size_t headerBytes = version4 ? 12 + sizeT : 12;
  size_t at = m_pos;
  int64_t kept = 0, corners = 0;
  int64_t left = blocks; // version 2: elements
  while (left > 0) {
    if (m_size - at < headerBytes)
      break;
    const int32_t gmshType = static_cast<int32_t>(value(at + (version4 ? 8 : 0), 4));
    const uint64_t n = version4 ? value(at + 12, sizeT) : value(at + 4, 4);
    const uint64_t tags = version4 ? 0 : value(at + 8, 4);
    at += headerBytes;
    const KelvoGmshType *type = KelvoElements_gmshType(gmshType);
    if (type == nullptr || tags > 1000)
      break;
    const uint64_t perElement = (1 + tags + static_cast<uint64_t>(type->m_noOfNodes)) * sizeT;
    if (n > (m_size - at) / perElement)
      break;
    at += n * perElement;
    if (type->m_kind != KELVO_OTHER) {
      kept += static_cast<int64_t>(n);
      corners += static_cast<int64_t>(n) * KelvoElements_get(type->m_kind)->m_noOfVertices;
    }
    left -= version4 ? 1 : static_cast<int64_t>(n);
  }
  roomFor(m_mesh->m_elementTags, static_cast<size_t>(kept));
  roomFor(m_mesh->m_elementNodes, static_cast<size_t>(corners));
}

bool Parser::addElement(int64_t tag, int32_t gmshType, int32_t physical, int32_t entity,
                        const int64_t *nodes) {
  const KelvoGmshType *type = KelvoElements_gmshType(gmshType);
  if (type == nullptr || type->m_kind == KELVO_OTHER) {
    ++m_mesh->m_ignored[gmshType];
    return true;
  }
  if (m_mesh->m_elementTags.size() >= static_cast<size_t>(INT32_MAX))
    return fail("The mesh holds too many elements.");
  if (type->m_order > 1)
    ++m_mesh->m_reduced[gmshType];
  const int32_t corners = KelvoElements_get(type->m_kind)->m_noOfVertices;
  m_mesh->m_elementTags.push_back(tag);
  addCorners(nodes, corners);
  addToRuns(1, type->m_kind, physical, entity);
  return true;
}

// Counts the last `n` elements, of one kind, group and entity, into the runs.
void Parser::addToRuns(int64_t n, int32_t kind, int32_t physical, int32_t entity) {
  std::vector<MshElementRun> &runs = m_mesh->m_elementRuns;
  if (n == 0)
    return;
  if (!runs.empty() && runs.back().m_kind == kind && runs.back().m_physical == physical &&
      runs.back().m_entity == entity) {
    runs.back().m_count += n;
    return;
  }
  const int32_t corners = KelvoElements_get(kind)->m_noOfVertices;
  runs.push_back({MshFile_noOfElements(m_mesh) - n, n,
                  static_cast<int64_t>(m_mesh->m_elementNodes.size()) - n * corners, kind,
                  corners, physical, entity});
}

// (Re)makes the index of the nodes read so far when nodes came since it was made. Scattered tags
// or a tag defined twice leave it empty: every corner is then resolved at the end, which also
// reports the repeated tag.
void Parser::indexNodes() {
  const KelvoArray<int64_t> &tags = m_mesh->m_nodeTags;
  const int64_t n = static_cast<int64_t>(tags.size());
  m_indexedNodes = n;
  m_nodeIndex.clear();
  m_firstTag = -1;
  int64_t largest = 0;
  for (int64_t t : tags)
    largest = t > largest ? t : largest;
  if (n == 0 || largest > 4 * n + 1024)
    return;
  m_nodeIndex.assign(static_cast<size_t>(largest) + 1, -1);
  bool consecutive = true;
  for (int64_t i = 0; i < n; ++i) {
    if (m_nodeIndex[tags[i]] >= 0) {
      m_nodeIndex.clear();
      return;
    }
    m_nodeIndex[tags[i]] = static_cast<int32_t>(i);
    consecutive = consecutive && tags[i] == tags[0] + i;
  }
  m_firstTag = consecutive ? tags[0] : -1;
}

// Appends the node indices of an element's corners (of the element being added last).
void Parser::addCorners(const int64_t *tags, int32_t corners) {
  if (m_indexedNodes != static_cast<int64_t>(m_mesh->m_nodeTags.size()))
    indexNodes();
  KelvoArray<int32_t> &out = m_mesh->m_elementNodes;
  for (int32_t k = 0; k < corners; ++k) {
    const int32_t index = nodeIndex(tags[k]);
    if (index < 0)
      m_unresolved.push_back({MshFile_noOfElements(m_mesh) - 1,
                              static_cast<int64_t>(out.size()), tags[k]});
    out.push_back(index);
  }
}

// Reads a whole binary block of kept elements; the caller has checked that the rest of the file
// holds it. The same results and messages as element by element. A large block is read in parts
// by several threads, each part into its own place in the arrays (grown without being set); the
// parts' unknown corners follow each other in part order, and the first part that fails says why.
bool Parser::binaryBlock4(const KelvoGmshType *type, int32_t gmshType, int64_t n,
                          int32_t physical, int32_t entity, int64_t noOfPhysicals) {
  const int32_t corners = KelvoElements_get(type->m_kind)->m_noOfVertices;
  const size_t values = static_cast<size_t>(1 + type->m_noOfNodes); // the tag, then the nodes
  const size_t width = static_cast<size_t>(m_sizeT);
  if (m_indexedNodes != static_cast<int64_t>(m_mesh->m_nodeTags.size()))
    indexNodes();
  MshFile &mesh = *m_mesh;
  const size_t first = mesh.m_elementTags.size(), firstCorner = mesh.m_elementNodes.size();
  const size_t count = static_cast<size_t>(n);
  mesh.m_elementTags.resize(first + count);
  mesh.m_elementNodes.resize(firstCorner + count * static_cast<size_t>(corners));
  struct Part {
    size_t m_bad = SIZE_MAX; // the byte after the first value out of range
    std::vector<Unresolved> m_unresolved;
  };
  std::vector<Part> parts(static_cast<size_t>(KelvoThreads_for(count)));
  const char *block = m_data + m_pos;
  KelvoThreads_run(static_cast<int32_t>(parts.size()), [&](int32_t part, int32_t of) {
    Part &own = parts[static_cast<size_t>(part)];
    const size_t to = KelvoThreads_begin(count, part + 1, of);
    for (size_t i = KelvoThreads_begin(count, part, of); i < to; ++i) {
      int64_t v[126];
      if (!decodeValues(block + i * values * width, values, v, &own.m_bad)) {
        own.m_bad += i * values * width;
        return;
      }
      const size_t e = first + i, at = firstCorner + i * static_cast<size_t>(corners);
      mesh.m_elementTags[e] = v[0];
      for (int32_t k = 0; k < corners; ++k) {
        const int32_t index = nodeIndex(v[k + 1]);
        if (index < 0)
          own.m_unresolved.push_back(
              {static_cast<int64_t>(e), static_cast<int64_t>(at) + k, v[k + 1]});
        mesh.m_elementNodes[at + static_cast<size_t>(k)] = index;
      }
    }
  });
  for (const Part &part : parts) {
    if (part.m_bad != SIZE_MAX) {
      m_pos += part.m_bad;
      return fail("A size value is out of range.");
    }
    m_unresolved.insert(m_unresolved.end(), part.m_unresolved.begin(), part.m_unresolved.end());
  }
  m_pos += count * values * width;
  addToRuns(n, type->m_kind, physical, entity);
  if (type->m_order > 1)
    m_mesh->m_reduced[gmshType] += n;
  if (noOfPhysicals > 1)
    m_mesh->m_multiplePhysicals += n;
  return true;
}

// Decodes `values` size values of an element record at `at` into v; false, with the offset of the
// byte after the first value out of range in *bad, when one is.
bool Parser::decodeValues(const char *at, size_t values, int64_t *v, size_t *bad) const {
  const bool swap = m_mesh->m_swap != 0;
  for (size_t k = 0; k < values; ++k) {
    if (m_sizeT == 4) {
      uint32_t x;
      memcpy(&x, at + 4 * k, 4);
      v[k] = swap ? __builtin_bswap32(x) : x;
      continue;
    }
    uint64_t x;
    memcpy(&x, at + 8 * k, 8);
    x = swap ? __builtin_bswap64(x) : x;
    if (x > static_cast<uint64_t>(INT64_MAX)) {
      *bad = 8 * (k + 1);
      return false;
    }
    v[k] = static_cast<int64_t>(x);
  }
  return true;
}

// Reads the nodes of one element of a known type into `nodes` (room for 125).
bool Parser::elementNodes(const KelvoGmshType *type, int64_t *nodes, bool binary, int32_t width) {
  for (int32_t k = 0; k < type->m_noOfNodes; ++k) {
    if (binary) {
      if (width == 4) {
        int32_t v = 0;
        if (!binInt32(&v))
          return false;
        nodes[k] = v;
      } else if (!binSize(&nodes[k])) {
        return false;
      }
    } else if (!readInt64("a node tag", &nodes[k])) {
      return false;
    }
  }
  return true;
}

bool Parser::elements2() {
  m_sawElements = true;
  int64_t count = 0;
  if (!readCount("a number of elements", &count))
    return false;
  if (count > static_cast<int64_t>(remaining() / (m_mesh->m_binary ? 12 : 8)))
    return fail("The $Elements section claims %lld elements, more than the rest of the file "
                "can hold.",
                (long long)count);
  int64_t nodes[125];
  if (!m_mesh->m_binary)
    reserveElements(count, 4); // the usual tetrahedra; the binary blocks say what they hold
  if (m_mesh->m_binary) {
    if (!endOfHeaderLine())
      return false;
    m_inBinary = true;
    reserveBinaryBlocks(count, false);
    int64_t done = 0;
    while (done < count) {
      int32_t gmshType = 0, following = 0, noOfTags = 0;
      if (!binInt32(&gmshType) || !binInt32(&following) || !binInt32(&noOfTags))
        return false;
      const KelvoGmshType *type = KelvoElements_gmshType(gmshType);
      if (type == nullptr)
        return fail("The element type %d is not known, so the binary $Elements section cannot be "
                    "read.",
                    gmshType);
      if (following < 0 || noOfTags < 0)
        return fail("An element block has a negative size.");
      if (following > count - done)
        return fail("The element blocks hold more elements than the section claims.");
      const int64_t perElement = 1 + static_cast<int64_t>(noOfTags) + type->m_noOfNodes;
      if (perElement > static_cast<int64_t>(remaining() / 4) ||
          following > static_cast<int64_t>(remaining() / 4) / perElement)
        return failAtEnd();
      if (type->m_kind != KELVO_OTHER)
        reserveElements(following, KelvoElements_get(type->m_kind)->m_noOfVertices);
      for (int32_t i = 0; i < following; ++i) {
        int32_t tag = 0, physical = 0, entity = 0;
        if (!binInt32(&tag))
          return false;
        for (int32_t k = 0; k < noOfTags; ++k) {
          int32_t v = 0;
          if (!binInt32(&v))
            return false;
          if (k == 0)
            physical = v;
          if (k == 1)
            entity = v;
        }
        if (!elementNodes(type, nodes, true, 4) ||
            !addElement(tag, gmshType, physical, entity, nodes))
          return false;
      }
      done += following;
    }
  } else {
    for (int64_t i = 0; i < count; ++i) {
      int64_t tag = 0;
      int32_t gmshType = 0, noOfTags = 0, physical = 0, entity = 0;
      if (!readInt64("an element tag", &tag) || !readInt32("an element type", &gmshType) ||
          !readInt32("a number of element tags", &noOfTags))
        return false;
      if (noOfTags < 0)
        return fail("The number of element tags %d is negative.", noOfTags);
      for (int32_t k = 0; k < noOfTags; ++k) {
        int32_t v = 0;
        if (!readInt32("an element tag", &v))
          return false;
        if (k == 0)
          physical = v;
        if (k == 1)
          entity = v;
      }
      const KelvoGmshType *type = KelvoElements_gmshType(gmshType);
      if (type == nullptr) {
        // The line holds the element: its nodes end with it.
        ++m_mesh->m_ignored[gmshType];
        m_mesh->m_unknown.push_back({tag, gmshType, physical, entity, -1});
        if (!skipLine())
          return false;
        continue;
      }
      if (!elementNodes(type, nodes, false, 0) ||
          !addElement(tag, gmshType, physical, entity, nodes))
        return false;
    }
  }
  return closeSection("Elements");
}

// The four counts heading a version 4 section (for nodes and elements: blocks, items, smallest and
// largest tag).
bool Parser::sectionHeader4(const char *what, int64_t header[4]) {
  if (m_mesh->m_binary) {
    if (!endOfHeaderLine())
      return false;
    m_inBinary = true;
    for (int i = 0; i < 4; ++i)
      if (!binSize(&header[i]))
        return false;
  } else {
    for (int i = 0; i < 4; ++i)
      if (!readCount(what, &header[i]))
        return false;
  }
  return true;
}

// The heading of a version 4 block: entity dimension and tag, one more value and the count.
bool Parser::blockHeader4(const char *third, const char *count, int32_t *dim, int32_t *entity,
                          int32_t *value, int64_t *n) {
  if (m_mesh->m_binary) {
    if (!binInt32(dim) || !binInt32(entity) || !binInt32(value) || !binSize(n))
      return false;
  } else if (!readInt32("an entity dimension", dim) || !readInt32("an entity tag", entity) ||
             !readInt32(third, value) || !readCount(count, n)) {
    return false;
  }
  if (*dim < 0 || *dim > 3)
    return fail("The entity dimension %d is not 0, 1, 2 or 3.", *dim);
  return true;
}

bool Parser::nodes4() {
  int64_t header[4]; // blocks, nodes, smallest tag, largest tag
  if (!sectionHeader4("a node count", header))
    return false;
  const int64_t total = header[1];
  if (total > static_cast<int64_t>(remaining() / (m_mesh->m_binary ? 32 : 8)))
    return fail("The $Nodes section claims %lld nodes, more than the rest of the file can hold.",
                (long long)total);
  m_mesh->m_nodeTags.reserve(m_mesh->m_nodeTags.size() + total);
  m_mesh->m_coordinates.reserve(m_mesh->m_coordinates.size() + 3 * total);
  int64_t read = 0;
  std::vector<int64_t> tags;
  for (int64_t b = 0; b < header[0]; ++b) {
    int32_t dim = 0, entity = 0, parametric = 0;
    int64_t n = 0;
    if (!blockHeader4("a parametric flag", "a node count", &dim, &entity, &parametric, &n))
      return false;
    if (parametric != 0 && parametric != 1)
      return fail("The parametric flag %d is neither 0 nor 1.", parametric);
    if (n > total - read)
      return fail("The node blocks hold more nodes than the section claims.");
    const int32_t values = 3 + (parametric ? dim : 0);
    if (m_mesh->m_binary &&
        n > static_cast<int64_t>(remaining() / (static_cast<size_t>(m_sizeT) + 8 * values)))
      return failAtEnd();
    if (m_mesh->m_binary) {
      if (!binaryNodes4(n, values))
        return false;
      read += n;
      continue;
    }
    tags.clear();
    for (int64_t i = 0; i < n; ++i) {
      int64_t tag = 0;
      if (!readInt64("a node tag", &tag))
        return false;
      tags.push_back(tag);
    }
    for (int64_t i = 0; i < n; ++i) {
      double xyz[3];
      for (int32_t k = 0; k < values; ++k) {
        double v = 0;
        if (!readDouble("a coordinate", &v))
          return false;
        if (k < 3)
          xyz[k] = v;
      }
      if (!addNode(tags[i], xyz))
        return false;
    }
    read += n;
  }
  if (read != total)
    return fail("The $Nodes section holds %lld nodes, not %lld as it claims.", (long long)read,
                (long long)total);
  return closeSection("Nodes");
}

// Reads a binary block of n nodes of `values` coordinates each (any parametric ones after the
// three), which the caller has checked the rest of the file holds: their tags, then their
// coordinates. A large block is read in parts by several threads into their places in the arrays;
// the fault that comes first in the file is reported, as reading node by node does.
bool Parser::binaryNodes4(int64_t n, int32_t values) {
  const size_t count = static_cast<size_t>(n), width = static_cast<size_t>(m_sizeT);
  const size_t first = m_mesh->m_nodeTags.size();
  const size_t room = first < INT32_MAX / 3 ? INT32_MAX / 3 - first : 0; // nodes still allowed
  const size_t perNode = 8 * static_cast<size_t>(values);
  const char *tags = m_data + m_pos, *coordinates = tags + count * width;
  m_mesh->m_nodeTags.resize(first + count);
  m_mesh->m_coordinates.resize(3 * (first + count));
  enum Fault { NONE, TAG_RANGE, COORDINATE, TAG_SIGN, TOO_MANY };
  struct Part {
    Fault m_fault = NONE;
    size_t m_at = 0; // the byte after the value at fault, from the block's start
    int64_t m_tag = 0;
  };
  std::vector<Part> parts(static_cast<size_t>(KelvoThreads_for(count)));
  KelvoThreads_run(static_cast<int32_t>(parts.size()), [&](int32_t part, int32_t of) {
    Part &own = parts[static_cast<size_t>(part)];
    const size_t from = KelvoThreads_begin(count, part, of);
    const size_t to = KelvoThreads_begin(count, part + 1, of);
    for (size_t i = from; i < to; ++i) {
      int64_t tag;
      size_t bad = 0;
      if (!decodeValues(tags + i * width, 1, &tag, &bad)) {
        own = {TAG_RANGE, i * width + bad, 0};
        return;
      }
      m_mesh->m_nodeTags[first + i] = tag;
    }
    for (size_t i = from; i < to; ++i) {
      double xyz[3];
      for (size_t k = 0; k < static_cast<size_t>(values); ++k) {
        uint64_t bits;
        memcpy(&bits, coordinates + i * perNode + 8 * k, 8);
        bits = m_mesh->m_swap ? __builtin_bswap64(bits) : bits;
        double v;
        memcpy(&v, &bits, 8);
        if (!std::isfinite(v)) {
          own = {COORDINATE, count * width + i * perNode + 8 * (k + 1), 0};
          return;
        }
        if (k < 3)
          xyz[k] = v;
      }
      const int64_t tag = m_mesh->m_nodeTags[first + i];
      if (tag < 1 || i >= room) {
        own = {tag < 1 ? TAG_SIGN : TOO_MANY, count * width + (i + 1) * perNode, tag};
        return;
      }
      std::copy(xyz, xyz + 3, &m_mesh->m_coordinates[3 * (first + i)]);
    }
  });
  // The tags come first in the file, then the coordinates node by node.
  const Part *fault = nullptr;
  for (const Part &part : parts)
    if (part.m_fault == TAG_RANGE && fault == nullptr)
      fault = &part;
  for (const Part &part : parts)
    if (part.m_fault != NONE && fault == nullptr)
      fault = &part;
  if (fault == nullptr) {
    m_pos += count * (width + perNode);
    return true;
  }
  m_pos += fault->m_at;
  switch (fault->m_fault) {
  case TAG_RANGE:
    return fail("A size value is out of range.");
  case COORDINATE:
    return fail("A coordinate is not a finite number.");
  case TAG_SIGN:
    return fail("The node tag %lld is not positive.", (long long)fault->m_tag);
  default:
    return fail("The mesh holds too many nodes.");
  }
}

bool Parser::elements4() {
  m_sawElements = true;
  int64_t header[4]; // blocks, elements, smallest tag, largest tag
  if (!sectionHeader4("an element count", header))
    return false;
  const int64_t total = header[1];
  int64_t read = 0;
  int64_t nodes[125];
  if (m_mesh->m_binary)
    reserveBinaryBlocks(header[0], true);
  else // the section's count, as far as the rest can hold elements of four characters at least
    reserveElements(std::min<int64_t>(total, static_cast<int64_t>(remaining() / 4)), 4);
  for (int64_t b = 0; b < header[0]; ++b) {
    int32_t dim = 0, entity = 0, gmshType = 0;
    int64_t n = 0;
    if (!blockHeader4("an element type", "an element count", &dim, &entity, &gmshType, &n))
      return false;
    if (n > total - read)
      return fail("The element blocks hold more elements than the section claims.");
    const KelvoGmshType *type = KelvoElements_gmshType(gmshType);
    int32_t physical = 0;
    int64_t noOfPhysicals = 0;
    auto found = m_entities.find(entityKey(dim, entity));
    if (found != m_entities.end()) {
      physical = found->second.m_first;
      noOfPhysicals = found->second.m_count;
    }
    if (m_mesh->m_binary) {
      if (type == nullptr)
        return fail("The element type %d is not known, so the binary $Elements section cannot be "
                    "read.",
                    gmshType);
      const int64_t perElement = (1 + static_cast<int64_t>(type->m_noOfNodes)) * m_sizeT;
      if (n > static_cast<int64_t>(remaining()) / perElement)
        return failAtEnd();
      if (type->m_kind != KELVO_OTHER) {
        reserveElements(n, KelvoElements_get(type->m_kind)->m_noOfVertices);
        if (n <= static_cast<int64_t>(INT32_MAX) -
                     MshFile_noOfElements(m_mesh)) { // else refused below
          if (!binaryBlock4(type, gmshType, n, physical, entity, noOfPhysicals))
            return false;
          read += n;
          continue;
        }
      }
    } else if (type != nullptr && type->m_kind != KELVO_OTHER) {
      // Each element takes two characters a number at least.
      const int64_t fits = static_cast<int64_t>(remaining()) / (2 * (1 + type->m_noOfNodes));
      reserveElements(n < fits ? n : fits, KelvoElements_get(type->m_kind)->m_noOfVertices);
    }
    for (int64_t i = 0; i < n; ++i) {
      int64_t tag = 0;
      if (m_mesh->m_binary ? !binSize(&tag) : !readInt64("an element tag", &tag))
        return false;
      if (type == nullptr) {
        ++m_mesh->m_ignored[gmshType];
        m_mesh->m_unknown.push_back({tag, gmshType, physical, entity, dim});
        if (!skipLine())
          return false;
        continue;
      }
      if (!elementNodes(type, nodes, m_mesh->m_binary, m_sizeT))
        return false;
      if (!addElement(tag, gmshType, physical, entity, nodes))
        return false;
      if (noOfPhysicals > 1 && type->m_kind != KELVO_OTHER)
        ++m_mesh->m_multiplePhysicals;
    }
    read += n;
  }
  if (read != total)
    return fail("The $Elements section holds %lld elements, not %lld as it claims.",
                (long long)read, (long long)total);
  return closeSection("Elements");
}

// Resolves the corner node tags that were not known when their elements were read, after
// checking that no node tag is defined twice.
bool Parser::resolve() {
  m_section.clear();
  m_inBinary = false;
  m_pos = m_size;
  const KelvoArray<int64_t> &tags = m_mesh->m_nodeTags;
  const int64_t n = static_cast<int64_t>(tags.size());
  int64_t largest = 0;
  for (int64_t t : tags)
    largest = t > largest ? t : largest;
  // Dense tags (the usual case) index a table; scattered ones a hash map.
  std::vector<int32_t> table;
  std::unordered_map<int64_t, int32_t> map;
  const bool dense = largest <= 4 * n + 1024;
  const bool reuse = dense && m_indexedNodes == n && !m_nodeIndex.empty(); // made, without repeats
  if (reuse)
    table.swap(m_nodeIndex);
  else if (dense)
    table.assign(static_cast<size_t>(largest) + 1, -1);
  else
    map.reserve(static_cast<size_t>(n));
  for (int64_t i = 0; i < n && !reuse; ++i) {
    bool fresh;
    if (dense) {
      fresh = table[tags[i]] < 0;
      if (fresh)
        table[tags[i]] = static_cast<int32_t>(i);
    } else {
      fresh = map.emplace(tags[i], static_cast<int32_t>(i)).second;
    }
    if (!fresh) {
      *m_error = "The node " + std::to_string(tags[i]) + " is defined more than once.";
      return false;
    }
  }
  for (const Unresolved &u : m_unresolved) {
    const int64_t tag = u.m_tag;
    int32_t index = -1;
    if (dense) {
      if (tag >= 0 && tag <= largest)
        index = table[tag];
    } else {
      auto found = map.find(tag);
      if (found != map.end())
        index = found->second;
    }
    if (index < 0) {
      *m_error = "The element " + std::to_string(m_mesh->m_elementTags[u.m_element]) +
                 " refers to the node " + std::to_string(tag) + ", which is not defined.";
      return false;
    }
    m_mesh->m_elementNodes[u.m_at] = index;
  }
  m_unresolved = std::vector<Unresolved>();
  return true;
}

} // namespace

MshMapping &MshMapping::operator=(MshMapping &&other) noexcept {
  if (this != &other) {
    if (m_address != nullptr)
      munmap(m_address, m_size);
    m_address = other.m_address;
    m_size = other.m_size;
    other.m_address = nullptr;
    other.m_size = 0;
  }
  return *this;
}

MshMapping::~MshMapping() {
  if (m_address != nullptr)
    munmap(m_address, m_size);
}

namespace {

void clear(MshFile *mesh) { *mesh = MshFile(); }

} // namespace

MshFile *MshFile_new() {
  MshFile *mesh = new MshFile();
  clear(mesh);
  return mesh;
}

void MshFile_delete(MshFile *mesh) { delete mesh; }

void MshFile_print(const MshFile *mesh, FILE *stream) {
  fprintf(stream, "MshFile: version %s, %s%s\n", mesh->m_version.c_str(),
          mesh->m_binary ? "binary" : "ASCII", mesh->m_swap ? " (other byte order)" : "");
  fprintf(stream, "  Nodes            = %zu\n", mesh->m_nodeTags.size());
  fprintf(stream, "  Elements kept    = %lld\n", (long long)MshFile_noOfElements(mesh));
  fprintf(stream, "  Physical names   = %zu\n", mesh->m_physicalNames.size());
  for (const MshPhysicalName &name : mesh->m_physicalNames)
    fprintf(stream, "    %d %d \"%s\"\n", name.m_dimension, name.m_tag, name.m_name.c_str());
  for (const auto &entry : mesh->m_ignored)
    fprintf(stream, "  Ignored type %d  = %lld\n", entry.first, (long long)entry.second);
  for (const auto &entry : mesh->m_reduced)
    fprintf(stream, "  Reduced type %d  = %lld\n", entry.first, (long long)entry.second);
  fflush(stream);
}

int MshFile_parse(MshFile *mesh, const char *data, size_t size, std::string *error) {
  clear(mesh);
  error->clear();
  Parser parser(mesh, data, size, error);
  if (parser.run())
    return 1;
  clear(mesh);
  return 0;
}

int MshFile_read(MshFile *mesh, const char *path, std::string *error) {
  clear(mesh);
  // Not blocking: a FIFO or device named by mistake is refused below instead of waited on.
  const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    *error = std::string("Unable to open the mesh file \"") + path + "\": " + strerror(errno) + ".";
    return 0;
  }
  struct stat info;
  if (zyrFault_fstat(fd, &info) != 0) {
    *error = std::string("Unable to look at the mesh file \"") + path + "\": " + strerror(errno) + ".";
    close(fd);
    return 0;
  }
  if (!S_ISREG(info.st_mode)) {
    *error = std::string("The mesh file \"") + path + "\" is not a regular file.";
    close(fd);
    return 0;
  }
  // Mapped rather than read: the pages of the system's cache are parsed where they are, without
  // a copy (a copy cost more than the parsing of a large binary file). A file shortened by
  // someone else while it is parsed raises SIGBUS; Kelvo.exe reports that as an error. The
  // mapping stays with the mesh (MshFile_unmap).
  if (info.st_size > 0) {
    const size_t size = static_cast<size_t>(info.st_size);
    void *mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (mapped != MAP_FAILED) {
      close(fd);
      madvise(mapped, size, MADV_SEQUENTIAL);
      MshMapping mapping(mapped, size);
      const int status = MshFile_parse(mesh, static_cast<const char *>(mapped), size, error);
      mesh->m_mapping = std::move(mapping);
      mesh->m_file = info;
      return status;
    }
  }
  // Else (an empty file, or one that cannot be mapped) read straight into one buffer of the
  // file's size (a file that grows meanwhile is read to its end all the same).
  size_t capacity = static_cast<size_t>(info.st_size) + 1, length = 0;
  char *data = static_cast<char *>(malloc(capacity));
  if (data == nullptr) {
    close(fd);
    throw std::bad_alloc();
  }
  for (;;) {
    if (length == capacity) {
      char *larger = static_cast<char *>(realloc(data, capacity * 2));
      if (larger == nullptr) {
        free(data);
        close(fd);
        throw std::bad_alloc();
      }
      data = larger;
      capacity *= 2;
    }
    const ssize_t n = read(fd, data + length, capacity - length);
    if (n == 0)
      break;
    if (n < 0) {
      if (errno == EINTR)
        continue;
      *error =
          std::string("Unable to read the mesh file \"") + path + "\": " + strerror(errno) + ".";
      free(data);
      close(fd);
      return 0;
    }
    length += static_cast<size_t>(n);
  }
  close(fd);
  int status = 0;
  try {
    status = MshFile_parse(mesh, data, length, error);
  } catch (...) {
    free(data);
    throw;
  }
  free(data);
  mesh->m_file = info;
  return status;
}

const MshElementRun &MshFile_runOf(const MshFile *mesh, int64_t e) {
  const std::vector<MshElementRun> &runs = mesh->m_elementRuns;
  if (runs.size() == 1)
    return runs[0];
  return *(std::upper_bound(runs.begin(), runs.end(), e,
                            [](int64_t element, const MshElementRun &run) {
                              return element < run.m_first;
                            }) -
           1);
}

void MshFile_unmap(MshFile *mesh) { mesh->m_mapping = MshMapping(); }

int MshFile_isMsh(const char *data, size_t size) {
  size_t i = 0;
  while (i < size && isSpace(data[i]))
    ++i;
  static const char tag[] = "$MeshFormat";
  return size - i >= sizeof tag - 1 && memcmp(data + i, tag, sizeof tag - 1) == 0;
}

const char *MshFile_physicalName(const MshFile *mesh, int32_t dimension, int32_t tag) {
  for (const MshPhysicalName &name : mesh->m_physicalNames)
    if (name.m_dimension == dimension && name.m_tag == tag)
      return name.m_name.c_str();
  return nullptr;
}
