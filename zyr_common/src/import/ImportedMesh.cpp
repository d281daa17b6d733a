#include "ImportedMesh.h"

#include "Assembly.h"
#include "Dictionary.h"
#include "Region.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrMemory.h"
#include "zyrObject.h"
#include "zyrSystem.h"
#include "zyrTrace.h"

#include <cstring>

namespace {

ImportedMeshModelHooks g_hooks = {nullptr, nullptr, nullptr, nullptr};

const char *orSpace(const char *text) { return text != nullptr ? text : " "; }

void printRule(FILE *stream, int n, char c) {
  for (int i = 0; i < n; ++i)
    fputc(c, stream);
  fputc('\n', stream);
}

void printUUID(FILE *stream, const char *member, const void *object) {
  char uuid[64] = "NOT SET";
  if (object != nullptr)
    zyrObject_getUUIDString(object, uuid);
  fprintf(stream, "%-18s = \"%s\"\n", member, uuid);
}

} // namespace

void ImportedMesh_setModelHooks(const ImportedMeshModelHooks *hooks) { g_hooks = *hooks; }

char *ImportedMesh_workingDirectory() {
  return g_hooks.m_getWorkingDirectory != nullptr ? g_hooks.m_getWorkingDirectory() : nullptr;
}

ImportedMesh *ImportedMesh_new(Model *model, const char *type, const char *filename, const char *generic,
                               const char *specific, const char *units) {
  ZYR_TRACE_BEGIN_DESC("Create a new imported mesh.");
  if (g_hooks.m_getTopology == nullptr) {
    ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "The import has not been given access to the model.\n");
    return nullptr;
  }
  ImportedMesh *im = zyrMemory_allocateZeroedArray<ImportedMesh>(1, __func__);
  im->m_names = Dictionary_new(1);
  im->m_model = model;
  im->m_topology = g_hooks.m_getTopology(model);
  im->m_mesh = g_hooks.m_getMesh(model);
  im->m_representation = g_hooks.m_getRepresentation(model);
  im->m_units = units != nullptr ? zyrCString_clone(units) : nullptr;
  im->m_type = type != nullptr ? zyrCString_clone(type) : nullptr;
  im->m_filename = filename != nullptr ? zyrCString_clone(filename) : nullptr;
  im->m_genericOptions = generic != nullptr ? zyrCString_clone(generic) : nullptr;
  im->m_specificOptions = specific != nullptr ? zyrCString_clone(specific) : nullptr;

  if (!ImportedMesh_import(im) ||
      zyrCheckInterrupt(ZYR_U_UNABLE_TO_IMPORT_MESH, __func__, "The import of the mesh file \"%s\"",
                        filename != nullptr ? filename : "") ||
      !ImportedMesh_completeModel(im)) {
    ImportedMesh_delete(im);
    return nullptr;
  }
  if (ZYR_TRACE_DEBUG(1))
    ImportedMesh_print(im, zyrTrace_getLog());
  return im;
}

int ImportedMesh_import(ImportedMesh *im) {
  ZYR_TRACE_BEGIN_DESC("Import a mesh into a ZYR database.");
  if (im->m_filename == nullptr || im->m_filename[0] == '\0') {
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "No file name has been supplied.\n");
    return 0;
  }
  const int found = zyrLookForFile(im->m_filename);
  if (found < 0)
    zyrPublishCannotTell(ZYR_U_INVALID_INPUT, im->m_filename, __func__);
  else if (found == 0)
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "The file from which the mesh is to be imported, \"%s\",\ndoes not exist.\n",
              im->m_filename);
  if (found <= 0)
    return 0;
  if (ZYR_TRACE_DEBUG(1)) {
    zyrTrace_printf("File type        = %s\n", orSpace(im->m_type));
    zyrTrace_printf("Filename         = %s\n", orSpace(im->m_filename));
    zyrTrace_printf("Generic options  = %s\n", orSpace(im->m_genericOptions));
    zyrTrace_printf("Specific options = %s\n", orSpace(im->m_specificOptions));
    zyrTrace_printf("Units            = %s\n", orSpace(im->m_units));
  }
  const char *type = im->m_type != nullptr ? im->m_type : "";
  if (strncmp(type, "ZYR_DIRECT", 10) == 0)
    return ImportedMesh_importFromDef(im, im->m_filename, im->m_units);
  if (strncmp(type, "ZYR_INTERMEDIATE", 16) == 0)
    return ImportedMesh_importFromGMO(im, im->m_filename, im->m_units);
  if (strncmp(type, "ZYR_PART", 8) == 0)
    return ImportedMesh_importFromDSDB(im);
  return ImportedMesh_importUsingKelvo(im);
}

