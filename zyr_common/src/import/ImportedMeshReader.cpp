// The import paths that run a reader process: the mesh reader Kelvo.exe and, for one model of a
// simulation database, wezdsdbreader.exe. Both write an intermediate mesh file that is then read
// in this process.
#include "ImportedMesh.h"

#include "Command.h"
#include "Conduit.h"
#include "Environment.h"
#include "NameManager.h"
#include "Process.h"
#include "Topology.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrFileUse.h"
#include "zyrHeldTemporary.h"
#include "zyrLeftovers.h"
#include "zyrMemory.h"
#include "zyrPause.h"
#include "zyrSystem.h"
#include "zyrTrace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Only the tag's own length is compared: "<ERROR_BEG>extra" is a tag, " <ERROR_BEG>" is not.
int beginsWith(const char *line, const char *tag) { return strncmp(line, tag, strlen(tag)) == 0; }

// Option words split at white space, single quotes grouping words (and dropped); a quote left
// open drops its word and ends the list. Each word reaches the reader as one argument, whatever
// it holds: nothing in them is taken for a redirection.
void addOptionWords(Command *command, const char *text) {
  if (text == nullptr)
    return;
  const char *c = text;
  for (;;) {
    while (*c != '\0' && isspace(static_cast<unsigned char>(*c)))
      ++c;
    if (*c == '\0')
      return;
    std::string word;
    while (*c != '\0' && !isspace(static_cast<unsigned char>(*c))) {
      if (*c == '\'') {
        const char *close = strchr(c + 1, '\'');
        if (close == nullptr)
          return;
        word.append(c + 1, static_cast<size_t>(close - c - 1));
        c = close + 1;
      } else {
        word += *c++;
      }
    }
    Command_addLiteralArgument(command, word.c_str());
  }
}

// The mesh file goes to the reader by its absolute name, so that it can never be read as one of
// the reader's options.
char *absoluteName(const char *name) {
  char *absolute = name[0] == '/' ? nullptr : zyrGetAbsoluteFileName(name);
  return absolute != nullptr ? absolute : zyrCString_clone(name);
}

void publishCannotStart(const char *function, const char *reader) {
  zyrError *error = zyrError_new(ZYR_U_UNABLE_TO_IMPORT_MESH, function, __FILE__, __LINE__);
  zyrError_addMessage(error, "Unable to run the mesh import process. Are you sure that the appropriate\n%s exists?\n",
                      reader);
  const char *override = getenv("WEZ5_KELVO_EXEC");
  if (strcmp(reader, "Kelvo.exe executable") == 0 && override != nullptr)
    zyrError_addMessage(error,
                        "\nYou appear to have overridden the standard location by setting\n\n  WEZ5_KELVO_EXEC = %s\n",
                        override);
  zyrError_publish(error);
}

// Whether the program asked for the import to be abandoned; said once.
int interrupted(const char *function, const ImportedMesh *im) {
  return zyrCheckInterrupt(ZYR_U_UNABLE_TO_IMPORT_MESH, function, "The import of the mesh file \"%s\"",
                           im->m_filename != nullptr ? im->m_filename : "");
}

// Whether the name leads to another file than the one held: another file has taken it.
bool takenByAnother(const zyrHeldTemporary *held, const char *name) {
  struct stat own;
  return fstat(held->m_hold, &own) == 0 && zyrFileUse_leadsTo(AT_FDCWD, name, own) == 0;
}

// Reads the intermediate file that the reader wrote, only as the file this import holds: 1 when it
// was read. The read reaches the file through the hold all the same (zyrHeldTemporary_open); the
// look before it finds the words of a refusal.
int readIntermediate(const char *function, ImportedMesh *im, const zyrHeldTemporary *held, const char *name) {
  const std::string lost = zyrHeldTemporary_loss(held);
  if (lost.empty())
    return ImportedMesh_importFromGMO(im, name, im->m_units, im->m_filename);
  zyrError *error = zyrError_new(ZYR_U_UNABLE_TO_IMPORT_MESH, function, __FILE__, __LINE__);
  zyrError_addMessage(error,
                      "Unable to read the intermediate mesh file\n\n%s\n\nIt is no longer the file the import "
                      "made there: %s.\n",
                      name, lost.c_str());
  zyrError_publish(error);
  return 0;
}

