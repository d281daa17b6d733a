// The data-set access layer: typed reads and writes, locates and compound operations turned into
// requests of the data-set file library.
#include "Dataset.h"

#include "Dictionary.h"
#include "io_file.h"
#include "io_index.h"
#include "io_lock.h"
#include "iocnt.h"
#include "zyrCString.h"
#include "zyrMemory.h"
#include "zyrTrace.h"
#include "zyrUUID.h"

#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kEsc = 27;
// Characters of one packed UUID.
const int32_t kUUIDChars = 22;
// The greatest-when look-up never goes below this.
const int32_t kLowestLatestWhen = -100;

// The record whose request is running: io_msg appends the library's messages to it.
Dataset *s_requester = nullptr;

// Appends a message of this layer (not the library's) to the last error text.
void appendError(Dataset *dataset, const char *text) {
  dataset->m_lastError = zyrCString_cat(dataset->m_lastError, text, static_cast<const char *>(nullptr));
}

// ---------------------------------------------------------------------------------------------
// Aiming the (array, count) pairs of the request data.

// The data part of a reset: the match buffers with counts of the capacity, nothing else. The
// header keeps what it holds.
void aimOwn(Dataset *dataset) {
  IO_data *data = &dataset->m_data;
  dataset->m_numoffset = dataset->m_capacity;
  dataset->m_numstring = dataset->m_capacity;
  dataset->m_numintr = dataset->m_capacity;
  data->m_offsetarray = dataset->m_offsets;
  data->m_numoffset = &dataset->m_numoffset;
  data->m_stringarray = dataset->m_strings;
  data->m_numstring = &dataset->m_numstring;
  data->m_intrarray = dataset->m_integers;
  data->m_numintr = &dataset->m_numintr;
  data->m_chararray = nullptr;
  data->m_numchar = nullptr;
  data->m_realarray = nullptr;
  data->m_numreal = nullptr;
  data->m_dblearray = nullptr;
  data->m_numdble = nullptr;
  data->m_loglarray = nullptr;
  data->m_numlogl = nullptr;
}

// Re-aims the request data at the record's own storage when a function that aimed it at its
// locals or at the caller's data returns, so that no reference outlives what it reaches.
struct DataGuard {
  Dataset *m_dataset;
  explicit DataGuard(Dataset *dataset) : m_dataset(dataset) {}
  ~DataGuard() { aimOwn(m_dataset); }
  DataGuard(const DataGuard &) = delete;
  DataGuard &operator=(const DataGuard &) = delete;
};

void aim(IO_data *data, int32_t type, void *array, int32_t *count) {
  switch (type) {
  case IO_TYPE_STRI:
    data->m_stringarray = static_cast<IO_string *>(array);
    data->m_numstring = count;
    break;
  case IO_TYPE_CHAR:
    data->m_chararray = static_cast<char *>(array);
    data->m_numchar = count;
    break;
  case IO_TYPE_INTR:
    data->m_intrarray = static_cast<int32_t *>(array);
    data->m_numintr = count;
    break;
  case IO_TYPE_REAL:
    data->m_realarray = static_cast<float *>(array);
    data->m_numreal = count;
    break;
  case IO_TYPE_DBLE:
    data->m_dblearray = static_cast<double *>(array);
    data->m_numdble = count;
    break;
  case IO_TYPE_LOGL:
    data->m_loglarray = static_cast<char *>(array);
    data->m_numlogl = count;
    break;
  default:
    break;
  }
}

int64_t elementSize(int32_t type) {
  switch (type) {
  case IO_TYPE_STRI:
    return IO_STRING_LEN;
  case IO_TYPE_CHAR:
  case IO_TYPE_LOGL:
    return 1;
  case IO_TYPE_INTR:
  case IO_TYPE_REAL:
    return 4;
  case IO_TYPE_DBLE:
    return 8;
  default:
    return 0;
  }
}

// A read that only learns counts answers 14 when values are present: that is its success.
bool countRead(int status) { return status == IO_OK || status == IO_MEMORY_ERR; }

// The text of an 80-character slot, which need not be terminated.
char *slotText(const char *slot) {
  size_t length = strnlen(slot, IO_STRING_LEN);
  char *text = static_cast<char *>(zyrMemory_allocate(static_cast<int64_t>(length) + 1, __func__));
  memcpy(text, slot, length);
  text[length] = '\0';
  return text;
}

// ---------------------------------------------------------------------------------------------
// Whole data sets: every value of the located data set in arrays of exactly its sizes.

const int32_t kValueTypes[] = {IO_TYPE_STRI, IO_TYPE_CHAR, IO_TYPE_INTR,
                               IO_TYPE_REAL, IO_TYPE_DBLE, IO_TYPE_LOGL};

struct Whole {
  void *m_arrays[IO_TYPE_END] = {};
  int32_t m_counts[IO_TYPE_END] = {};
};

void Whole_free(Whole *whole) {
  for (int32_t type : kValueTypes) {
    zyrMemory_free(whole->m_arrays[type], __func__);
    whole->m_arrays[type] = nullptr;
    whole->m_counts[type] = 0;
  }
}

void aimWhole(Dataset *dataset, Whole *whole) {
  for (int32_t type : kValueTypes) aim(&dataset->m_data, type, whole->m_arrays[type], &whole->m_counts[type]);
}

// Reads the data set of the latest locate whole: the sizes first, then the values. The header
// holds the data set's header afterwards. 1 or 0 (nothing left allocated).
int readWhole(Dataset *dataset, Whole *whole) {
  aimWhole(dataset, whole);
  int status = Dataset_request(dataset, IO_READ_LOCATED_PRIMARY_DS);
  if (!countRead(status)) return 0;
  if (dataset->m_nstrct <= 0) return 1; // no records: counts stay 0
  for (int32_t type : kValueTypes) {
    int64_t bytes = static_cast<int64_t>(whole->m_counts[type]) * elementSize(type);
    whole->m_arrays[type] = bytes > 0 ? zyrMemory_allocateAndSet(bytes, 0, __func__) : nullptr;
  }
  aimWhole(dataset, whole);
  if (Dataset_request(dataset, IO_READ_LOCATED_PRIMARY_DS) != IO_OK) {
    Whole_free(whole);
    return 0;
  }
  return 1;
}

// Reads the header of the data set of the latest locate (and the counts of its values).
int readHeaderOnly(Dataset *dataset) {
  DataGuard guard(dataset);
  Whole whole;
  aimWhole(dataset, &whole);
  return countRead(Dataset_request(dataset, IO_READ_LOCATED_PRIMARY_DS));
}

// The located key of match i, copied out of the match buffers (a later request may reuse them).
struct Key {
  char m_what[DATASET_NAME_LEN];
  char m_where[DATASET_NAME_LEN];
  int32_t m_when;
};

