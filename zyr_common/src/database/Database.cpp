// The versioned database: attribute values of persistent objects as data sets keyed by name,
// object key and state, over one DefFile.
#include "Database.h"
#include "DatabaseStaging.h"

#include "Dataset.h"
#include "DefFile.h"
#include "Dictionary.h"
#include "io_pipeline.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrHeldTemporary.h"
#include "zyrLibrary.h"
#include "zyrMemory.h"
#include "zyrPause.h"
#include "zyrSystem.h"
#include "zyrTrace.h"
#include "zyrUUID.h"
#include "zyrWorker.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <type_traits>
#include <unordered_set>
#include <vector>

// The versions that reads of a handle could not take, each as its key, name and when in one text.
struct DatabaseLeftOut {
  std::unordered_set<std::string> m_versions;
};

namespace {

const char *const kVersion = "Version";
const char *const kSuffixes[] = {".zyr", ".zyr.bak", ".wez", ".wez.bak"};

// Sets the where of the next keyed call: "GLOBAL" for no UUID, else the UUID's key.
const char *setKey(Database *database, const zyrUUID *uuid) {
  if (uuid) {
    char text[ZYR_UUID_BASE64_SIZE];
    zyrUUID_toBase64(uuid, text);
    snprintf(database->m_key, sizeof database->m_key, "%s", text);
  } else {
    snprintf(database->m_key, sizeof database->m_key, "%s", DATABASE_GLOBAL_KEY);
  }
  return database->m_key;
}

// An attribute name is an exact key, never a pattern: where the library would take it for one
// ("*", "?", "[", "]"), those characters and the backslash are escaped.
std::string exact(const char *name) {
  std::string text(name != nullptr ? name : "");
  if (text.find_first_of("*?[]") == std::string::npos)
    return text;
  std::string escaped;
  for (char c : text) {
    if (std::strchr("*?[]\\", c) != nullptr)
      escaped += '\\';
    escaped += c;
  }
  return escaped;
}

// The key and the when to read: -1 when no version is valid at the state.
int32_t readWhen(Database *database, int32_t state, const zyrUUID *uuid, const char *name) {
  setKey(database, uuid);
  return Database_findActiveWhen(database, state, name);
}

std::string versionText(const char *key, const char *name, int32_t when) {
  std::string text(key);
  text += '\x1b';
  text += name;
  text += '\x1b';
  text += std::to_string(when);
  return text;
}

bool isLeftOut(const Database *database, const char *key, const char *name, int32_t when) {
  const std::unordered_set<std::string> &versions = database->m_leftOut->m_versions;
  return !versions.empty() && versions.count(versionText(key, name, when)) > 0;
}

struct Entry {
  std::string m_key;
  std::string m_name;
  int32_t m_when;
};

// Every data set of the filters, unsorted.
std::vector<Entry> listEntries(Database *database, const char *keyFilter, const char *nameFilter) {
  int32_t count = 0;
  char **whats = nullptr, **wheres = nullptr;
  int32_t *whens = nullptr;
  DefFile_match(database->m_defFile, nameFilter, keyFilter, -1, 0, &count, &whats, &wheres, &whens);
  std::vector<Entry> entries;
  entries.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) entries.push_back({wheres[i], whats[i], whens[i]});
  zyrCStringArray_free(whats, static_cast<uint64_t>(count));
  zyrCStringArray_free(wheres, static_cast<uint64_t>(count));
  zyrMemory_free(whens, "listEntries");
  return entries;
}

// Erases every data set of a key.
int deleteKey(Database *database, const char *key) {
  int result = DefFile_erase(database->m_defFile, "*", key, -1);
  if (result) database->m_isModified = 1;
  return result;
}

Database *makeHandle(const char *fileName, DefFile *file) {
  Database *database = static_cast<Database *>(zyrMemory_allocateAndSet(sizeof(Database), 0, "makeHandle"));
  database->m_uuid = zyrUUID_new();
  database->m_fileName = zyrCString_clone(fileName);
  database->m_defFile = file;
  database->m_leftOut = new DatabaseLeftOut();
  snprintf(database->m_key, sizeof database->m_key, "%s", DATABASE_GLOBAL_KEY);
  return database;
}

void freeHandle(Database *database) {
  zyrMemory_free(database->m_staging, __func__);
  delete database->m_leftOut;
  DefFile_delete(database->m_defFile);
  zyrUUID_delete(database->m_uuid);
  zyrCString_free(database->m_fileName);
  zyrMemory_free(database, "freeHandle");
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Opening and closing.

char *Database_fileName(const char *name) {
  if (!name) return nullptr;
  size_t length = strlen(name);
  for (const char *suffix : kSuffixes) {
    size_t n = strlen(suffix);
    if (length >= n && memcmp(name + length - n, suffix, n) == 0) return zyrCString_clone(name);
  }
  return zyrCString_merge(name, ".zyr", static_cast<const char *>(nullptr));
}

int Database_fileExists(const char *name, int32_t code, const char *function) {
  char *fileName = Database_fileName(name);
  const int exists = zyrLookForFile(fileName);
  if (exists < 0 && code != 0)
    zyrPublishCannotTell(code, fileName, function);
  zyrCString_free(fileName);
  return exists;
}

namespace {

// What comes of the open of a file whose version does not read.
enum Unversioned { kRefused, kOpenAgain };

// A file whose version does not read is no database, and its handle goes without writing
// anything; when the disc failed the read, the file may well be one: that failure is what the user
// was told. A file that holds no more than what a creation leaves, and that a live process holds,
// is that process's to make: refused as in use, naming the process (calling it no database would
// invite its removal under its maker). Its maker gone, an open that may make it anew tries again.
Unversioned refuseUnversioned(Database *database, bool mayOpenAgain) {
  const bool readFailed = DefFile_readFailure(database->m_defFile) != 0;
  zyrPause_point("open.unversioned");
  // Looked at while this handle holds the file, so that its maker cannot change it meanwhile: the
  // file itself, through its open, whatever the given name leads to now.
  const bool unmade = !readFailed && DefFile_isHeldCutOffCreation(database->m_defFile);
  const std::string name = database->m_fileName;
  // Its maker is looked for under its name once this handle has let go: only while the name still
  // leads to the file, so that another file's holder is never named as its maker.
  const bool named = DefFile_isFile(database->m_defFile, name.c_str()) == 1;
  // A version that the open left out (its frame does not stand as the index says) is named: the
  // file may well be a database whose one record is damaged.
  const bool versionLeftOut =
      !readFailed && DefFile_isLeftOut(database->m_defFile, kVersion, DATABASE_GLOBAL_KEY, 0) == 1;
  Database_abandon(database);
  // This process no longer holds it: a holder now is its maker.
  if (unmade && named && DefFile_tellMaker(name.c_str(), __func__))
    return kRefused;
  if (unmade && mayOpenAgain)
    return kOpenAgain;
  if (versionLeftOut)
    ZYR_ERROR(ZYR_U_INVALID_INPUT,
              "The requested file\n\n%s\n\nexists but is not a valid ZYR database.\nIts version (the data set "
              "%s:%s:0) does not stand as its index says, and has been left out.\n",
              name.c_str(), kVersion, DATABASE_GLOBAL_KEY);
  else if (!readFailed)
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "The requested file\n\n%s\n\nexists but is not a valid ZYR database.\n",
              name.c_str());
  return kRefused;
}

// Opens the file of exactly this name; a file that the open made (or made anew) is made a new
// database.
Database *openNamed(const char *fileName, bool mayOpenAgain = true) {
  DefFile *file = DefFile_new(fileName, 1);
  if (!file) return nullptr;
  Database *database = makeHandle(fileName, file);
  char *version = nullptr;
  if (!Database_getString(database, 0, nullptr, kVersion, &version)) {
    if (!DefFile_isNew(file) || DefFile_readFailure(file) != 0) {
      if (refuseUnversioned(database, mayOpenAgain) == kOpenAgain) return openNamed(fileName, false);
      return nullptr;
    }
    Database_setVersion(database);
    Database_timeStamp(database, nullptr, "Date - created");
  }
  zyrCString_free(version);
  // Creating a file is not a change of it.
  database->m_isModified = 0;
  return database;
}

} // namespace