// Runs the reader to its end and reads what it wrote. 1 when the file was read. An interrupt
// ends the reader at once, and nothing it wrote is read.
int runReader(const char *function, ImportedMesh *im, Command *command, const char *intermediate, const char *reader) {
  // What killed imports and readers left in the working directory goes first.
  char *directory = nullptr;
  zyrSplitPathName(intermediate, &directory, nullptr);
  zyrRemoveLeftovers(directory, function);
  if (interrupted(function, im)) {
    zyrCString_free(directory);
    return 0;
  }
  // The intermediate file is made here, empty and held (zyrHeldTemporary.h), and the reader writes
  // it through the hold it inherits ("-hold <descriptor>"): it stays held from its making to its
  // removal here, whichever of the two is killed meanwhile, and goes once both have ended.
  zyrHeldTemporary held;
  const int handed = zyrHeldTemporary_create(&held, intermediate) ? fcntl(held.m_hold, F_DUPFD_CLOEXEC, 3) : -1;
  if (handed < 0) {
    zyrError *error = zyrError_new(ZYR_U_UNABLE_TO_IMPORT_MESH, function, __FILE__, __LINE__);
    zyrError_addMessage(error, "Unable to create the intermediate mesh file\n\n%s\n\n(%s).\n", intermediate,
                        strerror(errno));
    zyrError_publish(error);
    zyrCString_free(directory);
    return 0;
  }
  char number[16];
  snprintf(number, sizeof number, "%d", handed);
  Command_addLiteralArgument(command, "-hold");
  Command_addLiteralArgument(command, number);
  Command_keepDescriptor(command, handed);
  Conduit *conduit = nullptr;
  Process *process = Process_new(command, "pipe: 1.0", &conduit);
  close(handed);
  if (process == nullptr) {
    publishCannotStart(function, reader);
    zyrCString_free(directory);
    return 0;
  }
  zyrPause_point("import.reader-started");
  int result = ImportedMesh_readOutput(im, conduit);
  const int stopped = interrupted(function, im);
  if (stopped)
    Process_kill(process);
  else
    Process_wait(process);
  Conduit_delete(conduit);
  zyrPause_point("import.reader-ended");
  if (result && !stopped)
    result = ImportedMesh_checkExitStatus(im, process);
  result = result && !interrupted(function, im) ? readIntermediate(function, im, &held, intermediate) : 0;
  // A failed reader may have left its file behind: it goes too, as nothing else will read it; so
  // does what a reader that was killed left of its own. A file kept for debugging stays held while
  // this process lives, and goes as a leftover after it. Another file that took the name is not
  // this import's to remove: it stays, and what the reader left with it, for the next clean-up.
  ImportedMesh_removeIntermediateFile(im, intermediate);
  const bool taken = takenByAnother(&held, intermediate);
  if (zyrHeldTemporary_isThere(&held))
    zyrHeldTemporary_keep(&held);
  else
    zyrHeldTemporary_release(&held);
  if (!result && !taken)
    zyrRemoveLeftovers(directory, function);
  zyrCString_free(directory);
  Process_delete(process);
  return result;
}

} // namespace

