#include "zyrDSDBQuery.h"

#include "Command.h"
#include "Conduit.h"
#include "Environment.h"
#include "Process.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrMemory.h"
#include "zyrTrace.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

const char *const errorBegin = "<ERROR_BEG>";
const char *const errorEnd = "<ERROR_END>";
const char *const warningBegin = "<WARNING_BEG>";
const char *const warningEnd = "<WARNING_END>";
const char *const modelsBegin = "<MODELS_BEG>";
const char *const modelsEnd = "<MODELS_END>";

// Only the tag's own length is compared: "<ERROR_BEG>extra" opens a block, " <ERROR_BEG>" does not.
int beginsWith(const char *line, const char *tag) { return std::strncmp(line, tag, std::strlen(tag)) == 0; }

// An integer as "%d" reads one: white space, an optional sign, at least one digit; what follows
// is not looked at. A value beyond 32 bits fails rather than being left undefined.
int readInteger(const char *text, int32_t *value) {
  const char *c = text;
  while (std::isspace(static_cast<unsigned char>(*c)))
    ++c;
  const bool negative = *c == '-';
  if (*c == '+' || *c == '-')
    ++c;
  if (!std::isdigit(static_cast<unsigned char>(*c)))
    return 0;
  int64_t magnitude = 0;
  for (; std::isdigit(static_cast<unsigned char>(*c)); ++c) {
    magnitude = magnitude * 10 + (*c - '0');
    if (magnitude > static_cast<int64_t>(INT32_MAX) + 1)
      return 0;
  }
  const int64_t signedValue = negative ? -magnitude : magnitude;
  if (signedValue > INT32_MAX)
    return 0;
  *value = static_cast<int32_t>(signedValue);
  return 1;
}

// The models read so far. The arrays grow with the groups that arrive, never beyond the count
// line's number, so that a count the reader does not back with lines costs nothing.
struct ModelListing {
  int32_t m_count;
  int32_t m_capacity;
  int32_t *m_firstIntegers;
  int32_t *m_secondIntegers;
  char **m_firstTexts;
  char **m_secondTexts;
};

void ModelListing_reserve(ModelListing *listing, int32_t index) {
  if (index < listing->m_capacity)
    return;
  int64_t capacity = std::max<int64_t>(16, 2 * static_cast<int64_t>(listing->m_capacity));
  capacity = std::min<int64_t>(capacity, listing->m_count);
  listing->m_firstIntegers = zyrMemory_reallocateArray(listing->m_firstIntegers, capacity, __func__);
  listing->m_secondIntegers = zyrMemory_reallocateArray(listing->m_secondIntegers, capacity, __func__);
  listing->m_firstTexts = zyrMemory_reallocateArray(listing->m_firstTexts, capacity, __func__);
  listing->m_secondTexts = zyrMemory_reallocateArray(listing->m_secondTexts, capacity, __func__);
  for (int64_t i = listing->m_capacity; i < capacity; ++i) {
    listing->m_firstIntegers[i] = listing->m_secondIntegers[i] = 0;
    listing->m_firstTexts[i] = listing->m_secondTexts[i] = nullptr;
  }
  listing->m_capacity = static_cast<int32_t>(capacity);
}

void ModelListing_release(ModelListing *listing) {
  zyrMemory_free(listing->m_firstIntegers, __func__);
  zyrMemory_free(listing->m_secondIntegers, __func__);
  zyrCStringArray_free(listing->m_firstTexts, static_cast<uint64_t>(listing->m_capacity));
  zyrCStringArray_free(listing->m_secondTexts, static_cast<uint64_t>(listing->m_capacity));
  *listing = ModelListing();
}

// Gives the listing to the caller's outputs (those that are NULL are released); the listing is
// left empty.
void ModelListing_handOver(ModelListing *listing, int32_t *count, int32_t **firstIntegers,
                           int32_t **secondIntegers, char ***firstTexts, char ***secondTexts) {
  if (count != nullptr)
    *count = listing->m_count;
  if (firstIntegers != nullptr) {
    *firstIntegers = listing->m_firstIntegers;
    listing->m_firstIntegers = nullptr;
  }
  if (secondIntegers != nullptr) {
    *secondIntegers = listing->m_secondIntegers;
    listing->m_secondIntegers = nullptr;
  }
  if (firstTexts != nullptr) {
    *firstTexts = listing->m_firstTexts;
    listing->m_firstTexts = nullptr;
  }
  if (secondTexts != nullptr) {
    *secondTexts = listing->m_secondTexts;
    listing->m_secondTexts = nullptr;
  }
  ModelListing_release(listing);
}