Database *Database_new(const char *name) {
  char *fileName = Database_fileName(name);
  if (!fileName) return nullptr;
  Database *database = openNamed(fileName);
  zyrCString_free(fileName);
  return database;
}

int Database_isNew(const Database *database) { return database ? DefFile_isNew(database->m_defFile) : 0; }

int Database_isCutOffCreation(const char *name) {
  char *fileName = Database_fileName(name);
  const int cutOff = fileName ? DefFile_isCutOffCreation(fileName) : 0;
  zyrCString_free(fileName);
  return cutOff;
}

void Database_setCreating(Database *database, int creating) {
  if (database) database->m_creating = creating ? 1 : 0;
}

namespace {

// Database_openForReading, or with `look` Database_openToLook.
Database *openReading(const char *name, bool look) {
  char *fileName = Database_fileName(name);
  DefFile *file = fileName == nullptr ? nullptr
                  : look              ? DefFile_openToLook(fileName, 1)
                                      : DefFile_openForReading(fileName, 1);
  Database *database = file != nullptr ? makeHandle(fileName, file) : nullptr;
  zyrCString_free(fileName);
  char *version = nullptr;
  if (database != nullptr && !Database_getString(database, 0, nullptr, kVersion, &version)) {
    // A refusal comes with what the open left out: no other open follows to tell it.
    DefFile_tellLeftOut(database->m_defFile);
    refuseUnversioned(database, false);
    return nullptr;
  }
  zyrCString_free(version);
  return database;
}

} // namespace

Database *Database_openForReading(const char *name) { return openReading(name, false); }

Database *Database_openToLook(const char *name) { return openReading(name, true); }

void Database_tellLeftOut(Database *database) {
  if (database != nullptr)
    DefFile_tellLeftOut(database->m_defFile);
}

Database *Database_openCopy(const char *fileName) {
  // A copy this process holds is opened through its hold, which never makes it: no look by its
  // name decides whether it is there (one that finds nothing there cannot tell).
  if (zyrHeldTemporary_check(fileName) != 0)
    return openNamed(fileName);
  // A look that cannot tell is no absence: it refuses saying why.
  const int exists = zyrLookForFile(fileName);
  if (exists < 0)
    zyrPublishCannotTell(ZYR_U_UNABLE_TO_COMPACT_DATABASE, fileName, __func__);
  return exists > 0 ? openNamed(fileName) : nullptr;
}

namespace {

// The handle of a copy of the original's file: it has changed as the original has, and what the
// original's reads left out stays out of the copy's.
Database *copyHandle(const Database *original, const char *name, DefFile *file) {
  Database *copy = file ? makeHandle(name, file) : nullptr;
  if (copy) {
    copy->m_isModified = original->m_isModified;
    copy->m_leftOut->m_versions = original->m_leftOut->m_versions;
  }
  return copy;
}

} // namespace

Database *Database_clone(Database *database, const char *newName) {
  char *fileName = Database_fileName(newName);
  if (!fileName) return nullptr;
  const bool taken = zyrIsFile(fileName) != 0;
  DefFile *copy = DefFile_clone(database->m_defFile, fileName);
  // A copy that could not be made whole says why (the name already taken is the caller's to tell).
  if (copy == nullptr && !taken)
    DefFile_reportError(database->m_defFile, __func__);
  Database *clone = copyHandle(database, fileName, copy);
  zyrCString_free(fileName);
  return clone;
}

int Database_copyTo(Database *database, const char *path) {
  if (DefFile_copyTo(database->m_defFile, path)) return 1;
  DefFile_reportError(database->m_defFile, __func__);
  return 0;
}

Database *Database_openCopyOf(const Database *original, const char *name, const char *path) {
  return copyHandle(original, name, DefFile_new(path, 1));
}

int Database_rename(Database *database, const char *newName) {
  char *fileName = Database_fileName(newName);
  if (!fileName) return 0;
  int moved = DefFile_moveFile(database->m_defFile, fileName);
  if (moved) {
    zyrCString_free(database->m_fileName);
    database->m_fileName = fileName;
  } else {
    zyrCString_free(fileName);
  }
  return moved;
}

void Database_delete(Database *database) { Database_close(database); }

void Database_abandon(Database *database) {
  if (!database) return;
  DefFile_abandon(database->m_defFile);
  freeHandle(database);
}

int Database_close(Database *database) {
  if (!database) return 1;
  // A creation that failed: the file it made goes, and nothing more is written to it.
  if (database->m_creating && DefFile_removeMade(database->m_defFile)) {
    freeHandle(database);
    return 1;
  }
  int result = 1;
  if (database->m_isModified && Database_timeStamp(database, nullptr, "Date - modified") != 1) result = 0;
  // The close itself can store the index only quietly: it is stored first, where a failure is heard.
  if (DefFile_isWriter(database->m_defFile) && !DefFile_finish(database->m_defFile)) {
    DefFile_reportError(database->m_defFile, __func__);
    result = 0;
  }
  freeHandle(database);
  return result;
}

const char *Database_getFileName(const Database *database) { return database->m_fileName; }

DefFile *Database_getDefFile(const Database *database) { return database->m_defFile; }

int Database_isModified(const Database *database) { return database->m_isModified; }

int Database_sync(Database *database) {
  if (database == nullptr || database->m_defFile == nullptr)
    return 0;
  if (DefFile_sync(database->m_defFile))
    return 1;
  DefFile_reportError(database->m_defFile, __func__);
  return 0;
}