int ImportedMesh_importUsingKelvo(ImportedMesh *im) {
  ZYR_TRACE_BEGIN_DESC("Import a mesh using Kelvo.exe.");
  Environment *environment = Environment_new("WEZ5");
  if (environment == nullptr) {
    ZYR_ERROR(ZYR_U_UNABLE_TO_IMPORT_MESH, "The environment variables WEZ5BINDIR and WEZ5EXECDIR have not been set.\n");
    return 0;
  }
  NameManager *nm = Topology_getNameManager(im->m_topology);
  char *intermediate = ImportedMesh_getIntermediateFileName(im);

  Command *command = Command_new(environment, "Kelvo.exe", CommandInEnvironment);
  // Found as every installed command: WEZ5_KELVO_EXEC, else the executables' or the scripts' directory.
  Command_addLiteralArgument(command, "-I");
  Command_addLiteralArgument(command, intermediate);
  // The name manager hands the name over decoded already.
  char *defaultName = nullptr;
  if (nm != nullptr)
    NameManager_getDefaultAssemblyName(nm, &defaultName);
  if (defaultName != nullptr) {
    Command_addLiteralArgument(command, "-B");
    Command_addLiteralArgument(command, defaultName);
    zyrCString_free(defaultName);
  }
  const char *type = im->m_type != nullptr ? im->m_type : "";
  if (strcmp(type, "User") != 0) {
    if (strcmp(type, "Generic") == 0) {
      Command_addLiteralArgument(command, "-G");
    } else {
      char *importer = zyrCString_merge("Import", type, ".exe", nullptr);
      Command_addLiteralArgument(command, "-e");
      Command_addLiteralArgument(command, importer);
      zyrCString_free(importer);
    }
  }
  addOptionWords(command, im->m_genericOptions);
  char *file = absoluteName(im->m_filename);
  Command_addLiteralArgument(command, file);
  zyrCString_free(file);
  addOptionWords(command, im->m_specificOptions);
  if (ZYR_TRACE_DEBUG(1))
    Command_print(command, zyrTrace_getLog());
  im->m_debugImport = Command_hasArgument(command, "-v") ? 1 : 0;

  const int result = runReader(__func__, im, command, intermediate, "Kelvo.exe executable");
  Command_delete(command);
  Environment_delete(environment);
  zyrCString_free(intermediate);
  return result;
}

int ImportedMesh_importFromDSDB(ImportedMesh *im) {
  Environment *environment = Environment_new("WEZ5");
  if (environment == nullptr)
    return 0;
  char *intermediate = ImportedMesh_getIntermediateFileName(im);
  Command *command = Command_new(environment, "wezdsdbreader.exe", CommandInEnvironment);
  Command_addLiteralArgument(command, "-export");
  char *file = absoluteName(im->m_filename);
  Command_addLiteralArgument(command, file);
  zyrCString_free(file);
  Command_addLiteralArgument(command, intermediate);
  addOptionWords(command, im->m_genericOptions);
  addOptionWords(command, im->m_specificOptions);
  Command_addLiteralArgument(command, "-server_mode");

  const int result = runReader(__func__, im, command, intermediate, "wezdsdbreader executable");
  Command_delete(command);
  Environment_delete(environment);
  zyrCString_free(intermediate);
  return result;
}

int ImportedMesh_readOutput(ImportedMesh *im, Conduit *conduit) {
  ZYR_TRACE_BEGIN_DESC("Read mesh data from Kelvo.exe.");
  int result = 1;
  int inError = 0, inWarning = 0;
  zyrError *error = nullptr, *warning = nullptr;
  int64_t capacity = 256;
  char *line = zyrMemory_allocateArray<char>(capacity, __func__);
  for (int64_t length; (length = Conduit_getline(conduit, &line, &capacity)) >= 0;) {
    // The line's own length: the count of an unterminated last line is not to be trusted.
    length = static_cast<int64_t>(strlen(line));
    if (im->m_debugImport) {
      fprintf(stdout, "%s\n", line);
      fflush(stdout);
    }
    if (ZYR_TRACE_DEBUG(1))
      zyrTrace_printf("%s\n", line);
    ImportedMesh_appendSummary(im, line, length);

    if (inError) {
      if (beginsWith(line, "<ERROR_END>"))
        inError = 0;
      else
        zyrError_addMessage(error, "  %s\n", line);
    } else if (beginsWith(line, "<ERROR_BEG>")) {
      if (error == nullptr) {
        error = zyrError_new(ZYR_U_UNABLE_TO_IMPORT_MESH, __func__, __FILE__, __LINE__);
        zyrError_addMessage(error, "There was a problem importing the mesh from the requested file.\n"
                                   "The importing process reported the following problem:\n\n");
      } else {
        zyrError_addMessage(error, "\n");
      }
      result = 0;
      inError = 1;
    } else if (inWarning) {
      if (beginsWith(line, "<WARNING_END>"))
        inWarning = 0;
      else
        zyrError_addMessage(warning, "  %s\n", line);
    } else if (beginsWith(line, "<WARNING_BEG>")) {
      if (warning == nullptr) {
        warning = zyrError_new(ZYR_W_INVALID_INPUT_IGNORED, __func__, __FILE__, __LINE__);
        zyrError_addMessage(warning, "The importing process reported the following warning(s) while importing\n"
                                     "the mesh from the requested file:\n\n");
      } else {
        zyrError_addMessage(warning, "\n");
      }
      inWarning = 1;
    }
  }
  zyrMemory_free(line, __func__);
  if (warning != nullptr)
    zyrError_publish(warning);
  if (error != nullptr)
    zyrError_publish(error);
  return result;
}

