// The typed readers of the versioned store (scalar, allocating and into a caller's buffer) over
// histories of mixed kinds, some of whose versions are damaged in the file: the end tag after the
// values broken, the data type word changed, a stored reference made no key. Every answer, what it
// hands over, what it leaves in the caller's variables and which damaged versions it tells of, is
// checked against the rules of Database.h, worked out from what was written and what was damaged;
// so is every answer after a purge (the version it keeps of each name, renumbered) and after a
// reopen. The purge comes after the reads, when the handle has met every damaged version, or before
// any read, when it has met none. A mismatch aborts.
//
// Each name is read at every state, by one reader of each kind (which one, the input chooses).
// An input: the number of names, a byte that varies the readers and the buffer sizes, a byte for the
// state of the purge and whether it comes first; then for each name the number of its versions and,
// for each, its state (0 to 5), a byte for its kind, count and writer, a byte for its damage, the
// values, and what the damage needs.
#include "Database.h"
#include "zyrCString.h"
#include "zyrErrorManager.h"
#include "zyrMemory.h"
#include "zyrTestDataSets.h"
#include "zyrTestErrors.h"
#include "zyrTestSupport.h"
#include "zyrUUID.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

std::string theDirectory;

enum Kind { kInts, kFloats, kDoubles, kChars, kStrings, kReferences };
enum Damage { kSound, kEndTag, kDataType, kReference };

const int32_t kStates = 6;
const char kTypeLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 :{}";

struct Input {
  const uint8_t *m_data;
  size_t m_size;
  size_t m_at = 0;
  uint8_t next() { return m_at < m_size ? m_data[m_at++] : 0; }
};

// The references that versions hold: three keys, and the null reference (-1).
zyrUUID *theReferences[3];

std::string keyText(const zyrUUID *uuid) {
  char text[ZYR_UUID_BASE64_SIZE];
  zyrUUID_toBase64(uuid, text);
  return text;
}

struct Version {
  Kind m_kind = kInts;
  bool m_scalar = false; // written by the writer of one value
  std::vector<int32_t> m_ints;
  std::vector<float> m_floats;
  std::vector<double> m_doubles;
  std::string m_chars; // of characters, strings and references: the characters stored
  std::vector<std::string> m_strings;
  std::vector<int> m_references;
  Damage m_damage = kSound;
  std::string m_dataType; // what a damaged data type reads
  size_t m_referenceByte = 0;

  size_t count() const {
    switch (m_kind) {
    case kInts: return m_ints.size();
    case kFloats: return m_floats.size();
    case kDoubles: return m_doubles.size();
    case kChars: return m_chars.size();
    case kStrings: return m_strings.size();
    default: return m_references.size();
    }
  }
  bool holdsValues() const { return m_kind == kStrings || m_kind == kReferences ? !m_chars.empty() : count() > 0; }
  const char *storedType() const {
    return m_kind == kInts ? "INTR" : m_kind == kFloats ? "REAL" : m_kind == kDoubles ? "DBLE" : "CHAR";
  }
};

