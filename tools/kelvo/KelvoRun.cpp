#include "KelvoRun.h"

#include "GmoWriter.h"
#include "KelvoElements.h"
#include "KelvoModel.h"
#include "KelvoThreads.h"
#include "MshFile.h"
#include "ToolInterrupt.h"
#include "zyrInterrupt.h"
#include "zyrPause.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Options {
  std::string m_intermediate;
  std::string m_assemblyName; // accepted; the reader names no assemblies
  std::string m_importer;
  std::string m_units;
  std::vector<std::string> m_files; // the words that may name the mesh file
  std::string m_forcedFile;         // the word after "--"
  int m_generic = 0;
  int m_verbose = 0;
  int m_haveIntermediate = 0;
  int m_haveForcedFile = 0;
  int m_hold = -1; // the descriptor, inherited from the importer, that holds the intermediate file
  std::vector<std::string> m_warnings;
};

// Writes text line by line; a line that begins with "<" is indented so that it cannot pass for a
// tag of the output protocol.
void emitLines(FILE *out, const std::string &text) {
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos)
      end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (!line.empty() && line[0] == '<')
      line.insert(0, " ");
    fprintf(out, "%s\n", line.c_str());
    start = end + 1;
  }
}

void emitBlock(FILE *out, const char *begin, const char *end,
               const std::vector<std::string> &lines) {
  if (lines.empty())
    return;
  fprintf(out, "%s\n", begin);
  for (const std::string &line : lines)
    emitLines(out, line);
  fprintf(out, "%s\n", end);
  fflush(out);
}

// One block per warning, so that a warning of several lines stays one.
void emitWarnings(FILE *out, const std::vector<std::string> &warnings) {
  for (const std::string &warning : warnings)
    emitBlock(out, "<WARNING_BEG>", "<WARNING_END>", {warning});
}

int fail(FILE *out, const std::vector<std::string> &warnings, const std::string &message,
         int status) {
  emitWarnings(out, warnings);
  emitBlock(out, "<ERROR_BEG>", "<ERROR_END>", {message});
  return status;
}

bool needValue(int argc, const char *const *argv, int i, std::string *error) {
  if (i + 1 < argc)
    return true;
  *error = std::string("The option ") + argv[i] + " needs a value.";
  return false;
}

// The number of a descriptor: decimal digits, not too many.
bool descriptorOf(const char *text, int *descriptor) {
  if (text[0] == '\0' || strlen(text) > 9 || strspn(text, "0123456789") != strlen(text))
    return false;
  *descriptor = atoi(text);
  return true;
}

bool parseOptions(int argc, const char *const *argv, Options *options, std::string *error) {
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "-conduit")
      break;
    if (word == "-I") {
      if (!needValue(argc, argv, i, error))
        return false;
      options->m_intermediate = argv[++i];
      options->m_haveIntermediate = 1;
    } else if (word == "-hold") {
      if (!needValue(argc, argv, i, error))
        return false;
      if (!descriptorOf(argv[++i], &options->m_hold)) {
        *error = std::string("The option -hold needs a descriptor number, not \"") + argv[i] + "\".";
        return false;
      }
    } else if (word == "-B") {
      if (!needValue(argc, argv, i, error))
        return false;
      options->m_assemblyName = argv[++i];
    } else if (word == "-e") {
      if (!needValue(argc, argv, i, error))
        return false;
      options->m_importer = argv[++i];
    } else if (word == "-G") {
      options->m_generic = 1;
    } else if (word == "-v") {
      options->m_verbose = 1;
    } else if (word == "-units") {
      if (!needValue(argc, argv, i, error))
        return false;
      options->m_units = argv[++i];
    } else if (word == "--") {
      if (!needValue(argc, argv, i, error))
        return false;
      options->m_forcedFile = argv[++i];
      options->m_haveForcedFile = 1;
    } else if (word.size() > 1 && word[0] == '-') {
      options->m_warnings.push_back("The option \"" + word + "\" is not known and was ignored.");
    } else {
      options->m_files.push_back(word);
    }
  }
  if (!options->m_haveIntermediate || options->m_intermediate.empty()) {
    *error = "No intermediate file was named (-I <file>).";
    return false;
  }
  if (options->m_files.empty() && !options->m_haveForcedFile) {
    *error = "No mesh file was named.";
    return false;
  }
  return true;
}

