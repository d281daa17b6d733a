#include "zyrError.h"

#include "ErrorDisplay.h"
#include "ErrorLog.h"
#include "zyrAssert.h"
#include "zyrCString.h"
#include "zyrDirectoryHandle.h"
#include "zyrElementVertices.h"
#include "zyrErrorManager.h"
#include "zyrLibrary.h"
#include "zyrMemory.h"
#include "zyrSystem.h"

#include <cstdarg>
#include <cstdlib>

namespace {

const char *const kClassLines[5] = {"Class       = zyrOK\n", "Class       = zyrWarning\n",
                                    "Class       = zyrUserError\n", "Class       = zyrInternalError\n",
                                    "Class       = zyrResourceError\n"};

ErrorLog *logOf(const zyrError *error) {
  return error->m_manager ? zyrErrorManager_getErrorLog(error->m_manager) : nullptr;
}

// The header of an operation's log entry and its identity line; NULL when there is no log.
ErrorLog *beginEntry(const zyrError *error, const char *operation) {
  ErrorLog *log = logOf(error);
  if (log != nullptr) {
    ErrorLog_writeHeader(log, operation);
    ErrorLog_write(log, "Identity    = %d\n", error->m_identity);
  }
  return log;
}

void writeCreationEntry(const zyrError *error) {
  ErrorLog *log = beginEntry(error, "zyrError_new");
  if (log == nullptr)
    return;
  ErrorLog_write(log, "%s", kClassLines[zyrError_getClass(error)]);
  if (error->m_program)
    ErrorLog_write(log, "Program     = %s\n", error->m_program);
  if (error->m_function)
    ErrorLog_write(log, "Function    = %s\n", error->m_function);
  if (error->m_file)
    ErrorLog_write(log, "File        = %s\n", error->m_file);
  if (error->m_line > 0)
    ErrorLog_write(log, "Line number = %d\n", error->m_line);
  ErrorLog_write(log, "Error code  = %d\n", error->m_code);
  ErrorLog_write(log, "Description = %s\n", zyrErrorCode_getDescription(error->m_code));
  ErrorLog_write(log, "Fatal       = %d\n", error->m_fatal);
  if (error->m_context)
    ErrorLog_write(log, "Context     = %s\n", error->m_context);
  if (error->m_date)
    ErrorLog_write(log, "Date        = %s\n", error->m_date);
  if (error->m_time)
    ErrorLog_write(log, "Time        = %s\n", error->m_time);
}

void freePairs(CadPair *pair) {
  while (pair != nullptr) {
    CadPair *next = pair->m_next;
    zyrMemory_free(pair, "zyrError_delete");
    pair = next;
  }
}

// Appends a formatted piece to the message; the log shows the whole message so far, as a step
// of zyrError_addMessage however it was asked for.
// A file reached through a held directory is named as the caller gave it (zyrDirectoryHandle.h).
void appendMessage(zyrError *error, const char *format, va_list arguments) {
  char *built = zyrCString_vbuild(format, arguments);
  char *piece = zyrCString_clone(zyrDirectoryHandle_shown(built).c_str());
  zyrCString_free(built);
  if (error->m_message == nullptr) {
    error->m_message = piece;
  } else {
    error->m_message = zyrCString_cat(error->m_message, piece, static_cast<const char *>(nullptr));
    zyrCString_free(piece);
  }
  if (ErrorLog *log = beginEntry(error, "zyrError_addMessage"))
    ErrorLog_write(log, "Message     = \\\n%s", error->m_message);
}

int g_inFailedAssertion = 0;

} // namespace

zyrError *zyrError_new(int32_t code, const char *function, const char *file, int32_t line) {
  zyrError *error = zyrMemory_allocateZeroedArray<zyrError>(1, __func__);
  error->m_program = zyrLibrary_getProgramName();
  error->m_function = zyrCString_clone(function);
  error->m_file = zyrCString_clone(file);
  error->m_line = line;
  error->m_date = zyrGetDateString();
  error->m_time = zyrGetTimeString();
  zyrError_setCode(error, code);
  error->m_manager = zyrErrorManager_get();
  zyrErrorManager_addError(error->m_manager, error, &error->m_identity);
  if (zyrError_getClass(error) == zyrInternalError)
    error->m_fatal = 1;
  writeCreationEntry(error);
  return error;
}

