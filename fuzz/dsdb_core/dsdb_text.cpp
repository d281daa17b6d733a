// The simulation-database text parser on arbitrary bytes: every model, message and mesh path
// it gives must be well formed, and nothing may crash or leak.
#include "SimulationDatabase.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  SimulationDatabase *database =
      SimulationDatabase_parse(reinterpret_cast<const char *>(data), size, "/fuzz/study.dsdb");
  if (database->m_errors.size() > static_cast<size_t>(database->m_noOfErrors) ||
      database->m_models.size() > static_cast<size_t>(SimulationDatabase_maximumModels))
    std::abort();
  for (const SimulationModel &model : database->m_models) {
    // Names reach the reader's output lines: they must print as one line.
    const std::string printable = SimulationDatabase_printable(model.m_name + model.m_kind);
    for (char c : printable)
      if (c == '\n' || c == '\r')
        std::abort();
    SimulationDatabase_meshPath(database, &model);
  }
  SimulationDatabase_delete(database);
  return 0;
}
