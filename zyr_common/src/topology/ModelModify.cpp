// Region modification: moving surface faces between primitive regions, into a new region made
// for them or into an existing one. Only unpaired 2-D regions take part; a source that loses all
// its faces is deleted. Everything is checked before the state number is taken, so a refused call
// changes nothing; a failure part-way rolls the whole change back.
#include "ElementMesh.h"
#include "FaceMesh.h"
#include "Mesh.h"
#include "Model.h"
#include "NameManager.h"
#include "Region.h"
#include "Representation.h"
#include "Topology.h"
#include "Visual.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrMemory.h"

#include <algorithm>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

// One distinct source region and the distinct faces to move out of it, in the order first given.
struct Source {
  Region *region;
  std::string name;
  std::vector<int32_t> faces;
};

// Created, and so queued for the host, but neither shown nor handed to the error handler.
void queue(int32_t code, const char *caller, const std::string &message) {
  zyrError *error = zyrError_new(code, caller, __FILE__, __LINE__);
  zyrError_addMessage(error, "%s", message.c_str());
}

std::string quoted(const char *name) { return std::string("\"") + (name != nullptr ? name : "") + "\""; }

const char *nameOf(const Region *region) {
  const char *name = region != nullptr ? Region_getUserName(region) : nullptr;
  return name != nullptr ? name : "";
}

char **cloneNames(const std::vector<std::string> &names) {
  if (names.empty())
    return nullptr;
  char **copies = zyrMemory_allocateArray<char *>(static_cast<int64_t>(names.size()), __func__);
  for (size_t i = 0; i < names.size(); ++i)
    copies[i] = zyrCString_clone(names[i].c_str());
  return copies;
}

// The sources as the regions and face lists that Model_createRegion and Model_modifyRegion take.
struct Lists {
  std::vector<Region *> regions;
  std::vector<int32_t> counts;
  std::vector<const int32_t *> faces;
  explicit Lists(const std::vector<const Source *> &sources) {
    for (const Source *source : sources) {
      regions.push_back(source->region);
      counts.push_back(static_cast<int32_t>(source->faces.size()));
      faces.push_back(source->faces.data());
    }
  }
  int32_t size() const { return static_cast<int32_t>(regions.size()); }
};

} // namespace