void matchKey(const Dataset *dataset, int32_t i, Key *key) {
  size_t n = strnlen(dataset->m_strings[2 * i], IO_STRING_LEN);
  memcpy(key->m_what, dataset->m_strings[2 * i], n);
  key->m_what[n] = '\0';
  n = strnlen(dataset->m_strings[2 * i + 1], IO_STRING_LEN);
  memcpy(key->m_where, dataset->m_strings[2 * i + 1], n);
  key->m_where[n] = '\0';
  key->m_when = dataset->m_integers[i];
}

int32_t matchCount(const Dataset *dataset) { return dataset->m_numstring / 2; }

// Sets the key of the header without resetting it (the rest of the header stays as read).
void rekey(Dataset *dataset, const char *what, const char *where, int32_t when) {
  snprintf(dataset->m_what, sizeof dataset->m_what, "%s", what);
  snprintf(dataset->m_where, sizeof dataset->m_where, "%s", where);
  dataset->m_when = when;
}

// ---------------------------------------------------------------------------------------------
// Typed reads.

// Reads values of one kind of the data set of the key: into the caller's array of *count, or,
// with *count below 0, into a new array handed to the caller. `request` is the read request
// (18, or 44 converting to the data type `convertTo`).
//
// The library fills every array the data set has values for and refuses the read when one of
// them is missing or too small, setting every count it can reach to the number needed. So the
// sizes are learnt first with no array at all, and values of the other kinds are read into
// arrays of their own that are dropped afterwards: a data set answers a typed read with its
// values of that kind (none, when it holds only others), and no array of the record (the match
// buffers) is ever reached by a count the library has raised.
int readTyped(Dataset *dataset, const char *what, const char *where, int32_t when, int32_t type,
              int32_t *count, void **array, int32_t request, const char *convertFrom, const char *convertTo) {
  if (!count || !array) return 0;
  if (!Dataset_locate(dataset, what, where, when)) return 0;
  DataGuard guard(dataset);
  if (convertFrom) {
    // The data set's own type decides whether the values are read converted. Its header comes
    // from a read of the primary file that asks for no values (the current file may be another).
    if (!readHeaderOnly(dataset)) return 0;
    if (!Dataset_replaceInDataType(dataset, convertFrom, convertTo)) request = IO_READ_LOCATED_PRIMARY_DS;
  }
  Whole whole;
  aimWhole(dataset, &whole);
  if (!countRead(Dataset_request(dataset, request))) return 0;
  if (dataset->m_nstrct <= 0) {
    if (*count < 0) *array = nullptr;
    *count = 0;
    return 1;
  }
  // The count-only read restored the stored type in the header.
  if (request == IO_READ_LOCATED_PRIMARY_DS_AS) Dataset_replaceInDataType(dataset, convertFrom, convertTo);
  int32_t needed = whole.m_counts[type];
  bool allocate = *count < 0;
  if (!allocate && *count < needed) {
    *count = needed;
    return 0;
  }
  for (int32_t other : kValueTypes) {
    if (other == type) continue;
    int64_t bytes = static_cast<int64_t>(whole.m_counts[other]) * elementSize(other);
    whole.m_arrays[other] = bytes > 0 ? zyrMemory_allocateAndSet(bytes, 0, __func__) : nullptr;
  }
  void *target = *array;
  int32_t capacity = *count;
  if (allocate) {
    int64_t bytes = static_cast<int64_t>(needed) * elementSize(type);
    target = bytes > 0 ? zyrMemory_allocateAndSet(bytes, 0, __func__) : nullptr;
    capacity = needed;
  }
  aimWhole(dataset, &whole);
  whole.m_counts[type] = capacity;
  aim(&dataset->m_data, type, target, &whole.m_counts[type]);
  int status = Dataset_request(dataset, request);
  int32_t got = whole.m_counts[type];
  whole.m_arrays[type] = nullptr; // the caller's, or handed over below
  Whole_free(&whole);
  if (status != IO_OK) {
    if (allocate) zyrMemory_free(target, __func__);
    *count = got;
    return 0;
  }
  *count = got;
  if (allocate) *array = target;
  return 1;
}

// The caller-count rule of the readers that make one heap object per piece: with *count below 0
// and at least one piece a new array of `found` references; a capacity below `found` (a negative
// count with nothing found included) sets *count to `found` and fails.
bool takeArray(int32_t *count, void ***array, int32_t found) {
  if (*count < 0 && found >= 1) {
    *array = static_cast<void **>(
        zyrMemory_allocateAndSet(static_cast<int64_t>(found) * sizeof(void *), 0, "takeArray"));
    *count = found;
  }
  if (*count < found) {
    *count = found;
    return false;
  }
  return true;
}

// Reads the characters of the data set of the key into a new array: 1 with the characters and
// their count, else 0.
int readAllChars(Dataset *dataset, const char *what, const char *where, int32_t when, char **chars,
                 int32_t *count) {
  *chars = nullptr;
  *count = -1;
  return Dataset_readChars(dataset, what, where, when, count, chars);
}

// ---------------------------------------------------------------------------------------------
// Typed writes.

// Sets the header of a numeric or character write: n values, or noOfStructures structures of n.
// The value count of the data; -1 when the sizes are refused.
int64_t setNumericHeader(Dataset *dataset, const char *typeName, int32_t n, int32_t noOfStructures) {
  if (n < 0) return -1;
  if (noOfStructures < 1) {
    snprintf(dataset->m_istrct, sizeof dataset->m_istrct, "%s", typeName);
    dataset->m_nstrct = n;
    return n;
  }
  int64_t values = static_cast<int64_t>(n) * noOfStructures;
  if (values > INT32_MAX) return -1;
  snprintf(dataset->m_istrct, sizeof dataset->m_istrct, "STRC{%s:%d}", typeName, n);
  dataset->m_nstrct = noOfStructures;
  return values;
}

int writeTyped(Dataset *dataset, const char *what, const char *where, int32_t when, int32_t type,
               const char *typeName, int32_t n, int32_t noOfStructures, const void *data) {
  if (!Dataset_setHeader(dataset, what, where, when, 1)) return 0;
  DataGuard guard(dataset);
  int64_t values = setNumericHeader(dataset, typeName, n, noOfStructures);
  if (values < 0) {
    appendError(dataset, "Dataset: the number of values to write is not valid\n");
    return 0;
  }
  if (values > 0 && !data) {
    appendError(dataset, "Dataset: no values given to write\n");
    return 0;
  }
  int32_t count = static_cast<int32_t>(values);
  dataset->m_numoffset = 0;
  dataset->m_numstring = 0;
  aim(&dataset->m_data, type, const_cast<void *>(data), &count);
  return Dataset_request(dataset, IO_WRITE_DATASET) == IO_OK;
}

