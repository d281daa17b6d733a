#ifndef WEZDSDBREADER_SIMULATION_DATABASE_H
#define WEZDSDBREADER_SIMULATION_DATABASE_H
// A simulation database: a text file naming one or more models, each with its mesh.
//
//   # comments: lines whose first non-blank character is '#'; blank lines are ignored
//   ZYR_DSDB 1               the first statement: the format and its version
//   model Rotor Passage      begins a model; its name is the rest of the line
//     number 7               optional: a 32-bit integer of the user's (default: position from 1)
//     kind Fluid             optional: a word or phrase saying what it is (default "Mesh")
//     mesh rotor.gmo         the model's mesh as an intermediate mesh file (the mesh reader's
//                            output format); a relative path is taken from the database's directory
//   end                      ends the model
//
// White space around a statement (a carriage return included) is dropped; keywords are lower
// case and separated from their value by white space. A name or kind may not begin with '<' (the
// reader's output tags) and no line may hold a control character other than a tab or be longer
// than 4096 bytes. At most 10000 models.
//
// Problems that make the file unusable are errors; an unknown keyword, text after "end" and a
// name used twice are warnings. Whether a model's mesh exists is left to the reader's modes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum { SimulationDatabase_maximumLine = 4096, SimulationDatabase_maximumModels = 10000 };

struct SimulationModel {
  std::string m_name;
  std::string m_kind;
  std::string m_mesh; // as written in the file, empty when none
  int32_t m_number;
  int32_t m_line;     // of its "model" statement
};

struct SimulationDatabase {
  std::string m_fileName;
  std::vector<SimulationModel> m_models;
  std::vector<std::string> m_errors;   // the first few, in the order found
  std::vector<std::string> m_warnings;
  int64_t m_noOfErrors;
  int64_t m_noOfWarnings;
};

// Reads and checks the file. Always gives a record; m_noOfErrors tells whether it is usable.
SimulationDatabase *SimulationDatabase_read(const char *fileName);
// Reads and checks a database held in memory as if it were the file of that name (which places
// relative mesh paths and names the file in messages).
SimulationDatabase *SimulationDatabase_parse(const char *data, size_t size, const char *fileName);
void SimulationDatabase_delete(SimulationDatabase *database);

// The path of a model's mesh file: absolute as written, else joined to the database's directory.
std::string SimulationDatabase_meshPath(const SimulationDatabase *database, const SimulationModel *model);

// Opens a regular file for reading, close-on-exec; a FIFO or device could block or never end,
// so nothing else is opened. The descriptor, or -1 with the reason given.
int SimulationDatabase_openRegularFile(const char *name, std::string *reason);

// The text with every control character replaced by '?', fit for a line of the reader's output.
std::string SimulationDatabase_printable(const std::string &text);

void SimulationDatabase_addError(SimulationDatabase *database, const std::string &text);
void SimulationDatabase_addWarning(SimulationDatabase *database, const std::string &text);

#endif
