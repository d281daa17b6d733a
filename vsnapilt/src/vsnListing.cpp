#include "vsnListing.h"

#include "vsnArray.h"
#include "vsnHandle.h"
#include "vsnHash.h"
#include "vsnMessage.h"
#include "vsnPath.h"

#include <cstdlib>
#include <cstring>

namespace {

// Working pieces of getChildList, all in its temporary context.
struct IndexNode {
  int32_t m_index;
  IndexNode* m_next;
};

struct GroupNode {
  const vsnEntry* m_first;  // a child of the label: kind and type come from it
  int32_t m_count;
  IndexNode* m_indices;     // newest first
  GroupNode* m_next;
};

vsnEntry* resolveEntry(vsnHandle* h, const char* path, char** full) {
  *full = getFullPath(h, path);
  return *full ? findEntryH(h, *full) : nullptr;
}

const char* groupKindName(int32_t kind) { return kind == VSN_KIND_PARAM ? "Parameter" : vsnKindWord(kind); }

// The step of a child as its parent lists it: name, TYPE:name or TYPE.
char* stepName(const vsnEntry* c) {
  char* path = makeChildPath("/", c);
  if (!path) return nullptr;
  memmove(path, path + 1, strlen(path));
  return path;
}

// Full path of e, an entry below start, whose path is startPath.
char* pathBelow(const char* startPath, const vsnEntry* start, const vsnEntry* e) {
  char* path = strdup(startPath);
  vsnArray* chain = vsnArrayNew(VSN_ARRAY_POINTER);
  if (!path || !chain) {
    free(path);
    vsnArrayRelease(chain);
    return nullptr;
  }
  for (const vsnEntry* p = e; p && p != start; p = p->m_parent) {
    if (!vsnArrayAddPointer(chain, const_cast<vsnEntry*>(p))) {
      free(path);
      vsnArrayRelease(chain);
      return nullptr;
    }
  }
  for (int32_t i = vsnArrayCount(chain) - 1; i >= 0 && path; --i) {
    char* longer = makeChildPath(path, static_cast<const vsnEntry*>(vsnArrayPointers(chain)[i]));
    free(path);
    path = longer;
  }
  vsnArrayRelease(chain);
  return path;
}

const char* findObjects(vsnHandle* h, const char* key, bool byType, char*** paths, const char* noArray) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  if (!paths) return noArray;
  *paths = nullptr;
  const char* startPath = getCurrentPathH(h);
  vsnEntry* start = findEntryH(h, startPath);
  if (!start) return "getPartialVSNH: object does not exist";
  vsnArray* found = vsnArrayNew(VSN_ARRAY_STRING);
  if (!found) return noArray;
  const char* err = nullptr;
  // Depth first in creation order, without a stack: down through first children, then on to
  // the next sibling of the nearest entry that has one.
  const vsnEntry* e = start->m_firstChild;
  while (e && !err) {
    bool descend = false;
    if (e->m_kind < VSN_KIND_PARAM || e->m_kind > VSN_KIND_SINGLETON) {
      err = "getPartialVSNH: bad object type";
      break;
    }
    if (e->m_kind != VSN_KIND_PARAM && !(e->m_flags & VSN_FLAG_LIBRARY)) {
      const char* word = byType || e->m_kind == VSN_KIND_SINGLETON ? e->m_type : e->m_name;
      if (key && word && strcmp(word, key) == 0) {
        char* path = pathBelow(startPath, start, e);
        if (!path || !vsnArrayAddString(found, path)) {
          free(path);
          err = noArray;
          break;
        }
      }
      descend = e->m_firstChild != nullptr;
    }
    if (descend) {
      e = e->m_firstChild;
      continue;
    }
    while (e && e != start && !e->m_next) e = e->m_parent;
    e = (e && e != start) ? e->m_next : nullptr;
  }
  if (!err && !vsnArrayAddString(found, nullptr)) err = noArray;
  if (err) {
    vsnArrayFree(found);
    return err;
  }
  *paths = vsnArrayDetachStrings(found);
  vsnArrayRelease(found);
  return nullptr;
}

} // namespace

