#include "HandleManager.h"

#include "zyrMemory.h"

#include <algorithm>

namespace {
const char kRule[] = "=============================================================";
}

HandleManager *HandleManager_new() {
  HandleManager *table = zyrMemory_allocateArray<HandleManager>(1, __func__);
  table->m_maximumNoOfHandles = 10;
  table->m_noOfHandles = 0;
  table->m_handles = zyrMemory_allocateArray<void *>(table->m_maximumNoOfHandles, __func__);
  return table;
}

void HandleManager_delete(HandleManager *table) {
  if (table == nullptr)
    return;
  zyrMemory_free(table->m_handles, __func__);
  zyrMemory_free(table, __func__);
}

void HandleManager_print(const HandleManager *table, FILE *stream) {
  std::fprintf(stream, "\n%s\nHandleManager (%p)\n%s\n\n", kRule, static_cast<const void *>(table),
               kRule);
  std::fprintf(stream, "m_noOfHandles        = %d\n", table->m_noOfHandles);
  std::fprintf(stream, "m_maximumNoOfHandles = %d\n", table->m_maximumNoOfHandles);
  for (int32_t h = 0; h < table->m_noOfHandles; ++h)
    std::fprintf(stream, "%5d %p\n", h, table->m_handles[h]);
  std::fprintf(stream, "\n%s\n\n", kRule);
}

int32_t HandleManager_createHandle(HandleManager *table, void *object) {
  if (table->m_noOfHandles == INT32_MAX)
    return -1;
  if (table->m_noOfHandles == table->m_maximumNoOfHandles) {
    const int64_t doubled = std::min<int64_t>(2 * static_cast<int64_t>(table->m_maximumNoOfHandles),
                                              INT32_MAX);
    table->m_handles = zyrMemory_reallocateArray(table->m_handles, doubled, __func__);
    table->m_maximumNoOfHandles = static_cast<int32_t>(doubled);
  }
  table->m_handles[table->m_noOfHandles] = object;
  return table->m_noOfHandles++;
}

void HandleManager_destroyHandle(HandleManager *table, int32_t handle) {
  if (HandleManager_isInRange(table, handle))
    table->m_handles[handle] = nullptr;
}

void *HandleManager_getObject(const HandleManager *table, int32_t handle) {
  return HandleManager_isInRange(table, handle) ? table->m_handles[handle] : nullptr;
}

int HandleManager_isInRange(const HandleManager *table, int32_t handle) {
  return handle >= 0 && handle < table->m_noOfHandles ? 1 : 0;
}

int HandleManager_isValidHandle(const HandleManager *table, int32_t handle) {
  return HandleManager_getObject(table, handle) != nullptr ? 1 : 0;
}

int32_t HandleManager_getAllActiveHandles(const HandleManager *table, int32_t **handles) {
  *handles = nullptr;
  int32_t live = 0;
  for (int32_t h = 0; h < table->m_noOfHandles; ++h)
    live += table->m_handles[h] != nullptr;
  if (table->m_noOfHandles == 0 || live == 0)
    return live;
  int32_t *list = zyrMemory_allocateArray<int32_t>(live, __func__);
  int32_t k = 0;
  for (int32_t h = 0; h < table->m_noOfHandles; ++h)
    if (table->m_handles[h] != nullptr)
      list[k++] = h;
  *handles = list;
  return live;
}