Model *ImportedMesh_getModel(const ImportedMesh *im) { return im->m_model; }

char *ImportedMesh_getOptions(const ImportedMesh *im, char **type, char **filename, char **generic, char **specific) {
  auto copy = [](const char *text) { return text != nullptr ? zyrCString_clone(text) : nullptr; };
  *type = copy(im->m_type);
  *filename = copy(im->m_filename);
  *generic = copy(im->m_genericOptions);
  *specific = copy(im->m_specificOptions);
  return *specific;
}

// Appends a reader's line and "\n"; the buffer doubles, so a talkative reader costs linear time.
// A reader that never stops talking is not allowed to take all memory: beyond a limit the
// summary keeps a note that the rest was left out.
void ImportedMesh_appendSummary(ImportedMesh *im, const char *line, int64_t length) {
  static const char kLeftOut[] = "[further output of the reader left out]";
  const int64_t limit = int64_t(1) << 26;
  if (im->m_summaryFull)
    return;
  if (im->m_summaryLength + length + 2 > limit) {
    im->m_summaryFull = 1;
    line = kLeftOut;
    length = static_cast<int64_t>(sizeof kLeftOut) - 1;
  }
  const int64_t needed = im->m_summaryLength + length + 2;
  if (needed > im->m_summaryCapacity) {
    int64_t capacity = im->m_summaryCapacity > 0 ? im->m_summaryCapacity : 256;
    while (capacity < needed)
      capacity *= 2;
    im->m_summary = zyrMemory_reallocateArray<char>(im->m_summary, capacity, __func__);
    im->m_summaryCapacity = capacity;
  }
  memcpy(im->m_summary + im->m_summaryLength, line, static_cast<size_t>(length));
  im->m_summaryLength += length;
  im->m_summary[im->m_summaryLength++] = '\n';
  im->m_summary[im->m_summaryLength] = '\0';
}

void ImportedMesh_print(const ImportedMesh *im, FILE *stream) {
  fputc('\n', stream);
  printRule(stream, 46, '=');
  fprintf(stream, "Import options:\n");
  fprintf(stream, "  Type             = %s \n", orSpace(im->m_type));
  fprintf(stream, "  Filename         = %s \n", orSpace(im->m_filename));
  if (im->m_genericOptions != nullptr)
    fprintf(stream, "  Generic  options = %s \n", im->m_genericOptions);
  if (im->m_specificOptions != nullptr)
    fprintf(stream, "  Specific options = %s \n", im->m_specificOptions);
  if (im->m_units != nullptr)
    fprintf(stream, "  Units            = %s \n", im->m_units);
  fprintf(stream, "\nSummary output:\n");
  printRule(stream, 56, '-');
  if (im->m_summary != nullptr)
    fprintf(stream, "%s\n", im->m_summary);
  printRule(stream, 56, '-');
  fputc('\n', stream);
  fprintf(stream, "Number of regions    = %d\n", im->m_noOfRegions);
  fprintf(stream, "Number of 3D regions = %d\n", im->m_no3DRegions);
  fprintf(stream, "Number of 2D regions = %d\n", im->m_no2DRegions);
  for (int32_t i = 0; i < im->m_noOfRegions && im->m_regions != nullptr; ++i) {
    const Region *region = im->m_regions[i];
    if (region == nullptr)
      continue;
    char uuid[64] = "";
    zyrObject_getUUIDString(region, uuid);
    fprintf(stream, "  %s %dd \"%s\"\n", uuid, Region_getDimensionality(region), Region_getName(region));
  }
  fprintf(stream, "Number of composite names = %d\n", im->m_noOfCompositeNames);
  for (int32_t i = 0; i < im->m_noOfCompositeNames; ++i) {
    fprintf(stream, "  \"%s\" = ", im->m_compositeNames[i]);
    const int32_t n = im->m_noOfComponents != nullptr ? im->m_noOfComponents[i] : 0;
    for (int32_t j = 0; j < n; ++j)
      fprintf(stream, "%s\"%s\"", j > 0 ? " + " : "", im->m_components[i][j]);
    fprintf(stream, " [%d]\n", n);
  }
  fprintf(stream, "m_haveRegionAtlas = %d\n", im->m_haveRegionAtlas);
  fprintf(stream, "m_debugImport     = %d\n", im->m_debugImport);
  printUUID(stream, "m_topology", im->m_topology);
  printUUID(stream, "m_mesh", im->m_mesh);
  printUUID(stream, "m_representation", im->m_representation);
  printUUID(stream, "m_model", im->m_model);
  fprintf(stream, "Number of recovered assemblies = %d\n", im->m_noOfRecoveredAssemblies);
  for (int32_t i = 0; i < im->m_noOfRecoveredAssemblies; ++i)
    fprintf(stream, "  %s", Assembly_getName(im->m_recoveredAssemblies[i]));
  if (im->m_assemblyRegions != nullptr) {
    fprintf(stream, "\nAssemblies:\n-----------\n");
    for (int32_t i = 0; i < im->m_noOfCompositeNames; ++i) {
      fprintf(stream, "  %s", im->m_compositeNames[i]);
      const int32_t n = im->m_noOfAssembly2DRegions[i] + im->m_noOfAssembly3DRegions[i];
      for (int32_t j = 0; j < n && im->m_assemblyRegions[i] != nullptr; ++j)
        fprintf(stream, "  %s", Region_getName(im->m_assemblyRegions[i][j]));
    }
  }
  printRule(stream, 46, '=');
  fputc('\n', stream);
  fflush(stream);
}