namespace {

// The arguments as given: the operation, a component count and the arrays.
int checkArguments(int32_t operation, int32_t noOfComponents, char *const *regions, const int32_t *noOfElements,
                   const int32_t *const *elements, const char *caller) {
  if (operation != 0 && operation != 1) {
    ZYR_ERROR_FOR(ZYR_U_INVALID_INPUT, caller, "The requested operation, %d, has not been recognised.\n", operation);
    return 0;
  }
  if (noOfComponents < 1) {
    ZYR_ERROR_FOR(ZYR_U_INVALID_INPUT, caller, "An invalid number of components, %d, has been supplied.\n",
                  noOfComponents);
    return 0;
  }
  if (regions == nullptr || noOfElements == nullptr || elements == nullptr) {
    ZYR_ERROR_FOR(ZYR_U_INVALID_INPUT, caller, "A null pointer has been passed when an array was expected.\n");
    return 0;
  }
  return 1;
}

// The named primitive regions, all 2-D.
int findSources(Model *model, int32_t noOfComponents, char *const *regions, std::vector<Region *> &found,
                const char *caller) {
  found.assign(static_cast<size_t>(noOfComponents), nullptr);
  for (int32_t i = 0; i < noOfComponents; ++i)
    if (!Model_findPrimitiveRegion(model, regions[i], &found[static_cast<size_t>(i)]))
      return 0;
  const int32_t dimensionality = Region_getDimensionality(found[0]);
  bool sameDimensionality = true;
  for (Region *region : found)
    sameDimensionality = sameDimensionality && Region_getDimensionality(region) == dimensionality;
  if (!sameDimensionality) {
    std::string message = "The input primitive regions have differing dimensionalities:\n\n";
    for (Region *region : found)
      message += std::to_string(Region_getDimensionality(region)) + "D - " + quoted(nameOf(region)) + "\n";
    queue(ZYR_U_INVALID_INPUT, caller, message);
    return 0;
  }
  if (dimensionality != 2) {
    queue(ZYR_I_NOT_IMPLEMENTED_YET, caller,
          "The current implementation only allows 2D primitive regions\nto be modified.\n");
    return 0;
  }
  return 1;
}

// The target of a move: a region of the sources' dimensionality in the shell of every source.
int findTarget(Model *model, const char *targetName, const std::vector<Region *> &found, Region **target,
               const char *caller) {
  if (!Model_findPrimitiveRegion(model, targetName, target))
    return 0;
  const int32_t dimensionality = Region_getDimensionality(found[0]);
  const int32_t targetDimensionality = Region_getDimensionality(*target);
  if (targetDimensionality != dimensionality) {
    queue(ZYR_U_INVALID_INPUT, caller,
          "The target region, " + quoted(targetName) + ", has a different\ndimensionality, (" +
              std::to_string(targetDimensionality) + "D), to the source regions, (" + std::to_string(dimensionality) +
              "D).\n");
    return 0;
  }
  for (Region *source : found) {
    if (Region_getShell(source) == Region_getShell(*target))
      continue;
    const Region *targetBounds = Region_getBoundedRegion(*target);
    const Region *sourceBounds = Region_getBoundedRegion(source);
    std::string message = "An attempt has been made to move mesh elements into an inconsistent\nprimitive region.\n\n";
    if (targetBounds != sourceBounds)
      message += "The target region " + quoted(nameOf(*target)) + " bounds " + quoted(nameOf(targetBounds)) +
                 " while\nthe source region " + quoted(nameOf(source)) + " bounds " + quoted(nameOf(sourceBounds)) +
                 ".\n";
    else
      message += "The target region " + quoted(nameOf(*target)) + " and the\nthe source region " +
                 quoted(nameOf(source)) + " both bound " + quoted(nameOf(targetBounds)) +
                 "\nbut they are in different shells.\n";
    ZYR_ERROR_FOR(ZYR_U_INVALID_INPUT, caller, "%s", message.c_str());
    return 0;
  }
  return 1;
}

// Paired regions are refused: their partners would no longer match.
int refusePaired(const std::vector<Region *> &found, const Region *target, const char *caller) {
  std::string paired;
  for (Region *source : found)
    if (Region_getNeighbour(source) != nullptr)
      paired += quoted(nameOf(source)) + "\n";
  if (target != nullptr && Region_getNeighbour(target) != nullptr)
    paired += quoted(nameOf(target)) + "\n";
  if (paired.empty())
    return 1;
  ZYR_ERROR_FOR(ZYR_I_NOT_IMPLEMENTED_YET, caller,
                "The current implementation does not allow the manipulation of\npaired primitive regions. The "
                "following regions are paired:\n\n%s",
                paired.c_str());
  return 0;
}

// The distinct sources with their distinct faces, each face checked against its face mesh. A
// source given more than once is one source with the union of its faces: moving per entry
// would shift the face numbering under the later entries and delete the region twice.
int gatherSources(Model *model, const std::vector<Region *> &found, const int32_t *noOfElements,
                  const int32_t *const *elements, std::vector<Source> &sources, const char *caller) {
  for (size_t i = 0; i < found.size(); ++i) {
    Region *region = found[i];
    auto it = std::find_if(sources.begin(), sources.end(), [region](const Source &s) { return s.region == region; });
    if (it == sources.end()) {
      sources.push_back(Source{region, nameOf(region), {}});
      it = sources.end() - 1;
    }
    const int32_t count = noOfElements[i];
    if (count > 0 && elements[i] == nullptr) {
      ZYR_ERROR_FOR(ZYR_U_INVALID_INPUT, caller, "A null pointer has been passed when an array was expected.\n");
      return 0;
    }
    for (int32_t j = 0; j < count; ++j)
      it->faces.push_back(elements[i][j]);
  }
  Mesh *mesh = Model_getMesh(model);
  for (Source &source : sources) {
    FaceMesh *faceMesh = mesh != nullptr ? Mesh_getFaceMesh(mesh, source.region) : nullptr;
    if (faceMesh == nullptr) {
      ZYR_ERROR_FOR(ZYR_I_INTERNAL_ERROR, caller, "Unable to determine the face mesh associated with region \"%s\".\n",
                    source.name.c_str());
      return 0;
    }
    const int32_t noOfFaces = FaceMesh_getNoOfFaces(faceMesh);
    std::unordered_set<int32_t> seen;
    std::vector<int32_t> distinct;
    for (int32_t face : source.faces) {
      if (face < 0 || face >= noOfFaces) {
        ZYR_ERROR_FOR(ZYR_U_INVALID_INPUT, caller,
                      "The element %d is out of range for the primitive region \"%s\",\nwhich has %d elements.\n", face,
                      source.name.c_str(), noOfFaces);
        return 0;
      }
      if (seen.insert(face).second)
        distinct.push_back(face);
    }
    source.faces.swap(distinct);
  }
  return 1;
}

// Moves the faces of every source but the target into the target.
int moveIntoTarget(Model *model, Region *target, const std::vector<Source> &sources) {
  std::vector<const Source *> moving;
  for (const Source &source : sources)
    if (source.region != target)
      moving.push_back(&source);
  if (moving.empty())
    return 1;
  Lists lists(moving);
  return Model_modifyRegion(model, target, lists.size(), lists.regions.data(), lists.counts.data(),
                            lists.faces.data());
}

// A new region of the faces: one per shell the sources lie in, with a composite name over them
// when there are several (*actualName is that name).
int createFromSources(Model *model, const char *targetName, const std::vector<Source> &sources,
                      std::vector<std::string> &created, char **actualName, const char *caller) {
  // Groups of sources by shell, in the order the shells were first met.
  std::vector<std::vector<const Source *>> groups;
  std::vector<const void *> shells;
  for (const Source &source : sources) {
    const void *shell = Region_getShell(source.region);
    const size_t g = static_cast<size_t>(std::find(shells.begin(), shells.end(), shell) - shells.begin());
    if (g == shells.size()) {
      shells.push_back(shell);
      groups.emplace_back();
    }
    groups[g].push_back(&source);
  }
  if (groups.size() == 1) {
    Lists lists(groups[0]);
    Region *made = nullptr;
    const int status = Model_createRegion(model, targetName, lists.size(), lists.regions.data(), lists.counts.data(),
                                          lists.faces.data(), &made);
    if (made != nullptr)
      created.push_back(nameOf(made));
    return status;
  }
  NameManager *nm = Model_getNameManager(model, caller);
  char *unique = nullptr;
  int status =
      nm != nullptr && NameManager_makeUniqueName(nm, targetName, &unique) && NameManager_reserveName(nm, unique) ? 1
                                                                                                                 : 0;
  std::vector<Region *> made;
  if (status == 1) {
    for (const std::vector<const Source *> &group : groups) {
      Lists lists(group);
      Region *region = nullptr;
      if (Model_createRegion(model, targetName, lists.size(), lists.regions.data(), lists.counts.data(),
                             lists.faces.data(), &region) != 1 ||
          region == nullptr)
        status = 0;
      if (region != nullptr) {
        made.push_back(region);
        created.push_back(nameOf(region));
      }
    }
    NameManager_releaseName(nm, unique);
    if (status == 1)
      status = Model_createCompositeUnion(model, unique, static_cast<int32_t>(made.size()), made.data());
  }
  if (status == 1)
    *actualName = unique;
  else
    zyrCString_free(unique);
  return status;
}

// The names of the regions created, changed and deleted.
void recordModified(Model *model, const Region *target, const std::vector<Source> &sources,
                    const std::vector<std::string> &created, int32_t noOfModifiedRegions[3],
                    char **modifiedRegions[3]) {
  std::vector<std::string> changed;
  std::vector<std::string> deleted;
  if (target != nullptr)
    changed.push_back(nameOf(target));
  Topology *topology = Model_getTopology(model);
  for (const Source &source : sources) {
    const Region *now = Topology_findRegion(topology, source.name.c_str());
    if (now == nullptr)
      deleted.push_back(source.name);
    else if (now != target)
      changed.push_back(source.name);
  }
  const std::vector<std::string> *lists[3] = {&created, &changed, &deleted};
  for (int i = 0; i < 3; ++i) {
    noOfModifiedRegions[i] = static_cast<int32_t>(lists[i]->size());
    modifiedRegions[i] = cloneNames(*lists[i]);
  }
}

} // namespace

