// The simulation-database reader's command line and work (DsdbReaderRun.h).
#include "DsdbReaderRun.h"

#include "SimulationDatabase.h"
#include "ToolInterrupt.h"
#include "zyrFault.h"
#include "zyrHeldTemporary.h"
#include "zyrInterrupt.h"
#include "zyrPlacement.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

enum { exitDone = 0, exitFailed = 1, exitUsage = 2 };

struct Options {
  const char *m_mode;        // "-list" or "-export", NULL when none was given
  const char *m_database;
  const char *m_intermediate;
  int32_t m_model;
  int32_t m_hold = -1; // the descriptor, inherited from the importer, that holds the intermediate file
  std::vector<std::string> m_errors;
  std::vector<std::string> m_warnings;
};

std::string quoted(const std::string &text) { return "\"" + SimulationDatabase_printable(text) + "\""; }

void printBlock(FILE *out, const char *begin, const char *end, const std::vector<std::string> &lines,
                int64_t total) {
  if (total == 0)
    return;
  std::fprintf(out, "%s\n", begin);
  for (const std::string &line : lines)
    std::fprintf(out, "%s\n", line.c_str());
  if (total > static_cast<int64_t>(lines.size()))
    std::fprintf(out, "... and %" PRId64 " more.\n", total - static_cast<int64_t>(lines.size()));
  std::fprintf(out, "%s\n", end);
}

void printErrors(FILE *out, const std::vector<std::string> &lines, int64_t total) {
  printBlock(out, "<ERROR_BEG>", "<ERROR_END>", lines, total);
}

void printWarnings(FILE *out, const std::vector<std::string> &lines, int64_t total) {
  printBlock(out, "<WARNING_BEG>", "<WARNING_END>", lines, total);
}

int finish(FILE *out, int status) {
  if (std::fflush(out) != 0 || std::ferror(out))
    return exitFailed;
  return status;
}

bool parseIndex(const char *text, int32_t *value) {
  if (*text < '0' || *text > '9')
    return false;
  int64_t number = 0;
  for (const char *c = text; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9')
      return false;
    number = number * 10 + (*c - '0');
    if (number > INT32_MAX)
      return false;
  }
  *value = static_cast<int32_t>(number);
  return true;
}

void readOptions(int argc, const char *const *argv, Options *options) {
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "-list" || word == "-export") {
      const int needed = word == "-list" ? 1 : 2;
      if (options->m_mode != nullptr) {
        options->m_errors.push_back("Only one of -list and -export may be given.");
      } else if (i + needed >= argc) {
        options->m_errors.push_back(word == "-list" ? "-list must be followed by the database's file name."
                                                    : "-export must be followed by the database's file name and "
                                                      "the intermediate file's name.");
      } else {
        options->m_mode = argv[i];
        options->m_database = argv[i + 1];
        if (needed == 2)
          options->m_intermediate = argv[i + 2];
      }
      i += needed;
    } else if (word == "-model") {
      if (i + 1 >= argc || !parseIndex(argv[i + 1], &options->m_model))
        options->m_errors.push_back("-model must be followed by a model index from 0" +
                                    (i + 1 < argc ? ", not " + quoted(argv[i + 1]) : std::string()) + ".");
      ++i;
    } else if (word == "-hold") {
      if (i + 1 >= argc || !parseIndex(argv[i + 1], &options->m_hold))
        options->m_errors.push_back("-hold must be followed by a descriptor number" +
                                    (i + 1 < argc ? ", not " + quoted(argv[i + 1]) : std::string()) + ".");
      ++i;
    } else if (word == "-server_mode") {
    } else if (word.compare(0, 8, "-conduit") == 0) {
      while (i + 1 < argc && argv[i + 1][0] != '-')
        ++i;
    } else {
      options->m_warnings.push_back("The argument " + quoted(word) + " is not understood and was ignored.");
    }
  }
  if (options->m_mode == nullptr && options->m_errors.empty())
    options->m_errors.push_back("Either -list or -export must be given.");
  if (!options->m_errors.empty()) {
    options->m_errors.push_back("Usage: wezdsdbreader.exe -list <database> [-server_mode]");
    options->m_errors.push_back("       wezdsdbreader.exe -export <database> <intermediate file> [-model <index>] "
                                "[-server_mode]");
  }
}

