#include "vsnHandle.h"

#include "vsnArray.h"
#include "vsnMessage.h"
#include "vsnNameRules.h"
#include "vsnPath.h"

#include <cctype>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

const char* const VSN_NO_HANDLE_TEXT = "vsnapilt: no handle";

namespace {

// Validity bits. Mode 1 sets "valid", mode 2 "contents valid"; any other mode is a change: the
// entry (and, for a parameter, its object) is no longer valid, and every object above no longer
// has valid contents.
void applyValidity(vsnEntry* e, int mode) {
  if (mode == 1) {
    e->m_flags |= VSN_FLAG_VALID;
    return;
  }
  if (mode == 2) {
    e->m_flags |= VSN_FLAG_CONTENTS_VALID;
    return;
  }
  e->m_flags &= ~static_cast<uint32_t>(VSN_FLAG_VALID);
  bool parameters = e->m_kind == VSN_KIND_PARAM;
  for (vsnEntry* p = e->m_parent; p; p = p->m_parent) {
    if (parameters) {
      p->m_flags &= ~static_cast<uint32_t>(VSN_FLAG_VALID);
      parameters = p->m_kind == VSN_KIND_PARAM;
    } else {
      p->m_flags &= ~static_cast<uint32_t>(VSN_FLAG_CONTENTS_VALID);
    }
  }
}

void appendChild(vsnEntry* parent, vsnEntry* child) {
  child->m_parent = parent;
  child->m_prev = parent->m_lastChild;
  child->m_next = nullptr;
  if (parent->m_lastChild) {
    parent->m_lastChild->m_next = child;
  } else {
    parent->m_firstChild = child;
  }
  parent->m_lastChild = child;
  parent->m_childCount += 1;
}

void unlinkChild(vsnEntry* parent, vsnEntry* child) {
  if (child->m_prev) {
    child->m_prev->m_next = child->m_next;
  } else {
    parent->m_firstChild = child->m_next;
  }
  if (child->m_next) {
    child->m_next->m_prev = child->m_prev;
  } else {
    parent->m_lastChild = child->m_prev;
  }
  child->m_next = child->m_prev = child->m_parent = nullptr;
  parent->m_childCount -= 1;
}

char* cleanCopy(const char* s) { return s ? vsnCleanName(strdup(s)) : nullptr; }

bool hasSeparator(const char* s) { return s && strpbrk(s, "/:") != nullptr; }

// A path being built: on the stack when short, else on the heap.
struct PathBuffer {
  char m_small[256];
  char* m_text = m_small;
  size_t m_length = 0;
  PathBuffer() = default;
  PathBuffer(const PathBuffer&) = delete;
  PathBuffer& operator=(const PathBuffer&) = delete;
  ~PathBuffer() {
    if (m_text != m_small) free(m_text);
  }
  bool reserve(size_t length) {
    if (length < sizeof m_small) return true;
    if (length == SIZE_MAX) return false;
    m_text = static_cast<char*>(malloc(length + 1));
    if (!m_text) m_text = m_small;
    return m_text != m_small;
  }
};

// The entry under a path that is resolved first.
vsnEntry* resolveEntry(vsnHandle* h, const char* path) {
  char* full = getFullPath(h, path);
  vsnEntry* e = full ? findEntryH(h, full) : nullptr;
  free(full);
  return e;
}

// The text after the last "/" of a path as passed.
const char* lastStep(const char* path) {
  const char* slash = strrchr(path, '/');
  return slash ? slash + 1 : path;
}

// Resolves the parent of path for the create operations: its canonical path in *parentPath and
// its entry (NULL for a root not made yet). Objects only: a parameter holds no children.
const char* findParent(vsnHandle* h, const char* path, char** parentPath, vsnEntry** parent, const char* noPath,
                       const char* noParent) {
  *parentPath = path ? getParentPath(h, path) : nullptr;
  *parent = nullptr;
  if (!*parentPath) return noPath;
  *parent = findEntryH(h, *parentPath);
  bool isRoot = strcmp(*parentPath, "/") == 0;
  if ((!isRoot && !*parent) || (*parent && (*parent)->m_kind == VSN_KIND_PARAM)) {
    free(*parentPath);
    *parentPath = nullptr;
    return noParent;
  }
  return nullptr;
}

} // namespace

