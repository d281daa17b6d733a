// The zone interfaces of a definition file, the zones each one joins, and the check that every
// interface asked to match one to one does.
#include "DefWriter.h"

#include "DefFile.h"
#include "Zone.h"
#include "ZoneInterface.h"
#include "vsnInterface.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrMemory.h"

#include <algorithm>
#include <vector>

int DefWriter_writeZoneInterfaces(DefWriter *w, Zone *const *zones) {
  const int32_t nzif = w->m_noOfInterfaces;
  if (nzif <= 0)
    return 1;
  std::vector<ZoneInterface *> made(static_cast<size_t>(nzif), nullptr);
  auto deleteAll = [&made]() {
    for (ZoneInterface *zi : made)
      ZoneInterface_delete(zi);
  };
  for (int32_t i = 0; i < nzif; ++i) {
    int useExisting = 0, matchNew = 0;
    DefWriter_getMatching(w->m_flags, vsnInterface_getType(w->m_interfaces[i]), &useExisting, &matchNew);
    made[size_t(i)] = ZoneInterface_new(DefWriter_getModelMesh(w->m_model), w->m_interfaces[i], useExisting, matchNew,
                                        w->m_tolerance, w->m_labelling, zones);
    // Every later data set counts on one zone interface per interface: without it the file
    // would contradict itself, so the write stops (the reason has been published).
    if (made[size_t(i)] == nullptr) {
      deleteAll();
      return -1;
    }
    ZoneInterface_write(made[size_t(i)], w->m_file);
  }

  std::vector<int32_t> zonesOf, pointer{1};
  for (ZoneInterface *zi : made) {
    std::vector<int32_t> numbers;
    for (int side = 0; side < 2; ++side) {
      Zone **sideZones = nullptr;
      const int32_t n = ZoneInterface_getZones(zi, side, &sideZones);
      for (int32_t k = 0; k < n; ++k)
        numbers.push_back(Zone_getNumber(sideZones[k]));
      zyrMemory_free(sideZones, __func__);
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    zonesOf.insert(zonesOf.end(), numbers.begin(), numbers.end());
    pointer.push_back(pointer.back() + int32_t(numbers.size()));
  }
  if (!DefFile_writeIntArray(w->m_file, "G/KZNZIF", "EVERY", 0, zonesOf.data(), int32_t(zonesOf.size()), 0) ||
      !DefFile_writeIntArray(w->m_file, "G/IPZNZIF", "EVERY", 0, pointer.data(), int32_t(pointer.size()), 0)) {
    DefFile_reportError(w->m_file, "DefWriter_writeData");
    deleteAll();
    return -1;
  }

  zyrError *error = nullptr;
  for (int32_t i = 0; i < nzif; ++i) {
    if (vsnInterface_getType(w->m_interfaces[i]) != VSN_INTERFACE_MATCHED ||
        ZoneInterface_getMatchStatus(made[size_t(i)]) == 2)
      continue;
    if (error == nullptr) {
      error = zyrError_new(ZYR_U_INVALID_VSN, "DefWriter_writeData", __FILE__, __LINE__);
      zyrError_addMessage(error, "A one-to-one mesh matching could not be identified on one or more domain interface "
                                 "that was specified as having one. The problem interfaces are:\n\n");
    }
    zyrError_addMessage(error, "%s\n", vsnInterface_getName(w->m_interfaces[i]));
  }
  deleteAll();
  if (error != nullptr) {
    zyrError_publish(error);
    return 0;
  }
  return 1;
}
