#include "SessionKeywords.h"

#include "Session.h"
#include "SessionPlayer.h"
#include "zyrAPI.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrMemory.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// ---- Row building ----

#define IN(kind, label, items, width, nullWhenEmpty, note, hidden)                                                     \
  SessionInput { kind, label, items, width, nullWhenEmpty, note, hidden }
#define IN_INT(label) IN(SessionInputInteger, label, nullptr, 0, 0, nullptr, 0)
#define IN_REAL(label) IN(SessionInputReal, label, nullptr, 0, 0, nullptr, 0)
#define IN_STRING(label) IN(SessionInputString, label, nullptr, 0, 0, nullptr, 0)
#define IN_NULLABLE(label) IN(SessionInputString, label, nullptr, 0, 1, nullptr, 0)
#define OUT(kind, name, countName, prefix)                                                                             \
  SessionOutput { kind, name, countName, prefix }
#define OUT_INT(name) OUT(SessionOutputInteger, name, nullptr, '<')
#define OUT_REAL(name) OUT(SessionOutputReal, name, nullptr, '<')
#define OUT_STRING(name) OUT(SessionOutputString, name, nullptr, '<')

// Input and output values by position.
int32_t inInt(const SessionCall *call, int i) { return call->m_inputs[i].m_integer; }
const char *inString(const SessionCall *call, int i) { return call->m_inputs[i].m_string; }
double inReal(const SessionCall *call, int i) { return call->m_inputs[i].m_real; }
SessionValue *out(SessionCall *call, int i) { return &call->m_outputs[i]; }

// ---- Calls: application ----

int callClearErrors(SessionCall *) { return zyrApp_clearErrors(); }

int callGetErrors(SessionCall *call) {
  // Listed only: the queue stays as it is.
  return zyrApp_getErrors(&out(call, 0)->m_count, &out(call, 0)->m_errors);
}

int callSetErrorHandler(SessionCall *call) {
  zyrErrorHandler handler = Session_getErrorHandler(inInt(call, 0), call->m_session);
  zyrErrorHandler previous = nullptr;
  const int status = zyrApp_setErrorHandler(handler, &previous);
  out(call, 0)->m_pointer = reinterpret_cast<void *>(handler);
  out(call, 1)->m_pointer = reinterpret_cast<void *>(previous);
  return status;
}

int callSetWorkingDirectory(SessionCall *call) { return zyrApp_setWorkingDirectory(inString(call, 0)); }

int callGetWorkingDirectory(SessionCall *call) { return zyrApp_getWorkingDirectory(&out(call, 0)->m_string); }

// ---- Calls: databases ----

int callOpen(SessionCall *call) {
  return zyrDatabase_open(inString(call, 0), &out(call, 0)->m_integer, &out(call, 1)->m_integer);
}

int callClose(SessionCall *call) { return zyrDatabase_close(inInt(call, 0), inInt(call, 1)); }

int callCopy(SessionCall *call) {
  return zyrDatabase_copy(inInt(call, 0), inString(call, 1), inInt(call, 2), inInt(call, 3));
}

int callGetNoOfCheckpoints(SessionCall *call) {
  return zyrDatabase_getNoOfCheckpoints(inInt(call, 0), &out(call, 0)->m_integer);
}

int callRestoreCheckpoint(SessionCall *call) { return zyrDatabase_restoreCheckpoint(inInt(call, 0), inInt(call, 1)); }

int callSaveCheckpoint(SessionCall *call) { return zyrDatabase_saveCheckpoint(inInt(call, 0), &out(call, 0)->m_integer); }

int callUpgrade(SessionCall *call) {
  int upgraded = 0;
  const int status = zyrDatabase_upgrade(inString(call, 0), inString(call, 1), &upgraded);
  out(call, 0)->m_integer = upgraded;
  return status;
}

// ---- Calls: models ----

int callDump(SessionCall *call) { return zyrModel_dump(inInt(call, 0), inInt(call, 1), stdout); }

int callExportMesh(SessionCall *call) {
  return zyrModel_exportMesh(inInt(call, 0), inString(call, 1), inString(call, 2), inString(call, 3), inInt(call, 4));
}

int callWriteDefFile(SessionCall *call) {
  return zyrModel_writeDefFile(inInt(call, 0), inString(call, 1), inInt(call, 2));
}