int Model_modifyRegions(Model *model, int32_t operation, int32_t noOfComponents, char *const *regions,
                        const int32_t *noOfElements, const int32_t *const *elements, const char *targetName,
                        int32_t recordChanges, char **actualName, int32_t noOfModifiedRegions[3],
                        char **modifiedRegions[3]) {
  *actualName = nullptr;
  for (int i = 0; i < 3; ++i) {
    noOfModifiedRegions[i] = 0;
    modifiedRegions[i] = nullptr;
  }
  std::vector<Region *> found;
  Region *target = nullptr;
  if (!checkArguments(operation, noOfComponents, regions, noOfElements, elements, __func__) ||
      !findSources(model, noOfComponents, regions, found, __func__) ||
      (operation == 1 && !findTarget(model, targetName, found, &target, __func__)) ||
      !refusePaired(found, target, __func__))
    return 0;
  std::vector<Source> sources;
  if (!gatherSources(model, found, noOfElements, elements, sources, __func__))
    return 0;

  const int32_t state = Model_flushChanges(model);
  std::vector<std::string> created;
  const int status = operation == 1 ? moveIntoTarget(model, target, sources)
                                    : createFromSources(model, targetName, sources, created, actualName, __func__);
  if (status != 1) {
    Model_rollback(model, state);
    zyrCString_free(*actualName);
    *actualName = nullptr;
    return 0;
  }
  if (recordChanges != 0)
    recordModified(model, target, sources, created, noOfModifiedRegions, modifiedRegions);
  return 1;
}