bool fileExists(const std::string &path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0;
}

int list(FILE *out, const Options *options) {
  SimulationDatabase *database = SimulationDatabase_read(options->m_database);
  if (database->m_noOfErrors == 0) {
    for (const SimulationModel &model : database->m_models) {
      if (model.m_mesh.empty())
        SimulationDatabase_addWarning(database, "Line " + std::to_string(model.m_line) + ": model " +
                                                    quoted(model.m_name) + " names no mesh file.");
      else if (!fileExists(SimulationDatabase_meshPath(database, &model)))
        SimulationDatabase_addWarning(database, "Line " + std::to_string(model.m_line) + ": the mesh file " +
                                                    quoted(model.m_mesh) + " of model " + quoted(model.m_name) +
                                                    " does not exist.");
    }
    if (database->m_models.empty())
      SimulationDatabase_addWarning(database, "The simulation database " + quoted(database->m_fileName) +
                                                  " holds no models.");
  }
  printWarnings(out, database->m_warnings, database->m_noOfWarnings);
  int status = exitDone;
  if (database->m_noOfErrors > 0) {
    printErrors(out, database->m_errors, database->m_noOfErrors);
    status = exitFailed;
  } else if (!database->m_models.empty()) {
    std::fprintf(out, "<MODELS_BEG>\n%zu\n", database->m_models.size());
    for (size_t i = 0; i < database->m_models.size(); ++i) {
      const SimulationModel &model = database->m_models[i];
      std::fprintf(out, "%zu\n%s\n%d\n%s\n", i, model.m_name.c_str(), model.m_number, model.m_kind.c_str());
    }
    std::fprintf(out, "<MODELS_END>\n");
  }
  SimulationDatabase_delete(database);
  return status;
}

// Copies the file beside the target under a temporary name and renames it over the target, so
// that a failed copy leaves whatever was there; or, given the hold of the target that the importer
// made and holds (zyrHeldTemporary.h), into the target itself, which stays the importer's whatever
// becomes of the copy. An empty text on success, else the problem; *written receives the status
// of the file written.
std::string copyFile(const std::string &source, const std::string &target, const std::string &modelName,
                     int hold, struct stat *written) {
  std::string reason;
  int in = SimulationDatabase_openRegularFile(source.c_str(), &reason);
  if (in < 0)
    return "Unable to open the mesh file " + quoted(source) + " of model " + quoted(modelName) + ": " + reason + ".";

  // Put in place as every whole file (zyrPlacement.h), under a name of this process: what a
  // killed reader left goes at the next look.
  zyrPlacement place;
  zyrHeldTemporary held;
  int out = -1;
  if (hold >= 0 ? zyrHeldTemporary_adopt(&held, target.c_str(), hold) : zyrPlacement_begin(&place, target.c_str(), 4))
    out = hold >= 0 ? fcntl(hold, F_DUPFD_CLOEXEC, 0) : zyrPlacement_openTemporary(&place);
  if (out < 0) {
    const std::string why = place.m_refusal != 0 ? zyrPlacement_reason(&place) : std::strerror(errno);
    close(in);
    zyrHeldTemporary_release(&held);
    return "Unable to write the intermediate file " + quoted(target) + ": " + why + ".";
  }
  std::string problem;
  std::vector<char> buffer(1 << 16);
  for (;;) {
    if (zyrInterrupt_signal() != 0) {
      problem = "interrupted";
      break;
    }
    ssize_t got = zyrFault_read(in, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0) {
      problem = "Unable to read the mesh file " + quoted(source) + ": " + std::strerror(errno) + ".";
      break;
    }
    if (got == 0)
      break;
    for (ssize_t done = 0; done < got && problem.empty();) {
      ssize_t put = zyrFault_write(out, buffer.data() + done, static_cast<size_t>(got - done));
      if (put < 0 && errno == EINTR)
        continue;
      if (put <= 0)
        problem = "Unable to write the intermediate file " + quoted(target) + ": " + std::strerror(errno) + ".";
      else
        done += put;
    }
    if (!problem.empty())
      break;
  }
  close(in);
  if (problem.empty() && fstat(out, written) != 0)
    problem = "Unable to write the intermediate file " + quoted(target) + ": " + std::strerror(errno) + ".";
  if (close(out) != 0 && problem.empty())
    problem = "Unable to write the intermediate file " + quoted(target) + ": " + std::strerror(errno) + ".";
  if (problem.empty() && hold < 0 && zyrPlacement_commit(&place) != 1)
    problem = "Unable to write the intermediate file " + quoted(target) + ": " + zyrPlacement_reason(&place) + ".";
  zyrHeldTemporary_release(&held);
  return problem;
}

