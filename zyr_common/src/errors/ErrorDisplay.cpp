#include "ErrorDisplay.h"

#include "Conduit.h"

#include "zyrAssert.h"
#include "zyrCString.h"
#include "zyrElementVertices.h"
#include "zyrError.h"
#include "zyrErrorManager.h"
#include "zyrLibrary.h"
#include "zyrMemory.h"
#include "zyrSystem.h"

#include <string>
#include <vector>

namespace {

int writeToConduit(Conduit *conduit, const char *format, va_list arguments) {
  return Conduit_vprintf(conduit, format, arguments) > 0 ? 1 : 0;
}

ErrorDisplayConduitWriter g_conduitWriter = writeToConduit;

const char kDashes80[] = "--------------------------------------------------------------------------------";
const char kEquals72[] = "========================================================================";

// The pairs of one dimensionality in the order they were added (the record keeps newest first).
std::vector<const CadPair *> pairsInOrder(const zyrError *error, int dimensionality) {
  std::vector<const CadPair *> pairs;
  for (const CadPair *pair = error->m_regions[dimensionality]; pair != nullptr; pair = pair->m_next)
    pairs.push_back(pair);
  return std::vector<const CadPair *>(pairs.rbegin(), pairs.rend());
}

// Markup characters in XML text and attribute values become entity references.
std::string escapeXML(const char *text) {
  std::string out;
  for (const char *p = text; p && *p; ++p) {
    switch (*p) {
    case '&':
      out += "&amp;";
      break;
    case '<':
      out += "&lt;";
      break;
    case '>':
      out += "&gt;";
      break;
    case '"':
      out += "&quot;";
      break;
    case '\'':
      out += "&apos;";
      break;
    default:
      out += *p;
    }
  }
  return out;
}

// A CDATA section cannot hold "]]>": end the section between its brackets and open another.
std::string escapeCDATA(const char *text) {
  std::string out(text ? text : "");
  const std::string end = "]]>";
  const std::string split = "]]]]><![CDATA[>";
  for (size_t at = out.find(end); at != std::string::npos; at = out.find(end, at + split.size()))
    out.replace(at, end.size(), split);
  return out;
}

const char *orUnknown(const char *text) { return text ? text : "UNKNOWN"; }

void writeAssertion(ErrorDisplay *display, const zyrError *error) {
  ErrorDisplay_printf(display, "%s\n*************************** Assertion failure **************************\n%s\n",
                      kEquals72, kEquals72);
  ErrorDisplay_printf(display, "\n%s\n", error->m_message ? error->m_message : "");
  ErrorDisplay_printf(display, "Build number: %s\n", zyrGetBuildInfo(zyrBuildStamp));
  ErrorDisplay_printf(display, "%s\n", kEquals72);
  ErrorDisplay_flush(display);
}

void writeBuild(ErrorDisplay *display, const zyrError *error) {
  const int marked = display->m_format == ErrorDisplayBuildMarked;
  const zyrErrorClass errorClass = zyrError_getClass(error);
  const int warning = errorClass == zyrOK || errorClass == zyrWarning;
  if (marked)
    ErrorDisplay_printf(display, warning ? "WARNG_ERROR_START\n" : "FATAL_ERROR_START\n");
  else
    ErrorDisplay_printf(display, "\n");

  switch (errorClass) {
  case zyrOK:
    // A record of class OK can be published too; it is shown as information.
    ErrorDisplay_printf(display, "  Information:\n  ------------\n");
    break;
  case zyrWarning:
    ErrorDisplay_printf(display, "  Warning:\n  --------\n");
    break;
  case zyrUserError:
    ErrorDisplay_printf(display, "  Error:\n  ------\n");
    break;
  case zyrInternalError:
  case zyrResourceError:
    ErrorDisplay_printf(display, "  Internal Error:\n  ---------------\n"
                                 "  Please contact the support team with the following information:\n\n"
                                 "  (Details on how to contact the support team can be found in the User\n"
                                 "  Documentation)\n\n"
                                 "  Information for the support team:\n"
                                 "  ---------------------------------\n");
    break;
  default:
    zyrAssert(!"Not a valid error class.");
  }

  ErrorDisplay_printf(display, "\n");
  ErrorDisplay_printf(display, "  Program:     %s\n", orUnknown(error->m_program));
  ErrorDisplay_printf(display, "  Subroutine:  %s\n", orUnknown(error->m_function));
  ErrorDisplay_printf(display, "\n");
  ErrorDisplay_printf(display, "  Problem: %s\n\n", zyrError_getDescription(error));
  if (error->m_context)
    ErrorDisplay_printf(display, "  Context:\n%s\n\n", error->m_context);
  if (error->m_message)
    ErrorDisplay_printf(display, "%s\n", error->m_message);

  static const char *const kTags[3] = {"CAD_VRTX_DATA\n", "CAD_EDGE_DATA\n", "CAD_FACE_DATA\n"};
  static const char *const kLines[3] = {"  CAD domain ID: %d CAD vrtx  ID: %d\n", "  CAD domain ID: %d CAD edge  ID: %d\n",
                                        "  CAD domain ID: %d CAD face  ID: %d\n"};
  for (int dimensionality = 0; dimensionality < 3; ++dimensionality) {
    for (const CadPair *pair : pairsInOrder(error, dimensionality)) {
      if (marked)
        ErrorDisplay_printf(display, "%s", kTags[dimensionality]);
      ErrorDisplay_printf(display, kLines[dimensionality], pair->m_body, pair->m_object);
      if (marked)
        ErrorDisplay_printf(display, "%s", kTags[dimensionality]);
    }
  }

  if (marked)
    ErrorDisplay_printf(display, warning ? "WARNG_ERROR_END\n" : "FATAL_ERROR_END\n");
  else
    ErrorDisplay_printf(display, "\n");
  ErrorDisplay_flush(display);
}

void writeRaw(ErrorDisplay *display, const zyrError *error) {
  const char *heading = nullptr;
  switch (zyrError_getClass(error)) {
  case zyrOK:
    heading = "Information";
    break;
  case zyrWarning:
    heading = "Warning";
    break;
  case zyrUserError:
    heading = "Error";
    break;
  case zyrInternalError:
  case zyrResourceError:
    heading = "Internal Error";
    break;
  default:
    zyrAssert(!"Not a valid error class.");
  }
  ErrorDisplay_printf(display, "\n%s\n%s: %s\n%s\n", kDashes80, heading, zyrError_getDescription(error), kDashes80);
  ErrorDisplay_printf(display, "Program:     %s\n", orUnknown(error->m_program));
  ErrorDisplay_printf(display, "Subroutine:  %s\n", orUnknown(error->m_function));
  if (error->m_date && error->m_time)
    ErrorDisplay_printf(display, "Time:        %s %s\n", error->m_date, error->m_time);
  ErrorDisplay_printf(display, "Version:     %s [%s]\n", zyrGetBuildInfo(zyrBuildRelease), zyrGetBuildInfo(zyrBuildStamp));
  char *host = zyrGetHostName();
  if (host)
    ErrorDisplay_printf(display, "Host:        %s\n", host);
  zyrCString_free(host);
  char *directory = zyrGetCurrentDirectory();
  if (directory)
    ErrorDisplay_printf(display, "Directory:   %s\n", directory);
  zyrCString_free(directory);
  ErrorDisplay_printf(display, "%s\n\n", kDashes80);

  if (error->m_context) {
    ErrorDisplay_printf(display, "Context:\n\n%s\n", error->m_context);
    ErrorDisplay_printf(display, "%s\n\n", kDashes80);
  }
  if (error->m_message)
    ErrorDisplay_printf(display, "%s\n", error->m_message);

  for (int dimensionality = 0; dimensionality < 4; ++dimensionality) {
    std::vector<const CadPair *> pairs = pairsInOrder(error, dimensionality);
    if (pairs.empty())
      continue;
    ErrorDisplay_printf(display, "Associated %dD regions:\n\n", dimensionality);
    for (const CadPair *pair : pairs) {
      switch (dimensionality) {
      case 3:
        ErrorDisplay_printf(display, "  B%d\n", pair->m_object);
        break;
      case 2:
        ErrorDisplay_printf(display, "  F%d.%d\n", pair->m_object, pair->m_body);
        break;
      case 1:
        ErrorDisplay_printf(display, "  E%d.%d\n", pair->m_object, pair->m_body);
        break;
      default:
        ErrorDisplay_printf(display, "  V%d.%d\n", pair->m_object, pair->m_body);
      }
    }
    ErrorDisplay_printf(display, "\n");
  }
  ErrorDisplay_printf(display, "%s\n\n", kDashes80);
  ErrorDisplay_flush(display);
}

const char *elementName(int32_t type) {
  static const char *const kNames[8] = {"VERTEX",      "EDGE",    "TRIANGLE", "QUADRILATERAL",
                                        "TETRAHEDRON", "PYRAMID", "PRISM",    "HEXAHEDRON"};
  return type >= 0 && type < 8 ? kNames[type] : "UNKNOWN";
}

void writeXML(ErrorDisplay *display, const zyrError *error) {
  const char *type = "Information";
  switch (zyrError_getClass(error)) {
  case zyrOK:
    type = "Information";
    break;
  case zyrWarning:
    type = "Warning";
    break;
  case zyrUserError:
    type = "Error";
    break;
  case zyrInternalError:
  case zyrResourceError:
    type = "InternalError";
    break;
  }
  ErrorDisplay_printf(display, "<ZYRERROR type=\"%s\" id=\"%d\">\n", type, error->m_identity);
  ErrorDisplay_printf(display, "<DESCRIPTION>\n");
  ErrorDisplay_printf(display, "%s\n", escapeXML(zyrError_getDescription(error)).c_str());
  ErrorDisplay_printf(display, "</DESCRIPTION>\n");
  ErrorDisplay_printf(display, "<ERROR_CODE>%s</ERROR_CODE>\n", escapeXML(zyrErrorCode_getName(error->m_code)).c_str());
  if (error->m_date)
    ErrorDisplay_printf(display, "<DATE>%s</DATE>\n", escapeXML(error->m_date).c_str());
  if (error->m_time)
    ErrorDisplay_printf(display, "<TIME>%s</TIME>\n", escapeXML(error->m_time).c_str());
  if (error->m_message) {
    char *trimmed = zyrCString_trim(error->m_message, 3);
    ErrorDisplay_printf(display, "<MESSAGE><![CDATA[\n");
    ErrorDisplay_printf(display, "%s\n", escapeCDATA(trimmed).c_str());
    ErrorDisplay_printf(display, "]]></MESSAGE>\n");
    zyrCString_free(trimmed);
  }

  int locationOpen = 0;
  int topologyOpen = 0;
  for (int dimensionality = 0; dimensionality < 4; ++dimensionality) {
    for (const CadPair *pair : pairsInOrder(error, dimensionality)) {
      if (!topologyOpen) {
        ErrorDisplay_printf(display, "<LOCATION>\n");
        ErrorDisplay_printf(display, "<TOPOLOGY>\n");
        locationOpen = topologyOpen = 1;
      }
      ErrorDisplay_printf(display, "<REGION dimensionality=\"%d\" body=\"%d\" object=\"%d\"/>\n", dimensionality,
                          pair->m_body, pair->m_object);
    }
  }
  if (topologyOpen)
    ErrorDisplay_printf(display, "</TOPOLOGY>\n");

  if (error->m_elements != nullptr) {
    if (!locationOpen) {
      ErrorDisplay_printf(display, "<LOCATION>\n");
      locationOpen = 1;
    }
    ErrorDisplay_printf(display, "<MESH>\n");
    for (const Element *element = error->m_elements; element != nullptr; element = element->m_next) {
      const char *name = elementName(element->m_type);
      ErrorDisplay_printf(display, "<%s>\n", name);
      int32_t vertices = ElementTopology_getNoOfVertices(element->m_type);
      for (int32_t i = 0; i < vertices; ++i)
        ErrorDisplay_printf(display, "<POINT>%le %le %le</POINT>\n", element->m_x[i], element->m_y[i],
                            element->m_z[i]);
      ErrorDisplay_printf(display, "</%s>\n", name);
    }
    ErrorDisplay_printf(display, "</MESH>\n");
  }
  if (locationOpen)
    ErrorDisplay_printf(display, "</LOCATION>\n");

  if (error->m_program || error->m_function || error->m_file || error->m_line > 0) {
    ErrorDisplay_printf(display, "<SOURCE>\n");
    if (error->m_program)
      ErrorDisplay_printf(display, "<PROGRAM>\n%s\n</PROGRAM>\n", escapeXML(error->m_program).c_str());
    if (error->m_function)
      ErrorDisplay_printf(display, "<FUNCTION>\n%s\n</FUNCTION>\n", escapeXML(error->m_function).c_str());
    if (error->m_file)
      ErrorDisplay_printf(display, "<FILE>\n%s\n</FILE>\n", escapeXML(error->m_file).c_str());
    if (error->m_line > 0)
      ErrorDisplay_printf(display, "<LINE_NUMBER>\n%d\n</LINE_NUMBER>\n", error->m_line);
    ErrorDisplay_printf(display, "</SOURCE>\n");
  }
  ErrorDisplay_printf(display, "</ZYRERROR>\n");
  ErrorDisplay_flush(display);
}

ErrorDisplay *withTarget(ErrorDisplay *display, int32_t destination) {
  if (display != nullptr)
    display->m_destination = destination;
  return display;
}

} // namespace