int Model_createRegion(Model *model, const char *name, int32_t n, Region *const *sources, const int32_t *noOfElements,
                       const int32_t *const *elements, Region **newRegion) {
  *newRegion = nullptr;
  if (n < 1)
    return 1;
  Region *first = sources[0];
  const int32_t dimensionality = Region_getDimensionality(first);
  Assembly *assembly = Region_getAssembly(first);
  if (assembly == nullptr) {
    ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "Unable to determine the assembly containing region \"%s\".\n", nameOf(first));
    return 0;
  }
  Region *region = Region_new(Model_getTopology(model), assembly, name, dimensionality);
  if (region == nullptr) {
    ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "Unable to create the target region \"%s\".\n", name != nullptr ? name : "");
    return 0;
  }
  *newRegion = region;
  Mesh *mesh = Model_getMesh(model);
  int added = 0;
  if (dimensionality == 2) {
    FaceMesh *faceMesh = Mesh_getFaceMesh(mesh, first);
    if (faceMesh == nullptr) {
      ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "Unable to determine the face mesh associated with region \"%s\".\n",
                nameOf(first));
      return 0;
    }
    Shell *shell = Region_getShell(first);
    if (shell == nullptr) {
      ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "Unable to determine the shell associated with region \"%s\".\n", nameOf(first));
      return 0;
    }
    Region_setShell(region, shell);
    ElementMesh *elementMesh = FaceMesh_getElementMesh(faceMesh);
    FaceMesh *made = elementMesh != nullptr ? FaceMesh_new(region, elementMesh) : nullptr;
    if (made == nullptr)
      return 0;
    added = Mesh_addFaceMesh(mesh, made);
  } else if (dimensionality == 3) {
    ElementMesh *made = ElementMesh_new(region);
    if (made == nullptr)
      return 0;
    added = Mesh_addElementMesh(mesh, made);
  } else {
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "An attempt was made to modify a %dD region.\n", dimensionality);
    return 0;
  }
  if (added != 1)
    return added;
  return Model_modifyRegion(model, region, n, sources, noOfElements, elements);
}

int Model_modifyRegion(Model *model, Region *target, int32_t n, Region *const *sources, const int32_t *noOfElements,
                       const int32_t *const *elements) {
  if (n < 1)
    return 1;
  if (target == nullptr)
    return 0;
  Mesh *mesh = Model_getMesh(model);
  FaceMesh *targetMesh = Mesh_getFaceMesh(mesh, target);
  if (targetMesh == nullptr) {
    ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "Unable to determine the face mesh associated with region \"%s\".\n",
              nameOf(target));
    return 0;
  }
  int moved = 1;
  std::vector<FaceMesh *> remaining(static_cast<size_t>(n), nullptr);
  for (int32_t i = 0; i < n; ++i) {
    FaceMesh *sourceMesh = Mesh_getFaceMesh(mesh, sources[i]);
    if (sourceMesh == nullptr) {
      moved = 0;
      continue;
    }
    // A move that fails is reported to the caller, which rolls the whole change back.
    if (noOfElements[i] > 0 && FaceMesh_move(sourceMesh, targetMesh, noOfElements[i], elements[i]) != 1)
      moved = 0;
    if (FaceMesh_getNoOfFaces(sourceMesh) == 0) {
      Mesh_removeFaceMesh(mesh, sourceMesh);
      FaceMesh_delete(sourceMesh);
    } else {
      remaining[static_cast<size_t>(i)] = sourceMesh;
    }
  }
  int visuals = 1;
  for (int32_t i = 0; i < n; ++i)
    visuals = Model_updateVisual(model, sources[i], remaining[static_cast<size_t>(i)]) == 1 && visuals;
  visuals = Model_updateVisual(model, target, targetMesh) == 1 && visuals;
  for (int32_t i = 0; i < n; ++i)
    if (remaining[static_cast<size_t>(i)] == nullptr)
      Region_delete(sources[i]);
  if (!visuals)
    ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "Unable to update the visual representation .\n");
  return moved;
}

int Model_updateVisual(Model *model, Region *region, FaceMesh *faceMesh) {
  Representation *representation = Model_getRepresentation(model);
  if (representation == nullptr)
    return 0;
  Visual *visual = Representation_getVisual(representation, region);
  if (visual != nullptr) {
    const int removed = Representation_removeVisual(representation, visual);
    if (removed != 1)
      return removed;
    Visual_delete(visual);
  }
  if (faceMesh == nullptr)
    return 1;
  Visual *made = Visual_newFromFaceMesh(region, faceMesh);
  if (made == nullptr)
    return 0;
  return Representation_addVisual(representation, made);
}
