#include "vsnWriter.h"

#include "vsnArray.h"
#include "vsnDefaultHandle.h"
#include "vsnEntry.h"
#include "vsnHandle.h"
#include "vsnPath.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char kMemoryError[] = "getPartialVSNH: memory error";

// Appends a copy of text to lines.
bool addLine(vsnArray* lines, const std::string& text) {
  char* line = static_cast<char*>(malloc(text.size() + 1));
  if (!line) return false;
  memcpy(line, text.c_str(), text.size() + 1);
  if (!vsnArrayAddString(lines, line)) {
    free(line);
    return false;
  }
  return true;
}

// A value ending in a backslash would continue into the next line when read again: an empty
// comment after a blank ends the line without changing the value read.
void appendValue(std::string& line, const char* value) {
  line += value;
  size_t n = strlen(value);
  if (n > 0 && value[n - 1] == '\\') line += " #";
}

bool skipped(const vsnEntry* e, unsigned includeMask, unsigned excludeMask) {
  if (e->m_kind == VSN_KIND_PARAM) return false;
  if (includeMask && !(e->m_flags & includeMask)) return true;
  return excludeMask && (e->m_flags & excludeMask);
}

// The header line of an object: "TYPE: name" or "TYPE:".
void appendHeader(std::string& line, const vsnEntry* e) {
  line += e->m_type;
  line += ':';
  if (e->m_kind == VSN_KIND_OBJECT && e->m_name) {
    line += ' ';
    line += e->m_name;
  }
}

} // namespace

// Depth first without recursion: going down an object writes its header and lengthens the
// indent, coming back up past its last child writes its END.
const char* getPartialVSNH(vsnHandle* h, const char* fullPath, const char* indent, vsnArray* lines,
                           unsigned includeMask, unsigned excludeMask) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  const vsnEntry* top = findEntryH(h, fullPath);
  if (!top) return "getPartialVSNH: object does not exist";
  if (!lines) return kMemoryError;
  std::string pad = indent ? indent : "";
  std::string line;
  const vsnEntry* e = top->m_firstChild;
  while (e) {
    bool descend = false;
    if (e->m_kind < VSN_KIND_NONE || e->m_kind > VSN_KIND_SINGLETON) return "getPartialVSNH: bad object type";
    if (e->m_kind != VSN_KIND_NONE && !skipped(e, includeMask, excludeMask)) {
      line = pad;
      if (e->m_kind == VSN_KIND_PARAM) {
        line += e->m_name ? e->m_name : "";
        line += " = ";
        appendValue(line, e->m_value ? e->m_value : "");
      } else {
        appendHeader(line, e);
        descend = true;
      }
      if (!addLine(lines, line)) return kMemoryError;
    }
    if (descend && e->m_firstChild) {
      pad += "  ";
      e = e->m_firstChild;
      continue;
    }
    if (descend) {
      if (!addLine(lines, pad + "END")) return kMemoryError;
    }
    // Up past every object whose last child this was, closing each.
    while (e != top && !e->m_next) {
      e = e->m_parent;
      if (e == top || !e) break;
      pad.resize(pad.size() - 2);
      if (!addLine(lines, pad + "END")) return kMemoryError;
    }
    e = (e && e != top) ? e->m_next : nullptr;
  }
  return nullptr;
}

const char* getExpandedVSNH(vsnHandle* h, const char* path, char*** lines, int includeLibrary) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  if (!lines) return "getExpandedVSNH: error allocating return array";
  *lines = nullptr;
  if (!h->m_pathTable || !h->m_root) return nullptr;  // nothing loaded yet
  char* full = getFullPath(h, path);
  const vsnEntry* e = full ? findEntryH(h, full) : nullptr;
  if (!e) {
    free(full);
    return "getObjectVSNH: path not found";
  }
  vsnArray* out = vsnArrayNew(VSN_ARRAY_STRING);
  if (!out) {
    free(full);
    return "getExpandedVSNH: error allocating return array";
  }
  bool isRoot = strcmp(full, "/") == 0;
  const char* err = nullptr;
  std::string header;
  if (!isRoot && e->m_kind == VSN_KIND_PARAM) {
    // A parameter is its own one line.
    header = std::string(e->m_name ? e->m_name : "") + " = ";
    appendValue(header, e->m_value ? e->m_value : "");
    if (!addLine(out, header)) err = "getExpandedVSNH: error allocating return array";
  } else {
    if (!isRoot) {
      appendHeader(header, e);
      if (!addLine(out, header)) err = "getExpandedVSNH: error allocating return array";
    }
    if (!err) err = getPartialVSNH(h, full, "", out, 0, includeLibrary ? 0u : static_cast<unsigned>(VSN_FLAG_LIBRARY));
    if (!err && !isRoot && !addLine(out, "END")) err = "getExpandedVSNH: error allocating return array";
  }
  if (!err && !vsnArrayAddString(out, nullptr)) err = "getExpandedVSNH: error allocating return array";
  free(full);
  if (err) {
    vsnArrayFree(out);
    return err;
  }
  *lines = vsnArrayDetachStrings(out);
  vsnArrayRelease(out);
  return nullptr;
}

const char* getAllVSNH(vsnHandle* h, char*** lines) { return getExpandedVSNH(h, "/", lines, 0); }

const char* defaultGetExpandedVSN(const char* path, char*** lines, int includeLibrary) {
  vsnHandle* h = getDefaultVSNHandle();
  return h ? getExpandedVSNH(h, path, lines, includeLibrary) : VSN_NO_DEFAULT_HANDLE_TEXT;
}

const char* defaultGetAllVSN(char*** lines) {
  vsnHandle* h = getDefaultVSNHandle();
  return h ? getAllVSNH(h, lines) : VSN_NO_DEFAULT_HANDLE_TEXT;
}
