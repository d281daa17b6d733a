#include "vsnHandler.h"

#include "vsnHandle.h"

#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

template <typename T>
int32_t listLength(const T* list) {
  int32_t n = 0;
  if (list) {
    while (list[n].m_function) ++n;
  }
  return n;
}

// Grows a list by one element and its end marker; NULL when memory runs out (list unchanged).
template <typename T>
T* growList(T* list, int32_t n) {
  T* grown = static_cast<T*>(realloc(list, (static_cast<size_t>(n) + 2) * sizeof(T)));
  if (grown) memset(&grown[n], 0, 2 * sizeof(T));
  return grown;
}

bool isWhite(char c) { return isspace(static_cast<unsigned char>(c)) != 0; }

} // namespace

const char* addChangeHandlerH(vsnHandle* h, vsnChangeHandler function, void* context) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  if (!function) return nullptr;  // a pair without function would end the list
  int32_t n = listLength(h->m_changeHandlers);
  vsnChangeHandlerPair* list = growList(h->m_changeHandlers, n);
  if (!list) return "unable to allocate memory for change handler list";
  list[n].m_context = context;
  list[n].m_function = function;
  h->m_changeHandlers = list;
  return nullptr;
}

const char* addReplaceHandlerH(vsnHandle* h, vsnReplaceHandler function, void* context) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  if (!function) return nullptr;
  int32_t n = listLength(h->m_replaceHandlers);
  vsnReplaceHandlerPair* list = growList(h->m_replaceHandlers, n);
  if (!list) return "unable to allocate memory for replace mode handler list";
  list[n].m_context = context;
  list[n].m_function = function;
  h->m_replaceHandlers = list;
  return nullptr;
}

const char* addActionHandlerH(vsnHandle* h, const char* name, vsnActionHandler function, void* context) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  if (!name) return addDefaultActionHandlerH(h, function, context);
  if (!function) return nullptr;
  int32_t n = listLength(h->m_actionHandlers);
  for (int32_t i = 0; i < n; ++i) {
    vsnActionHandlerTriple& t = h->m_actionHandlers[i];
    if (t.m_name && strcmp(t.m_name, name) == 0) {
      t.m_function = function;
      t.m_context = context;
      return nullptr;
    }
  }
  char* copy = strdup(name);
  if (!copy) return "unable to allocate memory for action handler list";
  vsnActionHandlerTriple* list = growList(h->m_actionHandlers, n);
  if (!list) {
    free(copy);
    return "unable to allocate memory for action handler list";
  }
  list[n].m_function = function;
  list[n].m_name = copy;
  list[n].m_context = context;
  h->m_actionHandlers = list;
  return nullptr;
}

const char* addDefaultActionHandlerH(vsnHandle* h, vsnActionHandler function, void* context) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  if (!function) return nullptr;
  int32_t n = listLength(h->m_actionHandlers);
  for (int32_t i = 0; i < n; ++i) {
    vsnActionHandlerTriple& t = h->m_actionHandlers[i];
    if (!t.m_name) {
      t.m_function = function;
      t.m_context = context;
      return nullptr;
    }
  }
  vsnActionHandlerTriple* list = growList(h->m_actionHandlers, n);
  if (!list) return "unable to allocate memory for action handler list";
  list[n].m_function = function;
  list[n].m_name = nullptr;
  list[n].m_context = context;
  h->m_actionHandlers = list;
  return nullptr;
}

const char* invokeActionH(vsnHandle* h, const char* actionName, char** arguments) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  const vsnActionHandlerTriple* chosen = nullptr;
  const vsnActionHandlerTriple* unnamed = nullptr;
  for (const vsnActionHandlerTriple* t = h->m_actionHandlers; t && t->m_function; ++t) {
    if (!t->m_name) {
      unnamed = t;
    } else if (actionName && strcmp(t->m_name, actionName) == 0) {
      chosen = t;
      break;
    }
  }
  if (!chosen) chosen = unnamed;
  if (!chosen) return "no handler was found for action line";
  // Copied out: the handler may register handlers and so move the list.
  vsnActionHandler function = chosen->m_function;
  void* context = chosen->m_context;
  return function(h, actionName, arguments, context) ? nullptr : "action invocation returned with error status";
}

const char* vsnRunActionLine(vsnHandle* h, const char* line) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  char* copy = line ? strdup(line) : nullptr;
  if (!copy) return "vsnRunActionLine: Memory allocation error";
  char* p = copy;
  while (*p == '>') ++p;
  while (*p && isWhite(*p)) ++p;
  char* name = p;
  while (*p && !isWhite(*p)) ++p;
  char* arguments[2] = {nullptr, nullptr};
  char** argumentList = nullptr;
  if (*p) {
    *p++ = '\0';
    while (*p && isWhite(*p)) ++p;
    if (*p) {
      arguments[0] = p;
      argumentList = arguments;
    }
  }
  const char* err = invokeActionH(h, name, argumentList);
  free(copy);
  return err;
}

void debugChangeHandler(const char* path, int code, const char* newValue, const char* oldValue, void* context) {
  uintptr_t address = reinterpret_cast<uintptr_t>(context);
  switch (code) {
    case VSN_CHANGE_VALUE:
      printf("%" PRIxPTR ": %s: %s <- %s\n", address, path ? path : "(nul)", newValue ? newValue : "(nul)",
             oldValue ? oldValue : "(nul)");
      break;
    case VSN_CHANGE_CREATED:
      printf("%" PRIxPTR ": %s: object created\n", address, path ? path : "(nul)");
      break;
    case VSN_CHANGE_DELETED:
      printf("%" PRIxPTR ": %s: object deleted\n", address, path ? path : "(nul)");
      break;
    default:
      printf("*** Unknown change code %d\n", code);
      break;
  }
}

void vsnNotifyChange(vsnHandle* h, const char* path, int code, const char* newValue, const char* oldValue) {
  if (!h) return;
  // Indexed afresh each time: a handler that registers another one moves the list.
  for (int32_t i = 0; h->m_changeHandlers && h->m_changeHandlers[i].m_function; ++i) {
    vsnChangeHandlerPair pair = h->m_changeHandlers[i];
    pair.m_function(path, code, newValue, oldValue, pair.m_context);
  }
}

void vsnNotifyReplace(vsnHandle* h, const char* path) {
  if (!h) return;
  for (int32_t i = 0; h->m_replaceHandlers && h->m_replaceHandlers[i].m_function; ++i) {
    vsnReplaceHandlerPair pair = h->m_replaceHandlers[i];
    pair.m_function(path, pair.m_context);
  }
}

void vsnFreeHandlers(vsnHandle* h) {
  if (!h) return;
  free(h->m_changeHandlers);
  h->m_changeHandlers = nullptr;
  free(h->m_replaceHandlers);
  h->m_replaceHandlers = nullptr;
  for (vsnActionHandlerTriple* t = h->m_actionHandlers; t && t->m_function; ++t) free(t->m_name);
  free(h->m_actionHandlers);
  h->m_actionHandlers = nullptr;
}
