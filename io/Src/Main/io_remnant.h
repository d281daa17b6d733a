#ifndef IO_REMNANT_H
#define IO_REMNANT_H
// What a creation cut off leaves: a new file is made empty (O_EXCL), gets the information block
// of a new file (io_file.h: "*INFO", the size 0 in 20 characters, "*ENDINFO", 36 bytes), and its
// first data set is written as a frame whose first length field stays 0 until the frame is whole
// and a file end tag follows it (io_dataset.cpp). A process that ends at any moment before that
// leaves one of these, and nothing that a user stored can look like one:
//   - an empty file;
//   - part of the information block of a new file, or all of it, with at most a file end tag
//     after it;
//   - that block and one frame whose first length field is 0, either cut off right after that
//     field or whole (its closing length field agrees with where it ends) with at most a file end
//     tag after it.
// A first length field that is not 0, a frame not whole, or anything else after it, is more than
// a creation leaves.
#include <cstdio>

enum {
  IO_REMNANT_NONE = 0,
  IO_REMNANT_EMPTY = 1,      // an empty file
  IO_REMNANT_PART_INFO = 2,  // part of the information block of a new file
  IO_REMNANT_INFO = 3,       // only the information block of a new file
  IO_REMNANT_UNFINISHED = 4, // that block and a data set whose writing never finished
};

// What the file open on the stream holds (IO_REMNANT_*); IO_REMNANT_NONE also when it cannot be
// read. The stream's position is left anywhere.
int io_remnant_kind(FILE *stream);
// The same for the named file, opened for reading only (no lock taken) and closed again.
int io_remnant_of(const char *name);
// Says what a kind of remnant is, for messages: "an empty file", ...; "" for IO_REMNANT_NONE.
const char *io_remnant_text(int kind);

#endif