int Database_claimWrite(Database *database, int report) {
  if (database == nullptr || database->m_defFile == nullptr)
    return 0;
  // A claim only tried, not needed for a change, is not made of a file whose open found that it
  // cannot be changed: the open told why, and nothing is to change.
  if (!report && DefFile_cannotBeChanged(database->m_defFile))
    return 0;
  if (DefFile_claimWrite(database->m_defFile))
    return 1;
  const bool readOnly = DefFile_isReadOnly(database->m_defFile) != 0;
  // Not another process: the file system refused the claim, and says why.
  if (Database_claimFailedToWrite(database)) {
    DefFile_reportError(database->m_defFile, __func__);
    return 0;
  }
  if (!report)
    return 0;
  if (readOnly)
    ZYR_ERROR(ZYR_U_UNABLE_TO_WRITE_DATASET,
              "The database\n\n%s\n\ncannot be changed: the file is not writable, so it has been "
              "opened for reading only.\n",
              database->m_fileName);
  else
    ZYR_ERROR(ZYR_U_DATABASE_IS_LOCKED,
              "The database\n\n%s\n\nis open, but cannot be changed while another process has it open "
              "too. The change has not been made.\n",
              database->m_fileName);
  return 0;
}

int Database_claimFailedToWrite(const Database *database) {
  return database != nullptr && database->m_defFile != nullptr && !DefFile_isReadOnly(database->m_defFile) &&
                 database->m_defFile->m_errorCode == ZYR_U_UNABLE_TO_WRITE_DATASET &&
                 database->m_defFile->m_function != nullptr &&
                 std::strcmp(database->m_defFile->m_function, "DefFile_claimWrite") == 0
             ? 1
             : 0;
}

int Database_isWriter(const Database *database) {
  return database != nullptr && database->m_defFile != nullptr ? DefFile_isWriter(database->m_defFile) : 0;
}

int Database_isReadOnly(const Database *database) {
  return database != nullptr && database->m_defFile != nullptr ? DefFile_isReadOnly(database->m_defFile) : 0;
}

int Database_cannotBeChanged(const Database *database) {
  return database != nullptr && database->m_defFile != nullptr ? DefFile_cannotBeChanged(database->m_defFile) : 0;
}

int32_t Database_takeFailedWrites(Database *database) {
  if (database == nullptr || database->m_defFile == nullptr)
    return 0;
  return DefFile_takeFailedWrites(database->m_defFile);
}

int32_t Database_getFailedWrites(const Database *database) {
  return database != nullptr && database->m_defFile != nullptr ? database->m_defFile->m_failedWrites : 0;
}

int32_t Database_getVersion(Database *database) {
  char *version = nullptr;
  if (!Database_getString(database, 0, nullptr, kVersion, &version)) return -1;
  std::string text(version);
  zyrCString_free(version);
  size_t open = text.find('(');
  size_t close = open == std::string::npos ? std::string::npos : text.find(')', open + 1);
  if (close == std::string::npos) return -1;
  std::string digits;
  for (size_t i = open + 1; i < close && digits.size() < 8; ++i)
    if (text[i] >= '0' && text[i] <= '9') digits += text[i];
  if (digits.empty()) return -1;
  return static_cast<int32_t>(std::stol(digits));
}

int Database_setVersion(Database *database) {
  char *version = zyrLibrary_getVersion();
  int result = Database_setString(database, 0, nullptr, kVersion, version);
  zyrCString_free(version);
  return result;
}

int Database_timeStamp(Database *database, const zyrUUID *uuid, const char *name) {
  char *date = zyrGetDateString();
  char *time = zyrGetTimeString();
  char *stamp = zyrCString_merge(date ? date : "unknown", " [", time ? time : "unknown", "]",
                                 static_cast<const char *>(nullptr));
  int result = Database_setString(database, 0, uuid, name, stamp);
  zyrCString_free(stamp);
  zyrCString_free(date);
  zyrCString_free(time);
  return result;
}

void Database_print(const Database *database, FILE *stream) {
  char text[ZYR_UUID_BASE64_SIZE];
  zyrUUID_toBase64(database->m_uuid, text);
  fprintf(stream, "Database: %s\n", text);
  fprintf(stream, "m_fileName   = %s\n", database->m_fileName ? database->m_fileName : "");
  fprintf(stream, "m_key        = %s\n", database->m_key);
  fprintf(stream, "m_isModified = %d\n", database->m_isModified);
  if (database->m_defFile) DefFile_print(database->m_defFile, stream);
}

// ---------------------------------------------------------------------------------------------
// Keyed values.

