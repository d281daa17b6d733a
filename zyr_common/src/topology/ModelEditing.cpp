// Editing assemblies and single regions as a whole: moving and copying an assembly by a
// transform, merging assemblies whose meshes match, removing, renaming, and region priorities.
// Whatever is deleted, moved or copied is deleted, moved or copied in the Topology, the Mesh and
// the Representation alike.
#include "Model.h"

#include "Assembly.h"
#include "HashTable.h"
#include "Mesh.h"
#include "NameManager.h"
#include "Region.h"
#include "Representation.h"
#include "Topology.h"
#include "zyrAffineTransform3D.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrMemory.h"

#include <cstdlib>
#include <vector>

namespace {

char **newNameArray(int32_t count) {
  return count > 0
             ? static_cast<char **>(zyrMemory_allocateAndSet(count * static_cast<int64_t>(sizeof(char *)), 0, __func__))
             : nullptr;
}

// Copies of the assemblies' names, in array order.
char **namesOf(int32_t count, Assembly *const *assemblies) {
  char **names = newNameArray(count);
  for (int32_t i = 0; i < count; ++i)
    names[i] = zyrCString_clone(Assembly_getName(assemblies[i]));
  return names;
}

HashTable *newPointerMap() { return HashTable_new(100, HashTable_hashInteger, HashTable_compareIntegers); }

// Moves the assembly's meshes and visuals by the transform raised to the power count.
int moveAssembly(Model *model, Assembly *assembly, int32_t count, const zyrAffineTransform3D *transform) {
  zyrAffineTransform3D *powered = zyrAffineTransform3D_copy(transform);
  if (powered == nullptr || !zyrAffineTransform3D_power(powered, count)) {
    zyrAffineTransform3D_delete(powered);
    return 0;
  }
  Region **regions = nullptr;
  const int32_t n = Assembly_getRegions(assembly, 15, &regions);
  int status = 1;
  if (Mesh *mesh = Model_getMesh(model))
    Mesh_moveRegions(mesh, n, regions, powered);
  if (Representation *representation = Model_getRepresentation(model))
    status = Representation_moveVisuals(representation, n, regions, powered);
  zyrMemory_free(regions, __func__);
  zyrAffineTransform3D_delete(powered);
  return status;
}

// Makes |repeatCount| copies of the assembly, copy k placed by the step transform applied k times
// (the inverse for a negative count). copies receives the assembly, then each copy made; the
// number held is returned through *made. 0 when a step failed.
int copyAssembly(Model *model, NameManager *nm, Assembly *assembly, int32_t repeatCount,
                 const zyrAffineTransform3D *transform, std::vector<Assembly *> &copies) {
  const int32_t n = repeatCount < 0 ? -repeatCount : repeatCount;
  copies.push_back(assembly);
  zyrAffineTransform3D *cumulative = zyrAffineTransform3D_new();
  zyrAffineTransform3D *step = zyrAffineTransform3D_copy(transform);
  int status = cumulative != nullptr && step != nullptr;
  if (status && repeatCount < 0)
    status = zyrAffineTransform3D_invert(step);
  if (!status) {
    zyrAffineTransform3D_delete(cumulative);
    zyrAffineTransform3D_delete(step);
    return 0;
  }
  // The copies' composite names are made from the count of copies, never from its sign.
  if (!NameManager_beginNameDuplication(nm, assembly, n)) {
    ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "There was a problem copying composite names.\n");
  }
  Mesh *mesh = Model_getMesh(model);
  Representation *representation = Model_getRepresentation(model);
  for (int32_t k = 1; k <= n && status; ++k) {
    HashTable *regionMap = newPointerMap();
    HashTable *otherMap = newPointerMap();
    // An empty base name lets the copy take the model's default assembly name.
    Assembly *copy = Assembly_duplicate(assembly, "", regionMap, otherMap);
    if (copy == nullptr) {
      status = 0;
    } else {
      copies.push_back(copy);
      status = zyrAffineTransform3D_combine(cumulative, step);
    }
    if (status) {
      if (mesh != nullptr)
        Mesh_copyRegions(mesh, regionMap, otherMap, cumulative);
      if (representation != nullptr)
        Representation_copyVisuals(representation, regionMap, cumulative);
      NameManager_duplicateNames(nm, regionMap);
    }
    HashTable_delete(regionMap);
    HashTable_delete(otherMap);
  }
  // Ending also releases what a stopped duplication left.
  NameManager_endNameDuplication(nm);
  zyrAffineTransform3D_delete(cumulative);
  zyrAffineTransform3D_delete(step);
  return status;
}

} // namespace

