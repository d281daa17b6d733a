#ifndef ZYR_HANDLE_MANAGER_H
#define ZYR_HANDLE_MANAGER_H
// Turns object pointers into small integer handles for the procedural interface. A handle is
// the index of its slot; handles are issued in ascending order and never reused, and destroying
// one clears its slot, so a stale handle finds NULL. The table never frees the objects.
#include <cstdint>
#include <cstdio>

struct HandleManager {
  void **m_handles;
  int32_t m_noOfHandles;        // handles issued so far
  int32_t m_maximumNoOfHandles; // capacity: 10 at creation, doubled when full
};

HandleManager *HandleManager_new();
void HandleManager_delete(HandleManager *table);
void HandleManager_print(const HandleManager *table, FILE *stream);

// Stores the object (NULL allowed) in the next slot and answers its index; -1 only when every
// 32-bit handle has been issued.
int32_t HandleManager_createHandle(HandleManager *table, void *object);
// Clears the slot of a handle in range; otherwise nothing.
void HandleManager_destroyHandle(HandleManager *table, int32_t handle);
// The slot's object; NULL for a negative handle, one not yet issued, or a destroyed one.
void *HandleManager_getObject(const HandleManager *table, int32_t handle);
int HandleManager_isInRange(const HandleManager *table, int32_t handle);
int HandleManager_isValidHandle(const HandleManager *table, int32_t handle);
// Number of live handles and a new array (the caller's) of them ascending; NULL when none.
int32_t HandleManager_getAllActiveHandles(const HandleManager *table, int32_t **handles);

#endif