vsnHandle* createVSNHandle() {
  vsnHandle* h = static_cast<vsnHandle*>(calloc(1, sizeof(vsnHandle)));
  if (!h) return nullptr;
  if (vsnApiDebug()) {
    printf("%" PRIxPTR ": *** created ***\n", reinterpret_cast<uintptr_t>(h));
    addChangeHandlerH(h, debugChangeHandler, h);
  }
  return h;
}

int destroyVSNHandle(vsnHandle* h) {
  if (!h) return 0;
  vsnFreeDirStack(h);
  freeVSNEntryTree(h->m_root);
  vsnEntryPoolRelease(&h->m_entryPool);
  vsnHashFree(h->m_pathTable);
  vsnFreeHandlers(h);
  free(h->m_pendingLine);
  free(h->m_flagStack);
  vsnScrubAndFree(h->m_errorText);
  // Announced just before the record itself goes, everything it held being gone already.
  if (vsnApiDebug()) printf("%" PRIxPTR ": *** destroyed ***\n", reinterpret_cast<uintptr_t>(h));
  free(h);
  return 0;
}

const char* getVSNStateH(vsnHandle* h, int* state) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  if (!state) return "getVSNStateH: Invalid arguments";
  *state = h->m_depth;
  return nullptr;
}

int resetVSNStateH(vsnHandle* h, int depth) {
  if (!h) return 0;
  while (h->m_depth > depth) {
    h->m_depth -= 1;
    popPath(h);
  }
  return 0;
}

void setVSNUserWordH(vsnHandle* h, int word) {
  if (h) h->m_userWord = word;
}

int getVSNUserWordH(vsnHandle* h) { return h ? h->m_userWord : 0; }

vsnEntry* createRootObjectH(vsnHandle* h) {
  if (!h) return nullptr;
  if (h->m_root) return h->m_root;
  vsnEntry* root = vsnEntryNewIn(&h->m_entryPool, "/", 1, nullptr, 0, nullptr, 0, VSN_KIND_OBJECT, 0);
  if (!root) return nullptr;
  bool madeTable = false;
  if (!h->m_pathTable) {
    h->m_pathTable = vsnHashNew(1);
    madeTable = h->m_pathTable != nullptr;
  }
  if (!h->m_pathTable || !vsnHashInsert(h->m_pathTable, "/", root)) {
    if (madeTable) {
      vsnHashFree(h->m_pathTable);
      h->m_pathTable = nullptr;
    }
    vsnEntryDelete(root);
    return nullptr;
  }
  h->m_root = root;
  return root;
}

vsnEntry* findEntryH(vsnHandle* h, const char* path) {
  if (!h || !path) return nullptr;
  return static_cast<vsnEntry*>(vsnHashLookup(h->m_pathTable, path));
}

vsnEntry* getCurrentObjectH(vsnHandle* h) { return h ? findEntryH(h, getCurrentPathH(h)) : nullptr; }

namespace {

// The step an update adds below the current path: its type and name in canonical form (copies
// owned when cleaning changed them), the full path, and the path's hash state and bucket when
// the table hashes paths the usual way (bucket -1 otherwise).
struct UpdateStep {
  const char* m_type = nullptr;
  const char* m_name = nullptr;
  char* m_ownedType = nullptr;
  char* m_ownedName = nullptr;
  bool m_hasType = false;
  bool m_hasName = false;
  int m_kind = 0;
  size_t m_typeLength = 0;  // of m_type when m_hasType, of m_name when m_hasName
  size_t m_nameLength = 0;
  bool m_clean = false;     // names checked by the parser's rules: no separator, blank or control
  PathBuffer m_path;
  size_t m_prefixLength = 0;
  size_t m_stepLength = 0;
  vsnHash* m_table = nullptr;
  vsnHashState m_state;
  int32_t m_bucket = -1;