namespace {

// Writes a keyed value at the state through one of DefFile's writers.
template <class Writer, class... In>
int writeKeyed(Database *database, int32_t state, const zyrUUID *uuid, const char *name, Writer writer,
               In... in) {
  setKey(database, uuid);
  if (writer(database->m_defFile, name, database->m_key, state, in...)) {
    database->m_isModified = 1;
    // The version written takes the place of one that could not be read.
    if (!database->m_leftOut->m_versions.empty())
      database->m_leftOut->m_versions.erase(versionText(database->m_key, name, state));
    return 1;
  }
  // A value that did not reach the file is the caller's to hear about now, not at some later
  // report: the state it belongs to cannot be committed.
  DefFile_reportError(database->m_defFile, database->m_defFile->m_function);
  return 0;
}

// Whether the characters of a version are marked as references (its first attribute "t=u").
bool marksReferences(DefFile *file, const char *what, const char *where, int32_t when) {
  int32_t n = 0;
  char **names = nullptr, **values = nullptr;
  const bool marked = DefFile_readAttributes(file, what, where, when, &n, &names, &values) && n > 0 &&
                      std::strcmp(names[0], "t") == 0 && std::strcmp(values[0], "u") == 0;
  zyrCStringArray_free(names, static_cast<uint64_t>(n));
  zyrCStringArray_free(values, static_cast<uint64_t>(n));
  return marked;
}

// Whether a data type is one that the store's writers give a data set: a plain INTR, REAL, DBLE,
// CHAR (also the packed strings and references) or STRI, or a structure of n of the first four,
// "STRC{INTR:n}", n as printed. The library's readers take more (what follows a plain type's four
// letters, LOGL, counts written otherwise), and a data set without values is read without its type
// being looked at: any other type is damage, whatever the count.
bool isStoredType(const char *type) {
  static const char *const kPlain[] = {"INTR", "REAL", "DBLE", "CHAR", "STRI"};
  const std::string text(type);
  for (const char *plain : kPlain)
    if (text == plain) return true;
  if (text.size() < 12 || text.compare(0, 5, "STRC{") != 0 || text[9] != ':' || text.back() != '}') return false;
  if (std::find(std::begin(kPlain), std::end(kPlain) - 1, text.substr(5, 4)) == std::end(kPlain) - 1) return false;
  const std::string digits = text.substr(10, text.size() - 11);
  if (digits.size() > 10 || digits.find_first_not_of("0123456789") != std::string::npos ||
      (digits.size() > 1 && digits[0] == '0'))
    return false;
  return std::stoll(digits) <= INT32_MAX;
}

// Whether the version's header reads and declares a type that the store writes.
bool hasStoredType(DefFile *file, const char *what, const char *where, int32_t when) {
  char *type = nullptr;
  const bool stored = DefFile_getDataType(file, what, where, when, &type) && type != nullptr && isStoredType(type);
  zyrCString_free(type);
  return stored;
}

// Whether the characters of the data set that the file's last read took are marked as references
// (its header, which the read left in the file's record).
bool lastReadMarksReferences(const DefFile *file) { return Dataset_getCharKind(file->m_dataset) == 2; }

// Whether each piece of a version's characters names a key (or is the null marker).
bool referencesNameKeys(DefFile *file, const char *what, const char *where, int32_t when) {
  zyrUUID **references = nullptr;
  int32_t count = 0;
  const bool keys = DefFile_readUUIDs(file, what, where, when, &references, &count) != 0;
  for (int32_t i = 0; i < count; ++i) zyrUUID_delete(references[i]);
  zyrMemory_free(references, __func__);
  return keys;
}

// Whether a version reads whole as what it was stored as: of a type the store writes, its values
// whole and, for characters stored as references, each naming a key. Only a version that does not
// is damage: one that a reader of another type, or a caller's buffer too small for it, cannot take
// is sound, the version of its state for every other reader and the one a purge keeps.
bool readsWhole(DefFile *file, const char *what, const char *where, int32_t when) {
  if (!hasStoredType(file, what, where, when)) return false;
  // A typed read takes every value the version holds, those of other types into arrays it drops,
  // so one of characters reads the whole of any version.
  char *chars = nullptr;
  int32_t n = 0;
  const bool whole = DefFile_readChars(file, what, where, when, &chars, &n) != 0;
  zyrMemory_free(chars, __func__);
  return whole && (n == 0 || !lastReadMarksReferences(file) || referencesNameKeys(file, what, where, when));
}

// Whether the version that a reader has just taken, as a whole read of its values, reads whole as
// what it was stored as (readsWhole), told by the header that the read left in the file's record:
// what a whole read cannot tell is whether the type is one the store writes and, for references
// read as anything else, whether each names a key. Should the record hold another header (the
// library was given the name escaped), the version is read again.
bool tookWhole(DefFile *file, const char *what, const char *where, int32_t when, bool tookReferences) {
  const Dataset *dataset = file->m_dataset;
  if (dataset->m_when != when || std::strcmp(dataset->m_what, what) != 0 || std::strcmp(dataset->m_where, where) != 0)
    return readsWhole(file, what, where, when);
  if (!isStoredType(dataset->m_istrct)) return false;
  return tookReferences || dataset->m_nstrct <= 0 || !lastReadMarksReferences(file) ||
         referencesNameKeys(file, what, where, when);
}

// The newest version of the name under the current key older than `when`, or -1.
int32_t olderWhen(Database *database, const char *name, int32_t when) {
  return when > 0 ? Database_findActiveWhen(database, when - 1, name) : -1;
}

// Reads the version of a keyed value valid at the state through a reader that hands over only a
// version that reads whole (the staging readers below). One that cannot be read gives way to the
// newest older one that can.
template <class Reader, class... Out>
int readActive(Database *database, int32_t state, const zyrUUID *uuid, const char *name, Reader reader,
               Out... out) {
  int32_t when = readWhen(database, state, uuid, name);
  const std::string exactName = exact(name);
  DefFile *file = database->m_defFile;
  while (when >= 0) {
    if (reader(file, exactName.c_str(), database->m_key, when, out...))
      return 1;
    // A version that is not there (at state 0 and below it is only asked for) or that reads whole
    // is no damage: the read fails as the reader answered, for the caller's type or buffer, and no
    // older version stands in for the version of the state.
    const bool noDamage = DefFile_readFailure(file) == 0 &&
                          (DefFile_exists(file, exactName.c_str(), database->m_key, when) != 1 ||
                           readsWhole(file, exactName.c_str(), database->m_key, when));
    // The disc failed the read: the version is as unknown as the rest of what the file holds now.
    if (DefFile_readFailure(file) != 0) {
      DefFile_reportError(file, file->m_function);
      return 0;
    }
    if (noDamage)
      return 0;
    // The index named the version, and its data set stands where the index says, but it does not
    // read: the user hears of it, and the caller goes on with an older version, the one every read
    // at the state takes (an open, a change of state, the open after a close).
    ZYR_ERROR(ZYR_I_INTERNAL_ERROR,
              "The version of \"%s\" of the object %s for state %d in the database\n\n%s\n\nis damaged "
              "and has been left out.\n",
              name, database->m_key, when, database->m_fileName);
    database->m_leftOut->m_versions.insert(versionText(database->m_key, name, when));
    when = state > 0 ? olderWhen(database, name, when) : -1;
  }
  return 0;
}

// The value types that a version's data type declares, one bit each in the order of kTypeNames: a
// plain type by its first four letters, a structure by the names of its entries.
const char *const kTypeNames[] = {"INTR", "REAL", "DBLE", "CHAR", "STRI", "LOGL"};

uint32_t versionTypes(DefFile *file, const char *what, const char *where, int32_t when) {
  char *type = nullptr;
  std::string entries;
  if (DefFile_getDataType(file, what, where, when, &type) && type != nullptr) entries = type;
  zyrCString_free(type);
  if (entries.compare(0, 4, "STRC") == 0) {
    const size_t open = entries.find('{');
    const size_t close = open == std::string::npos ? open : entries.find('}', open);
    entries = close == std::string::npos ? std::string() : entries.substr(open + 1, close - open - 1);
  } else {
    entries = entries.substr(0, 4);
  }
  uint32_t types = 0;
  for (uint32_t k = 0; k < 6; ++k)
    if (entries.find(kTypeNames[k]) != std::string::npos) types |= 1u << k;
  return types;
}

// ---- Staging readers ----
// Each reads a version into storage of its own and hands it to the caller only once the version has
// read whole (tookWhole): a version that fails on its way (a damaged end after its values) or that
// reads but is damage all the same leaves the caller's outputs as they were, for the older version
// read in its place and for a caller told of a failure. What such a read made is released.

template <class T> constexpr bool kIsReference = std::is_same_v<T, zyrUUID *>;

// What a read into staging storage made and did not hand over: numbers and characters are values;
// strings and references are the reader's new objects.
template <class T> void releaseStaged(T &) {}
void releaseStaged(char *&text) {
  zyrCString_free(text);
  text = nullptr;
}
void releaseStaged(zyrUUID *&reference) {
  zyrUUID_delete(reference);
  reference = nullptr;
}

// A reader of one value (a number, a character, a new string or UUID).
template <class T> auto staged(int (*reader)(DefFile *, const char *, const char *, int32_t, T *)) {
  return [reader](DefFile *file, const char *what, const char *where, int32_t when, T *value) {
    T read = T();
    if (!reader(file, what, where, when, &read)) return 0;
    if (!tookWhole(file, what, where, when, kIsReference<T>)) {
      releaseStaged(read);
      return 0;
    }
    *value = read;
    return 1;
  };
}

// A reader of a new array and its count.
template <class T> auto staged(int (*reader)(DefFile *, const char *, const char *, int32_t, T **, int32_t *)) {
  return [reader](DefFile *file, const char *what, const char *where, int32_t when, T **array, int32_t *count) {
    T *read = nullptr;
    int32_t n = 0;
    if (!reader(file, what, where, when, &read, &n)) return 0;
    if (!tookWhole(file, what, where, when, kIsReference<T>)) {
      for (int32_t i = 0; read != nullptr && i < n; ++i) releaseStaged(read[i]);
      zyrMemory_free(read, __func__);
      return 0;
    }
    *array = read;
    *count = n;
    return 1;
  };
}

// ---- The staging of the buffer readers ----
// A buffer reader reads each version into the handle's staging, of the version's size and not the
// buffer's: a caller's generous n costs nothing. The staging is never cleared (a read overwrites
// what it hands over) and is kept, whatever its size, until the handle closes: it is never larger
// than the largest version the handle has read, one copy of what the caller holds a buffer for.
// Let go after each read, a large staging made every read of a large version take fresh memory
// from the system and fault in every page of it again.
const int64_t kLeastStaging = 256;

// The staging with room for `count` values of T, grown (its contents dropped) when it has not.
template <class T> T *stagingFor(Database *database, int32_t count) {
  const int64_t bytes = std::max(static_cast<int64_t>(count) * static_cast<int64_t>(sizeof(T)), kLeastStaging);
  if (bytes > database->m_stagingBytes) {
    zyrMemory_free(database->m_staging, __func__);
    database->m_staging = zyrMemory_allocate(bytes, __func__);
    database->m_stagingBytes = bytes;
    database->m_largestStaging = std::max(database->m_largestStaging, bytes);
  }
  return static_cast<T *>(database->m_staging);
}

// The values of T that the staging has room for, at least those of kLeastStaging.
template <class T> int32_t stagingRoom(const Database *database) {
  const int64_t room = std::max(database->m_stagingBytes, kLeastStaging) / static_cast<int64_t>(sizeof(T));
  return static_cast<int32_t>(std::min<int64_t>(room, INT32_MAX));
}

// The one copy of a version that read whole out of the staging into the caller's buffer. It is
// bound by the memory's bandwidth, which one thread does not reach: a large one is split over as
// many threads as compress a data set (io_pipeline_threads), in pieces of at least kLeastCopyPiece
// bytes, below which a thread costs more than it saves. The calling thread copies the last piece,
// the one the read left nearest in the caches.
const int64_t kLeastCopyPiece = int64_t{4} << 20;

template <class T> void copyOut(const T *staging, int32_t count, T *array) {
  const int64_t bytes = static_cast<int64_t>(count) * static_cast<int64_t>(sizeof(T));
  const int64_t pieces = std::min<int64_t>(io_pipeline_threads(), bytes / kLeastCopyPiece);
  if (pieces <= 1) {
    std::copy(staging, staging + count, array);
    return;
  }
  const auto from = [count, pieces](int64_t piece) { return static_cast<int32_t>(count * piece / pieces); };
  std::vector<zyrWorker> workers(static_cast<size_t>(pieces - 1));
  for (int64_t piece = 0; piece + 1 < pieces; ++piece)
    zyrWorker_start(&workers[static_cast<size_t>(piece)], [staging, array, begin = from(piece), end = from(piece + 1)] {
      std::copy(staging + begin, staging + end, array + begin);
    });
  std::copy(staging + from(pieces - 1), staging + count, array + from(pieces - 1));
  for (zyrWorker &worker : workers) zyrWorker_join(&worker);
}

// A reader of a caller's buffer of n, whose count it may change, as a reader of the buffer alone:
// each version tried is read into the staging with as much room as the staging has, up to n; a
// version that needs more tells how much (its header holds the count), and one that the caller's
// buffer can take is read again into staging of exactly that. Exactly what the reader says it read
// is copied, and only of a version that read whole.
template <class T>
auto intoBuffer(Database *database, int (*reader)(DefFile *, const char *, const char *, int32_t, T *, int32_t *),
                int32_t n) {
  return [database, reader, n](DefFile *file, const char *what, const char *where, int32_t when, T *array) {
    int32_t count = n;
    // Refused by the reader as every such buffer is, before it reads anything.
    if (array == nullptr || n < 0) return reader(file, what, where, when, nullptr, &count);
    int32_t room = std::min(n, stagingRoom<T>(database));
    T *staging = stagingFor<T>(database, room);
    count = room;
    bool read = reader(file, what, where, when, staging, &count) != 0;
    if (!read && count > room && count <= n) {
      room = count;
      staging = stagingFor<T>(database, room);
      read = reader(file, what, where, when, staging, &count) != 0;
    }
    const bool taken = read && tookWhole(file, what, where, when, kIsReference<T>);
    const int32_t made = read ? std::clamp(count, 0, room) : 0;
    if (taken)
      copyOut(staging, made, array);
    else
      for (int32_t i = 0; i < made; ++i) releaseStaged(staging[i]);
    return taken ? 1 : 0;
  };
}

// A typed reader of a new array, its array handed over as untyped values.
template <class T>
int readInto(int (*reader)(DefFile *, const char *, const char *, int32_t, T **, int32_t *), DefFile *file,
             const char *what, const char *where, int32_t when, void **values, int32_t *count) {
  T *array = nullptr;
  const int read = reader(file, what, where, when, &array, count);
  *values = array;
  return read;
}

// Reads a version as the one kind its data type declares (Database_getData). A version of no one
// kind, or whose values do not read as that kind, is one this reader cannot take.
int readOfItsKind(DefFile *file, const char *what, const char *where, int32_t when, int32_t *kind, void **values,
                  int32_t *count) {
  *kind = -1;
  *values = nullptr;
  *count = 0;
  const uint32_t types = versionTypes(file, what, where, when);
  int32_t declared = -1;
  for (int32_t k = 0; k < 4; ++k)
    if (types == 1u << k) declared = k;
  if (declared == 3 && marksReferences(file, what, where, when)) declared = 5;
  int read = 0;
  switch (declared) {
  case 0: read = readInto(DefFile_readInts, file, what, where, when, values, count); break;
  case 1: read = readInto(DefFile_readFloats, file, what, where, when, values, count); break;
  case 2: read = readInto(DefFile_readDoubles, file, what, where, when, values, count); break;
  case 3: read = readInto(DefFile_readChars, file, what, where, when, values, count); break;
  case 5: {
    read = readInto(DefFile_readUUIDs, file, what, where, when, values, count);
    // The reader answers an empty array of references as none; it holds no characters.
    if (!read) {
      char *chars = nullptr;
      int32_t n = 0;
      read = DefFile_readChars(file, what, where, when, &chars, &n) && n == 0;
      zyrMemory_free(chars, __func__);
    }
    break;
  }
  default:
    return 0;
  }
  if (read && !tookWhole(file, what, where, when, declared == 5)) {
    zyrUUID **references = declared == 5 ? static_cast<zyrUUID **>(*values) : nullptr;
    for (int32_t i = 0; references != nullptr && i < *count; ++i) zyrUUID_delete(references[i]);
    zyrMemory_free(*values, __func__);
    *values = nullptr;
    *count = 0;
    read = 0;
  }
  if (read) *kind = declared;
  return read;
}

} // namespace