Version readVersion(Input &in) {
  Version version;
  const uint8_t shape = in.next();
  version.m_kind = static_cast<Kind>(shape % 6);
  const size_t count = shape / 6 % 5;
  version.m_scalar = count == 1 && shape / 30 % 2 == 1;
  const uint8_t damage = in.next();
  for (size_t i = 0; i < count; ++i) {
    switch (version.m_kind) {
    case kInts: {
      const int16_t value = static_cast<int16_t>(in.next() | in.next() << 8);
      version.m_ints.push_back(value * 7);
      break;
    }
    case kFloats:
      version.m_floats.push_back(static_cast<int8_t>(in.next()) / 4.0f);
      break;
    case kDoubles: {
      const double low = static_cast<int8_t>(in.next()) / 8.0;
      version.m_doubles.push_back(low + static_cast<int8_t>(in.next()) * 1000.0);
      break;
    }
    case kChars:
      version.m_chars += "abcdefgh"[in.next() % 9]; // the ninth is the terminator
      break;
    case kStrings: {
      std::string text;
      for (size_t n = in.next() % 4; n > 0; --n) text += static_cast<char>('a' + in.next() % 8);
      version.m_strings.push_back(text);
      version.m_chars += text + '\0';
      break;
    }
    default: {
      const int reference = in.next() % 4;
      version.m_references.push_back(reference < 3 ? reference : -1);
      // 22 characters of its key, or the null text and zero fill.
      std::string piece = reference < 3 ? keyText(theReferences[reference]) : std::string(ZYR_NULL_UUID_STRING);
      piece.resize(22, '\0');
      version.m_chars += piece;
      break;
    }
    }
  }
  switch (damage % 8) {
  case 4:
  case 7:
    // Of a version without values the library never reads the end tag: only the type is damage there.
    if (version.holdsValues()) version.m_damage = kEndTag;
    break;
  case 5: {
    std::string type = version.storedType();
    const size_t at = damage / 8 % 4;
    const char letter = kTypeLetters[in.next() % (sizeof kTypeLetters - 1)];
    if (damage / 32 % 2 == 1) {
      // A type that the library reads, of values the store never writes.
      version.m_damage = kDataType;
      version.m_dataType = "LOGL";
    } else if (letter != type[at]) {
      type[at] = letter;
      version.m_damage = kDataType;
      version.m_dataType = type;
    }
    break;
  }
  case 6: {
    std::vector<size_t> keys;
    for (size_t i = 0; i < version.m_references.size(); ++i)
      if (version.m_references[i] >= 0) keys.push_back(i);
    const uint8_t choice = in.next();
    if (version.m_kind == kReferences && !keys.empty()) {
      version.m_damage = kReference;
      version.m_referenceByte = keys[choice % keys.size()] * 22 + choice / 8 % 22;
    }
    break;
  }
  default:
    break;
  }
  return version;
}

bool write(Database *database, int32_t when, const zyrUUID *object, const char *name, const Version &version) {
  const int32_t n = static_cast<int32_t>(version.count());
  switch (version.m_kind) {
  case kInts:
    return version.m_scalar ? Database_setInt(database, when, object, name, version.m_ints[0])
                            : Database_setInts(database, when, object, name, version.m_ints.data(), n);
  case kFloats:
    return version.m_scalar ? Database_setFloat(database, when, object, name, version.m_floats[0])
                            : Database_setFloats(database, when, object, name, version.m_floats.data(), n);
  case kDoubles:
    return version.m_scalar ? Database_setDouble(database, when, object, name, version.m_doubles[0])
                            : Database_setDoubles(database, when, object, name, version.m_doubles.data(), n);
  case kChars:
    return version.m_scalar ? Database_setChar(database, when, object, name, version.m_chars[0])
                            : Database_setChars(database, when, object, name, version.m_chars.data(), n);
  case kStrings: {
    std::vector<const char *> texts;
    for (const std::string &text : version.m_strings) texts.push_back(text.c_str());
    return version.m_scalar ? Database_setString(database, when, object, name, texts[0])
                            : Database_setStrings(database, when, object, name, texts.data(), n);
  }
  default: {
    std::vector<const zyrUUID *> targets;
    for (int reference : version.m_references) targets.push_back(reference >= 0 ? theReferences[reference] : nullptr);
    return version.m_scalar ? Database_setPointer(database, when, object, name, targets[0])
                            : Database_setPointers(database, when, object, name, targets.data(), n);
  }
  }
}

bool damage(std::string &bytes, const std::string &name, const std::string &key, int32_t when,
            const Version &version) {
  switch (version.m_damage) {
  case kEndTag: return zyrtest::breakEndTag(bytes, name, key, when);
  case kDataType: return zyrtest::replaceDataType(bytes, name, key, when, version.m_dataType);
  case kReference: return zyrtest::replaceValueByte(bytes, name, key, when, version.m_referenceByte, '!');
  default: return true;
  }
}

// ---- Answers ----
// An answer: the result, and what the caller's variables hold after it, as texts ("-" for what the
// read left as the caller set it; allocated arrays led by "NULL" or "array").

struct Answer {
  int m_result = 0;
  std::vector<std::string> m_held;
  bool operator==(const Answer &other) const { return m_result == other.m_result && m_held == other.m_held; }
};

