#ifndef KELVO_RUN_H
#define KELVO_RUN_H
// The mesh reader's command line and output.
//
//   Kelvo.exe -I <intermediate file> [-B <default assembly name>] [-G | -e Import<type>.exe]
//             [options] <mesh file> [options] [-conduit ...]
//
// The library starts it with its standard streams joined to a pipe; the reader never reads its
// standard input. Options, anywhere before "-conduit":
//   -v            verbose: also what the file held and every element set and face set
//   -units <u>    record <u> as the length unit of the coordinates (else none is recorded and
//                 the library applies the unit that the import was given)
//   --            the next word is the mesh file, whatever it looks like
// "-conduit" and every word after it are the process layer's and are ignored. Other words that
// begin with "-" are ignored with a warning. Of several other words, the mesh file is the first
// that names an existing file.
//
// Types: "-e" names the importer "Import<type>.exe"; the types "Msh" and "Gmsh" (in any case,
// and any type that begins with either) read Gmsh .msh files. With "-G", or with neither option
// (the type "User"), the format is recognised from the file's contents.
//
// Output (standard output, one line at a time): summary lines; then one block "<WARNING_BEG>" ...
// "<WARNING_END>" per warning (what was left out or named otherwise than the file says, and
// what became of it), each of one line or more; on failure one block "<ERROR_BEG>" ...
// "<ERROR_END>" with the message. A line of a message that would begin with "<" is indented by a
// space, so that no text from the file can pose as a tag.
//
// Exit status: 0 when the intermediate file was written, 1 when the import failed, 2 for a bad
// command line. No intermediate file is left behind on failure.
#include <cstdio>

int KelvoRun_main(int argc, const char *const *argv, FILE *out);

#endif