int ImportedMesh_checkExitStatus(ImportedMesh *, Process *process) {
  ZYR_TRACE_BEGIN_DESC("Check whether the mesh import process terminated successfully.");
  int32_t how = ProcessUnknown, value = 0;
  const int result = Process_getExitStatus(process, &how, &value) ? 1 : 0;
  if (!result) {
    zyrError *error = zyrError_new(ZYR_U_UNABLE_TO_IMPORT_MESH, __func__, __FILE__, __LINE__);
    zyrError_addMessage(error, "The mesh import process did not terminate successfully.\n\n");
    switch (how) {
    case ProcessExited:
      zyrError_addMessage(error, "The import process returned with status %d.\n", value);
      break;
    case ProcessSignalled:
      zyrError_addMessage(error, "The import process was terminated with signal %d.\n", value);
      break;
    case ProcessStopped:
      zyrError_addMessage(error, "The import process was stopped with signal %d.\n", value);
      break;
    case ProcessUnknown:
      zyrError_addMessage(error, "The exit status of the import process is unknown.\n");
      break;
    default:
      zyrError_addMessage(error, "The import process is still running.\n");
      break;
    }
    zyrError_publish(error);
  }
  if (ZYR_TRACE_DEBUG(1)) {
    zyrTrace_printf("Status      = %d\n", result);
    zyrTrace_printf("Exit status = %d\n", how);
    zyrTrace_printf("Exit value  = %d\n", value);
  }
  return result;
}

// A name of its own for every import, never that of an existing file: two imports sharing the
// working directory cannot meet, and a file being imported is never taken for the input. The
// name carries the library's mark and this process's id ("zyr.zyr-pid<N>.<serial>.tmp",
// zyrLeftovers.h), so that what a killed import left is removed by whoever next works in the
// directory.
char *ImportedMesh_getIntermediateFileName(ImportedMesh *) {
  ZYR_TRACE_BEGIN_DESC("Determine an appropriate intermediate filename.");
  static_cast<void>(zyr_trace_on_);
  static int32_t serial = 0;
  char stem[64];
  zyrLeftovers_stem("zyr", stem, sizeof stem);
  char *directory = ImportedMesh_workingDirectory();
  char *path = nullptr;
  for (;;) {
    char *name = zyrCString_build("%s.%d.tmp", stem, serial++);
    zyrCString_free(path);
    path = nullptr;
    zyrJoinPathName(directory, name, &path);
    zyrCString_free(name);
    char *lock = zyrCString_merge(path, ".lck", nullptr);
    const int taken = zyrDoesFileExist(path) || zyrDoesFileExist(lock);
    zyrCString_free(lock);
    if (!taken)
      break;
  }
  zyrCString_free(directory);
  return path;
}

void ImportedMesh_removeIntermediateFile(ImportedMesh *, const char *name) {
  ZYR_TRACE_BEGIN_DESC("Remove the intermediate file used to communicate results from Kelvo.exe.");
  // The file is the one this process made and holds: it goes only while its name leads to it, so
  // that another file put under the name meanwhile stays, with its lock file.
  zyrHeldTemporary_removeNamed(name, ZYR_TRACE_DEBUG(1) != 0);
}