enum Reader {
  kGetInt, kGetFloat, kGetDouble, kGetChar, kGetString, kGetPointer,
  kGetInts, kGetFloats, kGetDoubles, kGetChars, kGetStrings, kGetPointers,
  kIntArray, kFloatArray, kDoubleArray, kCharArray, kStringArray, kPointerArray,
  kReaders
};
const char *const kReaderNames[kReaders] = {
    "getInt",      "getFloat",      "getDouble",      "getChar",      "getString",      "getPointer",
    "getInts",     "getFloats",     "getDoubles",     "getChars",     "getStrings",     "getPointers",
    "getIntArray", "getFloatArray", "getDoubleArray", "getCharArray", "getStringArray", "getPointerArray"};

const int32_t kUntouchedInt = -1234567;
const float kUntouchedFloat = 1000.5f;
const double kUntouchedDouble = 1e9 + 0.5;
const char kUntouchedChar = '#';
char theUntouchedText[] = "untouched";
zyrUUID theUntouchedReference = {};

std::string text(int32_t value) { return value == kUntouchedInt ? "-" : std::to_string(value); }
std::string text(float value) {
  char out[64];
  std::snprintf(out, sizeof out, "%a", static_cast<double>(value));
  return value == kUntouchedFloat ? "-" : out;
}
std::string text(double value) {
  char out[64];
  std::snprintf(out, sizeof out, "%a", value);
  return value == kUntouchedDouble ? "-" : out;
}
std::string text(char value) { return value == kUntouchedChar ? "-" : "c" + std::to_string(static_cast<int>(value)); }
std::string text(const char *value) { return value == theUntouchedText ? "-" : value == nullptr ? "null" : "s:" + std::string(value); }
std::string text(const zyrUUID *value) {
  return value == &theUntouchedReference ? "-" : value == nullptr ? "null" : keyText(value);
}
std::string referenceText(int reference) { return reference >= 0 ? keyText(theReferences[reference]) : "null"; }

void release(int32_t) {}
void release(float) {}
void release(double) {}
void release(char) {}
void release(char *value) {
  if (value != theUntouchedText) zyrCString_free(value);
}
void release(zyrUUID *value) {
  if (value != &theUntouchedReference) zyrUUID_delete(value);
}

template <class T> T untouched();
template <> int32_t untouched() { return kUntouchedInt; }
template <> float untouched() { return kUntouchedFloat; }
template <> double untouched() { return kUntouchedDouble; }
template <> char untouched() { return kUntouchedChar; }
template <> char *untouched() { return theUntouchedText; }
template <> zyrUUID *untouched() { return &theUntouchedReference; }

template <class T, class Read> Answer scalar(Read read) {
  T value = untouched<T>();
  Answer answer;
  answer.m_result = read(&value);
  answer.m_held.push_back(text(value));
  release(value);
  return answer;
}

template <class T, class Read> Answer allocated(Read read) {
  T *array = nullptr;
  int32_t count = -7;
  Answer answer;
  answer.m_result = read(&array, &count);
  answer.m_held.push_back(array == nullptr ? "NULL" : "array");
  if (count < 0 || (array == nullptr && count != 0)) answer.m_held.push_back("count " + std::to_string(count));
  for (int32_t i = 0; array != nullptr && i < count; ++i) {
    answer.m_held.push_back(text(array[i]));
    release(array[i]);
  }
  zyrMemory_free(array, "fuzz");
  return answer;
}

// A buffer of n and two more entries, which no read may reach.
template <class T, class Read> Answer buffer(Read read, int32_t n) {
  std::vector<T> values(static_cast<size_t>(n) + 2, untouched<T>());
  Answer answer;
  answer.m_result = read(values.data(), n);
  for (T value : values) {
    answer.m_held.push_back(text(value));
    release(value);
  }
  return answer;
}

Answer ask(Database *database, Reader reader, int32_t state, const zyrUUID *object, const char *name, int32_t n) {
  const auto with = [&](auto get) {
    return [=](auto... out) { return get(database, state, object, name, out...); };
  };
  switch (reader) {
  case kGetInt: return scalar<int32_t>(with(Database_getInt));
  case kGetFloat: return scalar<float>(with(Database_getFloat));
  case kGetDouble: return scalar<double>(with(Database_getDouble));
  case kGetChar: return scalar<char>(with(Database_getChar));
  case kGetString: return scalar<char *>(with(Database_getString));
  case kGetPointer: return scalar<zyrUUID *>(with(Database_getPointer));
  case kGetInts: return allocated<int32_t>(with(Database_getInts));
  case kGetFloats: return allocated<float>(with(Database_getFloats));
  case kGetDoubles: return allocated<double>(with(Database_getDoubles));
  case kGetChars: return allocated<char>(with(Database_getChars));
  case kGetStrings: return allocated<char *>(with(Database_getStrings));
  case kGetPointers: return allocated<zyrUUID *>(with(Database_getPointers));
  case kIntArray: return buffer<int32_t>(with(Database_getIntArray), n);
  case kFloatArray: return buffer<float>(with(Database_getFloatArray), n);
  case kDoubleArray: return buffer<double>(with(Database_getDoubleArray), n);
  case kCharArray: return buffer<char>(with(Database_getCharArray), n);
  case kStringArray: return buffer<char *>(with(Database_getStringArray), n);
  default: return buffer<zyrUUID *>(with(Database_getPointerArray), n);
  }
}

