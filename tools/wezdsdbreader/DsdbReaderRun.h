#ifndef DSDB_READER_RUN_H
#define DSDB_READER_RUN_H
// The simulation-database reader that the library starts (wezdsdbreader.exe), its output going
// to the stream given.
//
//   wezdsdbreader.exe -list <database> [-server_mode]
//       lists the models of the database (format in SimulationDatabase.h):
//         <MODELS_BEG>
//         <number of models>
//         then per model: its index from 0, its name, its number, its kind
//         <MODELS_END>
//   wezdsdbreader.exe -export <database> <intermediate file> [-model <index>] [-server_mode]
//       writes the mesh of model <index> (default 0) to the intermediate file, replacing it
//       only once the copy is complete.
//
// Problems are reported between <ERROR_BEG> and <ERROR_END>, warnings between <WARNING_BEG> and
// <WARNING_END>, all on the output stream, every line of a block starting with plain text so that
// no file content can pass for a tag. Exit status: 0 done (warnings allowed), 1 the database or
// the export failed, 2 the command line is wrong. "-server_mode" is what the library passes; the
// output is the same without it. A "-conduit" argument and its words are ignored, as are unknown
// options (with a warning). Standard input is never read: the library keeps it open. SIGINT and
// SIGTERM (caught by the executable) abandon the export (the intermediate file is not written)
// with an error block saying so: exit status 130 or 143.
#include <cstdio>

int DsdbReaderRun_main(int argc, const char *const *argv, FILE *out);

#endif
