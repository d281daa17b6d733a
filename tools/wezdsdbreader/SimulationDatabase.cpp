#include "SimulationDatabase.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>

namespace {

// Kept in full; the rest are only counted.
const size_t keptMessages = 20;

std::string format(const char *pattern, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char *pattern, ...) {
  va_list arguments;
  va_start(arguments, pattern);
  va_list again;
  va_copy(again, arguments);
  int length = std::vsnprintf(nullptr, 0, pattern, arguments);
  va_end(arguments);
  std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  if (length > 0)
    std::vsnprintf(&text[0], text.size() + 1, pattern, again);
  va_end(again);
  return text;
}

bool isBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

std::string trim(const std::string &text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && isBlank(text[first]))
    ++first;
  while (last > first && isBlank(text[last - 1]))
    --last;
  return text.substr(first, last - first);
}

bool holdsControl(const std::string &text) {
  for (char c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    if ((u < 0x20 && c != '\t') || u == 0x7f)
      return true;
  }
  return false;
}

// A whole 32-bit integer: an optional sign and digits, nothing else.
bool parseInteger(const std::string &text, int32_t *value) {
  size_t at = 0;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-'))
    negative = text[at++] == '-';
  if (at == text.size())
    return false;
  int64_t magnitude = 0;
  for (; at < text.size(); ++at) {
    if (!std::isdigit(static_cast<unsigned char>(text[at])))
      return false;
    magnitude = magnitude * 10 + (text[at] - '0');
    if (magnitude > static_cast<int64_t>(INT32_MAX) + 1)
      return false;
  }
  int64_t signedValue = negative ? -magnitude : magnitude;
  if (signedValue > INT32_MAX)
    return false;
  *value = static_cast<int32_t>(signedValue);
  return true;
}

// Reads the next line without its '\n'; *tooLong tells that it was cut at the limit (the rest
// of it is skipped). false at the end of the file.
// Where the lines come from: an open file, or bytes in memory.
struct Source {
  FILE *m_file;
  const char *m_data;
  size_t m_size;
  size_t m_at;
  int get() {
    if (m_file != nullptr)
      return std::getc(m_file);
    return m_at < m_size ? static_cast<unsigned char>(m_data[m_at++]) : EOF;
  }
};

bool readLine(Source *source, std::string *line, bool *tooLong) {
  line->clear();
  *tooLong = false;
  int c;
  bool any = false;
  while ((c = source->get()) != EOF) {
    any = true;
    if (c == '\n')
      return true;
    if (line->size() < SimulationDatabase_maximumLine)
      line->push_back(static_cast<char>(c));
    else
      *tooLong = true;
  }
  return any;
}

struct Reader {
  SimulationDatabase *m_database;
  int32_t m_lineNumber;
  bool m_hasHeader;
  bool m_inModel;
  bool m_hasNumber, m_hasKind, m_hasMesh;
  bool m_stop;
};

SimulationModel *currentModel(Reader *reader) { return &reader->m_database->m_models.back(); }

std::string quoted(const std::string &text) { return "\"" + SimulationDatabase_printable(text) + "\""; }

void error(Reader *reader, const std::string &text) {
  SimulationDatabase_addError(reader->m_database, format("Line %d: ", reader->m_lineNumber) + text);
}

void warning(Reader *reader, const std::string &text) {
  SimulationDatabase_addWarning(reader->m_database, format("Line %d: ", reader->m_lineNumber) + text);
}

void beginModel(Reader *reader, const std::string &name) {
  SimulationDatabase *database = reader->m_database;
  if (reader->m_inModel) {
    SimulationModel *open = currentModel(reader);
    error(reader, format("model %s begins before model %s of line %d has ended.", quoted(name).c_str(),
                         quoted(open->m_name).c_str(), open->m_line));
  }
  if (database->m_models.size() >= SimulationDatabase_maximumModels) {
    error(reader, format("the simulation database holds more than %d models.", SimulationDatabase_maximumModels));
    reader->m_stop = true;
    return;
  }
  if (name.empty())
    error(reader, "a model needs a name.");
  else if (name[0] == '<')
    error(reader, "a model name may not begin with \"<\".");
  SimulationModel model;
  model.m_name = name;
  model.m_kind = "Mesh";
  model.m_number = static_cast<int32_t>(database->m_models.size()) + 1;
  model.m_line = reader->m_lineNumber;
  database->m_models.push_back(model);
  reader->m_inModel = true;
  reader->m_hasNumber = reader->m_hasKind = reader->m_hasMesh = false;
}

