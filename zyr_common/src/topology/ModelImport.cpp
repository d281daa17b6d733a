#include "ModelImport.h"

#include "Assembly.h"
#include "ImportedMesh.h"
#include "Mesh.h"
#include "Model.h"
#include "NameManager.h"
#include "Repository.h"
#include "Representation.h"
#include "Topology.h"
#include "zyrApplication.h"
#include "zyrCString.h"
#include "zyrDSDBQuery.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrErrorManager.h"
#include "zyrMemory.h"
#include "zyrPause.h"
#include "zyrSystem.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

// The import reaches the fresh Model's parts and the working directory through these.
void giveImportAccess() {
  static const ImportedMeshModelHooks hooks = {Model_getTopology, Model_getMesh, Model_getRepresentation,
                                               zyrApplication_getWorkingDirectory};
  ImportedMesh_setModelHooks(&hooks);
  ImportedMesh_setToleranceHook(Model_getRelativeTolerance);
}

// Where the error queue stood before a step, so that the step's own outcome is told apart from
// an older error still queued.
struct ErrorMark {
  zyrError *m_last;
  int32_t m_count;
};

ErrorMark markErrors() {
  zyrErrorManager *manager = zyrErrorManager_get();
  ErrorMark mark = {zyrErrorManager_getLastError(manager), 0};
  zyrErrorManager_getNoOfErrors(manager, &mark.m_count);
  return mark;
}

// The code of the newest error published since the mark, or 0 when the step published none.
int32_t errorCodeSince(const ErrorMark &mark) {
  zyrErrorManager *manager = zyrErrorManager_get();
  zyrError *last = zyrErrorManager_getLastError(manager);
  int32_t count = 0;
  zyrErrorManager_getNoOfErrors(manager, &count);
  if (last == nullptr || (last == mark.m_last && count == mark.m_count))
    return 0;
  return zyrError_getCode(last);
}

Model *importFromFile(Repository *repository, double tolerance, const char *defaultAssemblyName, const char *type,
                      const char *filename, const char *generic, const char *specific, const char *units,
                      int32_t *noOfNamedAssemblies, Assembly ***namedAssemblies);

int contains(const char *text, const char *word) { return text != nullptr && strstr(text, word) != nullptr; }

// Whether the program asked for the import to be abandoned; said once.
int interrupted(const char *filename) {
  return zyrCheckInterrupt(ZYR_U_UNABLE_TO_IMPORT_MESH, "Model_importMesh", "The import of the mesh file \"%s\"",
                           filename != nullptr ? filename : "");
}

void clearOutputs(int32_t *noOfAssemblies, char ***assemblies) {
  *noOfAssemblies = 0;
  *assemblies = nullptr;
}

// Imports every model a simulation database lists, all or none.
int importSimulationDatabase(Model *model, int32_t state, const char *filename, const char *generic,
                             const char *specific, const char *units, int32_t flags, int32_t *noOfAssemblies,
                             char ***assemblies) {
  int32_t count = 0;
  int32_t *first = nullptr, *second = nullptr;
  char **firstTexts = nullptr, **secondTexts = nullptr;
  const int listed = zyrDSDBQuery_getModels(filename, &count, &first, &second, &firstTexts, &secondTexts);
  int result = listed && count > 0;
  // Every model is tried, also after one failed, so that all their problems are reported; an
  // interrupt ends the import at once.
  for (int32_t i = 0; listed && i < count; ++i) {
    if (interrupted(filename)) {
      result = 0;
      break;
    }
    char *options =
        generic != nullptr ? zyrCString_build("%s -model %d", generic, i) : zyrCString_build(" -model %d", i);
    int32_t n = 0;
    char **names = nullptr;
    if (Model_importMesh(model, "ZYR_PARTIAL_DSDB", filename, options, specific, units, flags, &n, &names)) {
      *assemblies =
          zyrMemory_reallocateArray<char *>(*assemblies, static_cast<int64_t>(*noOfAssemblies) + n + 1, __func__);
      for (int32_t j = 0; j < n; ++j)
        (*assemblies)[(*noOfAssemblies)++] = zyrCString_clone(names[j]);
      zyrCStringArray_free(names, static_cast<uint64_t>(n));
    } else {
      result = 0;
    }
    zyrCString_free(options);
  }
  zyrMemory_free(first, __func__);
  zyrMemory_free(second, __func__);
  zyrCStringArray_free(firstTexts, static_cast<uint64_t>(count));
  zyrCStringArray_free(secondTexts, static_cast<uint64_t>(count));
  if (!result) {
    Model_rollback(model, state);
    zyrCStringArray_free(*assemblies, static_cast<uint64_t>(*noOfAssemblies));
    clearOutputs(noOfAssemblies, assemblies);
    return 0;
  }
  return 1;
}

} // namespace