void zyrError_delete(zyrError *error) {
  if (error == nullptr)
    return;
  beginEntry(error, __func__);
  if (error->m_manager != nullptr)
    zyrErrorManager_removeError(error->m_manager, error);
  zyrCString_free(error->m_message);
  zyrCString_free(error->m_program);
  zyrCString_free(error->m_function);
  zyrCString_free(error->m_context);
  zyrCString_free(error->m_file);
  zyrCString_free(error->m_description);
  zyrCString_free(error->m_date);
  zyrCString_free(error->m_time);
  for (CadPair *&list : error->m_regions)
    freePairs(list);
  for (Element *element = error->m_elements; element != nullptr;) {
    Element *next = element->m_next;
    zyrMemory_free(element, __func__);
    element = next;
  }
  zyrMemory_free(error, __func__);
}

void zyrError_addMessage(zyrError *error, const char *format, ...) {
  if (error == nullptr || format == nullptr)
    return;
  va_list arguments;
  va_start(arguments, format);
  appendMessage(error, format, arguments);
  va_end(arguments);
}

void zyrError_addDescription(zyrError *error, const char *description) {
  if (error == nullptr || description == nullptr)
    return;
  zyrCString_reassign(&error->m_description, zyrDirectoryHandle_shown(description).c_str());
  if (ErrorLog *log = beginEntry(error, __func__))
    ErrorLog_write(log, "Description = %s\n", error->m_description);
}

void zyrError_setFunction(zyrError *error, const char *function) {
  if (error == nullptr || function == nullptr)
    return;
  zyrCString_reassign(&error->m_function, function);
  if (ErrorLog *log = beginEntry(error, __func__))
    ErrorLog_write(log, "Function    = %s\n", error->m_function);
}

void zyrError_setProgram(zyrError *error, const char *program) {
  if (error == nullptr || program == nullptr)
    return;
  zyrCString_reassign(&error->m_program, program);
  if (ErrorLog *log = beginEntry(error, __func__))
    ErrorLog_write(log, "Program     = %s\n", error->m_program);
}

void zyrError_setContext(zyrError *error, const char *context) {
  if (error == nullptr || context == nullptr)
    return;
  zyrCString_reassign(&error->m_context, context);
  if (ErrorLog *log = beginEntry(error, __func__))
    ErrorLog_write(log, "Context     = %s\n", error->m_context);
}

void zyrError_setCode(zyrError *error, int32_t code) {
  if (error == nullptr)
    return;
  error->m_code = zyrErrorCode_isKnown(code) ? code : static_cast<int32_t>(ZYR_I_UNRECOGNISED_ERROR_CODE);
}

void zyrError_addRegion(zyrError *error, int32_t dimensionality, int32_t body, int32_t object) {
  if (error == nullptr || dimensionality < 0 || dimensionality > 3)
    return;
  CadPair *pair = zyrMemory_allocateZeroedArray<CadPair>(1, __func__);
  pair->m_body = body;
  pair->m_object = object;
  pair->m_next = error->m_regions[dimensionality];
  error->m_regions[dimensionality] = pair;
  ErrorLog *log = logOf(error);
  if (log != nullptr) {
    ErrorLog_writeHeader(log, __func__);
    ErrorLog_write(log, "Identity       = %d\n", error->m_identity);
    ErrorLog_write(log, "Dimensionality = %d\n", dimensionality);
    ErrorLog_write(log, "Region         = (%d, %d)\n", body, object);
  }
}

void zyrError_addElement(zyrError *error, const double *x, const double *y, const double *z, int32_t elementType,
                         int32_t identifier) {
  if (error == nullptr)
    return;
  Element *element = zyrMemory_allocateZeroedArray<Element>(1, __func__);
  element->m_type = elementType;
  element->m_identifier = identifier;
  // An element type outside the table carries no vertices rather than an unknown number.
  const int32_t vertices = x && y && z ? ElementTopology_getNoOfVertices(elementType) : 0;
  for (int32_t i = 0; i < vertices; ++i) {
    element->m_x[i] = x[i];
    element->m_y[i] = y[i];
    element->m_z[i] = z[i];
  }
  if (error->m_lastElement != nullptr)
    error->m_lastElement->m_next = element;
  else
    error->m_elements = element;
  error->m_lastElement = element;
  if (ErrorLog *log = beginEntry(error, __func__)) {
    ErrorLog_write(log, "Type        = %d\n", elementType);
    // One line per vertex of the element.
    for (int32_t i = 0; i < vertices; ++i)
      ErrorLog_write(log, "Coordinates = (%le, %le, %le)\n", element->m_x[i], element->m_y[i], element->m_z[i]);
  }
}