// ---- The rules ----

// What the readers of each kind find in a version: its integers, floats, doubles (its floats
// among them) and characters (of strings and references too); the strings, one per terminator
// (characters after the last belong to none).
struct Content {
  std::vector<std::string> m_ints, m_floats, m_doubles, m_chars, m_strings, m_references;
};

Content contentOf(const Version &version) {
  Content content;
  for (int32_t value : version.m_ints) content.m_ints.push_back(text(value));
  for (float value : version.m_floats) {
    content.m_floats.push_back(text(value));
    content.m_doubles.push_back(text(static_cast<double>(value)));
  }
  for (double value : version.m_doubles) content.m_doubles.push_back(text(value));
  for (char value : version.m_chars) content.m_chars.push_back(text(value));
  size_t start = 0;
  for (size_t i = 0; i < version.m_chars.size(); ++i)
    if (version.m_chars[i] == '\0') {
      content.m_strings.push_back("s:" + version.m_chars.substr(start, i - start));
      start = i + 1;
    }
  for (int reference : version.m_references) content.m_references.push_back(referenceText(reference));
  return content;
}

Answer failed(Reader reader, int32_t n) {
  Answer answer;
  if (reader < kGetInts)
    answer.m_held = {"-"};
  else if (reader < kIntArray)
    answer.m_held = {"NULL"};
  else
    answer.m_held.assign(static_cast<size_t>(n) + 2, "-");
  // The string and reference scalars are allocated outputs: NULL on failure.
  if (reader == kGetString || reader == kGetPointer) answer.m_held = {"null"};
  return answer;
}

Answer succeeded(Reader reader, const std::vector<std::string> &values, int32_t n) {
  Answer answer = failed(reader, n);
  answer.m_result = 1;
  if (reader < kGetInts)
    answer.m_held = values;
  else if (reader < kIntArray) {
    answer.m_held = {values.empty() ? "NULL" : "array"};
    answer.m_held.insert(answer.m_held.end(), values.begin(), values.end());
  } else {
    std::copy(values.begin(), values.end(), answer.m_held.begin());
  }
  return answer;
}

// What a reader answers of a version that reads whole.
Answer expectedOf(Reader reader, const Version &version, int32_t n) {
  const Content content = contentOf(version);
  const bool references = version.m_kind == kReferences;
  const std::vector<std::string> *values = nullptr;
  switch (reader) {
  case kGetInt: case kGetInts: case kIntArray: values = &content.m_ints; break;
  case kGetFloat: case kGetFloats: case kFloatArray: values = &content.m_floats; break;
  case kGetDouble: case kGetDoubles: case kDoubleArray: values = &content.m_doubles; break;
  case kGetChar: case kGetChars: case kCharArray: values = &content.m_chars; break;
  case kGetString: case kGetStrings: case kStringArray: values = &content.m_strings; break;
  default: values = &content.m_references; break;
  }
  const size_t size = values->size();
  switch (reader) {
  case kGetInt: case kGetFloat: case kGetDouble: case kGetChar: case kGetString:
    return size == 1 ? succeeded(reader, *values, n) : failed(reader, n);
  case kGetPointer:
    return references && size == 1 ? succeeded(reader, *values, n) : failed(reader, n);
  case kGetInts: case kGetFloats: case kGetDoubles: case kGetChars:
    return succeeded(reader, *values, n);
  case kGetStrings:
    return size >= 1 ? succeeded(reader, *values, n) : failed(reader, n);
  case kGetPointers:
    return references && size >= 1 ? succeeded(reader, *values, n) : failed(reader, n);
  case kPointerArray:
    // Characters that are not references are pieces of 22 that name no key (as a cut piece is).
    if (n < 1 || size > static_cast<size_t>(n) || (!references && !version.m_chars.empty())) return failed(reader, n);
    return succeeded(reader, *values, n);
  default:
    return size <= static_cast<size_t>(n) ? succeeded(reader, *values, n) : failed(reader, n);
  }
}

