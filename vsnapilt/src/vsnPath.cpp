#include "vsnPath.h"

#include "vsnEntry.h"
#include "vsnHandle.h"
#include "vsnMessage.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool isSep(char c) { return c == '/' || c == '\\'; }

char* joinThree(const char* a, const char* b, const char* c) {
  size_t na = strlen(a), nb = strlen(b), nc = strlen(c);
  char* s = static_cast<char*>(malloc(na + nb + nc + 1));
  if (!s) return nullptr;
  memcpy(s, a, na);
  memcpy(s + na, b, nb);
  memcpy(s + na + nb, c, nc);
  s[na + nb + nc] = '\0';
  return s;
}

vsnDirNode* newDirNode(const char* path, vsnDirNode* next) {
  if (!path) return nullptr;
  vsnDirNode* node = static_cast<vsnDirNode*>(malloc(sizeof(vsnDirNode)));
  if (!node) return nullptr;
  node->m_path = strdup(path);
  if (!node->m_path) {
    free(node);
    return nullptr;
  }
  node->m_next = next;
  if (getVSNDebugLevel() >= 3) fprintf(stderr, "Created newDirPath( \"%s\" )\n", path);
  return node;
}

bool ensureStack(vsnHandle* h) {
  if (!h) return false;
  if (!h->m_dirStack) h->m_dirStack = newDirNode("/", nullptr);
  return h->m_dirStack != nullptr;
}

// Removes every ".." step together with the step before it, in place.
void foldParentSteps(char* s) {
  size_t from = 0;
  for (;;) {
    char* found = strstr(s + from, "..");
    if (!found) return;
    size_t k = static_cast<size_t>(found - s);
    char after = s[k + 2];
    if (k > 0 && isSep(s[k - 1]) && (after == '\0' || isSep(after))) {
      // Back from the separator before ".." to the separator before the step, or to the start.
      size_t start = 0;
      for (size_t j = k - 1; j > 0; --j) {
        if (isSep(s[j - 1])) {
          start = j - 1;
          break;
        }
      }
      memmove(s + start, s + k + 2, strlen(s + k + 2) + 1);
      from = start;
    } else {
      from = k + 2;
    }
  }
}

// Drops the ":TYPE" of every step that reads TYPE:TYPE; s ends with "/".
void foldSingletonSteps(char* s) {
  char* out = s;
  const char* p = s;
  if (*p == '/') *out++ = *p++;
  while (*p) {
    const char* end = strchr(p, '/');
    if (!end) end = p + strlen(p);
    size_t n = static_cast<size_t>(end - p);
    const char* colon = static_cast<const char*>(memchr(p, ':', n));
    size_t keep = n;
    if (colon) {
      size_t before = static_cast<size_t>(colon - p);
      size_t after = n - before - 1;
      if (before == after && memcmp(p, colon + 1, before) == 0) keep = before;
    }
    memmove(out, p, keep);
    out += keep;
    p = end;
    if (*p == '/') *out++ = *p++;
  }
  *out = '\0';
}

} // namespace

namespace {

char* normaliseOnce(const char* path) {
  if (!path) return nullptr;
  char* t = strdup(path);
  if (!t) return nullptr;
  trimWhiteSpace(t);
  size_t n = strlen(t);
  if (n < 2) return t;
  bool absolute = t[0] == '/';

  char* s = static_cast<char*>(malloc(n + 2));
  if (!s) {
    free(t);
    return nullptr;
  }
  // One pass with the appended "/": the character under examination is cur, the one after it
  // nxt; a removal never makes a new pattern with the character already written.
  size_t out = 0;
  char cur = t[0] == '\t' ? ' ' : t[0];
  for (size_t i = 1; i <= n; ++i) {
    char nxt = i < n ? (t[i] == '\t' ? ' ' : t[i]) : '/';
    if (cur == '/' && (nxt == ' ' || nxt == '/' || nxt == ':')) continue;
    if (cur == ':' && (nxt == ' ' || nxt == ':')) continue;
    if ((cur == ':' && nxt == '/') || (cur == ' ' && (nxt == ' ' || nxt == '/' || nxt == ':'))) {
      cur = nxt;
      continue;
    }
    s[out++] = cur;
    cur = nxt;
  }
  s[out++] = cur;
  s[out] = '\0';
  free(t);

  foldSingletonSteps(s);
  size_t len = strlen(s);
  if (len > 0) s[len - 1] = '\0';  // the appended "/"
  if (!*s && absolute) {
    s[0] = '/';
    s[1] = '\0';
  }
  return s;
}

} // namespace

char* normalisePath(const char* path) {
  char* s = normaliseOnce(path);
  // White space other than blanks and tabs is only trimmed at the ends, where removals around
  // separators can bring it: clean again until nothing changes.
  while (s && strpbrk(s, "\n\v\f\r")) {
    char* again = normaliseOnce(s);
    if (!again || strcmp(again, s) == 0) {
      free(again);
      break;
    }
    free(s);
    s = again;
  }
  return s;
}