  UpdateStep() = default;
  UpdateStep(const UpdateStep&) = delete;
  UpdateStep& operator=(const UpdateStep&) = delete;
  ~UpdateStep() {
    free(m_ownedType);
    free(m_ownedName);
  }
};

// Names take the form they have in a canonical path, so that every entry can be found again.
// Names already in that form (all that the parser gives) are used as they stand. TYPE:TYPE is
// the singleton TYPE. False for a step no path could hold.
bool nameStep(const char* type, const char* name, int kind, UpdateStep* step) {
  const char* t = kind == VSN_KIND_PARAM ? nullptr : type;
  const char* n = name;
  if (t && !vsnIsCleanName(t)) t = step->m_ownedType = cleanCopy(t);
  if (n && !vsnIsCleanName(n)) n = step->m_ownedName = cleanCopy(n);
  if ((type && kind != VSN_KIND_PARAM && !t) || (name && !n)) return false;
  bool hasType = t && *t;
  bool hasName = n && *n;
  if (hasType && hasName && strcmp(t, n) == 0) {
    n = nullptr;
    hasName = false;
  }
  if (kind == VSN_KIND_PARAM ? !hasName : !hasType) return false;
  if (hasSeparator(t) || hasSeparator(n)) return false;
  step->m_type = t;
  step->m_name = n;
  step->m_hasType = hasType;
  step->m_hasName = hasName;
  step->m_typeLength = hasType ? strlen(t) : 0;
  step->m_nameLength = hasName ? strlen(n) : 0;
  step->m_kind = kind == VSN_KIND_PARAM ? kind : hasName ? VSN_KIND_OBJECT : VSN_KIND_SINGLETON;
  return true;
}

// nameStep for names that are canonical and hold no separator already (the parser's, which its
// cleaning and name checks guarantee), of known lengths.
void cleanNameStep(const char* type, size_t typeLength, const char* name, size_t nameLength, int kind,
                   UpdateStep* step) {
  const char* t = kind == VSN_KIND_PARAM ? nullptr : type;
  const char* n = name;
  bool hasType = t && typeLength > 0;
  bool hasName = n && nameLength > 0;
  if (hasType && hasName && typeLength == nameLength && memcmp(t, n, typeLength) == 0) {
    n = nullptr;
    hasName = false;
  }
  step->m_type = t;
  step->m_name = n;
  step->m_hasType = hasType;
  step->m_hasName = hasName;
  step->m_typeLength = hasType ? typeLength : 0;
  step->m_nameLength = hasName ? nameLength : 0;
  step->m_kind = kind == VSN_KIND_PARAM ? kind : hasName ? VSN_KIND_OBJECT : VSN_KIND_SINGLETON;
  step->m_clean = true;
}

// vsnStepKeepsCanonical for a step of clean names: names that hold only name characters, no
// blank at either end or two together, joined by the one ":" of a named object whose name is
// not its type. Of all that function looks for, only ".." and white space by the locale at
// either end (a byte above 127) can be there.
bool cleanStepKeepsCanonical(const char* step, size_t n) {
  unsigned char first = static_cast<unsigned char>(step[0]), last = static_cast<unsigned char>(step[n - 1]);
  if ((first > 127 && isspace(first)) || (last > 127 && isspace(last))) return false;
  for (size_t i = 1; i < n; ++i) {
    if (step[i] == '.' && step[i - 1] == '.') return false;
  }
  return true;
}

// The current path, "/" unless it is the root, and the step. False when it cannot be held.
bool joinStepPath(vsnHandle* h, const vsnDirNode* node, UpdateStep* step) {
  const char* current = getCurrentPathH(h);
  size_t currentLength = node ? node->m_length : strlen(current);
  bool underRoot = currentLength == 1 && current[0] == '/';
  const bool hasType = step->m_hasType;
  const bool hasName = step->m_hasName;
  size_t typeLength = step->m_typeLength;
  size_t nameLength = step->m_nameLength;
  step->m_prefixLength = currentLength + (underRoot ? 0 : 1);
  step->m_stepLength = typeLength + (hasType && hasName ? 1 : 0) + nameLength;
  PathBuffer& path = step->m_path;
  if (!path.reserve(step->m_prefixLength + step->m_stepLength)) return false;
  char* at = path.m_text;
  memcpy(at, current, currentLength);
  at += currentLength;
  if (!underRoot) *at++ = '/';
  memcpy(at, hasType ? step->m_type : step->m_name, hasType ? typeLength : nameLength);
  at += hasType ? typeLength : nameLength;
  if (hasType && hasName) {
    *at++ = ':';
    memcpy(at, step->m_name, nameLength);
    at += nameLength;
  }
  *at = '\0';
  path.m_length = step->m_prefixLength + step->m_stepLength;
  return true;
}

// The path's hash carries on from the current path's: only the step is hashed. Its bucket is
// fetched into the cache while the path is checked.
void hashStepPath(vsnDirNode* node, UpdateStep* step) {
  vsnHash* table = step->m_table;
  // A table keeping an index is filled through vsnHashInsert, which needs no bucket.
  if (!(node && table && table->m_hash == vsnHashString && table->m_buckets && !table->m_index)) return;
  const char* text = step->m_path.m_text;
  if (node->m_prefixHash.m_size != table->m_size) {
    vsnHashStart(&node->m_prefixHash, table->m_size);
    vsnHashFeed(&node->m_prefixHash, text, step->m_prefixLength);
  }
  step->m_state = node->m_prefixHash;
  vsnHashFeed(&step->m_state, text + step->m_prefixLength, step->m_stepLength);
  step->m_bucket = vsnHashStateBucket(table, &step->m_state);
  if (step->m_bucket >= 0) __builtin_prefetch(&table->m_buckets[step->m_bucket]);
}

// A key that a look-up would resolve elsewhere could never be found again. A canonical current
// path followed by a plain step is canonical as it stands.
bool stepPathIsCanonical(vsnHandle* h, const vsnDirNode* node, const UpdateStep& step) {
  const char* text = step.m_path.m_text;
  const char* last = text + step.m_prefixLength;
  if (node && node->m_canonical &&
      (step.m_clean ? cleanStepKeepsCanonical(last, step.m_stepLength) : vsnStepKeepsCanonical(last, step.m_stepLength))) {
    return true;
  }
  char* canonical = getFullPath(h, text);
  bool same = canonical && strcmp(canonical, text) == 0;
  free(canonical);
  return same;
}

// A new entry for the step under parent, announced to the change handlers; NULL on failure.
vsnEntry* addStepEntry(vsnHandle* h, vsnEntry* parent, UpdateStep* step, const char* value, size_t valueLength,
                       unsigned flags) {
  const int kind = step->m_kind;
  const PathBuffer& path = step->m_path;
  vsnHash* table = step->m_table;
  const char* v = kind == VSN_KIND_PARAM ? (value ? value : "") : nullptr;
  const char* name = step->m_name;
  // A name left out has no length of its own in the step; it is empty or NULL.
  size_t nameLength = step->m_hasName ? step->m_nameLength : 0;
  vsnEntry* e = kind == VSN_KIND_PARAM
                    ? vsnEntryNewIn(&h->m_entryPool, "String", 6, name, nameLength, v, value ? valueLength : 0, kind,
                                    flags)
                    : vsnEntryNewIn(&h->m_entryPool, step->m_type, step->m_typeLength, name, nameLength, nullptr, 0,
                                    kind, flags);
  if (!e) return nullptr;
  bool inserted;
  if (step->m_bucket >= 0) {
    // As vsnHashInsert: grow first, then place in the bucket of the size grown to.
    vsnHashReserve(table, 0);
    if (step->m_state.m_size != table->m_size) {
      vsnHashStart(&step->m_state, table->m_size);
      vsnHashFeed(&step->m_state, path.m_text, path.m_length);
    }
    step->m_bucket = vsnHashStateBucket(table, &step->m_state);
    inserted = step->m_bucket >= 0 && vsnHashAddNew(table, step->m_bucket, path.m_text, path.m_length, e);
  } else {
    inserted = vsnHashInsert(table, path.m_text, e);
  }
  if (!inserted) {
    vsnEntryDelete(e);
    return nullptr;
  }
  appendChild(parent, e);
  if (!h->m_changeHandlers) {
    // Nobody to tell.
  } else if (kind == VSN_KIND_PARAM) {
    vsnNotifyChange(h, path.m_text, VSN_CHANGE_VALUE, e->m_value, nullptr);
  } else {
    vsnNotifyChange(h, path.m_text, VSN_CHANGE_CREATED, nullptr, nullptr);
  }
  return e;
}

// An existing entry met again: a parameter takes the new value (announced when it differs) and
// the flags. A parameter and a singleton of one name would share a path: refused (false) rather
// than give a parameter children or an object a value.
bool updateStepEntry(vsnHandle* h, vsnEntry* e, const UpdateStep& step, const char* value, unsigned flags) {
  if ((e->m_kind == VSN_KIND_PARAM) != (step.m_kind == VSN_KIND_PARAM)) return false;
  if (step.m_kind != VSN_KIND_PARAM) return true;
  const char* v = value ? value : "";
  if (!e->m_value || strcmp(e->m_value, v) != 0) {
    char* copy = strdup(v);
    if (!copy) return false;
    bool oldInBlock;
    char* old = vsnEntrySwapValue(e, copy, &oldInBlock);
    vsnNotifyChange(h, step.m_path.m_text, VSN_CHANGE_VALUE, copy, old);
    vsnEntryFreeOldValue(old, oldInBlock);
  }
  e->m_flags = flags;
  return true;
}

// After a parameter the parent stays current; an object becomes the current object. Its path is
// canonical and its entry at hand: pushed without resolving it again, with the hash state its
// children's paths carry on from.
vsnEntry* enterStepEntry(vsnHandle* h, vsnEntry* parent, vsnEntry* e, UpdateStep* step, unsigned flags) {
  vsnEntry* result;
  if (step->m_kind == VSN_KIND_PARAM) {
    result = parent;
  } else {
    const vsnHashState* prefix = nullptr;
    if (step->m_bucket >= 0) {
      vsnHashFeed(&step->m_state, "/", 1);
      prefix = &step->m_state;
    }
    result = vsnPushCanonicalPath(h, step->m_path.m_text, step->m_path.m_length, prefix) ? nullptr : e;
    e->m_flags = flags;
  }
  if (parent->m_flags & VSN_FLAG_REPLACE) e->m_flags |= VSN_FLAG_REPLACE;
  applyValidity(e, ((flags == 0 || flags == VSN_FLAG_VALID) ? 1 : 0) +
                       ((flags == 0 || flags == VSN_FLAG_CONTENTS_VALID) ? 2 : 0));
  return result;
}

// Whether a child's path ends in this step (as makeChildPath and joinStepPath write it).
bool childHasStep(const vsnEntry* c, const char* s, size_t n) {
  const char* first = c->m_kind == VSN_KIND_PARAM ? c->m_name : c->m_type;
  const char* second = c->m_kind == VSN_KIND_OBJECT ? c->m_name : nullptr;
  if (!first) return false;
  size_t i = 0;
  for (; first[i]; ++i) {
    if (i >= n || s[i] != first[i]) return false;
  }
  if (!second) return i == n;
  if (i >= n || s[i] != ':') return false;
  for (++i; *second; ++second, ++i) {
    if (i >= n || s[i] != *second) return false;
  }
  return i == n;
}

// Children a fresh parent's step is looked for among, rather than through the path table.
const int32_t kChildScan = 16;

// The update itself, once the step is named. A fresh parent holds exactly the children that
// updates made since it was made: a path under it is in the table only as one of them.
vsnEntry* updateWithStep(vsnHandle* h, vsnEntry* parent, bool parentFresh, UpdateStep& step, const char* value,
                         size_t valueLength, unsigned flags, bool* created) {
  vsnDirNode* node = h->m_dirStack;
  step.m_table = h->m_pathTable;
  if (!joinStepPath(h, node, &step)) return nullptr;
  hashStepPath(node, &step);
  if (!stepPathIsCanonical(h, node, step)) return nullptr;

  const PathBuffer& path = step.m_path;
  vsnEntry* e = nullptr;
  if (parentFresh && parent->m_childCount <= kChildScan) {
    for (vsnEntry* c = parent->m_firstChild; c && !e; c = c->m_next) {
      if (childHasStep(c, path.m_text + step.m_prefixLength, step.m_stepLength)) e = c;
    }
  } else if (step.m_bucket >= 0) {
    e = static_cast<vsnEntry*>(vsnHashLookupIn(step.m_table, step.m_bucket, path.m_text, path.m_length));
  } else {
    e = findEntryH(h, path.m_text);
  }
  if (created) *created = !e;
  if (!e) {
    e = addStepEntry(h, parent, &step, value, valueLength, flags);
    if (!e) return nullptr;
  } else if (!updateStepEntry(h, e, step, value, flags)) {
    return nullptr;
  }
  return enterStepEntry(h, parent, e, &step, flags);
}

// The checks every update makes before naming its step; false to refuse.
bool mayUpdate(vsnHandle* h, vsnEntry** parent, int kind) {
  if (!h || kind < VSN_KIND_PARAM || kind > VSN_KIND_SINGLETON) return false;
  if (!h->m_root && !createRootObjectH(h)) return false;
  if (!*parent) *parent = h->m_root;
  return (*parent)->m_kind != VSN_KIND_PARAM;
}

} // namespace