int Database_setInt(Database *database, int32_t state, const zyrUUID *uuid, const char *name, int32_t value) {
  return writeKeyed(database, state, uuid, name, DefFile_writeInt, value);
}

int Database_getInt(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                    int32_t *value) {
  return readActive(database, state, uuid, name, staged(DefFile_readInt), value);
}

int Database_setInts(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                     const int32_t *array, int32_t count) {
  return writeKeyed(database, state, uuid, name, DefFile_writeIntArray, array, count, 0);
}

int Database_getInts(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                     int32_t **array, int32_t *count) {
  *array = nullptr;
  *count = 0;
  return readActive(database, state, uuid, name, staged(DefFile_readInts), array, count);
}

int Database_getIntArray(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                         int32_t *array, int32_t n) {
  return readActive(database, state, uuid, name, intoBuffer(database, DefFile_readIntArray, n), array);
}

int Database_setFloat(Database *database, int32_t state, const zyrUUID *uuid, const char *name, float value) {
  return writeKeyed(database, state, uuid, name, DefFile_writeFloat, value);
}

int Database_getFloat(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                      float *value) {
  return readActive(database, state, uuid, name, staged(DefFile_readFloat), value);
}

int Database_setFloats(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                       const float *array, int32_t count) {
  return writeKeyed(database, state, uuid, name, DefFile_writeFloatArray, array, count, 0);
}