const char* getChildList(vsnHandle* h, const char* path, int* childCount, vsnChildInfo** childrenAry,
                         int* groupCount, vsnGroupInfo** groupAry) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  if (groupAry && !groupCount) return "getChildList: groupCount must be given with groupAry";
  char* full;
  vsnEntry* e = resolveEntry(h, path, &full);
  free(full);
  if (!e) return "getChildList: unable to find the requested path";
  if (childCount) *childCount = 0;
  if (childrenAry) *childrenAry = nullptr;
  if (groupCount) *groupCount = 0;
  if (groupAry) *groupAry = nullptr;
  int32_t n = e->m_childCount;
  if (n <= 0) return nullptr;

  vsnArray* perm = vsnArrayNew(VSN_ARRAY_POINTER);
  if (!perm) return "getChildList: unable to allocate permanent memory context";
  vsnArray* temp = vsnArrayNew(VSN_ARRAY_POINTER);
  if (!temp) {
    vsnArrayFree(perm);
    return "getChildList: unable to allocate temporary memory context";
  }
  const char* err = nullptr;
  vsnHash* labels = nullptr;
  vsnChildInfo* children = nullptr;
  vsnGroupInfo* groups = nullptr;
  GroupNode* groupList = nullptr;
  int32_t numGroups = 0;

  if (childrenAry) {
    children = static_cast<vsnChildInfo*>(vsnCtxCalloc(perm, static_cast<size_t>(n), sizeof(vsnChildInfo)));
    if (!children) err = "getChildList: unable to allocate childrenAry";
  }
  if (!err && groupAry) {
    labels = vsnHashNew(1);
    if (!labels) err = "getChildList: unable to allocate lookup table";
  }
  const vsnEntry* c = e->m_firstChild;
  for (int32_t i = 0; i < n && !err; ++i, c = c->m_next) {
    if (!c) {
      err = "getChildList: childCount larger than length of linked list";
      break;
    }
    if (children) {
      children[i].m_name = vsnCtxStrdup(perm, c->m_kind == VSN_KIND_SINGLETON || !c->m_name ? c->m_type : c->m_name);
      children[i].m_kind = vsnCtxStrdup(perm, vsnKindWord(c->m_kind));
      children[i].m_type = vsnCtxStrdup(perm, c->m_type);
      if (!children[i].m_name || !children[i].m_kind || !children[i].m_type) {
        err = "getChildList: unable to allocate childrenAry";
        break;
      }
    }
    if (labels) {
      GroupNode* g = static_cast<GroupNode*>(vsnHashLookup(labels, c->m_label));
      if (!g) {
        g = static_cast<GroupNode*>(vsnCtxCalloc(temp, 1, sizeof(GroupNode)));
        if (!g) {
          err = "getChildList: unable to allocate groupInfoPtr structure";
          break;
        }
        if (!vsnHashInsert(labels, c->m_label, g)) {
          err = "getChildList: unable to allocate lookup table";
          break;
        }
        g->m_first = c;
        g->m_next = groupList;
        groupList = g;
        ++numGroups;
      }
      IndexNode* index = static_cast<IndexNode*>(vsnCtxMalloc(temp, sizeof(IndexNode)));
      if (!index) {
        err = "getChildList: unable to allocate groupInfoChild structure";
        break;
      }
      index->m_index = i;
      index->m_next = g->m_indices;
      g->m_indices = index;
      g->m_count += 1;
    }
  }

  if (!err && labels) {
    groups = static_cast<vsnGroupInfo*>(vsnCtxCalloc(perm, static_cast<size_t>(numGroups), sizeof(vsnGroupInfo)));
    if (!groups) err = "getChildList: unable to allocate vsnGroupInfo array";
    int32_t k = 0;
    for (GroupNode* g = groupList; g && !err; g = g->m_next, ++k) {
      vsnGroupInfo& out = groups[k];
      out.m_count = g->m_count;
      out.m_kindName = vsnCtxStrdup(perm, groupKindName(g->m_first->m_kind));
      out.m_type = vsnCtxStrdup(perm, g->m_first->m_type);
      out.m_indices = static_cast<int32_t*>(vsnCtxMalloc(perm, static_cast<size_t>(g->m_count) * sizeof(int32_t)));
      if (!out.m_kindName || !out.m_type || !out.m_indices) {
        err = "getChildList: unable to allocate groupInfoChild structure";
        break;
      }
      int32_t j = 0;
      for (IndexNode* x = g->m_indices; x; x = x->m_next) out.m_indices[j++] = x->m_index;
    }
  }

  vsnHashFree(labels);
  vsnArrayFree(temp);
  if (err) {
    vsnArrayFree(perm);
    return err;
  }
  vsnArrayRelease(perm);  // the pieces are the caller's now
  if (childCount) *childCount = n;
  if (childrenAry) *childrenAry = children;
  if (groupAry) {
    *groupCount = numGroups;
    *groupAry = groups;
  }
  return nullptr;
}

void freeChildArray(vsnChildInfo* array, int count) {
  if (!array) return;
  for (int i = 0; i < count; ++i) {
    free(array[i].m_name);
    free(array[i].m_kind);
    free(array[i].m_type);
  }
  free(array);
}

void freeGroupArray(vsnGroupInfo* array, int count) {
  if (!array) return;
  for (int i = 0; i < count; ++i) {
    free(array[i].m_kindName);
    free(array[i].m_type);
    free(array[i].m_indices);
  }
  free(array);
}

const char* getChildObjectList(vsnHandle* h, const char* path, int wantObjects, int wantParams, int* count,
                               char*** names) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  if (count) *count = 0;
  if (names) *names = nullptr;
  char* full;
  vsnEntry* e = resolveEntry(h, path, &full);
  if (!e) {
    const char* err = setVSNErrorH(h, "getChildObjectList: path \"%s\" does not exist", full ? full : path);
    free(full);
    return err;
  }
  free(full);
  vsnArray* list = vsnArrayNew(VSN_ARRAY_STRING);
  if (!list) return "getChildObjectList: error allocating return array";
  for (const vsnEntry* c = e->m_firstChild; c; c = c->m_next) {
    bool wanted = c->m_kind == VSN_KIND_PARAM ? wantParams != 0 : wantObjects != 0;
    if (!wanted) continue;
    char* step = stepName(c);
    if (!step || !vsnArrayAddString(list, step)) {
      free(step);
      vsnArrayFree(list);
      return "getChildObjectList: error allocating return array";
    }
  }
  int n = vsnArrayCount(list);
  if (n > 0) {
    if (!vsnArrayAddString(list, nullptr)) {
      vsnArrayFree(list);
      return "getChildObjectList: error allocating return array";
    }
    if (names) {
      *names = vsnArrayDetachStrings(list);
    } else {
      vsnArrayClear(list);
    }
  }
  vsnArrayFree(list);
  if (count) *count = n;
  return nullptr;
}

const char* getObjectsByNameH(vsnHandle* h, const char* name, char*** paths) {
  return findObjects(h, name, false, paths, "getObjectsByNameH: error allocating return array");
}

const char* getObjectsByTypeH(vsnHandle* h, const char* type, char*** paths) {
  return findObjects(h, type, true, paths, "getObjectsByTypeH: error allocating return array");
}