ErrorDisplayConduitWriter ErrorDisplay_setConduitWriter(ErrorDisplayConduitWriter writer) {
  ErrorDisplayConduitWriter previous = g_conduitWriter;
  g_conduitWriter = writer;
  return previous;
}

ErrorDisplay *ErrorDisplay_new(int32_t format) {
  if (format < ErrorDisplayAssertion || format > ErrorDisplayVSN)
    return nullptr;
  ErrorDisplay *display = zyrMemory_allocateZeroedArray<ErrorDisplay>(1, __func__);
  display->m_format = format;
  display->m_destination = ErrorDisplayToStream;
  display->m_errorManager = zyrErrorManager_get();
  zyrErrorManager_registerDisplay(display->m_errorManager, display, &display->m_id);
  return display;
}

ErrorDisplay *ErrorDisplay_newStream(int32_t format, FILE *stream) {
  ErrorDisplay *display = withTarget(ErrorDisplay_new(format), ErrorDisplayToStream);
  if (display != nullptr)
    display->m_output = stream;
  return display;
}

ErrorDisplay *ErrorDisplay_newConduit(int32_t format, Conduit *conduit) {
  ErrorDisplay *display = withTarget(ErrorDisplay_new(format), ErrorDisplayToConduit);
  if (display != nullptr)
    display->m_conduit = conduit;
  return display;
}