void zyrError_markFatal(zyrError *error) {
  if (error == nullptr)
    return;
  error->m_fatal = 1;
  ErrorLog *log = logOf(error);
  if (log != nullptr) {
    ErrorLog_writeHeader(log, __func__);
    ErrorLog_write(log, "Identity = %d\n", error->m_identity);
    ErrorLog_write(log, "Fatal    = %d\n", error->m_fatal);
  }
}

void zyrError_publish(zyrError *error) {
  if (error == nullptr)
    return;
  zyrErrorManager *manager = error->m_manager ? error->m_manager : zyrErrorManager_get();
  int displayed = 0;
  zyrErrorManager_displayError(manager, error, 0, &displayed);
  if (displayed)
    error->m_displayed = 1;
  if (ErrorLog *log = beginEntry(error, __func__))
    ErrorLog_write(log, "Displayed   = %d\n", displayed);
  // The handler may consume (delete) the record.
  zyrErrorManager_handleError(manager, error);
}

void zyrError_raise(int32_t code, const char *function, const char *file, int32_t line, const char *format, ...) {
  zyrError *error = zyrError_new(code, function, file, line);
  va_list arguments;
  va_start(arguments, format);
  appendMessage(error, format, arguments);
  va_end(arguments);
  zyrError_publish(error);
}

void zyrError_display(zyrError *error) {
  if (error == nullptr)
    return;
  zyrErrorManager *manager = error->m_manager ? error->m_manager : zyrErrorManager_get();
  int displayed = 0;
  zyrErrorManager_displayError(manager, error, 1, &displayed);
  error->m_displayed = 1;
  if (ErrorLog *log = beginEntry(error, __func__))
    ErrorLog_write(log, "Displayed   = %d\n", displayed);
}

void zyrError_die(zyrError *error) {
  if (error != nullptr) {
    if (!error->m_displayed)
      zyrError_display(error);
    beginEntry(error, __func__);
  }
  std::exit(1);
}

void assert_flagError(const char *function, const char *file, int line, const char *expression) {
  if (g_inFailedAssertion) {
    // A check failed while a failed check was being reported: say what we can and stop.
    std::fprintf(stderr, "\nAssertion:   %s\nFunction:    %s\nFile:        %s\nLine number: %d\n\n",
                 expression ? expression : "", function ? function : "", file ? file : "", line);
    std::fflush(stderr);
    std::_Exit(1);
  }
  g_inFailedAssertion = 1;
  zyrError *error = zyrError_new(ZYR_I_FAILED_ASSERTION, function, file, line);
  char *description = zyrCString_merge("Assertion failed: ", expression ? expression : "",
                                       static_cast<const char *>(nullptr));
  zyrError_addDescription(error, description);
  zyrCString_free(description);
  zyrError_addMessage(error, "\nAssertion:   %s\nFunction:    %s\nFile:        %s\nLine number: %d\n\n",
                      expression ? expression : "", function ? function : "", file ? file : "", line);
  // Registers itself with the manager, so the record reaches the standard error stream even
  // when nothing else is listening.
  ErrorDisplay_newStream(ErrorDisplayAssertion, stderr);
  zyrError_die(error);
}

int32_t zyrError_getCode(const zyrError *error) { return error ? error->m_code : 0; }

const char *zyrError_getDescription(const zyrError *error) {
  if (error == nullptr)
    return nullptr;
  return error->m_description ? error->m_description : zyrErrorCode_getDescription(error->m_code);
}