std::string meshFile(Options *options) {
  if (options->m_haveForcedFile) {
    for (const std::string &w : options->m_files)
      options->m_warnings.push_back("The argument \"" + w + "\" was ignored.");
    return options->m_forcedFile;
  }
  size_t chosen = 0;
  for (size_t i = 0; i < options->m_files.size(); ++i) {
    struct stat info;
    if (stat(options->m_files[i].c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
      chosen = i;
      break;
    }
  }
  for (size_t i = 0; i < options->m_files.size(); ++i)
    if (i != chosen)
      options->m_warnings.push_back("The argument \"" + options->m_files[i] + "\" was ignored.");
  return options->m_files[chosen];
}

std::string lower(std::string text) {
  for (char &c : text)
    c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return text;
}

// The mesh type that an importer name stands for ("Import<type>.exe"), or the name itself.
std::string importerType(const std::string &importer) {
  std::string name =
      importer.substr(importer.rfind('/') == std::string::npos ? 0 : importer.rfind('/') + 1);
  if (name.size() > 4 && lower(name.substr(name.size() - 4)) == ".exe")
    name.resize(name.size() - 4);
  if (name.size() > 6 && lower(name.substr(0, 6)) == "import")
    name = name.substr(6);
  return name;
}

bool readsMsh(const std::string &type) {
  const std::string t = lower(type);
  return t.compare(0, 3, "msh") == 0 || t.compare(0, 4, "gmsh") == 0;
}

bool looksLikeMsh(const std::string &path) {
  // What cannot be read here (missing, not a regular file) the reader reports in its own words.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0)
    return true;
  struct stat info;
  char head[256];
  ssize_t n = 0;
  const bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  if (regular)
    n = read(fd, head, sizeof head);
  close(fd);
  return !regular || n < 0 || MshFile_isMsh(head, static_cast<size_t>(n));
}

void printDetails(FILE *out, const MshFile *mesh, const KelvoModel *model) {
  MshFile_print(mesh, out);
  for (const std::string &section : mesh->m_skippedSections)
    fprintf(out, "Skipped the section $%s\n", section.c_str());
  for (size_t i = 0; i < model->m_elementSets.size(); ++i) {
    const KelvoElementSet &es = model->m_elementSets[i];
    const KelvoElementType *type = KelvoElements_get(es.m_kind);
    fprintf(out, "Element set %zu of \"%s\": %zu %s\n", i,
            model->m_volumes[es.m_volume].m_name.c_str(),
            es.m_vertices.size() / type->m_noOfVertices, type->m_name);
  }
  for (size_t j = 0; j < model->m_faceSets.size(); ++j)
    fprintf(out, "Face set %zu on element set %d: %zu faces\n", j,
            model->m_faceSets[j].m_elementSet, model->m_faceSets[j].m_elements.size());
}

// The model's summary (KelvoModel_print) as lines of the output.
void printSummary(FILE *out, const KelvoModel *model) {
  std::string summary;
  char *text = nullptr;
  size_t length = 0;
  FILE *memory = open_memstream(&text, &length);
  if (memory != nullptr) {
    KelvoModel_print(model, memory);
    fclose(memory);
    summary.assign(text, length);
    free(text);
  }
  if (!summary.empty() && summary.back() == '\n')
    summary.pop_back();
  emitLines(out, summary);
}

} // namespace

