#include "Model.h"

#include "NameManager.h"
#include "Repository.h"
#include "Topology.h"
#include "Units.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrCString.h"
#include "zyrMemory.h"
#include "zyrSystem.h"
#include "zyrUUID.h"

#include <cstdio>
#include <cstring>

namespace {

// The environment override of the matching tolerance: once the variable has held a number it
// stays in force for the life of the process, even after the variable is removed.
double theOverride = 0.0;
int theOverrideInForce = 0;

ModelPartHooks theMeshHooks = {nullptr, nullptr, nullptr, nullptr};
ModelPartHooks theRepresentationHooks = {nullptr, nullptr, nullptr, nullptr};

const char *const kRule = "==============================================";

void printReference(FILE *stream, const char *label, const void *part) {
  char uuid[ZYR_UUID_BASE64_SIZE];
  if (part != nullptr && zyrObject_getUUIDString(part, uuid) == 1)
    std::fprintf(stream, "%s = %s\n", label, uuid);
  else
    std::fprintf(stream, "%s = NOT SET\n", label);
}

} // namespace

void Model_setMeshHooks(const ModelPartHooks *hooks) {
  theMeshHooks = hooks != nullptr ? *hooks : ModelPartHooks{nullptr, nullptr, nullptr, nullptr};
}

void Model_setRepresentationHooks(const ModelPartHooks *hooks) {
  theRepresentationHooks = hooks != nullptr ? *hooks : ModelPartHooks{nullptr, nullptr, nullptr, nullptr};
}

Model *Model_new(Repository *repository) {
  Model *model = static_cast<Model *>(zyrObject_new("Model"));
  if (model == nullptr)
    return nullptr;
  model->m_repository = repository;
  model->m_topology = Topology_new();
  model->m_representation = theRepresentationHooks.m_new != nullptr
                                ? static_cast<Representation *>(theRepresentationHooks.m_new(model->m_topology))
                                : nullptr;
  model->m_mesh =
      theMeshHooks.m_new != nullptr ? static_cast<Mesh *>(theMeshHooks.m_new(model->m_topology)) : nullptr;
  zyrObject_setPointer(model, "repository", model->m_repository);
  zyrObject_setPointer(model, "topology", model->m_topology);
  zyrObject_setPointer(model, "representation", model->m_representation);
  zyrObject_setPointer(model, "mesh", model->m_mesh);
  Model_setRelativeTolerance(model, MODEL_DEFAULT_RELATIVE_TOLERANCE);
  return model;
}

int Model_checkLengthUnits(const char *units, const char *caller) {
  if (zyrCString_isBlank(units) || Units_isLengthUnit(units) == 1)
    return 1;
  ZYR_ERROR_FOR(ZYR_U_INVALID_LENGTH_UNITS, caller, "Supplied units for length were: %s.\n", units);
  return 0;
}

int Model_delete(void *object) {
  Model *model = static_cast<Model *>(object);
  if (model == nullptr)
    return 0;
  // While the store drops every loaded object, the parts are dropped in their own right.
  if (zyrObject_canDelete(model)) {
    if (model->m_topology != nullptr)
      Topology_delete(model->m_topology);
    if (model->m_representation != nullptr && theRepresentationHooks.m_delete != nullptr)
      theRepresentationHooks.m_delete(model->m_representation);
    if (model->m_mesh != nullptr && theMeshHooks.m_delete != nullptr)
      theMeshHooks.m_delete(model->m_mesh);
  }
  model->m_topology = nullptr;
  model->m_representation = nullptr;
  model->m_mesh = nullptr;
  return zyrObject_delete(model);
}

int64_t Model_getSize() { return static_cast<int64_t>(sizeof(Model)); }

int Model_save(void *model) { return Model_saveParameters(static_cast<Model *>(model)); }

int Model_saveParameters(Model *model) {
  return zyrObject_setDoubles(model, "dParameters", &model->m_relativeTolerance, 1);
}

int Model_restore(void *object, int32_t flag) {
  Model *model = static_cast<Model *>(object);
  // The repository that owns the model never changes: a lost reference keeps the one it had.
  // The store leaves out (and reports) a part of another type, and refuses to open a file whose
  // model lost its topology or mesh.
  void *repository = model->m_repository;
  zyrObject_getPointer(model, flag, "repository", &repository);
  if (repository != nullptr)
    model->m_repository = static_cast<Repository *>(repository);
  zyrObject_getPointer(model, flag, "topology", reinterpret_cast<void **>(&model->m_topology));
  zyrObject_getPointer(model, flag, "representation", reinterpret_cast<void **>(&model->m_representation));
  zyrObject_getPointer(model, flag, "mesh", reinterpret_cast<void **>(&model->m_mesh));
  return Model_restoreParameters(model, flag);
}

int Model_restoreParameters(Model *model, int32_t flag) {
  double *values = nullptr;
  int32_t count = 0;
  if (zyrObject_getDoubles(model, flag, "dParameters", &values, &count) == 1) {
    // A skipped read (the attribute did not change in the range applied) yields no array and
    // leaves the field as it is.
    if (values != nullptr && count >= 1)
      model->m_relativeTolerance = values[0];
  } else {
    model->m_relativeTolerance = MODEL_DEFAULT_RELATIVE_TOLERANCE;
  }
  zyrMemory_free(values, __func__);
  return 1;
}

