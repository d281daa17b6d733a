#include "zyrErrorCode.h"

namespace {

const zyrErrorCode kTable[] = {
    {0, "ZYR_OK", "No error."},
    {1, "ZYR_W_USER_DEFINED", "A user defined warning message."},
    {2, "ZYR_W_INFORMATION", "A message for information purposes only."},
    {3, "ZYR_W_INVALID_INPUT_IGNORED", "Invalid input has been ignored."},
    {4, "ZYR_W_INVALID_DATA_IGNORED", "Invalid data has been ignored."},
    {5, "ZYR_W_INVALID_RESULT_IGNORED", "Invalid result has been ignored."},
    {6, "ZYR_W_MESHING_WARNING", "A warning message from a meshing sub-process."},
    {10001, "ZYR_U_USER_DEFINED", "A user defined user error."},
    {10002, "ZYR_U_BAD_HANDLE", "Unable to resolve the supplied handle, it does not correspond to an open ZYR database."},
    {10003, "ZYR_U_UNABLE_TO_OPEN_DATABASE", "Unable to open the requested database."},
    {10004, "ZYR_U_UNABLE_TO_CLOSE_DATABASE", "Unable to close the requested database."},
    {10005, "ZYR_U_UNABLE_TO_COPY_DATABASE", "Unable to make a copy of the requested database."},
    {10006, "ZYR_U_UNABLE_TO_COMPACT_DATABASE", "Unable to compact the requested database."},
    {10007, "ZYR_U_UNABLE_TO_UPGRADE_DATABASE", "Unable to upgrade the requested database."},
    {10008, "ZYR_U_UNABLE_TO_OVERWRITE_DATABASE", "Unable to overwrite the existing database."},
    {10009, "ZYR_U_UNABLE_TO_READ_DATASET", "Unable to read the requested data set."},
    {10010, "ZYR_U_UNABLE_TO_WRITE_DATASET", "Unable to write the requested data set."},
    {10011, "ZYR_U_UNABLE_TO_DELETE_DATASET", "Unable to delete the requested data set."},
    {10012, "ZYR_U_DATABASE_IS_LOCKED", "Unable to open the requested database because a lock file is present."},
    {10013, "ZYR_U_INVALID_LENGTH_UNITS", "The supplied name for length units has not been recognised."},
    {10014, "ZYR_U_INVALID_ANGLE_UNITS", "The supplied name for angle units has not been recognised."},
    {10015, "ZYR_U_ZERO_LENGTH_VECTOR", "A zero length vector has been supplied to the routine."},
    {10016, "ZYR_U_SINGULAR_MATRIX", "A singular (i.e. non-invertible) matrix has been encountered."},
    {10017, "ZYR_U_INVALID_PORT_NUMBER", "The requested port number is invalid."},
    {10018, "ZYR_U_COMMAND_NOT_FOUND", "Requested command not found."},
    {10019, "ZYR_U_ENVIRONMENT_VARIABLE_NOT_SET", "One or more environment variables required by the installation have not been set."},
    {10020, "ZYR_U_INVALID_INPUT", "Invalid input has been encountered."},
    {10021, "ZYR_U_INVALID_DATA", "Invalid data has been encountered."},
    {10022, "ZYR_U_INVALID_RESULT", "The requested operation has produced an invalid result."},
    {10023, "ZYR_U_MISSING_DATA", "Data required to perform an operation can not be found."},
    {10024, "ZYR_U_ID_ALREADY_IN_USE", "Requested ID is already in use."},
    {10025, "ZYR_U_UNABLE_TO_IDENTIFY_OBJECT", "Unable to identify the requested object."},
    {10026, "ZYR_U_FILE_DOES_NOT_EXIST", "The requested file does not exist."},
    {10027, "ZYR_U_FILE_ALREADY_EXISTS", "The requested file already exists."},
    {10028, "ZYR_U_DIRECTORY_DOES_NOT_EXIST", "The requested directory does not exist."},
    {10029, "ZYR_U_DIRECTORY_ALREADY_EXISTS", "The requested directory already exists."},
    {10030, "ZYR_U_UNABLE_TO_MODIFY_NAME", "Unable to modify the name of an object."},
    {10031, "ZYR_U_UNABLE_TO_OPEN_FILE", "Unable to open the named file."},
    {10032, "ZYR_U_UNABLE_TO_IMPORT_MESH", "Unable to import an externally generated mesh."},
    {10033, "ZYR_U_UNABLE_TO_EXPORT_MESH", "Unable to export a mesh to an external format."},
    {10034, "ZYR_U_UNEXPECTED_END_OF_FILE", "The end of a file was reached while it was still being read."},
    {10035, "ZYR_U_INVALID_FILE_FORMAT", "An error was encountered while interpreting the contents of a file."},
    {10036, "ZYR_U_NOT_A_PRIMITIVE_REGION", "The supplied name does not correspond to a primitive region."},
    {10037, "ZYR_U_NOT_AN_ASSEMBLY", "The supplied name does not correspond to an assembly."},
    {10038, "ZYR_U_EMPTY_LOCATION", "The supplied location string does not resolve to any primitive regions."},
    {10039, "ZYR_U_UNRECOGNISED_NAME", "The supplied region name, or a name in a location string, was not recognised."},
    {10040, "ZYR_U_UNRESOLVED_NAME", "The supplied region name, or a name in a location string, could not be resolved into primitive regions."},
    {10041, "ZYR_U_INVALID_VSN", "The supplied VSN is not valid."},
    {10042, "ZYR_U_INVALID_TOPOLOGY", "The topology of the model is not valid for the requested operation."},
    {10043, "ZYR_U_INVALID_CHECKPOINT", "The supplied checkpoint does not correspond to a valid database state."},
    {10044, "ZYR_U_MESHING_ERROR", "An error message from a meshing sub-process."},
    {10045, "ZYR_U_UNABLE_TO_SPAWN_PROCESS", "Unable to spawn a sub-process."},
    {10046, "ZYR_U_UNABLE_TO_DELETE_FILE", "Unable to delete a file."},
    {10047, "ZYR_U_UNABLE_TO_DELETE_DIRECTORY", "Unable to delete a directory."},
    {10048, "ZYR_U_CHILD_PROCESS_CRASHED", "A process spawned by the current executable crashed."},
    {20001, "ZYR_I_USER_DEFINED", "A user defined internal error."},
    {20002, "ZYR_I_FAILED_ASSERTION", "An assertion has failed."},
    {20003, "ZYR_I_NOT_IMPLEMENTED_YET", "A feature has been requested that has not been implemented yet."},
    {20004, "ZYR_I_UNRECOGNISED_ERROR_CODE", "An unrecognised error code has been generated."},
    {20005, "ZYR_I_ALGORITHMIC_FAILURE", "An algorithm has failed."},
    {20006, "ZYR_I_INTERNAL_ERROR", "The program is unable to continue as an internal error has been encountered."},
    {20007, "ZYR_I_MISSING_SINGLETON", "The program is unable to identify a required singleton object."},
    {20008, "ZYR_I_MULTIPLE_SINGLETON", "More than one copy of a singleton object was encountered."},
    {20009, "ZYR_I_NO_UNIT_DEFINITIONS", "The unit definition file was not found."},
    {20010, "ZYR_I_MESHING_INTERNAL_ERROR", "An internal error message from a meshing sub-process."},
    {30001, "ZYR_R_USER_DEFINED", "A user defined resource error."},
    {30002, "ZYR_R_INSUFFICIENT_MEMORY_SUPPLIED", "Insufficient memory was supplied to the routine."},
    {30003, "ZYR_R_INSUFFICIENT_MEMORY_AVAILABLE", "There is insufficient memory available to complete the requested task."},
    {30004, "ZYR_R_INSUFFICIENT_DISKSPACE_AVAILABLE", "There is insufficient disk space available to complete the requested task."},
    {30005, "ZYR_R_RESOURCE_LEAK", "Unrequired resources were not returned to the system."},
};

const int32_t kNoOfRows = static_cast<int32_t>(sizeof kTable / sizeof kTable[0]);

const zyrErrorCode *findRow(int32_t code) {
  // Short and looked up once per record: a linear search is enough.
  for (int32_t i = 0; i < kNoOfRows; ++i)
    if (kTable[i].m_code == code)
      return &kTable[i];
  return nullptr;
}

} // namespace

const char *zyrErrorCode_getDescription(int32_t code) {
  const zyrErrorCode *row = findRow(code);
  return row ? row->m_text : nullptr;
}

const char *zyrErrorCode_getName(int32_t code) {
  const zyrErrorCode *row = findRow(code);
  return row ? row->m_symbol : nullptr;
}

int zyrErrorCode_isKnown(int32_t code) { return findRow(code) != nullptr ? 1 : 0; }

zyrErrorClass zyrErrorCode_getClass(int32_t code) {
  if (code < 1)
    return zyrOK;
  if (code <= 10000)
    return zyrWarning;
  if (code <= 20000)
    return zyrUserError;
  if (code <= 30000)
    return zyrInternalError;
  return zyrResourceError;
}

const zyrErrorCode *zyrErrorCode_getTable(int32_t *noOfRows) {
  if (noOfRows != nullptr)
    *noOfRows = kNoOfRows;
  return kTable;
}