int KelvoRun_main(int argc, const char *const *argv, FILE *out) {
  Options options;
  std::string error;
  if (!parseOptions(argc, argv, &options, &error))
    return fail(out, options.m_warnings,
                error + "\nUsage: Kelvo.exe -I <intermediate file> [-B <assembly name>] "
                        "[-G | -e Import<type>.exe] [options] <mesh file> [options]",
                2);
  const std::string file = meshFile(&options);
  if (!options.m_importer.empty()) {
    const std::string type = importerType(options.m_importer);
    if (!readsMsh(type))
      return fail(out, options.m_warnings,
                  "No importer for meshes of type \"" + type + "\" is available (\"" +
                      options.m_importer +
                      "\"). Kelvo.exe reads Gmsh mesh files, of type \"Msh\" "
                      "or \"Gmsh\".",
                  1);
  } else if (!looksLikeMsh(file)) {
    return fail(out, options.m_warnings,
                "The file \"" + file +
                    "\" is not a mesh file of a format that Kelvo.exe can "
                    "recognise (Gmsh .msh).",
                1);
  }
  MshFile *mesh = MshFile_new();
  KelvoModel *model = KelvoModel_new();
  int status = 0;
  struct stat written = {};
  std::vector<std::string> warnings = options.m_warnings;
  // An interrupt (ToolInterrupt.h) is looked at between the steps and between the data sets
  // written: the import is abandoned, and nothing of it stays.
  if (!MshFile_read(mesh, file.c_str(), &error)) {
    error = "Unable to read the Gmsh mesh file \"" + file + "\":\n" + error;
    status = 1;
  } else if (zyrInterrupt_signal() != 0) {
    status = 1;
  } else {
    emitLines(out, "Reading the Gmsh mesh file \"" + file + "\" (format " + mesh->m_version +
                       (mesh->m_binary ? ", binary)" : ", ASCII)"));
    // The mapped file is read no more: it is unmapped beside the building of the model.
    KelvoAside unmapping([mesh] { MshFile_unmap(mesh); });
    const int built = KelvoModel_build(model, mesh, &error);
    unmapping.join();
    warnings.insert(warnings.end(), model->m_warnings.begin(), model->m_warnings.end());
    if (!built) {
      error = "Unable to import the Gmsh mesh file \"" + file + "\":\n" + error;
      status = 1;
    } else if (zyrInterrupt_signal() != 0) {
      status = 1;
    } else {
      // The writing refuses the file read itself as the intermediate file, by what each holds
      // rather than by names (two names of one file, or a name renamed meanwhile).
      const struct stat source = mesh->m_file;
      // The mesh's memory (unless its details are still to be printed) and what the heap holds
      // free go back to the system beside the writing, instead of at the exit.
      KelvoAside release([&mesh, &options] {
        if (!options.m_verbose) {
          MshFile_delete(mesh);
          mesh = nullptr;
        }
        malloc_trim(0);
      });
      model->m_units = options.m_units;
      if (!GmoWriter_writeModel(model, options.m_intermediate.c_str(), options.m_hold, &error, &written,
                                &source)) {
        status = 1;
      } else {
        if (options.m_verbose)
          printDetails(out, mesh, model);
        printSummary(out, model);
        emitLines(out, "Wrote the intermediate mesh file \"" + options.m_intermediate + "\".");
      }
    }
  }
  MshFile_delete(mesh);
  KelvoModel_delete(model);
  if (status == 0)
    zyrPause_point("kelvo.written");
  if (zyrInterrupt_signal() != 0) {
    // A file finished just before is the abandoned import's too.
    if (status == 0)
      ToolInterrupt_removeWritten(options.m_intermediate.c_str(), written);
    return fail(out, {},
                ToolInterrupt_describe("Kelvo.exe", "the import of \"" + file +
                                                        "\" was abandoned; no intermediate mesh file was written"),
                128 + zyrInterrupt_signal());
  }
  if (status != 0)
    return fail(out, warnings, error, status);
  emitWarnings(out, warnings);
  fflush(out);
  return 0;
}