ErrorDisplay *ErrorDisplay_newCallback(int32_t format, ErrorDisplayCallback callback) {
  ErrorDisplay *display = withTarget(ErrorDisplay_new(format), ErrorDisplayToCallback);
  if (display != nullptr)
    display->m_function = callback;
  return display;
}

void ErrorDisplay_delete(ErrorDisplay *display) {
  if (display == nullptr)
    return;
  if (display->m_errorManager != nullptr)
    zyrErrorManager_unregisterDisplay(display->m_errorManager, display);
  if (display->m_output != nullptr && display->m_output != stdout && display->m_output != stderr)
    std::fclose(display->m_output);
  zyrCString_free(display->m_buffer);
  zyrMemory_free(display, __func__);
}

void ErrorDisplay_display(ErrorDisplay *display, const zyrError *error) {
  if (display == nullptr || error == nullptr)
    return;
  switch (display->m_format) {
  case ErrorDisplayAssertion:
    writeAssertion(display, error);
    break;
  case ErrorDisplayBuild:
  case ErrorDisplayBuildMarked:
    writeBuild(display, error);
    break;
  case ErrorDisplayRaw:
    writeRaw(display, error);
    break;
  case ErrorDisplayXML:
    writeXML(display, error);
    break;
  default:
    ErrorDisplay_printf(display, "VSN error display is not implemented yet.\n");
    ErrorDisplay_flush(display);
  }
}