const char *zyrError_getFunction(const zyrError *error) { return error ? error->m_function : nullptr; }
const char *zyrError_getProgram(const zyrError *error) { return error ? error->m_program : nullptr; }
const char *zyrError_getFile(const zyrError *error) { return error ? error->m_file : nullptr; }
int32_t zyrError_getLine(const zyrError *error) { return error ? error->m_line : 0; }
const char *zyrError_getMessage(const zyrError *error) { return error ? error->m_message : nullptr; }
const char *zyrError_getContext(const zyrError *error) { return error ? error->m_context : nullptr; }
const char *zyrError_getDate(const zyrError *error) { return error ? error->m_date : nullptr; }
const char *zyrError_getTime(const zyrError *error) { return error ? error->m_time : nullptr; }
int32_t zyrError_getIdentity(const zyrError *error) { return error ? error->m_identity : -1; }
int zyrError_isFatal(const zyrError *error) { return error ? error->m_fatal : 0; }
int zyrError_isDisplayed(const zyrError *error) { return error ? error->m_displayed : 0; }

zyrErrorClass zyrError_getClass(const zyrError *error) {
  return zyrErrorCode_getClass(error ? error->m_code : 0);
}

int zyrError_isWarning(const zyrError *error) { return zyrError_getClass(error) == zyrWarning ? 1 : 0; }

int zyrError_isError(const zyrError *error) { return zyrError_getClass(error) >= zyrUserError ? 1 : 0; }

zyrError *zyrError_getLast() { return zyrErrorManager_getLastError(zyrErrorManager_get()); }

int32_t zyrError_getRegions(const zyrError *error, int32_t dimensionality, int32_t **pairs) {
  if (error == nullptr || dimensionality < 0 || dimensionality > 3 || pairs == nullptr)
    return 0;
  int32_t count = 0;
  for (const CadPair *pair = error->m_regions[dimensionality]; pair != nullptr; pair = pair->m_next)
    ++count;
  *pairs = nullptr;
  if (count == 0)
    return 0;
  int32_t *out = zyrMemory_allocateArray<int32_t>(2 * static_cast<int64_t>(count), __func__);
  // The list is newest first; fill from the back to give the order of addition.
  int32_t at = count;
  for (const CadPair *pair = error->m_regions[dimensionality]; pair != nullptr; pair = pair->m_next) {
    --at;
    out[2 * at] = pair->m_body;
    out[2 * at + 1] = pair->m_object;
  }
  *pairs = out;
  return count;
}

int32_t zyrError_getElements(const zyrError *error, double **x, double **y, double **z, int32_t **types,
                             int32_t **identifiers) {
  int32_t count = 0;
  if (error != nullptr)
    for (const Element *element = error->m_elements; element != nullptr; element = element->m_next)
      ++count;
  if (x)
    *x = nullptr;
  if (y)
    *y = nullptr;
  if (z)
    *z = nullptr;
  if (types)
    *types = nullptr;
  if (identifiers)
    *identifiers = nullptr;
  if (count == 0 || !x || !y || !z || !types || !identifiers)
    return count;
  const int64_t room = static_cast<int64_t>(count) * ZYR_MAX_ELEMENT_VERTICES;
  *x = zyrMemory_allocateZeroedArray<double>(room, __func__);
  *y = zyrMemory_allocateZeroedArray<double>(room, __func__);
  *z = zyrMemory_allocateZeroedArray<double>(room, __func__);
  *types = zyrMemory_allocateArray<int32_t>(count, __func__);
  *identifiers = zyrMemory_allocateArray<int32_t>(count, __func__);
  int64_t vertex = 0;
  int32_t index = 0;
  for (const Element *element = error->m_elements; element != nullptr; element = element->m_next, ++index) {
    (*types)[index] = element->m_type;
    (*identifiers)[index] = element->m_identifier;
    const int32_t vertices = ElementTopology_getNoOfVertices(element->m_type);
    for (int32_t i = 0; i < vertices; ++i, ++vertex) {
      (*x)[vertex] = element->m_x[i];
      (*y)[vertex] = element->m_y[i];
      (*z)[vertex] = element->m_z[i];
    }
  }
  return count;
}

void zyrError_print(const zyrError *error, FILE *stream) {
  static const char kRule[] = " ========================================================\n";
  std::fputs("\n\n", stream);
  std::fputs(kRule, stream);
  std::fputs(" ZYR error:\n", stream);
  std::fputs(kRule, stream);
  const char *text = error ? zyrErrorCode_getDescription(error->m_code) : nullptr;
  if (text != nullptr)
    std::fprintf(stream, "%s\n", text);
  std::fputs(kRule, stream);
  std::fputs("\n\n", stream);
}