// The statements that only a model holds; false when the keyword is none of them.
bool modelStatement(Reader *reader, const std::string &keyword, const std::string &value) {
  bool *given;
  if (keyword == "number")
    given = &reader->m_hasNumber;
  else if (keyword == "kind")
    given = &reader->m_hasKind;
  else if (keyword == "mesh")
    given = &reader->m_hasMesh;
  else if (keyword == "end")
    given = nullptr;
  else
    return false;

  if (!reader->m_inModel) {
    error(reader, format("\"%s\" outside a model.", keyword.c_str()));
    return true;
  }
  SimulationModel *model = currentModel(reader);
  if (given == nullptr) {
    if (!value.empty())
      warning(reader, format("text after \"end\" ignored: %s.", quoted(value).c_str()));
    reader->m_inModel = false;
    return true;
  }
  if (*given) {
    error(reader, format("model %s is given a %s twice.", quoted(model->m_name).c_str(), keyword.c_str()));
    return true;
  }
  *given = true;
  if (keyword == "number") {
    if (!parseInteger(value, &model->m_number))
      error(reader, format("the number of model %s must be a 32-bit integer, not %s.", quoted(model->m_name).c_str(),
                           quoted(value).c_str()));
  } else if (keyword == "kind") {
    if (value.empty())
      error(reader, format("the kind of model %s is empty.", quoted(model->m_name).c_str()));
    else if (value[0] == '<')
      error(reader, "a model kind may not begin with \"<\".");
    else
      model->m_kind = value;
  } else {
    if (value.empty())
      error(reader, format("model %s names no mesh file after \"mesh\".", quoted(model->m_name).c_str()));
    model->m_mesh = value;
  }
  return true;
}

void statement(Reader *reader, const std::string &text) {
  size_t split = 0;
  while (split < text.size() && !isBlank(text[split]))
    ++split;
  const std::string keyword = text.substr(0, split);
  const std::string value = trim(text.substr(split));

  if (!reader->m_hasHeader) {
    reader->m_stop = true;
    if (keyword != "ZYR_DSDB")
      error(reader, "this is not a simulation database: its first statement must be \"ZYR_DSDB 1\".");
    else if (value != "1")
      error(reader, format("version %s of the simulation database format is not supported (only 1 is).",
                           quoted(value).c_str()));
    else
      reader->m_stop = false;
    reader->m_hasHeader = true;
    return;
  }
  if (keyword == "ZYR_DSDB")
    error(reader, "\"ZYR_DSDB\" may only begin the file.");
  else if (keyword == "model")
    beginModel(reader, value);
  else if (!modelStatement(reader, keyword, value))
    warning(reader, format("unknown keyword %s ignored.", quoted(keyword).c_str()));
}

} // namespace

void SimulationDatabase_addError(SimulationDatabase *database, const std::string &text) {
  if (database->m_errors.size() < keptMessages)
    database->m_errors.push_back(text);
  ++database->m_noOfErrors;
}

void SimulationDatabase_addWarning(SimulationDatabase *database, const std::string &text) {
  if (database->m_warnings.size() < keptMessages)
    database->m_warnings.push_back(text);
  ++database->m_noOfWarnings;
}

std::string SimulationDatabase_printable(const std::string &text) {
  std::string printable = text;
  for (char &c : printable) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f)
      c = '?';
  }
  return printable;
}