char* getFullPath(vsnHandle* h, const char* path) {
  if (!h || !path) return nullptr;
  const char* current = getCurrentPathH(h);
  char* s;
  if (path[0] == '/') {
    s = strdup(path);
  } else if (strcmp(path, ".") == 0) {
    s = strdup(current);
  } else {
    const char* rest = path;
    if (rest[0] == '.' && isSep(rest[1])) rest += 2;
    size_t nc = strlen(current);
    bool slash = (nc == 0 || current[nc - 1] != '/') && *rest;
    s = joinThree(current, slash ? "/" : "", rest);
  }
  if (!s) return nullptr;
  // Blanks removed around separators can bring a ".." step to light ("/a/ :../b"): fold until the
  // canonical form holds none, so that a resolved path resolves to itself.
  char* full = s;
  for (;;) {
    size_t before = strlen(full);
    foldParentSteps(full);
    char* next = normalisePath(full);
    free(full);
    full = next;
    if (!full || strlen(full) == before || !strstr(full, "..")) break;
  }
  if (full && full[0] != '/') {
    // Folding past the root takes its "/" along: put it back.
    char* rooted = joinThree("/", full, "");
    free(full);
    full = rooted;
  }
  return full;
}

char* getParentPath(vsnHandle* h, const char* path) {
  char* full = getFullPath(h, path);
  if (!full) return nullptr;
  char* slash = strrchr(full, '/');
  if (!slash || slash == full) {
    full[0] = '/';
    full[1] = '\0';
  } else {
    *slash = '\0';
  }
  return full;
}

char* makeChildPath(const char* parentPath, const vsnEntry* child) {
  if (!parentPath || !child) return nullptr;
  const char* parent = strcmp(parentPath, "/") == 0 ? "" : parentPath;
  const char* step;
  const char* name = nullptr;
  switch (child->m_kind) {
    case VSN_KIND_PARAM: step = child->m_name; break;
    case VSN_KIND_OBJECT:
      step = child->m_type;
      name = child->m_name;
      if (!name) return nullptr;
      break;
    case VSN_KIND_SINGLETON: step = child->m_type; break;
    default: return nullptr;
  }
  if (!step) return nullptr;
  size_t n = strlen(parent) + 1 + strlen(step) + (name ? 1 + strlen(name) : 0) + 1;
  char* s = static_cast<char*>(malloc(n));
  if (!s) return nullptr;
  if (name) {
    snprintf(s, n, "%s/%s:%s", parent, step, name);
  } else {
    snprintf(s, n, "%s/%s", parent, step);
  }
  return s;
}

const char* vsnPushPath(vsnHandle* h, const char* path) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  if (!ensureStack(h)) return "vsnPushPath: unable to initialize dirstack";
  vsnDirNode* node = newDirNode(path, h->m_dirStack);
  if (!node) return "pushPath unable to allocate new path";
  h->m_dirStack = node;
  if (getVSNDebugLevel() >= 2) fprintf(stderr, "pushPath( %s )\n", path);
  return nullptr;
}

const char* vsnChangePath(vsnHandle* h, const char* path) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  if (!ensureStack(h)) return "vsnChangePath: unable to initialize dirstack";
  char* copy = path ? strdup(path) : nullptr;
  if (!copy) return "vsnChangePath: unable to initialize dirstack";
  free(h->m_dirStack->m_path);
  h->m_dirStack->m_path = copy;
  if (getVSNDebugLevel() >= 2) fprintf(stderr, "changePath( %s )\n", path);
  return nullptr;
}

const char* pushPath(vsnHandle* h, const char* path) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  if (!ensureStack(h)) return "pushPath: unable to initialize dirstack";
  if (!path) return "pushPath: path provided is non-existent";
  char* full = getFullPath(h, path);
  if (!full) return "pushPath: unable to create a full path";
  const char* err = findEntryH(h, full) ? vsnPushPath(h, full) : "pushPath: path is not found";
  free(full);
  return err;
}

const char* changePath(vsnHandle* h, const char* path) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  if (!ensureStack(h)) return "changePath: unable to initialize dirstack";
  if (!path) return "changePath: path provided is non-existent";
  char* full = getFullPath(h, path);
  if (!full) return "changePath: unable to create a full path";
  const char* err = findEntryH(h, full) ? vsnChangePath(h, full) : "changePath: path is not found";
  free(full);
  return err;
}

const char* popPath(vsnHandle* h) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  if (!ensureStack(h)) return "popPath unable to initialize dirstack";
  vsnDirNode* top = h->m_dirStack;
  if (getVSNDebugLevel() >= 2) fprintf(stderr, "popPath() %s\n", top->m_path);
  if (!top->m_next) return nullptr;  // the bottom node stays
  h->m_dirStack = top->m_next;
  free(top->m_path);
  free(top);
  return nullptr;
}

const char* getCurrentPathH(vsnHandle* h) {
  if (!ensureStack(h)) return "";
  return h->m_dirStack->m_path;
}

const char* pushChildPathH(vsnHandle* h, const char* name) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  if (!name) return "pushPath: path provided is non-existent";
  char* path = joinThree(getCurrentPathH(h), name, "/");
  if (!path) return "pushPath: unable to create a full path";
  const char* err = pushPath(h, path);
  free(path);
  return err;
}

void vsnFreeDirStack(vsnHandle* h) {
  if (!h) return;
  while (h->m_dirStack) {
    vsnDirNode* next = h->m_dirStack->m_next;
    free(h->m_dirStack->m_path);
    free(h->m_dirStack);
    h->m_dirStack = next;
  }
}