// A listing is only worth its reader's word when the reader ended well: a reader that crashed or
// failed without saying why may have listed nothing, or only part of the database.
int checkExitStatus(Process *process, int waited) {
  int32_t how = ProcessUnknown;
  int32_t value = 0;
  if (waited && Process_getExitStatus(process, &how, &value))
    return 1;
  zyrError *error = zyrError_new(ZYR_U_INVALID_RESULT, __func__, __FILE__, __LINE__);
  zyrError_addMessage(error, "The process of querying the meshing database did not terminate successfully.\n\n");
  switch (how) {
  case ProcessExited:
    zyrError_addMessage(error, "The query process returned with status %d.\n", value);
    break;
  case ProcessSignalled:
    zyrError_addMessage(error, "The query process was terminated with signal %d.\n", value);
    break;
  case ProcessStopped:
    zyrError_addMessage(error, "The query process was stopped with signal %d.\n", value);
    break;
  case ProcessUnknown:
    zyrError_addMessage(error, "The exit status of the query process is unknown.\n");
    break;
  default:
    zyrError_addMessage(error, "The query process is still running.\n");
    break;
  }
  zyrError_publish(error);
  return 0;
}

void clearOutputs(int32_t *count, int32_t **firstIntegers, int32_t **secondIntegers, char ***firstTexts,
                  char ***secondTexts) {
  if (count != nullptr)
    *count = 0;
  if (firstIntegers != nullptr)
    *firstIntegers = nullptr;
  if (secondIntegers != nullptr)
    *secondIntegers = nullptr;
  if (firstTexts != nullptr)
    *firstTexts = nullptr;
  if (secondTexts != nullptr)
    *secondTexts = nullptr;
}

// Reads the reader's output to its end: the query's answer, the exit status aside.
int readOutput(Conduit *conduit, int32_t *count, int32_t **firstIntegers, int32_t **secondIntegers,
               char ***firstTexts, char ***secondTexts) {
  ZYR_TRACE_BEGIN_DESC("Read mesh data from zyrDSDBReader.exe.");
  clearOutputs(count, firstIntegers, secondIntegers, firstTexts, secondTexts);

  ModelListing listing = ModelListing();
  int result = 1;
  int inError = 0;
  int inWarning = 0;
  int inModels = 0;
  int parseError = 0;
  int32_t modelIndex = -1; // -1 until the count line
  int32_t position = 0;    // line of the current model's group
  zyrError *error = nullptr; // of the open error block
  zyrError *warning = nullptr;

  int64_t capacity = 256;
  char *line = zyrMemory_allocateArray<char>(capacity, __func__);
  for (int64_t length; (length = Conduit_getline(conduit, &line, &capacity)) >= 0;) {
    if (length > 0 && line[length - 1] == '\r')
      line[--length] = '\0';
    if (ZYR_TRACE_DEBUG(1))
      zyrTrace_printf("%s\n", line);

    if (inError) {
      if (beginsWith(line, errorEnd)) {
        zyrError_publish(error);
        error = nullptr;
        inError = 0;
      } else {
        zyrError_addMessage(error, "  %s\n", line);
      }
    } else if (beginsWith(line, errorBegin)) {
      error = zyrError_new(ZYR_U_INVALID_RESULT, __func__, __FILE__, __LINE__);
      zyrError_addMessage(error, "There was a problem querying the meshing database. The\n"
                                 "following problem was reported:\n\n");
      result = 0;
      inError = 1;
    } else if (inWarning) {
      if (beginsWith(line, warningEnd))
        inWarning = 0;
      else
        zyrError_addMessage(warning, "  %s\n", line);
    } else if (beginsWith(line, warningBegin)) {
      if (warning == nullptr) {
        warning = zyrError_new(ZYR_W_INVALID_RESULT_IGNORED, __func__, __FILE__, __LINE__);
        zyrError_addMessage(warning, "The process of querying the meshing database reported the\n"
                                     "following warning(s):\n\n");
      } else {
        zyrError_addMessage(warning, "\n");
      }
      inWarning = 1;
    } else if (!inModels) {
      // Once the listing is known to be bad nothing more of it is read.
      if (beginsWith(line, modelsBegin) && !parseError)
        inModels = 1;
    } else if (beginsWith(line, modelsEnd)) {
      inModels = 0;
    } else if (modelIndex == -1) {
      modelIndex = 0;
      if (!readInteger(line, &listing.m_count) || listing.m_count < 1) {
        listing.m_count = 0;
        parseError = 1;
        inModels = 0;
      }
    } else if (modelIndex >= listing.m_count) {
      parseError = 1;
      inModels = 0;
    } else {
      ModelListing_reserve(&listing, modelIndex);
      int stored = 1;
      switch (position) {
      case 0:
        stored = readInteger(line, &listing.m_firstIntegers[modelIndex]);
        break;
      case 1:
        listing.m_firstTexts[modelIndex] = zyrCString_clone(line);
        break;
      case 2:
        stored = readInteger(line, &listing.m_secondIntegers[modelIndex]);
        break;
      default:
        listing.m_secondTexts[modelIndex] = zyrCString_clone(line);
        break;
      }
      if (!stored) {
        parseError = 1;
        inModels = 0;
      } else if (++position == 4) {
        position = 0;
        ++modelIndex;
      }
    }
  }
  zyrMemory_free(line, __func__);

  if (warning != nullptr)
    zyrError_publish(warning);
  // A block the reader never closed still says what went wrong.
  if (error != nullptr)
    zyrError_publish(error);

  if (parseError || (modelIndex != -1 && modelIndex != listing.m_count)) {
    ZYR_ERROR(ZYR_U_INVALID_RESULT, "There was a problem parsing the output from wezdsdbreader.\n");
    ModelListing_release(&listing);
    return 0;
  }
  if (modelIndex == -1)
    listing.m_count = 0;
  ModelListing_handOver(&listing, count, firstIntegers, secondIntegers, firstTexts, secondTexts);
  return result;
}

} // namespace