int Database_getFloats(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                       float **array, int32_t *count) {
  *array = nullptr;
  *count = 0;
  return readActive(database, state, uuid, name, staged(DefFile_readFloats), array, count);
}

int Database_getFloatArray(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                           float *array, int32_t n) {
  return readActive(database, state, uuid, name, intoBuffer(database, DefFile_readFloatArray, n), array);
}

int Database_setDouble(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                       double value) {
  return writeKeyed(database, state, uuid, name, DefFile_writeDouble, value);
}

int Database_getDouble(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                       double *value) {
  return readActive(database, state, uuid, name, staged(DefFile_readDouble), value);
}

int Database_setDoubles(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                        const double *array, int32_t count) {
  return writeKeyed(database, state, uuid, name, DefFile_writeDoubleArray, array, count, 0);
}

int Database_getDoubles(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                        double **array, int32_t *count) {
  *array = nullptr;
  *count = 0;
  return readActive(database, state, uuid, name, staged(DefFile_readDoubles), array, count);
}

int Database_getDoubleArray(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                            double *array, int32_t n) {
  return readActive(database, state, uuid, name, intoBuffer(database, DefFile_readDoubleArray, n), array);
}

int Database_setChar(Database *database, int32_t state, const zyrUUID *uuid, const char *name, char value) {
  return writeKeyed(database, state, uuid, name, DefFile_writeChar, value);
}

int Database_getChar(Database *database, int32_t state, const zyrUUID *uuid, const char *name, char *value) {
  return readActive(database, state, uuid, name, staged(DefFile_readChar), value);
}

int Database_setChars(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                      const char *array, int32_t count) {
  return writeKeyed(database, state, uuid, name, DefFile_writeCharArray, array, count);
}

int Database_getChars(Database *database, int32_t state, const zyrUUID *uuid, const char *name, char **array,
                      int32_t *count) {
  *array = nullptr;
  *count = 0;
  return readActive(database, state, uuid, name, staged(DefFile_readChars), array, count);
}

int Database_getCharArray(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                          char *array, int32_t n) {
  return readActive(database, state, uuid, name, intoBuffer(database, DefFile_readCharArray, n), array);
}

int Database_setString(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                       const char *value) {
  return writeKeyed(database, state, uuid, name, DefFile_writeString, value);
}

int Database_getString(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                       char **value) {
  *value = nullptr;
  return readActive(database, state, uuid, name, staged(DefFile_readString), value);
}

int Database_setStrings(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                        const char *const *array, int32_t count) {
  return writeKeyed(database, state, uuid, name, DefFile_writeStringArray, array, count);
}

int Database_getStrings(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                        char ***array, int32_t *count) {
  *array = nullptr;
  *count = 0;
  return readActive(database, state, uuid, name, staged(DefFile_readStrings), array, count);
}

int Database_getStringArray(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                            char **array, int32_t n) {
  return readActive(database, state, uuid, name, intoBuffer(database, DefFile_readStringArray, n), array);
}

int Database_setPointer(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                        const zyrUUID *value) {
  return writeKeyed(database, state, uuid, name, DefFile_writeUUID, value);
}

int Database_getPointer(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                        zyrUUID **value) {
  *value = nullptr;
  return readActive(database, state, uuid, name, staged(DefFile_readUUID), value);
}

int Database_setPointers(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                         const zyrUUID *const *array, int32_t count) {
  return writeKeyed(database, state, uuid, name, DefFile_writeUUIDArray, array, count);
}

int Database_getPointers(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                         zyrUUID ***array, int32_t *count) {
  *array = nullptr;
  *count = 0;
  return readActive(database, state, uuid, name, staged(DefFile_readUUIDs), array, count);
}

int Database_getPointerArray(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                             zyrUUID **array, int32_t n) {
  return readActive(database, state, uuid, name, intoBuffer(database, DefFile_readUUIDArray, n), array);
}

int64_t Database_largestStaging(const Database *database) { return database->m_largestStaging; }

int Database_getData(Database *database, int32_t state, const zyrUUID *uuid, const char *name, int32_t *kind,
                     void **values, int32_t *count) {
  *kind = -1;
  *values = nullptr;
  *count = 0;
  return readActive(database, state, uuid, name, readOfItsKind, kind, values, count);
}

namespace {

// The version that Database_describeData describes, the one the readers take (readActive), with
// its counts; -1 when none reads.
int32_t describedWhen(Database *database, int32_t state, const zyrUUID *uuid, const char *name, int32_t *ints,
                      int32_t *floats, int32_t *doubles, int32_t *chars, int32_t *references) {
  const std::string exactName = exact(name);
  for (int32_t when = readWhen(database, state, uuid, name); when >= 0;
       when = state > 0 ? olderWhen(database, name, when) : -1) {
    int32_t ioStrings = 0, strings = 0;
    if (readsWhole(database->m_defFile, exactName.c_str(), database->m_key, when) &&
        DefFile_readSignature(database->m_defFile, exactName.c_str(), database->m_key, when, ints, floats, doubles,
                              chars, &ioStrings, &strings, references))
      return when;
    if (DefFile_readFailure(database->m_defFile) != 0 ||
        DefFile_exists(database->m_defFile, exactName.c_str(), database->m_key, when) != 1)
      return -1;
    database->m_leftOut->m_versions.insert(versionText(database->m_key, name, when));
  }
  return -1;
}

} // namespace