int callImportMesh(SessionCall *call) {
  return zyrModel_importMesh(inInt(call, 0), inString(call, 1), inString(call, 2), inString(call, 3),
                             inString(call, 4), inString(call, 5), inInt(call, 6), &out(call, 0)->m_count,
                             &out(call, 0)->m_strings);
}

// ---- Calls: strategy parameters ----

int callGetIntegerParameter(SessionCall *call) {
  return zyrStrategy_getIntegerParameter(inInt(call, 0), inString(call, 1), &out(call, 0)->m_integer);
}

int callGetRealParameter(SessionCall *call) {
  return zyrStrategy_getRealParameter(inInt(call, 0), inString(call, 1), &out(call, 0)->m_real);
}

int callGetStringParameter(SessionCall *call) {
  return zyrStrategy_getStringParameter(inInt(call, 0), inString(call, 1), &out(call, 0)->m_string);
}

int callSetIntegerParameter(SessionCall *call) {
  return zyrStrategy_setIntegerParameter(inInt(call, 0), inString(call, 1), inInt(call, 2));
}

int callSetRealParameter(SessionCall *call) {
  return zyrStrategy_setRealParameter(inInt(call, 0), inString(call, 1), inReal(call, 2));
}

int callSetStringParameter(SessionCall *call) {
  return zyrStrategy_setStringParameter(inInt(call, 0), inString(call, 1), inString(call, 2));
}

// ---- Calls: assembly and region editing ----

const SessionValue *in(const SessionCall *call, int i) { return &call->m_inputs[i]; }

// The transformation is echoed after the other inputs, beside the outputs.
void echoAssemblyTransform(SessionCall *call);

int callAssemblyDelete(SessionCall *call) { return zyrAssembly_delete(inInt(call, 0), inString(call, 1)); }

int callAssemblyRename(SessionCall *call) {
  return zyrAssembly_rename(inInt(call, 0), inString(call, 1), inString(call, 2), inInt(call, 3),
                            &out(call, 0)->m_string);
}

int callAssemblyTransform(SessionCall *call) {
  return zyrAssembly_transform(inInt(call, 0), inString(call, 1), inInt(call, 2), inInt(call, 3),
                               in(call, 4)->m_transformation, inInt(call, 5), &out(call, 0)->m_count,
                               &out(call, 0)->m_strings);
}

int callGetAssemblies(SessionCall *call) {
  return zyrModel_getAssemblies(inInt(call, 0), &out(call, 0)->m_count, &out(call, 0)->m_strings);
}

int callGetNoOfAssemblies(SessionCall *call) {
  return zyrModel_getNoOfAssemblies(inInt(call, 0), &out(call, 0)->m_integer);
}

int callGlueRegions(SessionCall *call) {
  return zyrModel_glueRegions(inInt(call, 0), inInt(call, 1), in(call, 2)->m_count, in(call, 2)->m_strings,
                              &out(call, 0)->m_count, &out(call, 0)->m_strings, &out(call, 1)->m_count,
                              &out(call, 1)->m_strings);
}

int callMergeAssemblies(SessionCall *call) {
  return zyrModel_mergeAssemblies(inInt(call, 0), inInt(call, 1), in(call, 2)->m_count, in(call, 2)->m_strings,
                                  &out(call, 0)->m_count, &out(call, 0)->m_strings);
}

int callGetPriority(SessionCall *call) {
  return zyrRegion_getPriority(inInt(call, 0), inString(call, 1), &out(call, 0)->m_integer);
}

int callRegionRename(SessionCall *call) {
  return zyrRegion_rename(inInt(call, 0), inString(call, 1), inString(call, 2), inInt(call, 3),
                          &out(call, 0)->m_string);
}

int callSetPriority(SessionCall *call) {
  return zyrRegion_setPriority(inInt(call, 0), inString(call, 1), inInt(call, 2));
}

const char *const kDumpCodes = "[0 - Model, 100 - Geometry, 200 - Topology, 201 - Name manager, 300 - Mesh, "
                               "400 - Representation, 500 - Repository]";