int Model_transformAssembly(Model *model, const char *assemblyName, int32_t moveCount, int32_t repeatCount,
                            const zyrAffineTransform3D *transform, int32_t matchMesh, int32_t *noOfAssemblies,
                            char ***assemblies) {
  const double tolerance = Model_getActiveRelativeTolerance(model);
  NameManager *nm = Model_getNameManager(model, __func__);
  if (nm == nullptr)
    return 0;
  *noOfAssemblies = 0;
  *assemblies = nullptr;
  Model_flushChanges(model);
  Assembly *assembly = nullptr;
  if (!Model_findAssembly(model, assemblyName, &assembly))
    return 0;
  if ((moveCount != 0 || repeatCount != 0) && transform == nullptr) {
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "No transformation was given for assembly \"%s\".\n", assemblyName);
    return 0;
  }
  if (moveCount != 0 && !moveAssembly(model, assembly, moveCount, transform)) {
    Model_flushChanges(model);
    return 0;
  }
  if (repeatCount != 0) {
    std::vector<Assembly *> copies;
    if (!copyAssembly(model, nm, assembly, repeatCount, transform, copies)) {
      Model_flushChanges(model);
      return 0;
    }
    int32_t count = static_cast<int32_t>(copies.size());
    if (matchMesh == 1 && Model_getMesh(model) != nullptr)
      Mesh_mergeAssemblies(Model_getMesh(model), tolerance, 1, &count, copies.data());
    *noOfAssemblies = count;
    *assemblies = namesOf(count, copies.data());
  }
  Model_flushChanges(model);
  return 1;
}

int Model_mergeAssemblies(Model *model, int32_t flags, int32_t noOfAssembliesIn, char *const *assembliesIn,
                          int32_t *noOfAssembliesOut, char ***assembliesOut) {
  const double tolerance = Model_getActiveRelativeTolerance(model);
  if (Model_getNameManager(model, __func__) == nullptr)
    return 0;
  const int32_t keepNames = (flags & 1) == 0;
  *noOfAssembliesOut = 0;
  *assembliesOut = nullptr;
  if (noOfAssembliesIn < 1)
    return 1;
  Model_flushChanges(model);
  std::vector<Assembly *> merged(static_cast<size_t>(noOfAssembliesIn), nullptr);
  int allFound = 1;
  for (int32_t i = 0; i < noOfAssembliesIn; ++i)
    allFound &= Model_findAssembly(model, assembliesIn[i], &merged[i]);
  if (!allFound)
    return 0;
  // An assembly named twice would be merged into itself and then deleted under the other name.
  int32_t count = 0;
  for (int32_t i = 0; i < noOfAssembliesIn; ++i) {
    int seen = 0;
    for (int32_t j = 0; j < count && !seen; ++j)
      seen = merged[j] == merged[i];
    if (!seen)
      merged[count++] = merged[i];
  }
  Mesh *mesh = Model_getMesh(model);
  const int status = mesh != nullptr ? Mesh_mergeAssemblies(mesh, tolerance, keepNames, &count, merged.data()) : 1;
  *noOfAssembliesOut = count;
  *assembliesOut = namesOf(count, merged.data());
  Model_flushChanges(model);
  return status;
}