vsnEntry* vsnUpdateObject(vsnHandle* h, vsnEntry* parent, const char* type, const char* name, const char* value,
                          int kind, unsigned flags) {
  if (!mayUpdate(h, &parent, kind)) return nullptr;
  UpdateStep step;
  if (!nameStep(type, name, kind, &step)) return nullptr;
  return updateWithStep(h, parent, false, step, value, value ? strlen(value) : 0, flags, nullptr);
}

vsnEntry* vsnUpdateCleanObject(vsnHandle* h, vsnEntry* parent, bool parentFresh, const char* type, size_t typeLength,
                               const char* name, size_t nameLength, const char* value, size_t valueLength, int kind,
                               unsigned flags, bool* created) {
  if (created) *created = false;
  parentFresh = parentFresh && parent;
  if (!mayUpdate(h, &parent, kind)) return nullptr;
  UpdateStep step;
  cleanNameStep(type, typeLength, name, nameLength, kind, &step);
  if (kind == VSN_KIND_PARAM ? !step.m_hasName : !step.m_hasType) return nullptr;
  return updateWithStep(h, parent, parentFresh, step, value, valueLength, flags, created);
}

const char* vsnCreateObject(vsnHandle* h, const char* path, int fromLibrary) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  char* parentPath;
  vsnEntry* parent;
  const char* err = findParent(h, path, &parentPath, &parent, "vsnCreateObject: error finding parent object",
                               "vsnCreateObject: parent object does not exist");
  if (err) return err;
  char* step = strdup(lastStep(path));
  if (!step) {
    free(parentPath);
    return "vsnCreateObject: unable to create object";
  }
  char* type = step;
  char* name = nullptr;
  char* colon = strchr(step, ':');
  if (colon) {
    *colon = '\0';
    name = colon + 1;
  }
  vsnCleanName(type);
  if (name) vsnCleanName(name);
  bool named = name && *name;
  if (named && strcmp(name, type) == 0) {
    err = "vsnCreateObject: TYPE:TYPE form for singletons is not permitted";
  }
  if (!err) err = vsnCheckName(h, "object type", type);
  if (!err && named) err = vsnCheckName(h, "object name", name);
  if (!err) {
    bool pushed = false;
    if (h->m_pathTable) {
      err = pushPath(h, parentPath);
      pushed = err == nullptr;
    }
    if (!err) {
      vsnEntry* e = vsnUpdateObject(h, parent, type, named ? name : nullptr, nullptr,
                                    named ? VSN_KIND_OBJECT : VSN_KIND_SINGLETON, fromLibrary ? static_cast<unsigned>(VSN_FLAG_LIBRARY) : 0u);
      if (e) popPath(h);
      if (pushed) popPath(h);
      if (!e) err = "vsnCreateObject: unable to create object";
    }
  }
  free(step);
  free(parentPath);
  return err;
}