// An export that an interrupt stopped: said in the protocol's words; a file it already wrote is
// removed again (`written`: its status; NULL none), while its name still leads to it.
int abandoned(FILE *out, const Options *options, const struct stat *written) {
  if (written != nullptr)
    ToolInterrupt_removeWritten(options->m_intermediate, *written);
  printErrors(out,
              {ToolInterrupt_describe("wezdsdbreader.exe",
                                      "the export to " + quoted(options->m_intermediate) + " was abandoned")},
              1);
  return 128 + zyrInterrupt_signal();
}

int exportModel(FILE *out, const Options *options, struct stat *written, bool *wrote) {
  SimulationDatabase *database = SimulationDatabase_read(options->m_database);
  std::string problem;
  const SimulationModel *model = nullptr;
  if (database->m_noOfErrors == 0 && zyrInterrupt_signal() == 0) {
    const size_t count = database->m_models.size();
    if (static_cast<size_t>(options->m_model) >= count) {
      problem = "Model " + std::to_string(options->m_model) + " does not exist: the simulation database " +
                quoted(database->m_fileName) + " holds " + std::to_string(count) + " model" +
                (count == 1 ? "" : "s") + ".";
    } else {
      model = &database->m_models[static_cast<size_t>(options->m_model)];
      if (model->m_mesh.empty())
        problem = "Line " + std::to_string(model->m_line) + ": model " + quoted(model->m_name) +
                  " names no mesh file.";
      else
        problem = copyFile(SimulationDatabase_meshPath(database, model), options->m_intermediate, model->m_name,
                           options->m_hold, written);
    }
    if (!problem.empty())
      SimulationDatabase_addError(database, problem);
    *wrote = model != nullptr && problem.empty();
  }
  if (zyrInterrupt_signal() != 0) {
    SimulationDatabase_delete(database);
    return exitFailed;
  }
  printWarnings(out, database->m_warnings, database->m_noOfWarnings);
  int status = exitDone;
  if (database->m_noOfErrors > 0) {
    printErrors(out, database->m_errors, database->m_noOfErrors);
    status = exitFailed;
  } else {
    std::fprintf(out, "Model %d (%s) written to %s.\n", options->m_model, quoted(model->m_name).c_str(),
                quoted(options->m_intermediate).c_str());
  }
  SimulationDatabase_delete(database);
  return status;
}

} // namespace

int DsdbReaderRun_main(int argc, const char *const *argv, FILE *out) {
  Options options = Options();
  readOptions(argc, argv, &options);
  printWarnings(out, options.m_warnings, static_cast<int64_t>(options.m_warnings.size()));
  if (!options.m_errors.empty()) {
    printErrors(out, options.m_errors, static_cast<int64_t>(options.m_errors.size()));
    return finish(out, exitUsage);
  }
  if (std::strcmp(options.m_mode, "-list") == 0)
    return finish(out, list(out, &options));
  struct stat written = {};
  bool wrote = false;
  const int status = exportModel(out, &options, &written, &wrote);
  return finish(out, zyrInterrupt_signal() != 0 ? abandoned(out, &options, wrote ? &written : nullptr) : status);
}