namespace {

SimulationDatabase *newDatabase(const char *fileName) {
  SimulationDatabase *database = new SimulationDatabase();
  database->m_fileName = fileName != nullptr ? fileName : "";
  database->m_noOfErrors = database->m_noOfWarnings = 0;
  return database;
}

// Reads every statement of the source into the database and checks the whole.
void readAll(SimulationDatabase *database, Source *source) {
  Reader reader = Reader();
  reader.m_database = database;
  std::string line;
  bool tooLong = false;
  while (!reader.m_stop && readLine(source, &line, &tooLong)) {
    ++reader.m_lineNumber;
    const std::string text = trim(line);
    if (!reader.m_hasHeader && (tooLong || holdsControl(text))) {
      // Most likely some other kind of file: one error says it all.
      statement(&reader, "");
      break;
    }
    if (tooLong) {
      error(&reader, format("the line is longer than %d bytes.", SimulationDatabase_maximumLine));
      continue;
    }
    if (holdsControl(text)) {
      error(&reader, "the line holds a control character.");
      continue;
    }
    if (text.empty() || text[0] == '#')
      continue;
    statement(&reader, text);
  }
  if (source->m_file != nullptr && std::ferror(source->m_file)) {
    SimulationDatabase_addError(database, format("Unable to read the simulation database %s: %s.",
                                                 quoted(database->m_fileName).c_str(), std::strerror(errno)));
  } else if (!reader.m_stop) {
    if (!reader.m_hasHeader)
      SimulationDatabase_addError(database, "The file holds no statement: a simulation database begins with "
                                            "\"ZYR_DSDB 1\".");
    else if (reader.m_inModel)
      error(&reader, format("model %s has no \"end\".", quoted(currentModel(&reader)->m_name).c_str()));
  }

  if (database->m_noOfErrors == 0) {
    std::map<std::string, int32_t> firstLines;
    for (const SimulationModel &model : database->m_models) {
      auto found = firstLines.emplace(model.m_name, model.m_line);
      if (!found.second)
        SimulationDatabase_addWarning(database, format("Line %d: model %s has the name of the model of line %d.",
                                                       model.m_line, quoted(model.m_name).c_str(),
                                                       found.first->second));
    }
  }
}

} // namespace

SimulationDatabase *SimulationDatabase_read(const char *fileName) {
  SimulationDatabase *database = newDatabase(fileName);
  std::string reason;
  int descriptor = SimulationDatabase_openRegularFile(database->m_fileName.c_str(), &reason);
  FILE *file = descriptor >= 0 ? fdopen(descriptor, "r") : nullptr;
  if (file == nullptr) {
    if (descriptor >= 0) {
      reason = std::strerror(errno);
      close(descriptor);
    }
    SimulationDatabase_addError(database, format("Unable to open the simulation database %s: %s.",
                                                 quoted(database->m_fileName).c_str(), reason.c_str()));
    return database;
  }
  Source source = {file, nullptr, 0, 0};
  readAll(database, &source);
  std::fclose(file);
  return database;
}

SimulationDatabase *SimulationDatabase_parse(const char *data, size_t size, const char *fileName) {
  SimulationDatabase *database = newDatabase(fileName);
  Source source = {nullptr, data, data != nullptr ? size : 0, 0};
  readAll(database, &source);
  return database;
}

void SimulationDatabase_delete(SimulationDatabase *database) { delete database; }

int SimulationDatabase_openRegularFile(const char *name, std::string *reason) {
  int descriptor = open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) {
    *reason = std::strerror(errno);
    return -1;
  }
  struct stat status;
  if (fstat(descriptor, &status) != 0) {
    *reason = std::strerror(errno);
    close(descriptor);
    return -1;
  }
  if (!S_ISREG(status.st_mode)) {
    *reason = S_ISDIR(status.st_mode) ? std::strerror(EISDIR) : "it is not a regular file";
    close(descriptor);
    return -1;
  }
  fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
  return descriptor;
}

std::string SimulationDatabase_meshPath(const SimulationDatabase *database, const SimulationModel *model) {
  if (model->m_mesh.empty() || model->m_mesh[0] == '/')
    return model->m_mesh;
  size_t slash = database->m_fileName.rfind('/');
  if (slash == std::string::npos)
    return model->m_mesh;
  return database->m_fileName.substr(0, slash + 1) + model->m_mesh;
}
