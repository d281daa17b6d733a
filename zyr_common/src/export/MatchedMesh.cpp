#include "MatchedMesh.h"

#include "InterfaceMap.h"
#include "zyrMemory.h"

MatchedMesh *MatchedMesh_new() { return zyrMemory_allocateZeroedArray<MatchedMesh>(1, __func__); }

void MatchedMesh_delete(MatchedMesh *matched) {
  if (matched == nullptr)
    return;
  if (matched->m_ownsMap && matched->m_interfaceMap != nullptr)
    InterfaceMap_delete(matched->m_interfaceMap);
  zyrMemory_free(matched, __func__);
}

int MatchedMesh_isFlipped(const MatchedMesh *matched) { return (matched->m_swapped ^ matched->m_reversed) != 0; }
