#include "SessionKeywords.h"

#include "ElementTopology.h"
#include "Session.h"
#include "SessionPlayer.h"
#include "zyrAPI.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrMemory.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

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
#define IN_BYTE(label) IN(SessionInputByte, label, nullptr, 0, 0, nullptr, 0)
#define OUT_LIST(name, countName) OUT(SessionOutputStringList, name, countName, '<')

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

// ---- Calls: locations, regions, composite names and selections ----

size_t nameWidth(const SessionKeyword *row);
void echoInput(SessionCall *call, const SessionInput &input, const SessionValue &value, int width);

char mask(const SessionCall *call, int i) { return static_cast<char>(call->m_inputs[i].m_integer); }
int interactive(const SessionCall *call) { return call->m_session != nullptr && call->m_session->m_interactive; }

void appendf(std::string &text, const char *format, ...) __attribute__((format(printf, 2, 3)));
void appendf(std::string &text, const char *format, ...) {
  va_list arguments;
  va_start(arguments, format);
  char *line = zyrCString_vbuild(format, arguments);
  va_end(arguments);
  if (line != nullptr)
    text += line;
  zyrCString_free(line);
}

// Rows whose outputs are arrays render them while they exist (only when the session echoes), so
// that they can be freed at once; the echo shows the text kept in the first output.
void keepRendered(SessionCall *call, const std::string &text) {
  zyrCString_free(out(call, 0)->m_string);
  out(call, 0)->m_string = zyrCString_clone(text.c_str());
}

void echoHead(SessionCall *call, int width) {
  const SessionKeyword *row = call->m_keyword;
  Session_echo(call->m_session, "%s\n", row->m_keyword);
  for (int32_t i = 0; i < row->m_noOfInputs; ++i)
    if (!row->m_inputs[i].m_hidden)
      echoInput(call, row->m_inputs[i], call->m_inputs[i], width);
}

void echoRendered(SessionCall *call) {
  const int width = static_cast<int>(nameWidth(call->m_keyword));
  echoHead(call, width);
  if (out(call, 0)->m_string != nullptr)
    Session_echo(call->m_session, "%s", out(call, 0)->m_string);
  Session_echo(call->m_session, "< %-*s= %d\n", width, "return", call->m_status);
}

int width(const SessionCall *call) { return static_cast<int>(nameWidth(call->m_keyword)); }

void renderCount(std::string &text, int w, const char *name, int32_t count) {
  appendf(text, "< %-*s= %d\n", w, name, count);
}

void renderHeader(std::string &text, int w, const char *name) { appendf(text, "< %-*s=\n", w, name); }

void renderNames(std::string &text, int w, const char *name, int32_t count, char *const *names) {
  if (count < 1 || names == nullptr)
    return;
  renderHeader(text, w, name);
  for (int32_t i = 0; i < count; ++i)
    appendf(text, "  [%d] %s\n", i, names[i] != nullptr ? names[i] : "<null>");
}

// Location queries.

int callGetBoundingBox(SessionCall *call) {
  return zyrLocation_getBoundingBox(inInt(call, 0), inString(call, 1), inInt(call, 2), inString(call, 3),
                                    &out(call, 0)->m_real, &out(call, 1)->m_real, &out(call, 2)->m_real,
                                    &out(call, 3)->m_real, &out(call, 4)->m_real, &out(call, 5)->m_real);
}

int callGetExtents(SessionCall *call) {
  return zyrLocation_getExtents(inInt(call, 0), inString(call, 1), inInt(call, 2), inString(call, 3), inInt(call, 4),
                                &out(call, 0)->m_real);
}

int callGetCentroid(SessionCall *call) {
  return zyrLocation_getCentroid(inInt(call, 0), inString(call, 1), inInt(call, 2), inString(call, 3), inInt(call, 4),
                                 &out(call, 0)->m_real, &out(call, 1)->m_real, &out(call, 2)->m_real);
}

int callGetLocationCompositeNames(SessionCall *call) {
  return zyrLocation_getCompositeNames(inInt(call, 0), inString(call, 1), inInt(call, 2), mask(call, 3),
                                       &out(call, 0)->m_count, &out(call, 0)->m_strings);
}