// In the order of the help text: application, assembly, composite-name, location, database,
// model, region, selection and strategy keywords.
const SessionKeyword kRows[] = {
    // Application and errors.
    {"zyrApp_clearErrors", "Clear any errors associated with the application.", 0, {}, 0, {}, callClearErrors,
     nullptr, nullptr},
    {"zyrApp_getErrors",
     "Return any unhandled errors associated with the application.",
     0,
     {},
     1,
     {OUT(SessionOutputErrors, "errors", "noOfErrors", '<')},
     callGetErrors,
     nullptr,
     nullptr},
    {"zyrApp_setErrorHandler",
     "Register an error handler to process errors as they are encountered.",
     1,
     {IN(SessionInputInteger, "errorHandler", nullptr, 0, 0, nullptr, 1)},
     2,
     {OUT(SessionOutputPointer, "errorHandler", nullptr, '>'), OUT(SessionOutputPointer, "oldErrorHandler", nullptr, '<')},
     callSetErrorHandler,
     nullptr,
     nullptr},
    {"zyrApp_setWorkingDirectory", "Set the application's working directory.", 1, {IN_STRING("directory")}, 0, {},
     callSetWorkingDirectory, nullptr, nullptr},
    {"zyrApp_getWorkingDirectory", "Return the absolute path to the application's working directory.", 0, {}, 1,
     {OUT_STRING("directory")}, callGetWorkingDirectory, nullptr, nullptr},

    // Assemblies.
    {"zyrAssembly_delete", "Delete an assembly.", 2, {IN_INT("hModel"), IN_STRING("assembly")}, 0, {},
     callAssemblyDelete, nullptr, nullptr},
    {"zyrAssembly_rename",
     "Rename an assembly.",
     4,
     {IN_INT("hModel"), IN_STRING("oldName"), IN_STRING("newName"), IN_INT("addAlias")},
     1,
     {OUT_STRING("actualName")},
     callAssemblyRename,
     nullptr,
     nullptr},
    {"zyrAssembly_transform",
     "Perform an affine transformation on an assembly.",
     6,
     {IN_INT("hModel"), IN_STRING("assembly"), IN_INT("moveCount"), IN_INT("repeatCount"),
      IN(SessionInputTransformation, "transformation", nullptr, 8, 0, nullptr, 0), IN_INT("matchMesh")},
     1,
     {OUT(SessionOutputStringList, "assemblies", "noOfAssemblies", '<')},
     callAssemblyTransform,
     nullptr,
     echoAssemblyTransform},

    // Databases.
    {"zyrDatabase_open", "Load a model from a ZYR database.", 1, {IN_STRING("name")}, 2,
     {OUT_INT("hDatabase"), OUT_INT("hModel")}, callOpen, nullptr, nullptr},
    {"zyrDatabase_close", "Close a ZYR database.", 2, {IN_INT("hDatabase"), IN_INT("purgeHistory")}, 0, {},
     callClose, nullptr, nullptr},
    {"zyrDatabase_copy",
     "Make a backup copy of a ZYR database.",
     4,
     {IN_INT("hDatabase"), IN_STRING("filename"), IN_INT("workOnCopy"), IN_INT("purgeHistory")},
     0,
     {},
     callCopy,
     nullptr,
     nullptr},
    {"zyrDatabase_getNoOfCheckpoints", "Return the number of checkpoints that have been set.", 1,
     {IN_INT("hDatabase")}, 1, {OUT_INT("noOfCheckpoints")}, callGetNoOfCheckpoints, nullptr, nullptr},
    {"zyrDatabase_restoreCheckpoint", "Return the ZYR database to a checkpointed state.", 2,
     {IN_INT("hDatabase"), IN_INT("checkpoint")}, 0, {}, callRestoreCheckpoint, nullptr, nullptr},
    {"zyrDatabase_saveCheckpoint", "Set a check point.", 1, {IN_INT("hDatabase")}, 1, {OUT_INT("checkpoint")},
     callSaveCheckpoint, nullptr, nullptr},
    // Written by the recorder for upgrades made while recording; a blank new name upgrades in place.
    {"zyrDatabase_upgrade", nullptr, 2, {IN_STRING("name"), IN_NULLABLE("newName")}, 1, {OUT_INT("upgraded")},
     callUpgrade, nullptr, nullptr},

    // Models.
    {"zyrModel_dump",
     "Print debug output describing the current state of a model.",
     2,
     {IN_INT("hModel"), IN(SessionInputInteger, "type", nullptr, 0, 0, kDumpCodes, 0)},
     0,
     {},
     callDump,
     nullptr,
     nullptr},
    {"zyrModel_exportMesh", "Export the mesh from a ZYR model.", 5,
     {IN_INT("hModel"), IN_STRING("type"), IN_STRING("filename"), IN_STRING("units"), IN_INT("flags")}, 0, {},
     callExportMesh, nullptr, nullptr},
    {"zyrModel_writeDefFile", "Write a definition file containing a solver style mesh.", 3,
     {IN_INT("hModel"), IN_STRING("name"), IN_INT("flags")}, 0, {}, callWriteDefFile, nullptr, nullptr},
    {"zyrModel_importMesh",
     "Import a mesh into a ZYR model.",
     7,
     {IN_INT("hModel"), IN_STRING("type"), IN_STRING("filename"), IN_STRING("generic"), IN_STRING("specific"),
      IN_STRING("units"), IN_INT("flags")},
     1,
     {OUT(SessionOutputStringList, "assemblies", "noOfAssemblies", '<')},
     callImportMesh,
     nullptr,
     nullptr},
    {"zyrModel_getAssemblies", "Return the names of assemblies in a ZYR model.", 1, {IN_INT("hModel")}, 1,
     {OUT(SessionOutputStringList, "assemblies", "noOfAssemblies", '<')}, callGetAssemblies, nullptr, nullptr},
    {"zyrModel_getNoOfAssemblies", "Return the number of assemblies in a ZYR model.", 1, {IN_INT("hModel")}, 1,
     {OUT_INT("noOfAssemblies")}, callGetNoOfAssemblies, nullptr, nullptr},
    {"zyrModel_glueRegions",
     "Attempt to glue a collection of pairs of. primitive regions together.",
     3,
     {IN_INT("hModel"), IN_INT("flags"),
      IN(SessionInputStringArray, "noOfgluedPairs", "pairedRegions", 2, 0, nullptr, 0)},
     2,
     {OUT(SessionOutputStringList, "assembliesIn", "noOfAssembliesIn", '<'),
      OUT(SessionOutputStringList, "assembliesOut", "noOfAssembliesOut", '<')},
     callGlueRegions,
     nullptr,
     nullptr},
    {"zyrModel_mergeAssemblies",
     "Attempt to merge a collection of assemblies.",
     3,
     {IN_INT("hModel"), IN_INT("flags"),
      IN(SessionInputStringArray, "noOfAssembliesIn", "assembliesIn", 1, 0, nullptr, 0)},
     1,
     {OUT(SessionOutputStringList, "assembliesOut", "noOfAssembliesOut", '<')},
     callMergeAssemblies,
     nullptr,
     nullptr},

    // Regions.
    {"zyrRegion_getPriority", "Return the priority associated with a primitive region.", 2,
     {IN_INT("hModel"), IN_STRING("region")}, 1, {OUT_INT("priority")}, callGetPriority, nullptr, nullptr},
    {"zyrRegion_rename",
     "Rename a region.",
     4,
     {IN_INT("hModel"), IN_STRING("oldName"), IN_STRING("newName"), IN_INT("addAlias")},
     1,
     {OUT_STRING("actualName")},
     callRegionRename,
     nullptr,
     nullptr},
    {"zyrRegion_setPriority", "Set the priority associated with a primitive region.", 3,
     {IN_INT("hModel"), IN_STRING("region"), IN_INT("priority")}, 0, {}, callSetPriority, nullptr, nullptr},

    // Strategy parameters.
    {"zyrStrategy_getIntegerParameter", "Get an integer parameter associated with a model.", 2,
     {IN_INT("hModel"), IN_STRING("parameter")}, 1, {OUT_INT("value")}, callGetIntegerParameter, nullptr, nullptr},
    {"zyrStrategy_getRealParameter", "Get a real parameter associated with a model.", 2,
     {IN_INT("hModel"), IN_STRING("parameter")}, 1, {OUT_REAL("value")}, callGetRealParameter, nullptr, nullptr},
    {"zyrStrategy_getStringParameter", "Get a string parameter associated with a model.", 2,
     {IN_INT("hModel"), IN_STRING("parameter")}, 1, {OUT_STRING("value")}, callGetStringParameter, nullptr, nullptr},
    {"zyrStrategy_setIntegerParameter", "Set an integer parameter associated with a model.", 3,
     {IN_INT("hModel"), IN_STRING("parameter"), IN_INT("value")}, 0, {}, callSetIntegerParameter, nullptr, nullptr},
    {"zyrStrategy_setRealParameter", "Set a real parameter associated with a model.", 3,
     {IN_INT("hModel"), IN_STRING("parameter"), IN_REAL("value")}, 0, {}, callSetRealParameter, nullptr, nullptr},
    {"zyrStrategy_setStringParameter", "Set a string parameter associated with a model.", 3,
     {IN_INT("hModel"), IN_STRING("parameter"), IN_STRING("value")}, 0, {}, callSetStringParameter, nullptr,
     nullptr},
};