const char* vsnCreateParam(vsnHandle* h, const char* path, const char* value) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  char* parentPath;
  vsnEntry* parent;
  const char* err = findParent(h, path, &parentPath, &parent, "vsnCreateParam: error finding parent object",
                               "vsnCreateParam: parent object does not exist");
  if (err) return err;
  char* name = cleanCopy(lastStep(path));
  if (!value) value = "";
  if (!name) err = "vsnCreateParam: unable to create param";
  if (!err) err = vsnCheckName(h, "parameter name", name);
  if (!err) err = vsnCheckValue(h, value);
  if (!err) {
    bool pushed = false;
    if (h->m_pathTable) {
      err = pushPath(h, parentPath);
      pushed = err == nullptr;
    }
    if (!err) {
      vsnEntry* e = vsnUpdateObject(h, parent, nullptr, name, value, VSN_KIND_PARAM, 0);
      if (pushed) popPath(h);
      if (!e) err = "vsnCreateParam: unable to create param";
    }
  }
  free(name);
  free(parentPath);
  return err;
}

const char* vsnRemoveObjectH(vsnHandle* h, const char* path) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  if (!h->m_root) return "vsnRemoveObjectH: no database";
  char* full = getFullPath(h, path);
  if (!full) return "vsnRemoveObjectH: full path failed";
  const char* err = nullptr;
  vsnEntry* e = findEntryH(h, full);
  vsnEntry* parent = nullptr;
  if (!e) {
    err = "vsnRemoveObjectH: entry not found";
  } else if (e->m_firstChild) {
    err = "vsnRemoveObjectH: removal of non-empty object, did you mean deleteObj?";
  } else {
    char* parentPath = getParentPath(h, full);
    parent = findEntryH(h, parentPath);
    free(parentPath);
    if (!parent) {
      err = "vsnRemoveObjectH: parent not found!";
    } else if (!parent->m_firstChild) {
      err = "vsnRemoveObjectH: parent has no child list";
    } else if (e->m_parent != parent) {
      err = "vsnRemoveObjectH: child not in parent's child list";
    }
  }
  if (!err) {
    vsnHashRemove(h->m_pathTable, full, nullptr);
    unlinkChild(parent, e);
    if (e->m_kind == VSN_KIND_PARAM) {
      vsnNotifyChange(h, full, VSN_CHANGE_VALUE, nullptr, e->m_value);
    } else {
      vsnNotifyChange(h, full, VSN_CHANGE_DELETED, nullptr, nullptr);
    }
    vsnEntryDelete(e);
  }
  free(full);
  return err;
}