int Database_describeData(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                          int32_t *ints, int32_t *floats, int32_t *doubles, int32_t *chars, int32_t *fifth,
                          int32_t *references) {
  *ints = *floats = *doubles = *chars = *fifth = *references = 0;
  return describedWhen(database, state, uuid, name, ints, floats, doubles, chars, references) >= 0 ? 1 : 0;
}

int Database_describe(Database *database, int32_t state, const zyrUUID *uuid, const char *name, int full,
                      int32_t *count, char ***texts) {
  *count = 0;
  *texts = nullptr;
  return readActive(database, state, uuid, name, DefFile_readDescription, full, count, texts);
}

int Database_readAttributes(Database *database, int32_t state, const zyrUUID *uuid, const char *name,
                            int32_t *count, char ***names, char ***values) {
  *count = 0;
  *names = nullptr;
  *values = nullptr;
  return readActive(database, state, uuid, name, DefFile_readAttributes, count, names, values);
}

// ---------------------------------------------------------------------------------------------
// Whole-file operations.

int32_t Database_findActiveWhen(Database *database, int32_t state, const char *name) {
  if (state <= 0) return -state;
  int32_t count = 0;
  char **whats = nullptr, **wheres = nullptr;
  int32_t *whens = nullptr;
  DefFile_match(database->m_defFile, exact(name).c_str(), database->m_key, -1, 0, &count, &whats, &wheres, &whens);
  int32_t active = -1;
  for (int32_t i = 0; i < count; ++i) {
    if (whens[i] <= state && whens[i] > active) active = whens[i];
    if (whens[i] == state) break;
  }
  zyrCStringArray_free(whats, static_cast<uint64_t>(count));
  zyrCStringArray_free(wheres, static_cast<uint64_t>(count));
  zyrMemory_free(whens, __func__);
  return active;
}

int Database_match(Database *database, int32_t from, int32_t to, const char *keyFilter,
                   const char *nameFilter, int32_t *noOfKeys, char ***keys, int32_t **offsets, char ***names,
                   int32_t **whens) {
  ZYR_TRACE_BEGIN();
  std::vector<Entry> entries = listEntries(database, keyFilter, nameFilter);
  if (from != -1 || to != -1) {
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [from, to](const Entry &e) {
                                   return (from != -1 && e.m_when < from) || (to != -1 && e.m_when > to);
                                 }),
                  entries.end());
  }
  std::sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) {
    int c = strcmp(a.m_key.c_str(), b.m_key.c_str());
    if (c != 0) return c < 0;
    c = strcmp(a.m_name.c_str(), b.m_name.c_str());
    if (c != 0) return c < 0;
    return a.m_when < b.m_when;
  });
  if (ZYR_TRACE_DEBUG(1)) {
    zyrTrace_printf("UUID  = \"%s\"\n", keyFilter);
    zyrTrace_printf("Key   = \"%s\"\n", nameFilter);
    zyrTrace_printf(" No of matches = %d\n", static_cast<int32_t>(entries.size()));
    for (const Entry &e : entries)
      zyrTrace_printf("%8d %s --- %s\n", e.m_when, e.m_key.c_str(), e.m_name.c_str());
  }
  int32_t n = static_cast<int32_t>(entries.size());
  int32_t k = 0;
  for (int32_t i = 0; i < n; ++i)
    if (i == 0 || entries[i].m_key != entries[i - 1].m_key) ++k;
  *noOfKeys = k;
  *offsets = zyrMemory_allocateZeroedArray<int32_t>(static_cast<int64_t>(k) + 1, __func__);
  *keys = nullptr;
  *names = nullptr;
  *whens = nullptr;
  if (n == 0) return 1;
  *keys =
      static_cast<char **>(zyrMemory_allocateAndSet(static_cast<int64_t>(k) * sizeof(char *), 0, __func__));
  *names =
      static_cast<char **>(zyrMemory_allocateAndSet(static_cast<int64_t>(n) * sizeof(char *), 0, __func__));
  *whens = zyrMemory_allocateArray<int32_t>(n, __func__);
  int32_t key = -1;
  for (int32_t i = 0; i < n; ++i) {
    if (i == 0 || entries[i].m_key != entries[i - 1].m_key) {
      ++key;
      (*keys)[key] = zyrCString_clone(entries[i].m_key.c_str());
      (*offsets)[key] = i;
    }
    (*names)[i] = zyrCString_clone(entries[i].m_name.c_str());
    (*whens)[i] = entries[i].m_when;
  }
  (*offsets)[k] = n;
  return 1;
}

int Database_isParameterChanged(Database *database, int32_t from, int32_t to, const zyrUUID *uuid,
                                const char *name, int *changed) {
  *changed = 0;
  setKey(database, uuid);
  std::vector<Entry> entries = listEntries(database, database->m_key, exact(name).c_str());
  for (const Entry &e : entries) {
    if (from == -1 || to == -1 || (e.m_when >= from && e.m_when <= to)) {
      *changed = 1;
      break;
    }
  }
  return 1;
}

int Database_rollback(Database *database, int32_t state) {
  std::vector<Entry> entries = listEntries(database, "*", "*");
  int result = 1;
  for (const Entry &e : entries) {
    if (e.m_when <= state) continue;
    if (DefFile_erase(database->m_defFile, exact(e.m_name.c_str()).c_str(), e.m_key.c_str(), e.m_when))
      database->m_isModified = 1;
    else
      result = 0;
  }
  return result;
}

int Database_deleteObject(Database *database, const zyrUUID *uuid) {
  return deleteKey(database, setKey(database, uuid));
}

int Database_deleteDataSet(Database *database, const zyrUUID *uuid, const char *name) {
  setKey(database, uuid);
  int result = DefFile_erase(database->m_defFile, exact(name).c_str(), database->m_key, -1);
  if (result) database->m_isModified = 1;
  return result;
}

int Database_purgeMarkedObjects(Database *database, int32_t state, const char *pattern) {
  int32_t k = 0;
  char **keys = nullptr, **names = nullptr;
  int32_t *offsets = nullptr, *whens = nullptr;
  Database_match(database, 0, state, "*", pattern, &k, &keys, &offsets, &names, &whens);
  int result = 1;
  for (int32_t i = 0; i < k; ++i)
    if (!deleteKey(database, keys[i])) result = 0;
  zyrCStringArray_free(keys, static_cast<uint64_t>(k));
  zyrCStringArray_free(names, static_cast<uint64_t>(offsets[k]));
  zyrMemory_free(offsets, __func__);
  zyrMemory_free(whens, __func__);
  return result;
}