int Model_importMesh(Model *model, const char *type, const char *filename, const char *generic, const char *specific,
                     const char *units, int32_t flags, int32_t *noOfAssemblies, char ***assemblies) {
  if (!Model_checkLengthUnits(units, __func__)) {
    clearOutputs(noOfAssemblies, assemblies);
    return 0;
  }
  const double tolerance = Model_getActiveRelativeTolerance(model);
  const int keepNames = flags & 1;
  const int32_t state = Model_flushChanges(model);
  clearOutputs(noOfAssemblies, assemblies);
  const char *kind = type != nullptr ? type : "";

  if (strncmp(kind, "ZYR_DSDB", 8) == 0) {
    if (contains(generic, "-model") || contains(specific, "-model"))
      return Model_importMesh(model, "ZYR_PARTIAL_DSDB", filename, generic, specific, units, flags, noOfAssemblies,
                              assemblies);
    return importSimulationDatabase(model, state, filename, generic, specific, units, flags, noOfAssemblies,
                                    assemblies);
  }

  Model *imported = nullptr;
  int32_t noOfNamed = 0;
  Assembly **named = nullptr;
  if (strcmp(kind, "ZYR") == 0) {
    imported = Model_importFromDatabase(Model_getRepository(model), filename);
    if (imported != nullptr)
      noOfNamed = Topology_getAssemblies(Model_getTopology(imported), &named);
  } else {
    char *defaultName = nullptr;
    NameManager *nm = Topology_getNameManager(Model_getTopology(model));
    if (nm != nullptr)
      NameManager_getDefaultAssemblyName(nm, &defaultName);
    imported = importFromFile(Model_getRepository(model), tolerance, defaultName, type, filename, generic, specific,
                              units, &noOfNamed, &named);
    zyrCString_free(defaultName);
    if (imported != nullptr)
      Model_setRelativeTolerance(imported, Model_getRelativeTolerance(model));
  }
  if (imported == nullptr) {
    Model_rollback(model, state);
    return 0;
  }
  // Up to here the work is undone by going back; the merge and its commit are the last steps.
  zyrPause_point("import.before-merge");
  if (interrupted(filename)) {
    zyrMemory_free(named, __func__);
    Model_rollback(model, state);
    return 0;
  }

  Assembly **importedAssemblies = nullptr;
  const int32_t count = Topology_getAssemblies(Model_getTopology(imported), &importedAssemblies);
  if (!Model_merge(model, imported, keepNames ? noOfNamed : 0, keepNames ? named : nullptr)) {
    // A half-merged model must not be committed by the next call: back to where the import began.
    ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "Unable to combine the imported model with the existing one.\n");
    zyrMemory_free(importedAssemblies, __func__);
    zyrMemory_free(named, __func__);
    Model_rollback(model, state);
    return 0;
  }
  std::vector<std::string> names;
  for (int32_t i = 0; i < count; ++i)
    names.emplace_back(Assembly_getName(importedAssemblies[i]));
  zyrMemory_free(importedAssemblies, __func__);
  zyrMemory_free(named, __func__);
  // An import that could not be committed has been undone whole: it names no assembly.
  if (Model_commitChanges(model) != 1)
    return 0;
  if (count > 0) {
    *assemblies = zyrMemory_allocateArray<char *>(count, __func__);
    for (int32_t i = 0; i < count; ++i)
      (*assemblies)[i] = zyrCString_clone(names[static_cast<size_t>(i)].c_str());
    *noOfAssemblies = count;
  }
  return 1;
}