int32_t ImportedMesh_getRecoveredAssemblies(const ImportedMesh *im, Assembly ***assemblies) {
  *assemblies = nullptr;
  if (im->m_noOfRecoveredAssemblies > 0)
    *assemblies = static_cast<Assembly **>(zyrMemory_duplicate(
        im->m_recoveredAssemblies, static_cast<int64_t>(im->m_noOfRecoveredAssemblies) * sizeof(Assembly *), __func__));
  return im->m_noOfRecoveredAssemblies;
}

void ImportedMesh_delete(ImportedMesh *im) {
  if (im == nullptr)
    return;
  const char *tag = __func__;
  zyrCString_free(im->m_units);
  zyrCString_free(im->m_type);
  zyrCString_free(im->m_filename);
  zyrCString_free(im->m_genericOptions);
  zyrCString_free(im->m_specificOptions);
  zyrMemory_free(im->m_regions, tag);
  zyrMemory_free(im->m_shells, tag);
  zyrMemory_free(im->m_summary, tag);
  for (int32_t i = 0; i < im->m_noOfCompositeNames; ++i) {
    if (im->m_components != nullptr && im->m_components[i] != nullptr)
      zyrCStringArray_free(im->m_components[i], static_cast<uint64_t>(im->m_noOfComponents[i]));
    if (im->m_assembly2DRegions != nullptr)
      zyrMemory_free(im->m_assembly2DRegions[i], tag);
    if (im->m_assembly3DRegions != nullptr)
      zyrMemory_free(im->m_assembly3DRegions[i], tag);
    if (im->m_assemblyRegions != nullptr)
      zyrMemory_free(im->m_assemblyRegions[i], tag);
  }
  if (im->m_compositeNames != nullptr)
    zyrCStringArray_free(im->m_compositeNames, static_cast<uint64_t>(im->m_noOfCompositeNames));
  zyrMemory_free(im->m_noOfComponents, tag);
  zyrMemory_free(im->m_components, tag);
  zyrMemory_free(im->m_assembly2DRegions, tag);
  zyrMemory_free(im->m_assembly3DRegions, tag);
  zyrMemory_free(im->m_noOfAssembly2DRegions, tag);
  zyrMemory_free(im->m_noOfAssembly3DRegions, tag);
  zyrMemory_free(im->m_assemblyRegions, tag);
  zyrMemory_free(im->m_recoveredAssemblies, tag);
  Dictionary_delete(im->m_names);
  zyrMemory_free(im, tag);
}