const int32_t kNoOfRows = static_cast<int32_t>(sizeof kRows / sizeof kRows[0]);

// ---- Generic reading, echo and release ----

int64_t stringsOf(const SessionInput &input, int32_t count) {
  const int64_t width = input.m_width > 0 ? input.m_width : 1;
  return count > 0 ? static_cast<int64_t>(count) * width : 0;
}

// Joins text lines with line feeds; NULL for none.
char *joinLines(char *const *lines, int32_t count) {
  if (lines == nullptr || count < 1)
    return nullptr;
  std::string text;
  for (int32_t i = 0; i < count; ++i) {
    if (i > 0)
      text += '\n';
    text += lines[i] != nullptr ? lines[i] : "";
  }
  return zyrCString_clone(text.c_str());
}

int readInput(SessionCall *call, const SessionInput &input, SessionValue *value) {
  Session *session = call->m_session;
  switch (input.m_kind) {
  case SessionInputInteger:
    value->m_integer = Session_readInteger(session, input.m_label);
    break;
  case SessionInputReal:
    value->m_real = Session_readReal(session, input.m_label);
    break;
  case SessionInputString:
    value->m_string = Session_readString(session, input.m_label);
    // An empty line is how the recorder writes a null string.
    if (input.m_nullWhenEmpty && value->m_string != nullptr && value->m_string[0] == '\0')
      {
      zyrCString_free(value->m_string);
      value->m_string = nullptr;
    }
    break;
  case SessionInputByte:
    value->m_integer = Session_readBoolean(session, input.m_label);
    break;
  case SessionInputStringArray:
    value->m_strings = Session_readStringArray(session, input.m_label, input.m_itemsLabel,
                                               input.m_width > 0 ? input.m_width : 1, &value->m_count);
    break;
  case SessionInputIntegerArray:
    value->m_integers = Session_readIntArray(session, input.m_label, input.m_itemsLabel, &value->m_count);
    break;
  case SessionInputText:
    value->m_strings = Session_readStrings(session, input.m_label, &value->m_count);
    value->m_string = joinLines(value->m_strings, value->m_count);
    break;
  case SessionInputTransformation: {
    const int read = Session_readTransformation(session, &value->m_transformation);
    if (read != 1)
      return read;
    break;
  }
  default:
    break;
  }
  return Session_getState(session) == SessionReading ? 1 : -1;
}

