// The import entry point of the procedural interface.
#include "zyrAPI.h"

#include "Database.h"
#include "Model.h"
#include "ModelImport.h"
#include "Repository.h"
#include "SessionFile.h"
#include "zyrErrorCode.h"
#include "zyrPause.h"

#include <cstring>

int zyrModel_importMesh(int32_t hModel, const char *type, const char *filename, const char *generic,
                        const char *specific, const char *units, int32_t flags, int32_t *noOfAssemblies,
                        char ***assemblies) {
  if (!zyrAPI_isGiven(noOfAssemblies, __func__, "noOfAssemblies") ||
      !zyrAPI_isGiven(assemblies, __func__, "assemblies"))
    return 0;
  *noOfAssemblies = 0;
  *assemblies = nullptr;
  // Refused before the source database below is brought up to date.
  if (!Model_checkLengthUnits(units, __func__))
    return 0;
  // Another database of this kind is brought to the current format before it is read.
  const bool fromDatabase = type != nullptr && strcmp(type, "ZYR") == 0;
  const int exists = fromDatabase ? Database_fileExists(filename, ZYR_U_UNABLE_TO_IMPORT_MESH, __func__) : 0;
  if (exists < 0)
    return 0;
  if (exists > 0) {
    zyrAPI_initialise();
    int upgraded = 0;
    if (zyrDatabaseUpgrade(filename, nullptr, &upgraded, 1) != 1)
      return 0;
  }
  if (fromDatabase)
    zyrPause_point("import.looked");
  Model *model = nullptr;
  if (!zyrAPI_getModel(hModel, __func__, &model))
    return 0;
  const int status =
      Model_importMesh(model, type, filename, generic, specific, units, flags, noOfAssemblies, assemblies);
  if (zyrAPI_recordModelCall(model, status, __func__, hModel)) {
    SessionFile_recordString(type);
    SessionFile_recordString(filename);
    SessionFile_recordString(generic);
    SessionFile_recordString(specific);
    SessionFile_recordString(units);
    SessionFile_recordInteger(flags);
  }
  return zyrAPI_finish(model, status);
}