int Model_removeAssembly(Model *model, const char *assemblyName) {
  Model_flushChanges(model);
  Assembly *assembly = nullptr;
  if (!Model_findAssembly(model, assemblyName, &assembly))
    return 0;
  Region **regions = nullptr;
  const int32_t n = Assembly_getRegions(assembly, 15, &regions);
  // A damaged record can list a region in the assembly that names another one: it leaves this
  // assembly now, while it is alive, since its own deletion will not take it out.
  for (int32_t i = 0; i < n; ++i)
    if (Region_getAssembly(regions[i]) != assembly)
      Assembly_removeRegion(assembly, regions[i]);
  if (Mesh *mesh = Model_getMesh(model))
    Mesh_deleteRegions(mesh, n, regions);
  if (Representation *representation = Model_getRepresentation(model))
    Representation_deleteRegions(representation, n, regions);
  const int status = Topology_deleteRegions(Model_getTopology(model), n, regions);
  // A damaged record can leave the assembly in the topology without pointing back at it.
  if (Assembly_getTopology(assembly) != Model_getTopology(model))
    Topology_removeAssembly(Model_getTopology(model), assembly);
  Assembly_delete(assembly);
  zyrMemory_free(regions, __func__);
  Model_flushChanges(model);
  return status;
}

int Model_deleteRegion(Model *model, const char *regionName) {
  Region *region = nullptr;
  if (!Model_findPrimitiveRegion(model, regionName, &region))
    return 0;
  if (Mesh *mesh = Model_getMesh(model))
    Mesh_deleteRegions(mesh, 1, &region);
  if (Representation *representation = Model_getRepresentation(model))
    Representation_deleteRegions(representation, 1, &region);
  return Topology_deleteRegions(Model_getTopology(model), 1, &region);
}

int Model_renameAssembly(Model *model, const char *oldName, const char *newName, int32_t addAlias, char **actualName) {
  *actualName = nullptr;
  Assembly *assembly = nullptr;
  if (!Model_findAssembly(model, oldName, &assembly))
    return 0;
  Model_flushChanges(model);
  if (!Topology_changeAssemblyName(Model_getTopology(model), assembly, newName, addAlias)) {
    ZYR_ERROR(ZYR_U_UNABLE_TO_MODIFY_NAME, "Can't rename assembly \"%s\" to \"%s\".\n", oldName, newName);
    return 0;
  }
  *actualName = zyrCString_clone(Assembly_getName(assembly));
  Model_flushChanges(model);
  return 1;
}

int Model_renameRegion(Model *model, const char *oldName, const char *newName, int32_t addAlias, char **actualName) {
  *actualName = nullptr;
  Region *region = nullptr;
  if (!Model_findPrimitiveRegion(model, oldName, &region))
    return 0;
  if (!Topology_changeRegionName(Model_getTopology(model), region, newName, addAlias)) {
    ZYR_ERROR(ZYR_U_UNABLE_TO_MODIFY_NAME, "Can't rename region \"%s\" to \"%s\".\n", oldName, newName);
    return 0;
  }
  *actualName = zyrCString_clone(Region_getUserName(region));
  return 1;
}

int Model_setRegionPriority(Model *model, const char *regionName, int32_t priority) {
  Region *region = nullptr;
  if (!Model_findPrimitiveRegion(model, regionName, &region))
    return 0;
  Region_setPriority(region, priority);
  return 1;
}

int Model_getRegionPriority(Model *model, const char *regionName, int32_t *priority) {
  Region *region = nullptr;
  if (!Model_findPrimitiveRegion(model, regionName, &region))
    return 0;
  *priority = Region_getPriority(region);
  return 1;
}

int32_t Model_getNoOfAssemblies(Model *model) { return Topology_getNoOfAssemblies(Model_getTopology(model)); }

int32_t Model_getAssemblies(Model *model, char ***names) {
  *names = nullptr;
  Assembly **assemblies = nullptr;
  const int32_t count = Topology_getAssemblies(Model_getTopology(model), &assemblies);
  if (count > 0)
    *names = namesOf(count, assemblies);
  zyrMemory_free(assemblies, __func__);
  return count;
}