size_t nameWidth(const SessionKeyword *row) {
  size_t width = std::strlen("return");
  auto widen = [&width](const char *name) {
    if (name != nullptr && std::strlen(name) > width)
      width = std::strlen(name);
  };
  for (int32_t i = 0; i < row->m_noOfInputs; ++i) {
    if (row->m_inputs[i].m_hidden || row->m_inputs[i].m_kind == SessionInputTransformation)
      continue;
    widen(row->m_inputs[i].m_label);
    widen(row->m_inputs[i].m_itemsLabel);
  }
  for (int32_t i = 0; i < row->m_noOfOutputs; ++i) {
    widen(row->m_outputs[i].m_name);
    widen(row->m_outputs[i].m_countName);
  }
  return width + 1;
}

void echoInput(SessionCall *call, const SessionInput &input, const SessionValue &value, int width) {
  Session *session = call->m_session;
  const char *label = input.m_label;
  switch (input.m_kind) {
  case SessionInputInteger:
  case SessionInputByte:
    if (input.m_note != nullptr)
      Session_echo(session, "> %-*s= %s %d\n", width, label, input.m_note, value.m_integer);
    else
      Session_echo(session, "> %-*s= %d\n", width, label, value.m_integer);
    break;
  case SessionInputReal:
    Session_echo(session, "> %-*s= %e\n", width, label, value.m_real);
    break;
  case SessionInputString:
    Session_echo(session, "> %-*s= %s\n", width, label, value.m_string != nullptr ? value.m_string : "<null>");
    break;
  case SessionInputStringArray: {
    Session_echo(session, "> %-*s= %d\n", width, label, value.m_count);
    if (value.m_count < 1 || value.m_strings == nullptr)
      break;
    Session_echo(session, "> %-*s=\n", width, input.m_itemsLabel != nullptr ? input.m_itemsLabel : "");
    const int64_t width2 = input.m_width > 0 ? input.m_width : 1;
    for (int32_t i = 0; i < value.m_count; ++i) {
      std::string line = "  [" + std::to_string(i) + "]";
      for (int64_t j = 0; j < width2; ++j) {
        line += ' ';
        line += value.m_strings[i * width2 + j];
      }
      Session_echo(session, "%s\n", line.c_str());
    }
    break;
  }
  case SessionInputIntegerArray:
    Session_echo(session, "> %-*s= %d\n", width, label, value.m_count);
    if (value.m_count < 1 || value.m_integers == nullptr)
      break;
    Session_echo(session, "> %-*s=\n", width, input.m_itemsLabel != nullptr ? input.m_itemsLabel : "");
    for (int32_t i = 0; i < value.m_count; ++i)
      Session_echo(session, "  [%d] %d\n", i, value.m_integers[i]);
    break;
  case SessionInputText:
    if (value.m_string == nullptr) {
      Session_echo(session, "> %-*s= NULL\n", width, label);
    } else {
      Session_echo(session, "> %-*s= \\\n", width, label);
      Session_echo(session, "%s\n", value.m_string);
    }
    break;
  case SessionInputTransformation:
    Session_echoTransformation(session, value.m_transformation, '>', input.m_width);
    break;
  default:
    break;
  }
}