std::string leftOutText(const char *name, const std::string &key, int32_t when, const char *file) {
  return "20006: The version of \"" + std::string(name) + "\" of the object " + key + " for state " +
         std::to_string(when) + " in the database\n\n" + file + "\n\nis damaged and has been left out.\n";
}

// The answer of a read at the state and the damaged versions it tells of: the newest version not
// above it (exactly -state at 0 and below) that is not damaged answers, as it does; each damaged one
// above it is told and left out.
Answer expected(Reader reader, const std::map<int32_t, Version> &versions, int32_t state, int32_t n, const char *name,
                const std::string &key, const char *file, std::vector<std::string> *told) {
  told->clear();
  for (auto it = versions.rbegin(); it != versions.rend(); ++it) {
    if (state > 0 ? it->first > state : it->first != -state) continue;
    if (it->second.m_damage == kSound) return expectedOf(reader, it->second, n);
    told->push_back(leftOutText(name, key, it->first, file));
  }
  return failed(reader, n);
}

std::string shown(const Answer &answer) {
  std::string out = std::to_string(answer.m_result) + " {";
  for (const std::string &held : answer.m_held) out += " " + held;
  return out + " }";
}

void check(bool holds, const char *what, const char *name, Reader reader, int32_t state, int32_t n,
           const std::string &got, const std::string &wanted) {
  if (holds) return;
  std::fprintf(stderr, "%s: %s of \"%s\" at state %d (buffer %d): got %s, expected %s\n", what, kReaderNames[reader],
               name, state, n, got.c_str(), wanted.c_str());
  std::abort();
}

// The history a purge at the state leaves: the one version it keeps, its state rewritten as 1 when
// above 0. It keeps the newest sound version not above the state. Without one, a purge after the
// reads keeps the newest not above it, which the reads told of (so that it reads as it did); one
// before any read keeps the oldest, the one version it does not read, nothing older being there.
std::map<int32_t, Version> purged(const std::map<int32_t, Version> &history, int32_t state, bool purgeFirst) {
  const std::pair<const int32_t, Version> *kept = nullptr;
  for (const auto &entry : history) {
    if (entry.first > state) break;
    const bool keptSound = kept != nullptr && kept->second.m_damage == kSound;
    if (entry.second.m_damage == kSound || (!keptSound && (!purgeFirst || kept == nullptr))) kept = &entry;
  }
  if (kept == nullptr) return {};
  return {{kept->first > 0 ? 1 : 0, kept->second}};
}

// The readers asked of a name at a state: one of each kind (integers, floats, doubles, characters,
// strings, references), its scalar, allocating or buffer reader as the input's byte, the name and
// the state choose, so that the inputs between them ask every reader at every state.
Reader readerAt(uint8_t sizes, size_t name, int32_t state, int32_t kind) {
  const int32_t shape = (sizes / 6 + static_cast<int32_t>(name) + state + kind + 3 * kStates) % 3;
  return static_cast<Reader>(shape * 6 + kind);
}

// The states read of a history: every state from 1, and exactly the state of each version (0 and
// below), the only ones at 0 and below with a version to read.
std::vector<int32_t> statesOf(const std::map<int32_t, Version> &history) {
  std::vector<int32_t> states;
  for (const auto &entry : history) states.push_back(-entry.first);
  for (int32_t state = 1; state <= kStates; ++state) states.push_back(state);
  return states;
}

std::string joined(const std::vector<std::string> &texts) {
  std::string out;
  for (const std::string &part : texts) out += "[" + part + "]";
  return out;
}

std::string nameOf(size_t i) { return "n" + std::to_string(i); }