int Model_upgrade(void *object) {
  Model *model = static_cast<Model *>(object);
  if (model->m_mesh == nullptr || theMeshHooks.m_upgrade == nullptr)
    return 1;
  return theMeshHooks.m_upgrade(model->m_mesh) == 1 ? 1 : 0;
}

Topology *Model_getTopology(const Model *model) { return model->m_topology; }
Representation *Model_getRepresentation(const Model *model) { return model->m_representation; }
Mesh *Model_getMesh(const Model *model) { return model->m_mesh; }
Repository *Model_getRepository(const Model *model) { return model->m_repository; }

int Model_setRepository(Model *model, Repository *repository) {
  model->m_repository = repository;
  zyrObject_setPointer(model, "repository", repository);
  return 1;
}

void Model_setRelativeTolerance(Model *model, double tolerance) {
  model->m_relativeTolerance = tolerance;
  zyrObject_setModified(model);
}

double Model_getRelativeTolerance(const Model *model) { return model->m_relativeTolerance; }

double Model_getActiveRelativeTolerance(const Model *model) {
  char *text = zyrReadEnvironmentVariable("ZYR_OVERRIDE_MATCHING_TOLERANCE", nullptr);
  if (text != nullptr) {
    double value = 0.0;
    const int parsed = std::sscanf(text, "%le", &value);
    zyrCString_free(text);
    if (parsed == 1) {
      theOverride = value;
      std::printf("\nThe relative tolerance used in all mesh matching has been overridden\n"
                  "by the environment variable ZYR_OVERRIDE_MATCHING_TOLERANCE. The new\n"
                  "value is\n           %le\n\n",
                  value);
      theOverrideInForce = 1;
    }
  }
  return theOverrideInForce ? theOverride : model->m_relativeTolerance;
}

NameManager *Model_getNameManager(const Model *model, const char *caller) {
  NameManager *nm = model->m_topology != nullptr ? Topology_getNameManager(model->m_topology) : nullptr;
  if (nm == nullptr) {
    ZYR_ERROR_FOR(ZYR_I_INTERNAL_ERROR, caller, "Unable to identify the name manager associated with a model.\n");
  }
  return nm;
}

int Model_findPrimitiveRegion(const Model *model, const char *name, Region **region) {
  // A topology restored without its NameManager knows no names.
  *region = model->m_topology != nullptr && Topology_getNameManager(model->m_topology) != nullptr && name != nullptr
                ? Topology_findRegion(model->m_topology, name)
                : nullptr;
  if (*region != nullptr)
    return 1;
  ZYR_ERROR(ZYR_U_NOT_A_PRIMITIVE_REGION, "\"%s\" is not a primitive region.\n", name != nullptr ? name : "");
  return 0;
}

int Model_findAssembly(const Model *model, const char *name, Assembly **assembly) {
  *assembly = model->m_topology != nullptr && Topology_getNameManager(model->m_topology) != nullptr && name != nullptr
                  ? Topology_findAssembly(model->m_topology, name)
                  : nullptr;
  if (*assembly != nullptr)
    return 1;
  ZYR_ERROR(ZYR_U_NOT_AN_ASSEMBLY, "\"%s\" is not an assembly.\n", name != nullptr ? name : "");
  return 0;
}

int32_t Model_flushChanges(Model *model) { return Repository_commit(model->m_repository); }

int Model_commitChanges(Model *model) { return Repository_commit(model->m_repository) > 0 ? 1 : 0; }

void Model_rollback(Model *model, int32_t state) { Repository_gotoState(model->m_repository, state); }

void *Model_getProjection(const Model *model) {
  return model->m_repository != nullptr ? Repository_getSingletonByTypeName(model->m_repository, "Projection")
                                        : nullptr;
}

void Model_print(const Model *model, FILE *stream) {
  char uuid[ZYR_UUID_BASE64_SIZE];
  zyrObject_getUUIDString(model, uuid);
  std::fprintf(stream, "\n%s\nModel: %s\n%s\n\n", kRule, uuid, kRule);
  printReference(stream, "m_topology      ", model->m_topology);
  printReference(stream, "m_representation", model->m_representation);
  printReference(stream, "m_mesh          ", model->m_mesh);
  printReference(stream, "m_repository    ", model->m_repository);
  std::fprintf(stream, "\nm_relativeTolerance = %e (active = %e)\n", model->m_relativeTolerance,
               Model_getActiveRelativeTolerance(model));
  std::fprintf(stream, "%s\n\n", kRule);
  std::fflush(stream);
}

void Model_dump(const Model *model, int32_t what, FILE *stream) {
  switch (what) {
  case 0:
    Model_print(model, stream);
    break;
  case 200:
    if (model->m_topology != nullptr)
      Topology_print(model->m_topology, stream);
    break;
  case 201: {
    NameManager *nm = model->m_topology != nullptr ? Topology_getNameManager(model->m_topology) : nullptr;
    if (nm != nullptr)
      NameManager_print(nm, stream);
    break;
  }
  case 300:
    if (model->m_mesh != nullptr && theMeshHooks.m_print != nullptr)
      theMeshHooks.m_print(model->m_mesh, stream);
    break;
  case 400:
    if (model->m_representation != nullptr && theRepresentationHooks.m_print != nullptr)
      theRepresentationHooks.m_print(model->m_representation, stream);
    break;
  case 500:
    if (model->m_repository != nullptr)
      Repository_dump(model->m_repository, stream);
    break;
  default:
    break;
  }
}