void echoOutput(SessionCall *call, const SessionOutput &output, const SessionValue &value, int width) {
  Session *session = call->m_session;
  const char prefix = output.m_prefix != 0 ? output.m_prefix : '<';
  const char *name = output.m_name;
  switch (output.m_kind) {
  case SessionOutputInteger:
    Session_echo(session, "%c %-*s= %d\n", prefix, width, name, value.m_integer);
    break;
  case SessionOutputReal:
    Session_echo(session, "%c %-*s= %e\n", prefix, width, name, value.m_real);
    break;
  case SessionOutputString:
    Session_echo(session, "%c %-*s= %s\n", prefix, width, name, value.m_string != nullptr ? value.m_string : "<null>");
    break;
  case SessionOutputPointer:
    Session_echo(session, "%c %-*s= %p\n", prefix, width, name, value.m_pointer);
    break;
  case SessionOutputStringList:
    Session_echo(session, "%c %-*s= %d\n", prefix, width, output.m_countName, value.m_count);
    if (call->m_status != 1 || value.m_count < 1 || value.m_strings == nullptr)
      break;
    Session_echo(session, "%c %-*s=\n", prefix, width, name);
    for (int32_t i = 0; i < value.m_count; ++i)
      Session_echo(session, "  [%d] %s\n", i, value.m_strings[i] != nullptr ? value.m_strings[i] : "<null>");
    break;
  case SessionOutputErrors:
    Session_echo(session, "%c %-*s= %d\n", prefix, width, output.m_countName, value.m_count);
    if (value.m_count < 1 || value.m_errors == nullptr)
      break;
    Session_echo(session, "%c %-*s=\n", prefix, width, name);
    for (int32_t i = 0; i < value.m_count; ++i) {
      const char *description = zyrError_getDescription(value.m_errors[i]);
      Session_echo(session, "  %4d: %s\n", i, description != nullptr ? description : "");
    }
    break;
  default:
    break;
  }
}