// Every reader asked of every name at every state of `states` (the states of its history), each answer
// and what it tells checked against the rules for the histories.
void readEvery(Database *database, const std::vector<std::map<int32_t, Version>> &histories,
               const std::vector<std::vector<int32_t>> &states, uint8_t sizes, const zyrUUID *object,
               const std::string &key, const std::string &fileName, zyrtest::ErrorCapture &errors, const char *when) {
  std::vector<std::string> told;
  for (size_t i = 0; i < histories.size(); ++i) {
    const std::string name = nameOf(i);
    for (int32_t state : states[i])
      for (int32_t k = 0; k < 6; ++k) {
        const Reader reader = readerAt(sizes, i, state, k);
        const int32_t n = (sizes + state + k + 2 * kStates) % 6;
        const Answer got = ask(database, reader, state, object, name.c_str(), n);
        const Answer wanted = expected(reader, histories[i], state, n, name.c_str(), key, fileName.c_str(), &told);
        check(got == wanted, when, name.c_str(), reader, state, n, shown(got), shown(wanted));
        const std::vector<std::string> heard = errors.take();
        check(heard == told, (std::string("told: ") + when).c_str(), name.c_str(), reader, state, n, joined(heard),
              joined(told));
      }
  }
}

void removeFiles(const std::string &name) {
  std::remove(name.c_str());
  std::remove((name + ".lck").c_str());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  // Removed with the process's static objects at its exit.
  static const zyrtest::ScratchDir dir("zyrfuzz_store_readers");
  theDirectory = dir.path();
  for (uint32_t i = 0; i < 3; ++i) theReferences[i] = zyrUUID_newFromIntegers(0x1000 * (i + 1), i, 77, 0xabcdef);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  Input in{data, size};
  const int32_t names = 1 + in.next() % 3;
  const uint8_t sizes = in.next();
  const uint8_t purge = in.next();
  const int32_t purgeState = 1 + purge % kStates;
  const bool purgeFirst = purge / kStates % 2 == 1;
  std::vector<std::map<int32_t, Version>> histories(static_cast<size_t>(names));
  for (auto &history : histories)
    for (int32_t versions = 1 + in.next() % 5; versions > 0; --versions) {
      const int32_t when = in.next() % kStates;
      // A write at a state replaces the version of that state.
      history[when] = readVersion(in);
    }

  const std::string file = theDirectory + "/db.zyr";
  removeFiles(file);
  zyrtest::ErrorCapture errors;
  zyrUUID *object = zyrUUID_newFromIntegers(1, 2, 3, 4);
  const std::string key = keyText(object);
  Database *database = Database_new(file.c_str());
  if (database == nullptr) std::abort();
  for (size_t i = 0; i < histories.size(); ++i)
    for (const auto &[when, version] : histories[i])
      if (!write(database, when, object, nameOf(i).c_str(), version)) std::abort();
  Database_delete(database);
  std::string bytes = zyrtest::readFile(file);
  for (size_t i = 0; i < histories.size(); ++i)
    for (const auto &[when, version] : histories[i])
      if (!damage(bytes, nameOf(i), key, when, version)) std::abort();
  zyrtest::writeFile(file, bytes);
  database = Database_new(file.c_str());
  if (database == nullptr) std::abort();
  const std::string fileName = Database_getFileName(database);
  errors.take();

  // Every reader at every state, before the purge or only after it; then every reader at every state
  // of the history the purge left, and so after a reopen: the states of the history written as well,
  // at which a purge that kept its states would answer.
  if (!purgeFirst) {
    std::vector<std::vector<int32_t>> written;
    for (const auto &history : histories) written.push_back(statesOf(history));
    readEvery(database, histories, written, sizes, object, key, fileName, errors, "answer");
  }
  if (Database_purgeModifiedData(database, purgeState) != 1) std::abort();
  std::vector<std::map<int32_t, Version>> left;
  std::vector<std::vector<int32_t>> states;
  for (const auto &history : histories) {
    left.push_back(purged(history, purgeState, purgeFirst));
    std::vector<int32_t> asked = statesOf(history);
    for (const auto &entry : left.back())
      if (std::find(asked.begin(), asked.end(), -entry.first) == asked.end()) asked.push_back(-entry.first);
    states.push_back(asked);
  }
  readEvery(database, left, states, sizes, object, key, fileName, errors, "answer after the purge");
  Database_delete(database);
  database = Database_new(file.c_str());
  if (database == nullptr) std::abort();
  readEvery(database, left, states, sizes, object, key, fileName, errors, "answer after the reopen");
  Database_delete(database);
  zyrUUID_delete(object);
  errors.take();
  removeFiles(file);
  return 0;
}