int zyrDSDBQuery_readOutput(Conduit *conduit, int32_t *count, int32_t **firstIntegers, int32_t **secondIntegers,
                            char ***firstTexts, char ***secondTexts) {
  return readOutput(conduit, count, firstIntegers, secondIntegers, firstTexts, secondTexts);
}

int zyrDSDBQuery_getModels(const char *fileName, int32_t *count, int32_t **firstIntegers, int32_t **secondIntegers,
                           char ***firstTexts, char ***secondTexts) {
  ZYR_TRACE_BEGIN_DESC("Query a Simulation database.");
  clearOutputs(count, firstIntegers, secondIntegers, firstTexts, secondTexts);
  if (fileName == nullptr || *fileName == '\0') {
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "No file name has been supplied.\n");
    return 0;
  }

  Environment *environment = Environment_new("WEZ5");
  if (environment == nullptr)
    return 0;

  // The file name goes to the reader as it is, whatever characters it holds.
  Command *command = Command_new(environment, "wezdsdbreader.exe", CommandInEnvironment);
  Command_addLiteralArgument(command, "-list");
  Command_addLiteralArgument(command, fileName);
  Command_addLiteralArgument(command, "-server_mode");
  if (ZYR_TRACE_DEBUG(1))
    Command_print(command, zyrTrace_getLog());

  int result = 0;
  Conduit *conduit = nullptr;
  Process *process = Process_new(command, "pipe: 1.0", &conduit);
  if (process == nullptr) {
    ZYR_ERROR(ZYR_U_UNABLE_TO_SPAWN_PROCESS, "Unable to run wezdsdbreader. Are you sure that the appropriate\n"
                                             "executable exists?\n");
  } else {
    ModelListing listing = ModelListing();
    result = readOutput(conduit, &listing.m_count, &listing.m_firstIntegers, &listing.m_secondIntegers,
                                     &listing.m_firstTexts, &listing.m_secondTexts);
    listing.m_capacity = listing.m_count;
    const int waited = Process_wait(process);
    Conduit_delete(conduit);
    // An error block has already said what went wrong, and a reader that reports one may well
    // end with a failing status.
    if (result && !checkExitStatus(process, waited)) {
      result = 0;
      ModelListing_release(&listing);
    }
    Process_delete(process);
    ModelListing_handOver(&listing, count, firstIntegers, secondIntegers, firstTexts, secondTexts);
  }

  Command_delete(command);
  Environment_delete(environment);
  return result;
}