const char* deleteParamH(vsnHandle* h, const char* path) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  char* full = getFullPath(h, path);
  const char* err = full && findEntryH(h, full) ? vsnRemoveObjectH(h, full) : "deleteParamH: unable to find parameter";
  free(full);
  return err;
}

// Children go first, depth first in creation order, each under the path made from the path as
// passed; an explicit stack keeps deep trees off the call stack.
const char* deleteObjH(vsnHandle* h, const char* path) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  vsnEntry* top = path ? resolveEntry(h, path) : nullptr;
  if (!top) return "deleteObjH: unable to find parameter";
  vsnArray* paths = vsnArrayNew(VSN_ARRAY_STRING);
  vsnArray* entries = vsnArrayNew(VSN_ARRAY_POINTER);
  const char* err = nullptr;
  if (!paths || !entries || !vsnArrayAddStringCopy(paths, path) || !vsnArrayAddPointer(entries, top)) {
    err = "deleteObjH: memory error";
  }
  while (!err && vsnArrayCount(entries) > 0) {
    int32_t last = vsnArrayCount(entries) - 1;
    vsnEntry* e = static_cast<vsnEntry*>(vsnArrayPointers(entries)[last]);
    char* p = vsnArrayStrings(paths)[last];
    if (e->m_firstChild) {
      char* childPath = makeChildPath(p, e->m_firstChild);
      if (!childPath || !vsnArrayAddString(paths, childPath)) {
        free(childPath);
        err = "deleteObjH: memory error";
      } else if (!vsnArrayAddPointer(entries, e->m_firstChild)) {
        err = "deleteObjH: memory error";
      }
      continue;
    }
    if (e != h->m_root) err = vsnRemoveObjectH(h, p);
    free(p);
    paths->m_count -= 1;
    static_cast<char**>(paths->m_data)[last] = nullptr;
    entries->m_count -= 1;
  }
  vsnArrayFree(paths);
  vsnArrayRelease(entries);  // the entries are the tree's
  return err;
}