// Writes characters packed by the string and UUID writers with the marking attribute t=kind.
int writePacked(Dataset *dataset, const char *what, const char *where, int32_t when, const char *kind,
                char *chars, int32_t count) {
  if (!Dataset_addAttribute(dataset, "t", kind)) {
    appendError(dataset, "Dataset: no room for the attribute marking packed characters\n");
    return 0;
  }
  int result = 0;
  DataGuard guard(dataset);
  if (Dataset_setHeader(dataset, what, where, when, 1)) {
    snprintf(dataset->m_istrct, sizeof dataset->m_istrct, "CHAR");
    dataset->m_nstrct = count;
    dataset->m_numoffset = 0;
    dataset->m_numintr = 0;
    int32_t local = count;
    aim(&dataset->m_data, IO_TYPE_CHAR, chars, &local);
    result = Dataset_request(dataset, IO_WRITE_DATASET) == IO_OK;
  }
  --dataset->m_noOfAttributes;
  return result;
}

// ---------------------------------------------------------------------------------------------
// Descriptions.

char **newTexts(int32_t count) {
  return static_cast<char **>(
      zyrMemory_allocateAndSet(static_cast<int64_t>(count) * sizeof(char *), 0, "newTexts"));
}

char **singleText(char *text, int32_t *count) {
  char **texts = newTexts(1);
  texts[0] = text;
  *count = 1;
  return texts;
}

char *quoted(const char *text, size_t length, const char *suffix) {
  std::string s = "\"";
  s.append(text, length);
  s += suffix;
  s += "\"";
  return zyrCString_clone(s.c_str());
}

char *uuidText(const char *chars) {
  size_t length = strnlen(chars, kUUIDChars);
  std::string s(chars, length);
  return zyrCString_clone(s.c_str());
}

// The character kind of the header just read, made 1 (strings) when unmarked data holds a
// terminator.
int charKind(const Dataset *dataset, const char *chars, int32_t count) {
  int kind = Dataset_getCharKind(dataset);
  if (kind == 0 && memchr(chars, '\0', static_cast<size_t>(count))) kind = 1;
  return kind;
}

char **describeCharsFull(const Dataset *dataset, const char *chars, int32_t n, int32_t *count) {
  int kind = charKind(dataset, chars, n);
  std::vector<char *> texts;
  if (kind == 2) {
    for (int32_t i = 0; i + kUUIDChars <= n; i += kUUIDChars) texts.push_back(uuidText(chars + i));
  } else if (kind == 1) {
    int32_t start = 0;
    for (int32_t i = 0; i < n; ++i) {
      if (chars[i] == '\0' || chars[i] == '\n') {
        texts.push_back(quoted(chars + start, static_cast<size_t>(i - start), chars[i] == '\n' ? "\\n" : ""));
        start = i + 1;
      }
    }
  } else {
    for (int32_t i = 0; i < n; ++i) texts.push_back(zyrCString_build("%c", chars[i]));
  }
  *count = static_cast<int32_t>(texts.size());
  if (texts.empty()) return nullptr;
  char **result = newTexts(*count);
  for (size_t i = 0; i < texts.size(); ++i) result[i] = texts[i];
  return result;
}