namespace {

// A fresh Model for an import: the tolerance given, and the target's default assembly name, so that
// the reader and the clumping of the imported regions name assemblies as the target would.
Model *freshModel(Repository *repository, double tolerance, const char *defaultAssemblyName) {
  Model *fresh = Model_new(repository);
  if (fresh == nullptr)
    return nullptr;
  Model_setRelativeTolerance(fresh, tolerance);
  NameManager *nm = Topology_getNameManager(Model_getTopology(fresh));
  if (defaultAssemblyName != nullptr && nm != nullptr)
    NameManager_setDefaultAssemblyName(nm, defaultAssemblyName);
  return fresh;
}

Model *importFromFile(Repository *repository, double tolerance, const char *defaultAssemblyName, const char *type,
                      const char *filename, const char *generic, const char *specific, const char *units,
                      int32_t *noOfNamedAssemblies, Assembly ***namedAssemblies) {
  giveImportAccess();
  const int32_t state = Repository_commit(repository);
  *noOfNamedAssemblies = 0;
  *namedAssemblies = nullptr;

  const ErrorMark mark = markErrors();
  Model *fresh = freshModel(repository, tolerance, defaultAssemblyName);
  ImportedMesh *im = fresh != nullptr ? ImportedMesh_new(fresh, type, filename, generic, specific, units) : nullptr;
  bool retried = false;
  if (im == nullptr && type != nullptr && strncmp(type, "ZYR_DIRECT", 10) == 0) {
    if (errorCodeSince(mark) == ZYR_U_INVALID_INPUT)
      return nullptr;
    // Read through the mesh reader instead.
    retried = true;
    Repository_gotoState(repository, state);
    fresh = freshModel(repository, tolerance, defaultAssemblyName);
    if (fresh != nullptr)
      im = ImportedMesh_new(fresh, "Def", filename, generic, specific, units);
  }
  if (im != nullptr) {
    *noOfNamedAssemblies = ImportedMesh_getRecoveredAssemblies(im, namedAssemblies);
    ImportedMesh_delete(im);
    return fresh;
  }

  Repository_gotoState(repository, state);
  // After a retry the reader's own errors speak of "Def": the last word names what was asked for.
  if (retried || errorCodeSince(mark) != ZYR_U_UNABLE_TO_IMPORT_MESH) {
    ZYR_ERROR(ZYR_U_UNABLE_TO_IMPORT_MESH,
              "Unable to import the requested mesh:\nType             = \"%s\".\nFile             = \"%s\".\n"
              "Generic  options = \"%s\".\nSpecific options = \"%s\".\n",
              type != nullptr ? type : "", filename != nullptr ? filename : "", generic != nullptr ? generic : "",
              specific != nullptr ? specific : "");
  }
  return nullptr;
}

} // namespace

Model *Model_importFromFile(Repository *repository, double tolerance, const char *type, const char *filename,
                            const char *generic, const char *specific, const char *units, int32_t *noOfNamedAssemblies,
                            Assembly ***namedAssemblies) {
  return importFromFile(repository, tolerance, nullptr, type, filename, generic, specific, units, noOfNamedAssemblies,
                        namedAssemblies);
}

Model *Model_importFromDatabase(Repository *repository, const char *filename) {
  void *model = nullptr;
  if (!Repository_importModel(repository, filename, &model))
    return nullptr;
  if (model == nullptr) {
    ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "Unable to identify the primary model to import in database \"%s\".\n",
              filename != nullptr ? filename : "");
    return nullptr;
  }
  return static_cast<Model *>(model);
}

int Model_merge(Model *model, Model *other, int32_t noOfNamedAssemblies, Assembly **namedAssemblies) {
  if (Topology_combineTopologies(model->m_topology, other->m_topology, noOfNamedAssemblies, namedAssemblies) == 1)
    other->m_topology = nullptr;
  if (Representation_combineRepresentations(model->m_representation, other->m_representation) == 1)
    other->m_representation = nullptr;
  const int result = Mesh_combineMeshes(model->m_mesh, other->m_mesh);
  if (result == 1)
    other->m_mesh = nullptr;
  // The parts handed over are the model's now; none may go with the other's record.
  other->m_repository = nullptr;
  other->m_topology = nullptr;
  other->m_representation = nullptr;
  other->m_mesh = nullptr;
  Model_delete(other);
  return result;
}
