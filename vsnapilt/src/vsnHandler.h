// The three handler lists of a handle: change handlers hear of every value change, creation and
// deletion; replace handlers hear of each line read in replace mode; action handlers carry out
// the action lines (">name arguments") that the library does not interpret itself.
//
// Handlers run inside the operation that caused them and must not change the handle's tree.
#ifndef VSN_HANDLER_H
#define VSN_HANDLER_H

struct vsnHandle;

enum vsnChangeCode {
  VSN_CHANGE_VALUE = 0,
  VSN_CHANGE_CREATED = 1,
  VSN_CHANGE_DELETED = 2,
};

typedef void (*vsnChangeHandler)(const char* path, int code, const char* newValue, const char* oldValue,
                                 void* context);
typedef void (*vsnReplaceHandler)(const char* path, void* context);
// Returns non-zero for success. arguments is NULL or {argument text, NULL}.
typedef int (*vsnActionHandler)(vsnHandle* h, const char* actionName, char** arguments, void* context);

// Lists end with an element without function.
struct vsnChangeHandlerPair {
  void* m_context;
  vsnChangeHandler m_function;
};

struct vsnReplaceHandlerPair {
  void* m_context;
  vsnReplaceHandler m_function;
};

struct vsnActionHandlerTriple {
  vsnActionHandler m_function;
  char* m_name;  // owned; NULL for the default handler
  void* m_context;
};

const char* addChangeHandlerH(vsnHandle* h, vsnChangeHandler function, void* context);
const char* addReplaceHandlerH(vsnHandle* h, vsnReplaceHandler function, void* context);
const char* addActionHandlerH(vsnHandle* h, const char* name, vsnActionHandler function, void* context);
const char* addDefaultActionHandlerH(vsnHandle* h, vsnActionHandler function, void* context);
const char* invokeActionH(vsnHandle* h, const char* actionName, char** arguments);
const char* vsnRunActionLine(vsnHandle* h, const char* line);

// Prints each change to standard output; context is the handle.
void debugChangeHandler(const char* path, int code, const char* newValue, const char* oldValue, void* context);

// Tell the handlers, in registration order.
void vsnNotifyChange(vsnHandle* h, const char* path, int code, const char* newValue, const char* oldValue);
void vsnNotifyReplace(vsnHandle* h, const char* path);

// Frees the three lists.
void vsnFreeHandlers(vsnHandle* h);

#endif