void ErrorDisplay_printf(ErrorDisplay *display, const char *format, ...) {
  if (display == nullptr)
    return;
  va_list arguments;
  va_start(arguments, format);
  switch (display->m_destination) {
  case ErrorDisplayToStream:
    if (display->m_output != nullptr) {
      std::vfprintf(display->m_output, format, arguments);
      std::fflush(display->m_output);
    }
    break;
  case ErrorDisplayToConduit:
    if (display->m_conduit != nullptr && g_conduitWriter != nullptr)
      g_conduitWriter(display->m_conduit, format, arguments);
    break;
  case ErrorDisplayToCallback: {
    char *text = zyrCString_vbuild(format, arguments);
    display->m_buffer = zyrCString_cat(display->m_buffer, text, static_cast<const char *>(nullptr));
    zyrCString_free(text);
    break;
  }
  default:
    break;
  }
  va_end(arguments);
}

void ErrorDisplay_flush(ErrorDisplay *display) {
  if (display == nullptr)
    return;
  switch (display->m_destination) {
  case ErrorDisplayToStream:
    if (display->m_output != nullptr)
      std::fflush(display->m_output);
    break;
  case ErrorDisplayToCallback: {
    // Take the text off the display first: the callback may display further records.
    char *text = display->m_buffer;
    display->m_buffer = nullptr;
    if (display->m_function != nullptr)
      display->m_function(text);
    zyrCString_free(text);
    break;
  }
  default:
    break;
  }
}

int32_t ErrorDisplay_getId(const ErrorDisplay *display) { return display ? display->m_id : -1; }

void ErrorDisplay_print(const ErrorDisplay *display, FILE *stream) {
  std::fprintf(stream, "========================================================\n");
  std::fprintf(stream, " ErrorDisplay (%p):\n", static_cast<const void *>(display));
  std::fprintf(stream, "========================================================\n");
  if (display != nullptr) {
    std::fprintf(stream, "m_errorManager = %p\n", static_cast<const void *>(display->m_errorManager));
    std::fprintf(stream, "m_format       = %d\n", display->m_format);
    std::fprintf(stream, "m_destination  = %d\n", display->m_destination);
    std::fprintf(stream, "m_id           = %d\n", display->m_id);
    std::fprintf(stream, "m_output       = %p\n", static_cast<const void *>(display->m_output));
    std::fprintf(stream, "m_buffer       = \n%s\n", display->m_buffer ? display->m_buffer : "");
    std::fprintf(stream, "m_function     = %p\n", reinterpret_cast<const void *>(display->m_function));
  }
  std::fprintf(stream, "========================================================\n");
}