void echoAssemblyTransform(SessionCall *call) {
  const SessionKeyword *row = call->m_keyword;
  const int width = static_cast<int>(nameWidth(row));
  Session_echo(call->m_session, "%s\n", row->m_keyword);
  for (int32_t i = 0; i < row->m_noOfInputs; ++i)
    if (row->m_inputs[i].m_kind != SessionInputTransformation)
      echoInput(call, row->m_inputs[i], call->m_inputs[i], width);
  for (int32_t i = 0; i < row->m_noOfInputs; ++i)
    if (row->m_inputs[i].m_kind == SessionInputTransformation)
      echoInput(call, row->m_inputs[i], call->m_inputs[i], width);
  for (int32_t i = 0; i < row->m_noOfOutputs; ++i)
    echoOutput(call, row->m_outputs[i], call->m_outputs[i], width);
  Session_echo(call->m_session, "< %-*s= %d\n", width, "return", call->m_status);
}

} // namespace

const SessionKeyword *SessionKeyword_getTable(int32_t *count) {
  *count = kNoOfRows;
  return kRows;
}

const SessionKeyword *SessionKeyword_find(const char *keyword) {
  if (keyword == nullptr)
    return nullptr;
  for (int32_t i = 0; i < kNoOfRows; ++i)
    if (std::strcmp(kRows[i].m_keyword, keyword) == 0)
      return &kRows[i];
  return nullptr;
}

void SessionCall_init(SessionCall *call, const SessionKeyword *keyword, Session *session) {
  std::memset(static_cast<void *>(call), 0, sizeof *call);
  call->m_keyword = keyword;
  call->m_session = session;
}

int SessionCall_readInputs(SessionCall *call) {
  const SessionKeyword *row = call->m_keyword;
  if (row->m_read != nullptr)
    return row->m_read(call);
  for (int32_t i = 0; i < row->m_noOfInputs; ++i) {
    const int read = readInput(call, row->m_inputs[i], &call->m_inputs[i]);
    if (read != 1)
      return read;
  }
  return 1;
}

void SessionCall_echo(SessionCall *call) {
  const SessionKeyword *row = call->m_keyword;
  if (row->m_echo != nullptr) {
    row->m_echo(call);
    return;
  }
  Session *session = call->m_session;
  const int width = static_cast<int>(nameWidth(row));
  Session_echo(session, "%s\n", row->m_keyword);
  for (int32_t i = 0; i < row->m_noOfInputs; ++i)
    if (!row->m_inputs[i].m_hidden)
      echoInput(call, row->m_inputs[i], call->m_inputs[i], width);
  for (int32_t i = 0; i < row->m_noOfOutputs; ++i)
    echoOutput(call, row->m_outputs[i], call->m_outputs[i], width);
  Session_echo(session, "< %-*s= %d\n", width, "return", call->m_status);
}

void SessionCall_free(SessionCall *call) {
  const SessionKeyword *row = call->m_keyword;
  for (int32_t i = 0; i < row->m_noOfInputs; ++i) {
    SessionValue &value = call->m_inputs[i];
    switch (row->m_inputs[i].m_kind) {
    case SessionInputStringArray:
      zyrCStringArray_free(value.m_strings, static_cast<uint64_t>(stringsOf(row->m_inputs[i], value.m_count)));
      break;
    case SessionInputText:
      zyrCStringArray_free(value.m_strings, static_cast<uint64_t>(value.m_count > 0 ? value.m_count : 0));
      break;
    case SessionInputTransformation:
      zyrAffineTransform3D_delete(value.m_transformation);
      break;
    default:
      break;
    }
    zyrCString_free(value.m_string);
    zyrMemory_free(value.m_integers, __func__);
  }
  for (int32_t i = 0; i < row->m_noOfOutputs; ++i) {
    SessionValue &value = call->m_outputs[i];
    if (row->m_outputs[i].m_kind == SessionOutputStringList)
      zyrCStringArray_free(value.m_strings, static_cast<uint64_t>(value.m_count > 0 ? value.m_count : 0));
    zyrCString_free(value.m_string);
    zyrMemory_free(value.m_errors, __func__);
  }
  std::memset(static_cast<void *>(call->m_inputs), 0, sizeof call->m_inputs);
  std::memset(static_cast<void *>(call->m_outputs), 0, sizeof call->m_outputs);
}