int callGetMeshSize(SessionCall *call) {
  int32_t vertices = 0;
  int32_t elements = 0;
  int32_t byType[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  const int status = zyrLocation_getMeshSize(inInt(call, 0), inString(call, 1), inInt(call, 2), mask(call, 3),
                                             &vertices, &elements, byType);
  if (interactive(call)) {
    const int w = width(call);
    std::string text;
    renderCount(text, w, "noOfVertices", vertices);
    renderCount(text, w, "noOfElements", elements);
    renderHeader(text, w, "noOfElementsByType");
    for (int32_t t = 0; t < 8; ++t) {
      const char *name = ElementTopology_getElementTypeName(t);
      appendf(text, "  %10d [%s]\n", byType[t], name != nullptr ? name : "");
    }
    keepRendered(call, text);
  }
  return status;
}

int callGetLocationNoOfRegions(SessionCall *call) {
  return zyrLocation_getNoOfRegions(inInt(call, 0), inString(call, 1), inInt(call, 2), mask(call, 3),
                                    &out(call, 0)->m_integer);
}

int callGetLocationRegions(SessionCall *call) {
  return zyrLocation_getRegions(inInt(call, 0), inString(call, 1), inInt(call, 2), mask(call, 3),
                                &out(call, 0)->m_count, &out(call, 0)->m_strings);
}

void renderCoordinates(std::string &text, int w, int32_t count, const float *coordinates) {
  renderCount(text, w, "noOfVertices", count);
  if (count < 1 || coordinates == nullptr)
    return;
  renderHeader(text, w, "coordinates");
  for (int32_t i = 0; i < count; ++i)
    appendf(text, "  [%d] %f %f %f\n", i, static_cast<double>(coordinates[3 * i]),
            static_cast<double>(coordinates[3 * i + 1]), static_cast<double>(coordinates[3 * i + 2]));
}

int callGetWireframeDisplay(SessionCall *call) {
  int32_t vertices = 0;
  float *coordinates = nullptr;
  int32_t edges = 0;
  int32_t *ends = nullptr;
  const int status = zyrLocation_getWireframeDisplay(inInt(call, 0), inString(call, 1), inInt(call, 2),
                                                     inString(call, 3), inReal(call, 4), &vertices, &coordinates,
                                                     &edges, &ends);
  if (interactive(call)) {
    const int w = width(call);
    std::string text;
    renderCoordinates(text, w, vertices, coordinates);
    renderCount(text, w, "noOfEdges", edges);
    if (edges > 0 && ends != nullptr) {
      renderHeader(text, w, "endVertices");
      for (int32_t i = 0; i < edges; ++i)
        appendf(text, "  [%d] %d %d\n", i, ends[2 * i], ends[2 * i + 1]);
    }
    keepRendered(call, text);
  }
  zyrMemory_free(coordinates, __func__);
  zyrMemory_free(ends, __func__);
  return status;
}

int callGetFacettedDisplay(SessionCall *call) {
  int32_t vertices = 0;
  float *coordinates = nullptr;
  int32_t triangles = 0;
  int32_t quadrilaterals = 0;
  int32_t *faces = nullptr;
  const int status = zyrLocation_getFacettedDisplay(inInt(call, 0), inString(call, 1), inInt(call, 2),
                                                    inString(call, 3), &vertices, &coordinates, &triangles,
                                                    &quadrilaterals, &faces);
  if (interactive(call)) {
    const int w = width(call);
    std::string text;
    renderCoordinates(text, w, vertices, coordinates);
    renderCount(text, w, "noOfTriangles", triangles);
    renderCount(text, w, "noOfQuadrilaterals", quadrilaterals);
    if (triangles + quadrilaterals > 0 && faces != nullptr) {
      renderHeader(text, w, "faceVertices");
      int64_t at = 0;
      for (int32_t i = 0; i < triangles; ++i, at += 3)
        appendf(text, "  [%d] %d %d %d\n", i, faces[at], faces[at + 1], faces[at + 2]);
      for (int32_t i = 0; i < quadrilaterals; ++i, at += 4)
        appendf(text, "  [%d] %d %d %d %d\n", triangles + i, faces[at], faces[at + 1], faces[at + 2], faces[at + 3]);
    }
    keepRendered(call, text);
  }
  zyrMemory_free(coordinates, __func__);
  zyrMemory_free(faces, __func__);
  return status;
}

// "zyrLocation_doesMeshMatch": the axis and units follow for type 3 only, a transformation for
// type 4 only. Inputs 4 to 9 hold the axis, 10 the units and 11 the transformation.
const int kAxisInput = 4;
const int kUnitsInput = 10;
const int kTransformInput = 11;

int readDoesMeshMatch(SessionCall *call) {
  Session *session = call->m_session;
  const SessionInput *inputs = call->m_keyword->m_inputs;
  SessionValue *values = call->m_inputs;
  values[0].m_integer = Session_readInteger(session, inputs[0].m_label);
  values[1].m_string = Session_readString(session, inputs[1].m_label);
  values[2].m_string = Session_readString(session, inputs[2].m_label);
  values[3].m_integer = Session_readInteger(session, inputs[3].m_label);
  const int32_t type = values[3].m_integer;
  if (type == 3) {
    for (int i = 0; i < 6; ++i)
      values[kAxisInput + i].m_real = Session_readReal(session, inputs[kAxisInput + i].m_label);
    values[kUnitsInput].m_string = Session_readString(session, inputs[kUnitsInput].m_label);
  } else if (type == 4 && Session_getState(session) == SessionReading) {
    const int read = Session_readTransformation(session, &values[kTransformInput].m_transformation);
    if (read != 1)
      return read;
  }
  return Session_getState(session) == SessionReading ? 1 : -1;
}

int callDoesMeshMatch(SessionCall *call) {
  const int32_t type = inInt(call, 3);
  // Types 2 and 3 are handed an identity for the transformation they find.
  if ((type == 2 || type == 3) && call->m_inputs[kTransformInput].m_transformation == nullptr)
    call->m_inputs[kTransformInput].m_transformation = zyrAffineTransform3D_new();
  double root[3];
  double tip[3];
  for (int i = 0; i < 3; ++i) {
    root[i] = inReal(call, kAxisInput + i);
    tip[i] = inReal(call, kAxisInput + 3 + i);
  }
  return zyrLocation_doesMeshMatch(inInt(call, 0), inString(call, 1), inString(call, 2), type, root, tip,
                                   inString(call, kUnitsInput), call->m_inputs[kTransformInput].m_transformation,
                                   &out(call, 0)->m_integer);
}

void echoDoesMeshMatch(SessionCall *call) {
  Session *session = call->m_session;
  const SessionKeyword *row = call->m_keyword;
  const int w = static_cast<int>(std::strlen("doesMeshMatch")) + 1;
  Session_echo(session, "%s\n", row->m_keyword);
  for (int i = 0; i < 4; ++i)
    echoInput(call, row->m_inputs[i], call->m_inputs[i], w);
  const int32_t type = inInt(call, 3);
  const zyrAffineTransform3D *transform = call->m_inputs[kTransformInput].m_transformation;
  const int32_t result = out(call, 0)->m_integer;
  if (type == 3) {
    Session_echo(session, "> %-*s= [%e, %e, %e]\n", w, "axisRoot", inReal(call, kAxisInput),
                 inReal(call, kAxisInput + 1), inReal(call, kAxisInput + 2));
    Session_echo(session, "> %-*s= [%e, %e, %e]\n", w, "axisTip", inReal(call, kAxisInput + 3),
                 inReal(call, kAxisInput + 4), inReal(call, kAxisInput + 5));
    const char *units = inString(call, kUnitsInput);
    Session_echo(session, "> %-*s= %s\n", w, "units", units != nullptr ? units : "<null>");
  }
  if ((type == 2 || type == 3) && call->m_status == 1 && (result == 1 || result == 2))
    Session_echoTransformation(session, transform, '<', 7);
  else if (type == 4)
    Session_echoTransformation(session, transform, '>', 7);
  Session_echo(session, "< %-*s= %d\n", w, "doesMeshMatch", result);
  Session_echo(session, "< %-*s= %d\n", w, "return", call->m_status);
}

// Composite names.

int callCreateComposite(SessionCall *call) {
  return zyrCompositeName_create(inInt(call, 0), inString(call, 1), inInt(call, 2), call->m_inputs[3].m_count,
                                 call->m_inputs[3].m_strings, call->m_inputs[4].m_count, call->m_inputs[4].m_strings);
}

int callDestroyComposite(SessionCall *call) { return zyrCompositeName_destroy(inInt(call, 0), inString(call, 1)); }

int callGetDefinition(SessionCall *call) {
  return zyrCompositeName_getDefinition(inInt(call, 0), inString(call, 1), &out(call, 0)->m_integer,
                                        &out(call, 1)->m_count, &out(call, 1)->m_strings, &out(call, 2)->m_count,
                                        &out(call, 2)->m_strings);
}

int callGetTags(SessionCall *call) {
  return zyrCompositeName_getTags(inInt(call, 0), inString(call, 1), &out(call, 0)->m_string);
}

int callHasTag(SessionCall *call) {
  return zyrCompositeName_hasTag(inInt(call, 0), inString(call, 1), inString(call, 2), &out(call, 0)->m_integer);
}

int callRenameComposite(SessionCall *call) {
  return zyrCompositeName_rename(inInt(call, 0), inString(call, 1), inString(call, 2), inInt(call, 3),
                                 &out(call, 0)->m_string);
}

// Models.

int callGetCompositeNames(SessionCall *call) {
  return zyrModel_getCompositeNames(inInt(call, 0), &out(call, 0)->m_count, &out(call, 0)->m_strings);
}

int callGetTaggedCompositeNames(SessionCall *call) {
  return zyrModel_getTaggedCompositeNames(inInt(call, 0), inString(call, 1), inString(call, 2), inString(call, 3),
                                          &out(call, 0)->m_count, &out(call, 0)->m_strings);
}

int callGetModelNoOfRegions(SessionCall *call) {
  return zyrModel_getNoOfRegions(inInt(call, 0), mask(call, 1), &out(call, 0)->m_integer);
}

int callGetModelRegions(SessionCall *call) {
  return zyrModel_getRegions(inInt(call, 0), mask(call, 1), &out(call, 0)->m_count, &out(call, 0)->m_strings);
}

int callGetAllPairedRegions(SessionCall *call) {
  int32_t count = 0;
  const int status = zyrModel_getPairedRegions(inInt(call, 0), inInt(call, 1), &count, &out(call, 1)->m_strings,
                                               &out(call, 2)->m_strings);
  out(call, 1)->m_count = count;
  out(call, 2)->m_count = count;
  if (interactive(call)) {
    const int w = width(call);
    std::string text;
    renderCount(text, w, "noOfPairedRegions", count);
    renderNames(text, w, "pairedRegionNamesSide1", count, out(call, 1)->m_strings);
    renderNames(text, w, "pairedRegionNamesSide2", count, out(call, 2)->m_strings);
    keepRendered(call, text);
  }
  return status;
}

int callIsCompositeName(SessionCall *call) {
  return zyrModel_isCompositeName(inInt(call, 0), inString(call, 1), &out(call, 0)->m_integer);
}

int callExportRegionMap(SessionCall *call) {
  char *vsn = nullptr;
  const int status = zyrModel_exportRegionMap(inInt(call, 0), &vsn);
  if (interactive(call)) {
    std::string text;
    if (vsn != nullptr)
      appendf(text, "< %-*s= \\\n%s\n", width(call), "vsn", vsn);
    else
      appendf(text, "< %-*s= NULL\n", width(call), "vsn");
    keepRendered(call, text);
  }
  zyrCString_free(vsn);
  return status;
}

int callImportRegionMap(SessionCall *call) {
  return zyrModel_importRegionMap(inInt(call, 0), inString(call, 1), inInt(call, 2), inInt(call, 3));
}

int callTagCompositeNames(SessionCall *call) {
  return zyrModel_tagCompositeNames(inInt(call, 0), inString(call, 1), inInt(call, 2), call->m_inputs[3].m_count,
                                    call->m_inputs[3].m_strings);
}

// "zyrModel_modifyRegions": after hModel, operation and noOfComponents (n), the n region names,
// the n element counts, then each component's elements, then targetName and recordChanges.
// Inputs 3 to 5 hold the names, the counts and all elements one after the other.
int readModifyRegions(SessionCall *call) {
  Session *session = call->m_session;
  const SessionInput *inputs = call->m_keyword->m_inputs;
  SessionValue *values = call->m_inputs;
  for (int i = 0; i < 3; ++i)
    values[i].m_integer = Session_readInteger(session, inputs[i].m_label);
  const int32_t n = Session_getState(session) == SessionReading ? values[2].m_integer : 0;
  // The arrays grow with the lines actually read, so a false count costs no memory.
  std::vector<char *> names;
  Session_prompt(session, "regions", 1);
  for (int32_t i = 0; i < n && Session_getState(session) == SessionReading; ++i)
    names.push_back(Session_readString(session, nullptr));
  std::vector<int32_t> counts;
  Session_prompt(session, "noOfElements", 1);
  for (int32_t i = 0; i < n && Session_getState(session) == SessionReading; ++i)
    counts.push_back(Session_readInteger(session, nullptr));
  std::vector<int32_t> elements;
  for (size_t i = 0; i < counts.size() && Session_getState(session) == SessionReading; ++i) {
    if (session->m_interactive) {
      const std::string label = "elements[" + std::to_string(i) + "]";
      Session_prompt(session, label.c_str(), 1);
    }
    for (int32_t j = 0; j < counts[i] && Session_getState(session) == SessionReading; ++j)
      elements.push_back(Session_readInteger(session, nullptr));
  }
  if (!names.empty()) {
    values[3].m_strings = zyrMemory_allocateArray<char *>(static_cast<int64_t>(names.size()), __func__);
    std::copy(names.begin(), names.end(), values[3].m_strings);
    values[3].m_count = static_cast<int32_t>(names.size());
  }
  if (!counts.empty()) {
    values[4].m_integers = zyrMemory_allocateArray<int32_t>(static_cast<int64_t>(counts.size()), __func__);
    std::copy(counts.begin(), counts.end(), values[4].m_integers);
    values[4].m_count = static_cast<int32_t>(counts.size());
  }
  if (!elements.empty()) {
    values[5].m_integers = zyrMemory_allocateArray<int32_t>(static_cast<int64_t>(elements.size()), __func__);
    std::copy(elements.begin(), elements.end(), values[5].m_integers);
    values[5].m_count = static_cast<int32_t>(elements.size());
  }
  values[6].m_string = Session_readString(session, inputs[6].m_label);
  values[7].m_integer = Session_readInteger(session, inputs[7].m_label);
  return Session_getState(session) == SessionReading ? 1 : -1;
}

int callModifyRegions(SessionCall *call) {
  const int32_t n = inInt(call, 2);
  const SessionValue &counts = call->m_inputs[4];
  std::vector<int32_t *> lists;
  int64_t at = 0;
  for (int32_t i = 0; i < counts.m_count; ++i) {
    lists.push_back(call->m_inputs[5].m_integers != nullptr ? call->m_inputs[5].m_integers + at : nullptr);
    at += counts.m_integers[i] > 0 ? counts.m_integers[i] : 0;
  }
  int32_t modified[3] = {0, 0, 0};
  char **names[3] = {nullptr, nullptr, nullptr};
  const int status = zyrModel_modifyRegions(inInt(call, 0), inInt(call, 1), n, call->m_inputs[3].m_strings,
                                            counts.m_integers, lists.empty() ? nullptr : lists.data(),
                                            inString(call, 6), inInt(call, 7), &out(call, 0)->m_string, modified,
                                            names);
  for (int i = 0; i < 3; ++i) {
    out(call, 1 + i)->m_count = modified[i];
    out(call, 1 + i)->m_strings = names[i];
  }
  return status;
}

void echoModifyRegions(SessionCall *call) {
  Session *session = call->m_session;
  const SessionKeyword *row = call->m_keyword;
  const int w = width(call);
  Session_echo(session, "%s\n", row->m_keyword);
  for (int i = 0; i < 3; ++i)
    echoInput(call, row->m_inputs[i], call->m_inputs[i], w);
  const SessionValue &names = call->m_inputs[3];
  const SessionValue &counts = call->m_inputs[4];
  const SessionValue &elements = call->m_inputs[5];
  if (inInt(call, 2) > 0) {
    Session_echo(session, "> %-*s=\n", w, "regions");
    for (int32_t i = 0; i < names.m_count; ++i)
      Session_echo(session, "  [%d] %s\n", i, names.m_strings[i]);
    Session_echo(session, "> %-*s=\n", w, "noOfElements");
    for (int32_t i = 0; i < counts.m_count; ++i)
      Session_echo(session, "  [%d] %d\n", i, counts.m_integers[i]);
    Session_echo(session, "> %-*s=\n", w, "elements");
    int64_t at = 0;
    for (int32_t i = 0; i < counts.m_count; ++i)
      for (int32_t j = 0; j < counts.m_integers[i] && at < elements.m_count; ++j)
        Session_echo(session, "  [%d][%d] %d\n", i, j, elements.m_integers[at++]);
  }
  echoInput(call, row->m_inputs[6], call->m_inputs[6], w);
  echoInput(call, row->m_inputs[7], call->m_inputs[7], w);
  const char *actualName = out(call, 0)->m_string;
  Session_echo(session, "< %-*s= %s\n", w, "actualName", actualName != nullptr ? actualName : "");
  if (inInt(call, 7) > 0) {
    Session_echo(session, "< %-*s=\n", w, "noOfModifiedRegions");
    for (int i = 0; i < 3; ++i)
      Session_echo(session, "  [%d] %d\n", i, out(call, 1 + i)->m_count);
    Session_echo(session, "< %-*s=\n", w, "modifiedRegions");
    for (int i = 0; i < 3; ++i)
      for (int32_t j = 0; j < out(call, 1 + i)->m_count; ++j)
        Session_echo(session, "  [%d][%d] %s\n", i, j, out(call, 1 + i)->m_strings[j]);
  }
  Session_echo(session, "< %-*s= %d\n", w, "return", call->m_status);
}

// Regions.

int callGetBoundedRegion(SessionCall *call) {
  return zyrRegion_getBoundedRegion(inInt(call, 0), inString(call, 1), &out(call, 0)->m_string);
}

int callGetBoundingRegions(SessionCall *call) {
  return zyrRegion_getBoundingRegions(inInt(call, 0), inString(call, 1), &out(call, 0)->m_count,
                                      &out(call, 0)->m_strings);
}

// Element types by code as the region-mesh echo names them, with their vertex counts.
const char *const kElementNames[8] = {"zyrElementNode",        "zyrElementBar",     "zyrElementTriangle",
                                      "zyrElementQuadrilateral", "zyrElementTetrahedron", "zyrElementPyramid",
                                      "zyrElementPrism",         "zyrElementHexahedron"};
const int32_t kElementVertices[8] = {1, 2, 3, 4, 4, 5, 6, 8};

int callGetRegionMesh(SessionCall *call) {
  int32_t vertices = 0;
  double *coordinates = nullptr;
  int32_t elements = 0;
  int32_t *types = nullptr;
  int32_t *connectivity = nullptr;
  const int status = zyrRegion_getMesh(inInt(call, 0), inString(call, 1), inInt(call, 2), inString(call, 3),
                                       &vertices, &coordinates, &elements, &types, &connectivity);
  if (interactive(call)) {
    const int w = width(call);
    std::string text;
    renderCount(text, w, "noOfVertices", vertices);
    if (vertices > 0 && coordinates != nullptr) {
      renderHeader(text, w, "coordinates");
      for (int32_t i = 0; i < vertices; ++i)
        appendf(text, "  [%d] %le %le %le\n", i, coordinates[3 * i], coordinates[3 * i + 1], coordinates[3 * i + 2]);
    }
    renderCount(text, w, "noOfElements", elements);
    if (elements > 0 && types != nullptr) {
      renderHeader(text, w, "elementTypes");
      for (int32_t i = 0; i < elements; ++i) {
        const bool known = types[i] >= 0 && types[i] < 8;
        appendf(text, "  [%d] %d (%s)\n", i, types[i], known ? kElementNames[types[i]] : "unknown");
      }
      renderHeader(text, w, "elementVertices");
      int64_t at = 0;
      for (int32_t i = 0; i < elements && connectivity != nullptr; ++i) {
        // An element of unknown type has no line, and its vertices cannot be told apart.
        if (types[i] < 0 || types[i] >= 8)
          break;
        std::string line = "  [" + std::to_string(i) + "]";
        for (int32_t k = 0; k < kElementVertices[types[i]]; ++k)
          line += " " + std::to_string(connectivity[at++]);
        text += line + "\n";
      }
    }
    keepRendered(call, text);
  }
  zyrMemory_free(coordinates, __func__);
  zyrMemory_free(types, __func__);
  zyrMemory_free(connectivity, __func__);
  return status;
}

int callGetNeighbours(SessionCall *call) {
  return zyrRegion_getNeighbours(inInt(call, 0), inString(call, 1), &out(call, 0)->m_count, &out(call, 0)->m_strings);
}

int callGetRegionPairedRegions(SessionCall *call) {
  return zyrRegion_getPairedRegions(inInt(call, 0), inInt(call, 1), inString(call, 2), &out(call, 0)->m_count,
                                    &out(call, 0)->m_strings);
}

// Selections.

int callAnalyseSelection(SessionCall *call) {
  int32_t entries = 0;
  double *data = nullptr;
  const int status = zyrSelection_analyse(inInt(call, 0), inString(call, 1), &entries, &data);
  if (interactive(call)) {
    const int w = width(call);
    std::string text;
    renderCount(text, w, "noOfEntries", entries);
    if (entries > 0 && data != nullptr) {
      renderHeader(text, w, "data");
      for (int32_t i = 0; i < entries; ++i)
        appendf(text, "  [%d] %e\n", i, data[i]);
    }
    keepRendered(call, text);
  }
  zyrMemory_free(data, __func__);
  return status;
}

int callCopySelection(SessionCall *call) { return zyrSelection_copy(inInt(call, 0), &out(call, 0)->m_integer); }

int callCreateSelection(SessionCall *call) {
  return zyrSelection_create(inInt(call, 0), inString(call, 1), &out(call, 0)->m_integer);
}

int callDestroySelection(SessionCall *call) { return zyrSelection_destroy(inInt(call, 0)); }

int callModifySelection(SessionCall *call) {
  return zyrSelection_modify(inInt(call, 0), inInt(call, 1), inString(call, 2));
}

int callQuerySelection(SessionCall *call) {
  int32_t regions = 0;
  char **names = nullptr;
  int32_t *vertices = nullptr;
  float **coordinates = nullptr;
  int32_t *sets = nullptr;
  int32_t *types = nullptr;
  int32_t *elements = nullptr;
  int32_t **connectivity = nullptr;
  const int status = zyrSelection_query(inInt(call, 0), inInt(call, 1), inString(call, 2), &regions, &names, &vertices,
                                        &coordinates, &sets, &types, &elements, &connectivity);
  int64_t totalSets = 0;
  for (int32_t r = 0; status == 1 && sets != nullptr && r < regions; ++r)
    totalSets += sets[r];
  if (interactive(call) && status == 1) {
    const int w = width(call);
    std::string text;
    renderCount(text, w, "noOfRegions", regions);
    int64_t set = 0;
    for (int32_t r = 0; r < regions; ++r) {
      appendf(text, "< regions[%d]         = %s\n", r, names[r] != nullptr ? names[r] : "<null>");
      appendf(text, "< noOfVertices[%d]    = %d\n", r, vertices[r]);
      appendf(text, "< noOfElementSets[%d] = %d\n", r, sets[r]);
      appendf(text, "< coordinates[%d]     =\n", r);
      for (int32_t v = 0; v < vertices[r] && coordinates != nullptr && coordinates[r] != nullptr; ++v)
        appendf(text, "  [%d] %e %e %e\n", v, static_cast<double>(coordinates[r][3 * v]),
                static_cast<double>(coordinates[r][3 * v + 1]), static_cast<double>(coordinates[r][3 * v + 2]));
    }
    for (int32_t r = 0; r < regions; ++r)
      for (int32_t s = 0; s < sets[r]; ++s, ++set) {
        appendf(text, "< elementType[%d][%d]  = %d\n", r, s, types != nullptr ? types[set] : -1);
        appendf(text, "< noOfElements[%d][%d] = %d\n", r, s, elements[set]);
        text += "< elementVertices[...]       = ...\n";
      }
    keepRendered(call, text);
  }
  zyrCStringArray_free(names, static_cast<uint64_t>(regions > 0 ? regions : 0));
  for (int32_t r = 0; coordinates != nullptr && r < regions; ++r)
    zyrMemory_free(coordinates[r], __func__);
  for (int64_t k = 0; connectivity != nullptr && k < totalSets; ++k)
    zyrMemory_free(connectivity[k], __func__);
  zyrMemory_free(vertices, __func__);
  zyrMemory_free(coordinates, __func__);
  zyrMemory_free(sets, __func__);
  zyrMemory_free(types, __func__);
  zyrMemory_free(elements, __func__);
  zyrMemory_free(connectivity, __func__);
  return status;
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

    // Composite names.
    {"zyrCompositeName_create",
     "Create a composite name.",
     5,
     {IN_INT("hModel"), IN_STRING("name"), IN_INT("combination"),
      IN(SessionInputStringArray, "noOfComponentsA", "componentsA", 1, 0, nullptr, 0),
      IN(SessionInputStringArray, "noOfComponentsB", "componentsB", 1, 0, nullptr, 0)},
     0,
     {},
     callCreateComposite,
     nullptr,
     nullptr},
    {"zyrCompositeName_destroy", "Destroy a composite name.", 2, {IN_INT("hModel"), IN_STRING("name")}, 0, {},
     callDestroyComposite, nullptr, nullptr},
    {"zyrCompositeName_getDefinition",
     "Return the definition of a composite name.",
     2,
     {IN_INT("hModel"), IN_STRING("name")},
     3,
     {OUT_INT("combination"), OUT_LIST("componentsA", "noOfComponentsA"), OUT_LIST("componentsB", "noOfComponentsB")},
     callGetDefinition,
     nullptr,
     nullptr},
    {"zyrCompositeName_getTags", "Return the tags that have been set on a composite name.", 2,
     {IN_INT("hModel"), IN_STRING("name")}, 1, {OUT_STRING("tags")}, callGetTags, nullptr, nullptr},
    {"zyrCompositeName_hasTag", "Query whether a composite name has a given tag.", 3,
     {IN_INT("hModel"), IN_STRING("name"), IN_STRING("tag")}, 1, {OUT_INT("hasTag")}, callHasTag, nullptr, nullptr},
    {"zyrCompositeName_rename",
     "Rename a composite name.",
     4,
     {IN_INT("hModel"), IN_STRING("oldName"), IN_STRING("newName"), IN_INT("addAlias")},
     1,
     {OUT_STRING("actualName")},
     callRenameComposite,
     nullptr,
     nullptr},

    // Locations.
    {"zyrLocation_doesMeshMatch",
     "Check whether the meshes on two locations match.",
     12,
     {IN_INT("hModel"), IN_STRING("location1"), IN_STRING("location2"), IN_INT("type"), IN_REAL("Rotation axis root X"),
      IN_REAL("Rotation axis root Y"), IN_REAL("Rotation axis root Z"), IN_REAL("Rotation axis tip  X"),
      IN_REAL("Rotation axis tip  Y"), IN_REAL("Rotation axis tip  Z"), IN_STRING("units"),
      IN(SessionInputTransformation, "transformation", nullptr, 7, 0, nullptr, 0)},
     1,
     {OUT_INT("doesMeshMatch")},
     callDoesMeshMatch,
     readDoesMeshMatch,
     echoDoesMeshMatch},
    {"zyrLocation_getBoundingBox",
     "Return the bounding box of a location.",
     4,
     {IN_INT("hModel"), IN_STRING("location"), IN_INT("ignoreUnknownNames"), IN_STRING("units")},
     6,
     {OUT_REAL("xlo"), OUT_REAL("xhi"), OUT_REAL("ylo"), OUT_REAL("yhi"), OUT_REAL("zlo"), OUT_REAL("zhi")},
     callGetBoundingBox,
     nullptr,
     nullptr},
    {"zyrLocation_getExtents",
     "Return the physical extents (length, area, volume) of a location.",
     5,
     {IN_INT("hModel"), IN_STRING("location"), IN_INT("ignoreUnknownNames"), IN_STRING("units"),
      IN_INT("dimensionality")},
     1,
     {OUT_REAL("extents")},
     callGetExtents,
     nullptr,
     nullptr},
    {"zyrLocation_getCentroid",
     "Return the centroid of a location.",
     5,
     {IN_INT("hModel"), IN_STRING("location"), IN_INT("ignoreUnknownNames"), IN_STRING("units"), IN_INT("method")},
     3,
     {OUT_REAL("x"), OUT_REAL("y"), OUT_REAL("z")},
     callGetCentroid,
     nullptr,
     nullptr},
    {"zyrLocation_getCompositeNames",
     "Return the composite names which are consistent with a location.",
     4,
     {IN_INT("hModel"), IN_STRING("location"), IN_INT("ignoreUnknownNames"), IN_BYTE("dimensionMask")},
     1,
     {OUT_LIST("compositeNames", "noOfCompositeNames")},
     callGetLocationCompositeNames,
     nullptr,
     nullptr},
    {"zyrLocation_getMeshSize",
     "Return the number of elements and vertices used to discretise a location.",
     4,
     {IN_INT("hModel"), IN_STRING("location"), IN_INT("ignoreUnknownNames"), IN_BYTE("dimensionMask")},
     3,
     {OUT_STRING("noOfVertices"), OUT_INT("noOfElements"), OUT_INT("noOfElementsByType")},
     callGetMeshSize,
     nullptr,
     echoRendered},
    {"zyrLocation_getNoOfRegions",
     "Return the number of primitive regions of selected dimensionalities making up a location.",
     4,
     {IN_INT("hModel"), IN_STRING("location"), IN_INT("ignoreUnknownNames"), IN_BYTE("dimensionMask")},
     1,
     {OUT_INT("noOfRegions")},
     callGetLocationNoOfRegions,
     nullptr,
     nullptr},
    {"zyrLocation_getRegions",
     "Return the names of the primitive regions of selected dimensionalities making up a location.",
     4,
     {IN_INT("hModel"), IN_STRING("location"), IN_INT("ignoreUnknownNames"), IN_BYTE("dimensionMask")},
     1,
     {OUT_LIST("regionNames", "noOfRegions")},
     callGetLocationRegions,
     nullptr,
     nullptr},
    {"zyrLocation_getWireframeDisplay",
     "Return a wireframe representation of a named region that can be displayed in a 3D viewer.",
     5,
     {IN_INT("hModel"), IN_STRING("location"), IN_INT("ignoreUnknownNames"), IN_STRING("units"), IN_REAL("angle")},
     4,
     {OUT_STRING("noOfVertices"), OUT_INT("coordinates"), OUT_INT("noOfEdges"), OUT_INT("endVertices")},
     callGetWireframeDisplay,
     nullptr,
     echoRendered},
    {"zyrLocation_getFacettedDisplay",
     nullptr,
     4,
     {IN_INT("hModel"), IN_STRING("location"), IN_INT("ignoreUnknownNames"), IN_STRING("units")},
     5,
     {OUT_STRING("noOfVertices"), OUT_INT("coordinates"), OUT_INT("noOfTriangles"), OUT_INT("noOfQuadrilaterals"),
      OUT_INT("faceVertices")},
     callGetFacettedDisplay,
     nullptr,
     echoRendered},

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
    {"zyrModel_getAssemblies", "Return the names of assemblies in a ZYR model.", 1, {IN_INT("hModel")}, 1,
     {OUT(SessionOutputStringList, "assemblies", "noOfAssemblies", '<')}, callGetAssemblies, nullptr, nullptr},
    {"zyrModel_getCompositeNames", "Return a list of composite names in the model.", 1, {IN_INT("hModel")}, 1,
     {OUT_LIST("compositeNames", "noOfCompositeNames")}, callGetCompositeNames, nullptr, nullptr},
    {"zyrModel_getTaggedCompositeNames",
     "Return an ordered list of composite names in the model with selected tags.",
     4,
     {IN_INT("hModel"), IN_STRING("vsnTagList"), IN_STRING("untaggedTag"), IN_STRING("otherTag")},
     1,
     {OUT_LIST("compositeNames", "noOfCompositeNames")},
     callGetTaggedCompositeNames,
     nullptr,
     nullptr},
    {"zyrModel_getNoOfAssemblies", "Return the number of assemblies in a ZYR model.", 1, {IN_INT("hModel")}, 1,
     {OUT_INT("noOfAssemblies")}, callGetNoOfAssemblies, nullptr, nullptr},
    {"zyrModel_getNoOfRegions", "Return the number of primitive regions in a ZYR model.", 2,
     {IN_INT("hModel"), IN_BYTE("dimensionMask")}, 1, {OUT_INT("noOfRegions")}, callGetModelNoOfRegions, nullptr,
     nullptr},
    {"zyrModel_getPairedRegions",
     "Return all the paired regions in a model.",
     2,
     {IN_INT("hModel"), IN_INT("type")},
     3,
     {OUT_STRING("noOfPairedRegions"), OUT_LIST("pairedRegionNamesSide1", nullptr),
      OUT_LIST("pairedRegionNamesSide2", nullptr)},
     callGetAllPairedRegions,
     nullptr,
     echoRendered},
    {"zyrModel_getRegions",
     "Return the names of primitive regions of selected dimensionalities in a ZYR model.",
     2,
     {IN_INT("hModel"), IN_BYTE("dimensionMask")},
     1,
     {OUT_LIST("regionNames", "noOfRegions")},
     callGetModelRegions,
     nullptr,
     nullptr},
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
    {"zyrModel_isCompositeName", "Return whether a give name is a composite name.", 2,
     {IN_INT("hModel"), IN_STRING("name")}, 1, {OUT_INT("isCompositeName")}, callIsCompositeName, nullptr, nullptr},
    {"zyrModel_exportRegionMap", "Export the primary region map used by a model.", 1, {IN_INT("hModel")}, 1,
     {OUT_STRING("vsn")}, callExportRegionMap, nullptr, echoRendered},
    {"zyrModel_importRegionMap",
     "Import a primary region map into a model.",
     4,
     {IN_INT("hModel"), IN(SessionInputText, "vsn", nullptr, 0, 0, nullptr, 0), IN_INT("operation"),
      IN_INT("resolution")},
     0,
     {},
     callImportRegionMap,
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
    {"zyrModel_modifyRegions",
     "Modify the underlying topology of a model.",
     8,
     {IN_INT("hModel"), IN_INT("operation"), IN_INT("noOfComponents"),
      IN(SessionInputStringArray, "regions", nullptr, 1, 0, nullptr, 0),
      IN(SessionInputIntegerArray, "noOfElements", nullptr, 0, 0, nullptr, 0),
      IN(SessionInputIntegerArray, "elements", nullptr, 0, 0, nullptr, 0), IN_STRING("targetName"),
      IN_INT("recordChanges")},
     4,
     {OUT_STRING("actualName"), OUT_LIST("modifiedRegions", "noOfModifiedRegions"),
      OUT_LIST("modifiedRegions", "noOfModifiedRegions"), OUT_LIST("modifiedRegions", "noOfModifiedRegions")},
     callModifyRegions,
     readModifyRegions,
     echoModifyRegions},
    {"zyrModel_tagCompositeNames",
     "Add a tag to or remove it from a collection of composite names.",
     4,
     {IN_INT("hModel"), IN_STRING("tag"), IN_INT("operation"),
      IN(SessionInputStringArray, "noOfCompositeNames", "compositeNames", 1, 0, nullptr, 0)},
     0,
     {},
     callTagCompositeNames,
     nullptr,
     nullptr},
    {"zyrModel_writeDefFile", "Write a definition file containing a solver style mesh.", 3,
     {IN_INT("hModel"), IN_STRING("name"), IN_INT("flags")}, 0, {}, callWriteDefFile, nullptr, nullptr},

    // Regions.
    {"zyrRegion_getBoundedRegion", "Return the region a primitive region bounds.", 2,
     {IN_INT("hModel"), IN_STRING("region")}, 1, {OUT_STRING("boundedRegion")}, callGetBoundedRegion, nullptr, nullptr},
    {"zyrRegion_getBoundingRegions", "Return the regions bounding a primitive region.", 2,
     {IN_INT("hModel"), IN_STRING("region")}, 1, {OUT_LIST("boundingRegions", "noOfBoundingRegions")},
     callGetBoundingRegions, nullptr, nullptr},
    {"zyrRegion_getMesh",
     "Retrieve the mesh associated with a primitive region.",
     4,
     {IN_INT("hModel"), IN_STRING("region"), IN_INT("convention"), IN_STRING("units")},
     5,
     {OUT_STRING("noOfVertices"), OUT_INT("coordinates"), OUT_INT("noOfElements"), OUT_INT("elementTypes"),
      OUT_INT("elementVertices")},
     callGetRegionMesh,
     nullptr,
     echoRendered},
    {"zyrRegion_getNeighbours", "Return the neighbours of a primitive region.", 2,
     {IN_INT("hModel"), IN_STRING("region")}, 1, {OUT_LIST("neighbours", "noOfNeighbours")}, callGetNeighbours,
     nullptr, nullptr},
    {"zyrRegion_getPairedRegions",
     "Return the regions that are paired with a primitive region.",
     3,
     {IN_INT("hModel"), IN_INT("type"), IN_STRING("region")},
     1,
     {OUT_LIST("pairedRegions", "noOfPairedRegions")},
     callGetRegionPairedRegions,
     nullptr,
     nullptr},
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

    // Selections.
    {"zyrSelection_analyse",
     "Analyse the current contents of a mesh selection.",
     2,
     {IN_INT("hSelection"), IN_STRING("statistic")},
     2,
     {OUT_STRING("noOfEntries"), OUT_INT("data")},
     callAnalyseSelection,
     nullptr,
     echoRendered},
    {"zyrSelection_copy", "Create a copy of a mesh selection.", 1, {IN_INT("hSelection")}, 1,
     {OUT_INT("hSelection2")}, callCopySelection, nullptr, nullptr},
    {"zyrSelection_create", "Create a mesh selection associated with a model.", 2,
     {IN_INT("hModel"), IN_NULLABLE("operation")}, 1, {OUT_INT("hSelection")}, callCreateSelection, nullptr, nullptr},
    {"zyrSelection_destroy", "Destroy a mesh selection.", 1, {IN_INT("hSelection")}, 0, {}, callDestroySelection,
     nullptr, nullptr},
    {"zyrSelection_modify", "Modify a mesh selection.", 3,
     {IN_INT("hSelection"), IN_INT("combination"), IN_NULLABLE("operation")}, 0, {}, callModifySelection, nullptr,
     nullptr},
    {"zyrSelection_query",
     "Query the current contents of a mesh selection.",
     3,
     {IN_INT("hSelection"), IN_INT("convention"), IN_STRING("units")},
     1,
     {OUT_STRING("noOfRegions")},
     callQuerySelection,
     nullptr,
     echoRendered},

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