char *describeCharsSummary(const Dataset *dataset, const char *chars, int32_t n) {
  if (Dataset_getCharKind(dataset) == 2) {
    if (n == kUUIDChars) return uuidText(chars);
    return zyrCString_build("UUID[%d]", n / kUUIDChars);
  }
  if (n == 1) return zyrCString_build("%c", chars[0]);
  int32_t strings = 0, lines = 0;
  for (int32_t i = 0; i < n; ++i) {
    if (chars[i] == '\0') ++strings;
    if (chars[i] == '\n') ++lines;
  }
  if (strings == 0) return zyrCString_build("char[%d]", n);
  if (lines > 0) return zyrCString_build("string[%d] (%d lines)", strings, lines);
  if (strings == 1) return quoted(chars, strlen(chars), "");
  return zyrCString_build("string[%d]", strings);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Life and files.

Dataset *Dataset_new(IO_state *fileInfo) {
  Dataset *dataset = static_cast<Dataset *>(zyrMemory_allocateAndSet(sizeof(Dataset), 0, __func__));
  dataset->m_fileInfo = fileInfo;
  dataset->m_capacity = DATASET_INITIAL_CAPACITY;
  dataset->m_offsets = zyrMemory_allocateZeroedArray<int64_t>(2 * dataset->m_capacity, __func__);
  dataset->m_strings = zyrMemory_allocateZeroedArray<IO_string>(2 * dataset->m_capacity, __func__);
  dataset->m_integers = zyrMemory_allocateZeroedArray<int32_t>(dataset->m_capacity, __func__);
  IO_header *header = &dataset->m_header;
  header->m_what = dataset->m_what;
  header->m_where = dataset->m_where;
  header->m_when = &dataset->m_when;
  header->m_numattrb = &dataset->m_nattrb;
  header->m_attributes = dataset->m_attrbs;
  header->m_number = &dataset->m_nstrct;
  header->m_datatype = dataset->m_istrct;
  header->m_blockfactor = &dataset->m_blockfactor;
  Dataset_reset(dataset);
  return dataset;
}

void Dataset_delete(Dataset *dataset) {
  if (!dataset) return;
  if (s_requester == dataset) s_requester = nullptr;
  zyrMemory_free(dataset->m_offsets, __func__);
  zyrMemory_free(dataset->m_strings, __func__);
  zyrMemory_free(dataset->m_integers, __func__);
  zyrCString_free(dataset->m_lastError);
  zyrCString_free(dataset->m_fileName);
  zyrMemory_free(dataset, __func__);
}

void Dataset_reset(Dataset *dataset) {
  dataset->m_when = -1;
  dataset->m_nattrb = DATASET_MAX_ATTRIBUTES;
  dataset->m_nstrct = 1;
  dataset->m_blockfactor = 1;
  aimOwn(dataset);
}

static int openFile(Dataset *dataset, const char *fileName, int32_t request) {
  Dataset_reset(dataset);
  if (!fileName) return 0;
  zyrCString_free(dataset->m_fileName);
  dataset->m_fileName = zyrCString_clone(fileName);
  dataset->m_numchar = static_cast<int32_t>(strlen(fileName));
  dataset->m_data.m_chararray = dataset->m_fileName;
  dataset->m_data.m_numchar = &dataset->m_numchar;
  int status = Dataset_request(dataset, request);
  Dataset_reset(dataset);
  zyrCString_free(dataset->m_fileName);
  dataset->m_fileName = nullptr;
  if (status == IO_OK) return 1;
  return status == IO_LOCK_ERR ? -1 : 0;
}

int Dataset_openPrimaryFile(Dataset *dataset, const char *fileName) {
  return openFile(dataset, fileName, IO_OPEN_PRIMARY);
}

int Dataset_openSecondaryFile(Dataset *dataset, const char *fileName) {
  return openFile(dataset, fileName, IO_OPEN_SECONDARY);
}

int Dataset_openPrimaryFileForReading(Dataset *dataset, const char *fileName) {
  // The request interface opens every file for writing where it can ("d"); a reader asks the file
  // layer for access "r" itself, as the open request would, and leaves the rest to the requests.
  Dataset_closePrimaryFile(dataset);
  if (!fileName) return 0;
  s_requester = dataset;
  IO_state *state = dataset->m_fileInfo;
  IO_file *record = &state->m_primary;
  iif_clear_record(record);
  record->m_callback = io_msg;
  state->m_current = record;
  dataset->m_lastStatus = iif_open(record, fileName, "r");
  if (dataset->m_lastStatus == IO_OK) return 1;
  iif_release_record(record);
  iif_free_contents(record);
  state->m_current = nullptr;
  return dataset->m_lastStatus == IO_LOCK_ERR ? -1 : 0;
}

int Dataset_closePrimaryFile(Dataset *dataset) {
  Dataset_reset(dataset);
  return Dataset_request(dataset, IO_CLOSE_PRIMARY) == IO_OK;
}

int Dataset_closeSecondaryFile(Dataset *dataset) {
  Dataset_reset(dataset);
  return Dataset_request(dataset, IO_CLOSE_SECONDARY) == IO_OK;
}

int Dataset_claimFile(Dataset *dataset, int secondary) {
  s_requester = dataset;
  IO_state *state = dataset->m_fileInfo;
  dataset->m_lastStatus = io_claim_writer(io_msg, secondary ? &state->m_secondary : &state->m_primary);
  return dataset->m_lastStatus == IO_OK;
}

int Dataset_swapInSecondaryFile(Dataset *dataset) {
  s_requester = dataset;
  IO_state *state = dataset->m_fileInfo;
  dataset->m_lastStatus = iif_swap_in(&state->m_primary, &state->m_secondary);
  if (dataset->m_lastStatus != IO_OK) return 0;
  state->m_current = &state->m_primary;
  return 1;
}

int Dataset_setDefaultFormat(Dataset *dataset, const char *format) {
  Dataset_reset(dataset);
  if (!format) return 0;
  zyrCString_free(dataset->m_fileName);
  dataset->m_fileName = zyrCString_clone(format);
  dataset->m_data.m_chararray = dataset->m_fileName;
  int status = Dataset_request(dataset, IO_SET_DEFAULT_FORMAT);
  Dataset_reset(dataset);
  zyrCString_free(dataset->m_fileName);
  dataset->m_fileName = nullptr;
  return status == IO_OK;
}

int Dataset_request(Dataset *dataset, int32_t request) {
  s_requester = dataset;
  dataset->m_lastStatus = iocntc(request, io_msg, &dataset->m_header, &dataset->m_data, dataset->m_fileInfo);
  return dataset->m_lastStatus;
}

int io_msg(const char *text, int32_t length) {
  ZYR_TRACE_BEGIN_DESC("Error handler for IO library errors.");
  if (!text || length < 0) return 0;
  std::string message(text, strnlen(text, static_cast<size_t>(length)));
  if (s_requester) appendError(s_requester, message.c_str());
  if (ZYR_TRACE_DEBUG(1)) zyrTrace_printf("%s\n", message.c_str());
  return 0;
}

char *Dataset_getLastError(const Dataset *dataset) {
  return dataset->m_lastError ? zyrCString_clone(dataset->m_lastError) : nullptr;
}

void Dataset_clearLastError(Dataset *dataset) {
  zyrCString_free(dataset->m_lastError);
  dataset->m_lastError = nullptr;
}

void Dataset_print(const Dataset *dataset, FILE *stream) {
  static const char *const kRule =
      "==============================================================================\n";
  const IO_header *h = &dataset->m_header;
  const IO_data *d = &dataset->m_data;
  fputs(kRule, stream);
  fprintf(stream, "Dataset: %p\n", static_cast<const void *>(dataset));
  fprintf(stream, "m_fileInfo = %p\n", static_cast<const void *>(dataset->m_fileInfo));
  fputs("\nHeader\n------\n", stream);
  fprintf(stream, "what        = %s\n", h->m_what ? h->m_what : "<NULL>");
  fprintf(stream, "where       = %s\n", h->m_where ? h->m_where : "<NULL>");
  if (h->m_when)
    fprintf(stream, "when        = %d\n", *h->m_when);
  else
    fputs("when        = <NULL>\n", stream);
  if (h->m_numattrb)
    fprintf(stream, "nattrb      = %d\n", *h->m_numattrb);
  else
    fputs("nattrb      = <NULL>\n", stream);
  if (h->m_attributes) {
    fprintf(stream, "attrbs      = %p\n", static_cast<const void *>(h->m_attributes));
    int32_t n = h->m_numattrb ? *h->m_numattrb : 0;
    for (int32_t i = 0; i < n && i < DATASET_MAX_ATTRIBUTES; ++i)
      fprintf(stream, "              \"%.*s\"\n",
              static_cast<int>(strnlen(h->m_attributes[i], IO_STRING_LEN)), h->m_attributes[i]);
  } else {
    fputs("attrbs      = <NULL>\n", stream);
  }
  if (h->m_number)
    fprintf(stream, "nstrct      = %d\n", *h->m_number);
  else
    fputs("nstrct      = <NULL>\n", stream);
  if (h->m_datatype)
    fprintf(stream, "istrct      = %p \"%s\"\n", static_cast<const void *>(h->m_datatype), h->m_datatype);
  else
    fputs("istrct      = <NULL>\n", stream);
  if (h->m_blockfactor)
    fprintf(stream, "blockfactor = %d\n", *h->m_blockfactor);
  else
    fputs("blockfactor = <NULL>\n", stream);
  fputs("\nData\n----\n", stream);
  struct Line {
    const char *m_count;
    const char *m_array;
    const int32_t *m_n;
    const void *m_p;
  } lines[] = {{"numoffset", "offset", d->m_numoffset, d->m_offsetarray},
               {"numstring", "stringarray", d->m_numstring, d->m_stringarray},
               {"numchar", "chararray", d->m_numchar, d->m_chararray},
               {"numintr", "intrarray", d->m_numintr, d->m_intrarray},
               {"numreal", "realarray", d->m_numreal, d->m_realarray},
               {"numdble", "dblearray", d->m_numdble, d->m_dblearray},
               {"numlogl", "loglarray", d->m_numlogl, d->m_loglarray}};
  for (const Line &line : lines) {
    if (line.m_n)
      fprintf(stream, "%-11s = %d\n", line.m_count, *line.m_n);
    else
      fprintf(stream, "%-11s = <NULL>\n", line.m_count);
    if (line.m_p)
      fprintf(stream, "%-11s = %p\n", line.m_array, line.m_p);
    else
      fprintf(stream, "%-11s = <NULL>\n", line.m_array);
  }
  if (dataset->m_lastError)
    fprintf(stream, "\nLast error mesage\n-----------------\n%s\n", dataset->m_lastError);
  fputs(kRule, stream);
}

// ---------------------------------------------------------------------------------------------
// Header and attributes.

int Dataset_setHeader(Dataset *dataset, const char *what, const char *where, int32_t when,
                      int withAttributes) {
  Dataset_reset(dataset);
  // The buffers hold 79 characters; the library refuses what it cannot store itself.
  if (!what || !where || strlen(what) >= DATASET_ATTRIBUTE_LEN || strlen(where) >= DATASET_ATTRIBUTE_LEN) {
    appendError(dataset,
                "Dataset_setHeader: the data set's what or where is missing or longer than 79 characters\n");
    return 0;
  }
  snprintf(dataset->m_what, sizeof dataset->m_what, "%s", what);
  snprintf(dataset->m_where, sizeof dataset->m_where, "%s", where);
  dataset->m_when = when;
  if (withAttributes) {
    memcpy(dataset->m_attrbs, dataset->m_attributes, sizeof dataset->m_attrbs);
    dataset->m_nattrb = dataset->m_noOfAttributes;
  }
  return 1;
}

int Dataset_addAttribute(Dataset *dataset, const char *name, const char *value) {
  if (!name || !value || dataset->m_noOfAttributes >= DATASET_MAX_ATTRIBUTES) return 0;
  size_t nameLength = strlen(name), valueLength = strlen(value);
  if (nameLength + valueLength + 1 > DATASET_ATTRIBUTE_LEN) return 0;
  char *entry = dataset->m_attributes[dataset->m_noOfAttributes];
  memset(entry, 0, IO_STRING_LEN);
  memcpy(entry, name, nameLength);
  entry[nameLength] = '=';
  memcpy(entry + nameLength + 1, value, valueLength);
  ++dataset->m_noOfAttributes;
  return 1;
}

void Dataset_clearAttributes(Dataset *dataset) { dataset->m_noOfAttributes = 0; }

int Dataset_getCharKind(const Dataset *dataset) {
  if (dataset->m_nattrb != 1) return 0;
  const char *entry = dataset->m_attrbs[0];
  if (strnlen(entry, IO_STRING_LEN) != 3 || entry[0] != 't' || entry[1] != '=') return 0;
  if (entry[2] == 's') return 1;
  if (entry[2] == 'u') return 2;
  return 0;
}

int Dataset_replaceInDataType(Dataset *dataset, const char *from, const char *to) {
  if (!from || !to || strlen(from) != 4 || strlen(to) != 4) return 0;
  int replaced = 0;
  size_t length = strnlen(dataset->m_istrct, sizeof dataset->m_istrct);
  for (size_t i = 0; i + 4 <= length; ++i) {
    if (memcmp(dataset->m_istrct + i, from, 4) == 0) {
      memcpy(dataset->m_istrct + i, to, 4);
      replaced = 1;
    }
  }
  return replaced;
}

// ---------------------------------------------------------------------------------------------
// Locating and single requests.

int Dataset_locate(Dataset *dataset, const char *what, const char *where, int32_t when) {
  int32_t first = when == -2 ? -1 : when;
  if (!Dataset_setHeader(dataset, what, where, first, 0)) return 0;
  int status = Dataset_request(dataset, IO_LOCATE_PRIMARY_DS);
  while (status == IO_MEMORY_ERR || dataset->m_numintr > dataset->m_capacity) {
    int32_t capacity = dataset->m_capacity;
    if (dataset->m_numintr > capacity) capacity = dataset->m_numintr;
    if (dataset->m_numstring > capacity) capacity = dataset->m_numstring;
    if (dataset->m_numoffset > capacity) capacity = dataset->m_numoffset;
    // A 14 that asks for no more room is a refusal, not a request to grow.
    if (capacity <= dataset->m_capacity) break;
    dataset->m_capacity = capacity;
    dataset->m_offsets =
        zyrMemory_reallocateArray(dataset->m_offsets, 2 * static_cast<int64_t>(capacity), __func__);
    dataset->m_strings =
        zyrMemory_reallocateArray(dataset->m_strings, 2 * static_cast<int64_t>(capacity), __func__);
    dataset->m_integers = zyrMemory_reallocateArray(dataset->m_integers, capacity, __func__);
    dataset->m_data.m_offsetarray = dataset->m_offsets;
    dataset->m_data.m_stringarray = dataset->m_strings;
    dataset->m_data.m_intrarray = dataset->m_integers;
    dataset->m_numoffset = dataset->m_numstring = dataset->m_numintr = capacity;
    status = Dataset_request(dataset, IO_LOCATE_PRIMARY_DS);
  }
  if (when != -2 || status != IO_OK) return status == IO_OK;
  int32_t n = matchCount(dataset);
  if (n < 1) return status == IO_OK;
  int32_t latest = kLowestLatestWhen;
  for (int32_t i = 0; i < n; ++i)
    if (dataset->m_integers[i] > latest) latest = dataset->m_integers[i];
  return Dataset_locate(dataset, what, where, latest);
}

int Dataset_exists(Dataset *dataset, const char *what, const char *where, int32_t when) {
  return Dataset_locate(dataset, what, where, when);
}

int Dataset_readLocated(Dataset *dataset) {
  return Dataset_request(dataset, IO_READ_LOCATED_PRIMARY_DS) == IO_OK;
}

int Dataset_readLocatedAs(Dataset *dataset) {
  return Dataset_request(dataset, IO_READ_LOCATED_PRIMARY_DS_AS) == IO_OK;
}

int Dataset_write(Dataset *dataset) { return Dataset_request(dataset, IO_WRITE_DATASET) == IO_OK; }

int Dataset_deleteDataset(Dataset *dataset) { return Dataset_request(dataset, IO_DELETE_DS) == IO_OK; }

// ---------------------------------------------------------------------------------------------
// Typed family.

int Dataset_readInts(Dataset *dataset, const char *what, const char *where, int32_t when, int32_t *count,
                     int32_t **array) {
  return readTyped(dataset, what, where, when, IO_TYPE_INTR, count, reinterpret_cast<void **>(array),
                   IO_READ_LOCATED_PRIMARY_DS, nullptr, nullptr);
}

int Dataset_readFloats(Dataset *dataset, const char *what, const char *where, int32_t when, int32_t *count,
                       float **array) {
  return readTyped(dataset, what, where, when, IO_TYPE_REAL, count, reinterpret_cast<void **>(array),
                   IO_READ_LOCATED_PRIMARY_DS, nullptr, nullptr);
}

int Dataset_readDoubles(Dataset *dataset, const char *what, const char *where, int32_t when, int32_t *count,
                        double **array) {
  return readTyped(dataset, what, where, when, IO_TYPE_DBLE, count, reinterpret_cast<void **>(array),
                   IO_READ_LOCATED_PRIMARY_DS_AS, "REAL", "DBLE");
}

int Dataset_readChars(Dataset *dataset, const char *what, const char *where, int32_t when, int32_t *count,
                      char **array) {
  return readTyped(dataset, what, where, when, IO_TYPE_CHAR, count, reinterpret_cast<void **>(array),
                   IO_READ_LOCATED_PRIMARY_DS, nullptr, nullptr);
}

int Dataset_readIoStrings(Dataset *dataset, const char *what, const char *where, int32_t when, int32_t *count,
                          char ***array) {
  if (!count || !array) return 0;
  int32_t found = -1;
  char *slots = nullptr;
  if (!readTyped(dataset, what, where, when, IO_TYPE_STRI, &found, reinterpret_cast<void **>(&slots),
                 IO_READ_LOCATED_PRIMARY_DS, nullptr, nullptr))
    return 0;
  int result = 0;
  if (takeArray(count, reinterpret_cast<void ***>(array), found)) {
    for (int32_t i = 0; i < found; ++i)
      (*array)[i] = slotText(slots + static_cast<int64_t>(i) * IO_STRING_LEN);
    *count = found;
    result = 1;
  }
  zyrMemory_free(slots, __func__);
  return result;
}

int Dataset_readStrings(Dataset *dataset, const char *what, const char *where, int32_t when, int32_t *count,
                        char ***array) {
  if (!count || !array) return 0;
  char *chars;
  int32_t n;
  if (!readAllChars(dataset, what, where, when, &chars, &n)) return 0;
  int32_t found = 0;
  for (int32_t i = 0; i < n; ++i)
    if (chars[i] == '\0') ++found;
  int result = 0;
  if (takeArray(count, reinterpret_cast<void ***>(array), found)) {
    // Characters after the last terminator belong to no string.
    const char *piece = chars;
    for (int32_t i = 0; i < found; ++i) {
      (*array)[i] = zyrCString_clone(piece);
      piece += strlen(piece) + 1;
    }
    *count = found;
    result = 1;
  }
  zyrMemory_free(chars, __func__);
  return result;
}

int Dataset_readUUIDs(Dataset *dataset, const char *what, const char *where, int32_t when, int32_t *count,
                      zyrUUID ***array) {
  if (!count || !array) return 0;
  char *chars;
  int32_t n;
  if (!readAllChars(dataset, what, where, when, &chars, &n)) return 0;
  int32_t found = n / kUUIDChars;
  const bool allocating = *count < 0;
  int result = 0;
  if (takeArray(count, reinterpret_cast<void ***>(array), found)) {
    // Each piece is a key or the null marker; anything else (and a cut piece) is damage, not a
    // reference to nothing.
    bool damaged = n % kUUIDChars != 0;
    for (int32_t i = 0; i < found; ++i) {
      const char *piece = chars + static_cast<int64_t>(i) * kUUIDChars;
      (*array)[i] = zyrUUID_newFromBase64(piece);
      damaged = damaged || ((*array)[i] == nullptr &&
                            strncmp(piece, ZYR_NULL_UUID_STRING, sizeof ZYR_NULL_UUID_STRING - 1) != 0);
    }
    *count = found;
    result = 1;
    if (damaged) {
      for (int32_t i = 0; i < found; ++i) {
        zyrUUID_delete((*array)[i]);
        (*array)[i] = nullptr;
      }
      if (allocating) {
        zyrMemory_freeAndClear(array, __func__);
        *count = 0;
      }
      appendError(dataset, "Dataset_readUUIDs: a stored reference is not a key\n");
      result = 0;
    }
  }
  zyrMemory_free(chars, __func__);
  return result;
}

int Dataset_writeInts(Dataset *dataset, const char *what, const char *where, int32_t when, int32_t n,
                      int32_t noOfStructures, const int32_t *data) {
  return writeTyped(dataset, what, where, when, IO_TYPE_INTR, "INTR", n, noOfStructures, data);
}

int Dataset_writeFloats(Dataset *dataset, const char *what, const char *where, int32_t when, int32_t n,
                        int32_t noOfStructures, const float *data) {
  return writeTyped(dataset, what, where, when, IO_TYPE_REAL, "REAL", n, noOfStructures, data);
}

int Dataset_writeDoubles(Dataset *dataset, const char *what, const char *where, int32_t when, int32_t n,
                         int32_t noOfStructures, const double *data) {
  return writeTyped(dataset, what, where, when, IO_TYPE_DBLE, "DBLE", n, noOfStructures, data);
}

int Dataset_writeChars(Dataset *dataset, const char *what, const char *where, int32_t when, int32_t n,
                       int32_t noOfStructures, const char *data) {
  return writeTyped(dataset, what, where, when, IO_TYPE_CHAR, "CHAR", n, noOfStructures, data);
}

int Dataset_writeIoStrings(Dataset *dataset, const char *what, const char *where, int32_t when, int32_t n,
                           const char *const *data) {
  if (n < 1 || !data) return 0;
  if (!Dataset_setHeader(dataset, what, where, when, 1)) return 0;
  IO_string *slots = zyrMemory_allocateZeroedArray<IO_string>(n, __func__);
  for (int32_t i = 0; i < n; ++i) {
    const char *text = data[i] ? data[i] : "";
    size_t length = strlen(text);
    if (length + 1 > IO_STRING_LEN) {
      appendError(dataset, "Dataset_writeIoStrings: a string is longer than 79 characters\n");
      zyrMemory_free(slots, __func__);
      return 0;
    }
    memcpy(slots[i], text, length + 1);
  }
  snprintf(dataset->m_istrct, sizeof dataset->m_istrct, "STRI");
  dataset->m_nstrct = n;
  dataset->m_numoffset = 0;
  dataset->m_numintr = 0;
  int32_t local = n;
  aim(&dataset->m_data, IO_TYPE_STRI, slots, &local);
  int result = Dataset_request(dataset, IO_WRITE_DATASET) == IO_OK;
  Dataset_reset(dataset);
  zyrMemory_free(slots, __func__);
  return result;
}

int Dataset_writeStrings(Dataset *dataset, const char *what, const char *where, int32_t when, int32_t n,
                         const char *const *data) {
  if (n < 0 || (n > 0 && !data)) return 0;
  int64_t total = 0;
  for (int32_t i = 0; i < n; ++i) total += (data[i] ? static_cast<int64_t>(strlen(data[i])) : 0) + 1;
  if (total > INT32_MAX) {
    appendError(dataset, "Dataset_writeStrings: the strings are too long for one data set\n");
    return 0;
  }
  char *chars = total > 0 ? static_cast<char *>(zyrMemory_allocate(total, __func__)) : nullptr;
  char *at = chars;
  for (int32_t i = 0; i < n; ++i) {
    const char *text = data[i] ? data[i] : "";
    size_t length = strlen(text) + 1;
    memcpy(at, text, length);
    at += length;
  }
  int result = writePacked(dataset, what, where, when, "s", chars, static_cast<int32_t>(total));
  Dataset_reset(dataset);
  zyrMemory_free(chars, __func__);
  return result;
}

int Dataset_writeUUIDs(Dataset *dataset, const char *what, const char *where, int32_t when, int32_t n,
                       const zyrUUID *const *data) {
  if (n < 0 || (n > 0 && !data)) return 0;
  int64_t total = static_cast<int64_t>(n) * kUUIDChars;
  if (total > INT32_MAX) return 0;
  // Zero-filled, so that a null UUID leaves no stray bytes in the file.
  char *chars = static_cast<char *>(zyrMemory_allocateAndSet(total + 1, 0, __func__));
  for (int32_t i = 0; i < n; ++i) {
    char text[ZYR_UUID_BASE64_SIZE];
    zyrUUID_toBase64(data[i], text);
    size_t length = strlen(text);
    memcpy(chars + static_cast<int64_t>(i) * kUUIDChars, text,
           length < static_cast<size_t>(kUUIDChars) ? length + 1 : kUUIDChars);
  }
  int result = writePacked(dataset, what, where, when, "u", chars, static_cast<int32_t>(total));
  Dataset_reset(dataset);
  zyrMemory_free(chars, __func__);
  return result;
}

// ---------------------------------------------------------------------------------------------
// Inspection and compound operations.

int Dataset_readAttributes(Dataset *dataset, const char *what, const char *where, int32_t when,
                           int32_t *count, char ***names, char ***values) {
  *count = 0;
  *names = nullptr;
  *values = nullptr;
  if (!Dataset_locate(dataset, what, where, when)) return 0;
  // Only the header is wanted: whether the values could be read does not matter.
  readHeaderOnly(dataset);
  int32_t n = dataset->m_nattrb;
  if (n < 0) n = 0;
  if (n > DATASET_MAX_ATTRIBUTES) n = DATASET_MAX_ATTRIBUTES;
  *count = n;
  if (n == 0) return 1;
  *names = newTexts(n);
  *values = newTexts(n);
  for (int32_t i = 0; i < n; ++i) {
    char text[DATASET_ATTRIBUTE_LEN + 1];
    memcpy(text, dataset->m_attrbs[i], DATASET_ATTRIBUTE_LEN);
    text[DATASET_ATTRIBUTE_LEN] = '\0';
    char *separator = text;
    while (*separator && *separator != '=' && *separator != kEsc) ++separator;
    const char *value = "";
    if (*separator) {
      *separator = '\0';
      value = separator + 1;
      while (*value == ' ' && value[1] != '\0') ++value;
    }
    const char *name = text;
    while (*name == ' ') ++name;
    (*names)[i] = zyrCString_clone(name);
    (*values)[i] = zyrCString_clone(value);
  }
  return 1;
}

int Dataset_readSignature(Dataset *dataset, const char *what, const char *where, int32_t when, int32_t *ints,
                          int32_t *floats, int32_t *doubles, int32_t *chars, int32_t *ioStrings,
                          int32_t *strings, int32_t *uuids) {
  *ints = *floats = *doubles = *chars = *ioStrings = *strings = *uuids = 0;
  if (!Dataset_locate(dataset, what, where, when)) return 0;
  Whole whole;
  int status;
  {
    DataGuard guard(dataset);
    aimWhole(dataset, &whole);
    status = Dataset_request(dataset, IO_READ_LOCATED_PRIMARY_DS);
  }
  // A data set the index promises that cannot be read has no signature.
  if (!countRead(status)) return 0;
  if (dataset->m_nstrct > 0) {
    *ints = whole.m_counts[IO_TYPE_INTR];
    *floats = whole.m_counts[IO_TYPE_REAL];
    *doubles = whole.m_counts[IO_TYPE_DBLE];
    *ioStrings = whole.m_counts[IO_TYPE_STRI];
    *chars = whole.m_counts[IO_TYPE_CHAR];
  }
  bool packedStrings = false;
  if (*chars > 0) {
    int32_t n = 0;
    char **names = nullptr, **values = nullptr;
    if (Dataset_readAttributes(dataset, what, where, when, &n, &names, &values) && n > 0 &&
        strcmp(names[0], "t") == 0) {
      if (strcmp(values[0], "u") == 0) {
        *uuids = *chars / kUUIDChars;
        *chars = 0;
      }
      packedStrings = strcmp(values[0], "s") == 0;
    }
    zyrCStringArray_free(names, static_cast<uint64_t>(n));
    zyrCStringArray_free(values, static_cast<uint64_t>(n));
  }
  if (*chars > 0) {
    char *data;
    int32_t n;
    if (readAllChars(dataset, what, where, when, &data, &n)) {
      for (int32_t i = 0; i < n; ++i)
        if (data[i] == '\0') ++*strings;
      // Plain characters that happen to hold a zero byte stay characters: only packed strings
      // count as strings alone.
      if (*strings > 0 && packedStrings) *chars = 0;
      zyrMemory_free(data, __func__);
    }
  }
  return 1;
}

int Dataset_getDataType(Dataset *dataset, const char *what, const char *where, int32_t when, char **type) {
  *type = nullptr;
  if (!Dataset_locate(dataset, what, where, when)) return 0;
  if (!readHeaderOnly(dataset)) return 0;
  *type = zyrCString_clone(dataset->m_istrct);
  return 1;
}

int Dataset_readDescription(Dataset *dataset, const char *what, const char *where, int32_t when, int full,
                            int32_t *count, char ***texts) {
  ZYR_TRACE_BEGIN_DESC("Return a description of the data in a data set.");
  *count = 0;
  *texts = nullptr;
  if (!Dataset_locate(dataset, what, where, when)) return 0;
  DataGuard guard(dataset);
  Whole whole;
  if (!readWhole(dataset, &whole)) return 1;
  if (ZYR_TRACE_DEBUG(1) && zyrTrace_getLog()) Dataset_print(dataset, zyrTrace_getLog());
  if (dataset->m_nstrct == 0) {
    if (!full) *texts = singleText(zyrCString_clone("***No entries***"), count);
    Whole_free(&whole);
    return 1;
  }
  const int32_t order[] = {IO_TYPE_STRI, IO_TYPE_CHAR, IO_TYPE_INTR,
                           IO_TYPE_REAL, IO_TYPE_DBLE, IO_TYPE_LOGL};
  int32_t kind = -1;
  for (int32_t type : order) {
    if (whole.m_counts[type] > 0) {
      kind = type;
      break;
    }
  }
  int32_t n = kind >= 0 ? whole.m_counts[kind] : 0;
  const void *values = kind >= 0 ? whole.m_arrays[kind] : nullptr;
  if (full) {
    if (kind == IO_TYPE_CHAR) {
      *texts = describeCharsFull(dataset, static_cast<const char *>(values), n, count);
    } else if (kind >= 0) {
      char **out = newTexts(n);
      for (int32_t i = 0; i < n; ++i) {
        switch (kind) {
        case IO_TYPE_STRI: {
          const char *slot = static_cast<const IO_string *>(values)[i];
          out[i] = quoted(slot, strnlen(slot, IO_STRING_LEN), "");
          break;
        }
        case IO_TYPE_INTR:
          out[i] = zyrCString_build("%d", static_cast<const int32_t *>(values)[i]);
          break;
        case IO_TYPE_REAL:
          out[i] = zyrCString_build("%e", static_cast<double>(static_cast<const float *>(values)[i]));
          break;
        case IO_TYPE_DBLE:
          out[i] = zyrCString_build("%e", static_cast<const double *>(values)[i]);
          break;
        default:
          out[i] = zyrCString_build("%c", static_cast<const char *>(values)[i]);
          break;
        }
      }
      *texts = out;
      *count = n;
    }
  } else {
    char *text = nullptr;
    switch (kind) {
    case IO_TYPE_STRI: {
      const char *slot = static_cast<const IO_string *>(values)[0];
      text = n == 1 ? quoted(slot, strnlen(slot, IO_STRING_LEN), "") : zyrCString_build("io_string[%d]", n);
      break;
    }
    case IO_TYPE_CHAR:
      text = describeCharsSummary(dataset, static_cast<const char *>(values), n);
      break;
    case IO_TYPE_INTR:
      text = n == 1 ? zyrCString_build("%d", *static_cast<const int32_t *>(values))
                    : zyrCString_build("integer[%d]", n);
      break;
    case IO_TYPE_REAL:
      text = n == 1 ? zyrCString_build("%e", static_cast<double>(*static_cast<const float *>(values)))
                    : zyrCString_build("real[%d]", n);
      break;
    case IO_TYPE_DBLE:
      text = n == 1 ? zyrCString_build("%e", *static_cast<const double *>(values))
                    : zyrCString_build("double[%d]", n);
      break;
    case IO_TYPE_LOGL:
      text = n == 1 ? zyrCString_build("%c", *static_cast<const char *>(values))
                    : zyrCString_build("logical[%d]", n);
      break;
    default:
      text = zyrCString_clone("***NO_DATA***");
      break;
    }
    *texts = singleText(text, count);
  }
  Whole_free(&whole);
  return 1;
}

int32_t Dataset_match(Dataset *dataset, const char *what, const char *where, int32_t when, int countOnly,
                      char ***whats, char ***wheres, int32_t **whens) {
  if (whats) *whats = nullptr;
  if (wheres) *wheres = nullptr;
  if (whens) *whens = nullptr;
  if (!Dataset_locate(dataset, what, where, when)) return 0;
  int32_t n = matchCount(dataset);
  if (countOnly || n == 0 || !whats || !wheres || !whens) return n;
  *whats = newTexts(n);
  *wheres = newTexts(n);
  *whens = zyrMemory_allocateArray<int32_t>(n, __func__);
  for (int32_t i = 0; i < n; ++i) {
    (*whats)[i] = slotText(dataset->m_strings[2 * i]);
    (*wheres)[i] = slotText(dataset->m_strings[2 * i + 1]);
    (*whens)[i] = dataset->m_integers[i];
  }
  return n;
}

int Dataset_erase(Dataset *dataset, const char *what, const char *where, int32_t when) {
  if (!Dataset_locate(dataset, what, where, when)) return 0;
  int32_t n = matchCount(dataset);
  if (n == 0) return 0;
  Key *keys = zyrMemory_allocateArray<Key>(n, __func__);
  for (int32_t i = 0; i < n; ++i) matchKey(dataset, i, &keys[i]);
  int result = 1;
  for (int32_t i = 0; i < n && result; ++i) {
    if (!Dataset_setHeader(dataset, keys[i].m_what, keys[i].m_where, keys[i].m_when, 0) ||
        Dataset_request(dataset, IO_DELETE_DS) != IO_OK)
      result = 0;
  }
  zyrMemory_free(keys, __func__);
  return result;
}

int Dataset_copyAll(Dataset *dataset, int compressWhen) {
  Dataset_reset(dataset);
  return Dataset_request(dataset, compressWhen ? IO_COPY_DS_COMPRESS_WHEN : IO_COPY_ALLVALID_DS) == IO_OK;
}

int Dataset_copyDataset(Dataset *dataset, const Dictionary *uuidMap, const char *what, const char *where,
                        int32_t when, const char *newWhat, const char *newWhere, int32_t newWhen) {
  if (!newWhat || !newWhere) return 0;
  if (uuidMap) {
    int32_t ints, floats, doubles, chars, ioStrings, strings, uuids;
    if (!Dataset_readSignature(dataset, what, where, when, &ints, &floats, &doubles, &chars, &ioStrings,
                               &strings, &uuids))
      return 0;
    if (uuids > 0) {
      char *data;
      int32_t n;
      if (!readAllChars(dataset, what, where, when, &data, &n)) return 0;
      for (int32_t i = 0; i + kUUIDChars <= n; i += kUUIDChars) {
        char text[kUUIDChars + 1];
        memcpy(text, data + i, kUUIDChars);
        text[kUUIDChars] = '\0';
        const char *mapped = static_cast<const char *>(Dictionary_find(uuidMap, text));
        if (!mapped) {
          if (zyrUUID_isNullString(text)) continue;
          appendError(dataset, "Dataset_copyDataset: a UUID in the data set has no translation\n");
          zyrMemory_free(data, __func__);
          return 0;
        }
        // Keys are 22 characters; anything else would shift the pieces after it.
        memset(data + i, 0, kUUIDChars);
        memcpy(data + i, mapped, strnlen(mapped, kUUIDChars));
      }
      // The header is still the one just read: its attributes and data type go with the copy.
      rekey(dataset, newWhat, newWhere, newWhen);
      DataGuard guard(dataset);
      dataset->m_numoffset = 0;
      dataset->m_numstring = 0;
      dataset->m_numintr = 0;
      int32_t local = n;
      aim(&dataset->m_data, IO_TYPE_CHAR, data, &local);
      int result = Dataset_request(dataset, IO_WRITE_DATASET) == IO_OK;
      Dataset_reset(dataset);
      zyrMemory_free(data, __func__);
      return result;
    }
  }
  return Dataset_copyLocated(dataset, what, where, when, newWhat, newWhere, newWhen);
}

int Dataset_copyLocated(Dataset *dataset, const char *what, const char *where, int32_t when,
                        const char *newWhat, const char *newWhere, int32_t newWhen) {
  if (!newWhat || !newWhere) return 0;
  if (!Dataset_locate(dataset, what, where, when)) return 0;
  if (strlen(newWhat) >= DATASET_ATTRIBUTE_LEN || strlen(newWhere) >= DATASET_ATTRIBUTE_LEN) return 0;
  rekey(dataset, newWhat, newWhere, newWhen);
  return Dataset_request(dataset, IO_COPY_DATASET) == IO_OK;
}

int Dataset_changeWhen(Dataset *dataset, const char *what, const char *where, int32_t when, int32_t newWhen) {
  if (!Dataset_locate(dataset, what, where, when)) return 0;
  Key old;
  matchKey(dataset, 0, &old);
  if (old.m_when == newWhen) return 1;
  Whole whole;
  if (!readWhole(dataset, &whole)) return 0;
  dataset->m_when = newWhen;
  aimWhole(dataset, &whole);
  int32_t noOffsets = 0;
  dataset->m_data.m_numoffset = &noOffsets;
  int result = Dataset_request(dataset, IO_WRITE_DATASET) == IO_OK;
  Dataset_reset(dataset);
  Whole_free(&whole);
  if (result) result = Dataset_erase(dataset, old.m_what, old.m_where, old.m_when);
  return result;
}