const char* setStringValue(vsnHandle* h, const char* path, const char* value) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  char* full = getFullPath(h, path);
  if (!full) return "setStringValue: error deriving full pathname";
  const char* err = nullptr;
  vsnEntry* e = findEntryH(h, full);
  if (!value) value = "";
  if (!e) {
    err = "setStringValue: requested object does not exist";
  } else if (e->m_kind != VSN_KIND_PARAM) {
    err = "setStringValue: requested object is not a parameter";
  } else {
    // A line end in a value would come back as separate lines when the tree is written and read.
    err = vsnCheckValue(h, value);
  }
  if (!err && !(e->m_value && strcmp(e->m_value, value) == 0)) {
    char* copy = strdup(value);
    if (!copy) {
      err = "setStringValue: error allocating new string";
    } else {
      bool oldInBlock;
      char* old = vsnEntrySwapValue(e, copy, &oldInBlock);
      if (e->m_flags & VSN_FLAG_VALID) applyValidity(e, 0);
      vsnNotifyChange(h, full, VSN_CHANGE_VALUE, copy, old);
      vsnEntryFreeOldValue(old, oldInBlock);
    }
  }
  free(full);
  return err;
}

int vsnPathExists(vsnHandle* h, const char* path) { return resolveEntry(h, path) ? 1 : 0; }

int getEntryType(vsnHandle* h, const char* path) {
  vsnEntry* e = resolveEntry(h, path);
  if (!e) return -1;
  switch (e->m_kind) {
    case VSN_KIND_PARAM: return 0;
    case VSN_KIND_OBJECT: return 2;
    case VSN_KIND_SINGLETON: return 1;
    default: return -2;
  }
}

int isLibraryObject(vsnHandle* h, const char* path) {
  vsnEntry* e = resolveEntry(h, path);
  if (!e) return -1;
  if (e->m_kind == VSN_KIND_PARAM && e->m_parent) e = e->m_parent;
  return (e->m_flags & VSN_FLAG_LIBRARY) ? 1 : 0;
}

int getValid(vsnHandle* h, const char* path) {
  vsnEntry* e = resolveEntry(h, path);
  if (!e) return -1;
  return ((e->m_flags & VSN_FLAG_VALID) ? 1 : 0) + ((e->m_flags & VSN_FLAG_CONTENTS_VALID) ? 2 : 0);
}

const char* setValid(vsnHandle* h, const char* path, int mode) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  vsnEntry* e = resolveEntry(h, path);
  if (!e) return "setValid: path not found";
  applyValidity(e, mode);
  return nullptr;
}