namespace {

// The version of one name that a purge keeps: the newest at or before the state that a reader at
// the state takes. For the name whose versions must read as an integer (`checked`), the newest of
// those that do; for any other, the newest that no read of `reader` left out and that reads whole
// (the oldest is not read: nothing older could be kept instead), or, when none does, the newest,
// which then reads as it did. whens[from..to) ascend.
int32_t keptVersion(Database *database, const Database *reader, const char *name, const int32_t *whens,
                    int32_t from, int32_t to, int32_t state, bool checked) {
  if (state <= 0) return Database_findActiveWhen(database, state, name);
  const std::string exactName = exact(name);
  for (int32_t v = to - 1; v >= from; --v) {
    if (whens[v] > state) continue;
    if (checked) {
      int32_t value = 0;
      if (DefFile_readInt(database->m_defFile, exactName.c_str(), database->m_key, whens[v], &value)) return whens[v];
      continue;
    }
    if (isLeftOut(reader, database->m_key, name, whens[v])) continue;
    // Its counts may read where its values do not (a damaged end): the whole version decides, or
    // the sound older one would go for a damaged one.
    if (v == from || readsWhole(database->m_defFile, exactName.c_str(), database->m_key, whens[v]))
      return whens[v];
  }
  return checked ? -1 : Database_findActiveWhen(database, state, name);
}

} // namespace

int Database_eraseModifiedData(Database *database, int32_t state, const char *checkedName,
                               const Database *reader) {
  ZYR_TRACE_BEGIN();
  int32_t k = 0;
  char **keys = nullptr, **names = nullptr;
  int32_t *offsets = nullptr, *whens = nullptr;
  Database_match(database, -1, -1, "*", "*", &k, &keys, &offsets, &names, &whens);
  int result = 1;
  for (int32_t i = 0; i < k; ++i) {
    snprintf(database->m_key, sizeof database->m_key, "%s", keys[i]);
    int32_t j = offsets[i];
    while (j < offsets[i + 1]) {
      int32_t end = j;
      while (end < offsets[i + 1] && strcmp(names[end], names[j]) == 0) ++end;
      const bool checked = checkedName != nullptr && strcmp(names[j], checkedName) == 0;
      int32_t active = keptVersion(database, reader, names[j], whens, j, end, state, checked);
      // Objects are made at states from 1 on: kept at state 0 (damage, which an open still reads
      // the value of), the version would leave its object unmade in the purged file. It is stored
      // again at the state.
      if (checked && active == 0 && state >= 1) {
        int32_t value = 0;
        if (DefFile_readInt(database->m_defFile, exact(names[j]).c_str(), keys[i], 0, &value) &&
            DefFile_writeInt(database->m_defFile, exact(names[j]).c_str(), keys[i], state, value)) {
          active = state;
          database->m_isModified = 1;
        } else {
          result = 0;
        }
      }
      for (int32_t v = j; v < end; ++v) {
        if (whens[v] == active) continue;
        // A version that could not be read may have left the index already.
        if (!DefFile_exists(database->m_defFile, exact(names[v]).c_str(), keys[i], whens[v])) continue;
        if (ZYR_TRACE_DEBUG(1)) zyrTrace_printf("Removing: [%s, %s, %d]\n", keys[i], names[v], whens[v]);
        if (DefFile_erase(database->m_defFile, exact(names[v]).c_str(), keys[i], whens[v]))
          database->m_isModified = 1;
        else
          result = 0;
      }
      j = end;
    }
  }
  int32_t total = offsets[k];
  zyrCStringArray_free(keys, static_cast<uint64_t>(k));
  zyrCStringArray_free(names, static_cast<uint64_t>(total));
  zyrMemory_free(offsets, __func__);
  zyrMemory_free(whens, __func__);
  return result;
}

int Database_purgeModifiedData(Database *database, int32_t state) {
  return Database_eraseModifiedData(database, state, nullptr, database) ? Database_compactWhens(database, 1) : 0;
}

int Database_copyValid(Database *database, int compressWhen, zyrHeldTemporary *copy) {
  const int copied = DefFile_copyValid(database->m_defFile, compressWhen, copy);
  if (!copied) DefFile_reportError(database->m_defFile, __func__);
  return copied;
}

int Database_replaceWithCompacted(Database *database, const char *replacement) {
  DefFile *file = database->m_defFile;
  if (!DefFile_replaceWith(file, replacement)) {
    // Callers hear of it as of any compaction that could not be put in place (10006), with the
    // reason that the error stored holds (what the io library said of the swap).
    file->m_errorCode = ZYR_U_UNABLE_TO_COMPACT_DATABASE;
    zyrCString_free(file->m_description);
    file->m_description = zyrCString_clone("Unable to compact the WEZ data file.");
    DefFile_reportError(file, __func__);
    return 0;
  }
  database->m_isModified = 1;
  return 1;
}

int Database_compact(Database *database) { return Database_compactWhens(database, 0); }

int Database_compactWhens(Database *database, int compressWhen) {
  // The file stays as it was; the caller hears why the copy could not be made or put in place.
  if (!DefFile_compact(database->m_defFile, compressWhen)) {
    DefFile_reportError(database->m_defFile, __func__);
    return 0;
  }
  database->m_isModified = 1;
  return 1;
}

int Database_importObjects(Database *target, Database *source, int32_t state, const zyrUUID *sourceRepository,
                           const zyrUUID *targetRepository, int32_t n, const char *const *keys,
                           const int32_t *offsets, const char *const *names, const int32_t *whens,
                           char **newKeys) {
  ZYR_TRACE_BEGIN();
  *newKeys = nullptr;
  if (n <= 0) return 1;
  char *block = static_cast<char *>(
      zyrMemory_allocateAndSet(static_cast<int64_t>(n) * ZYR_UUID_BASE64_SIZE, 0, __func__));
  Dictionary *map = Dictionary_new(1);
  for (int32_t i = 0; i < n; ++i) {
    zyrUUID *uuid = zyrUUID_new();
    char *key = block + static_cast<int64_t>(i) * ZYR_UUID_BASE64_SIZE;
    zyrUUID_toBase64(uuid, key);
    zyrUUID_delete(uuid);
    Dictionary_add(map, keys[i], key);
  }
  char sourceKey[ZYR_UUID_BASE64_SIZE], targetKey[ZYR_UUID_BASE64_SIZE];
  if (sourceRepository) {
    zyrUUID_toBase64(sourceRepository, sourceKey);
    zyrUUID_toBase64(targetRepository, targetKey);
    Dictionary_add(map, sourceKey, targetKey);
  }
  if (ZYR_TRACE_DEBUG(1)) {
    for (int32_t i = 0; i < n; ++i)
      for (int32_t j = offsets[i]; j < offsets[i + 1]; ++j)
        zyrTrace_printf("[%20s, %s, %d] -> [%20s, %s, %d] (%d)\n", names[j], keys[i], whens[j], names[j],
                        block + static_cast<int64_t>(i) * ZYR_UUID_BASE64_SIZE, state, j);
  }
  int result =
      DefFile_copyDatasets(target->m_defFile, source->m_defFile, map, state, n, keys, offsets, names, whens);
  Dictionary_delete(map);
  if (!result) {
    zyrMemory_free(block, __func__);
    return result;
  }
  target->m_isModified = 1;
  *newKeys = block;
  return 1;
}
