#ifndef GMO_WRITER_H
#define GMO_WRITER_H
// The intermediate mesh file: a data-set file through which the mesh reader hands its result to
// the library. Data sets, all at time 0 (location "EVERY" unless named):
//
//   ZYR/NSF, ZYR/NVL              number of surfaces and of volumes
//   ZYR/CLBSF, ZYR/CLBVL          their names (strings)
//   ZYR/KSFSF                     per surface the surface on its other side, or -1
//   ZYR/IPSFVL, ZYR/KSFVL         per volume (index pointer) the surfaces that bound it
//   ZYR/NCN                       number of composite names, then when there are any:
//   ZYR/CLBCN, ZYR/CNMCN, ZYR/IPNMCN  their names, all their components, index pointer
//   ZYR/CRDVX                     x, y, z of every vertex (doubles)
//   ZYR/UNITS                     length unit of the coordinates, only when one is known
//   ZYR/NES; at "ES<i>": ZYR/TYPE, ZYR/KVXPE   element sets: the solver's type code and the
//                                 vertices of each element in the solver's order, from 0
//   ZYR/NFS; at "FS<j>": ZYR/KPEPF, ZYR/KRFPF, ZYR/ES   face sets: each face's element (from 0
//                                 in its set) and the solver's face label (from 1), and the set
//   ZYR/KESVL + ZYR/IPESVL        element sets of each volume (from 0)
//   ZYR/KFSSF + ZYR/IPFSSF        face sets of each surface (from 0)
//
// Index pointers have one entry more than the things they divide. Strings are written as
// characters, each text ended by a zero byte, with the attribute "t=s".
#include "KelvoModel.h"
#include "io_records.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <vector>

struct GmoWriter {
  std::string m_name;     // the file being written (the temporary name)
  IO_state *m_state;      // the data-set library's state; none once closed
  std::string m_messages; // what the data-set library reported
  int64_t m_noOfDatasets;
};

// Opens the new, empty data-set file under `name` that the caller made for it (a placement's
// temporary, zyrPlacement.h). None, with a message in *error, when it cannot be opened; the
// caller removes the file.
GmoWriter *GmoWriter_new(const char *name, std::string *error);
// Closes the file when still open (without removing it) and frees the record.
void GmoWriter_delete(GmoWriter *writer);
void GmoWriter_print(const GmoWriter *writer, FILE *stream);

// One data set each; 1 on success, else 0 with the library's messages kept in m_messages.
int GmoWriter_writeInt(GmoWriter *writer, const char *what, const char *where, int32_t value);
int GmoWriter_writeInts(GmoWriter *writer, const char *what, const char *where,
                        const int32_t *values, int64_t count);
int GmoWriter_writeDoubles(GmoWriter *writer, const char *what, const char *where,
                           const double *values, int64_t count);
int GmoWriter_writeStrings(GmoWriter *writer, const char *what, const char *where,
                           const std::vector<std::string> &values);
// Writes the index and closes the file, then opens it again to see that its index lists every
// data set written. 1 when the file is complete.
int GmoWriter_close(GmoWriter *writer);

// Writes the whole intermediate mesh file of a model at `path`: first beside it under a
// temporary name, renamed over `path` only once complete, so that a failure never leaves a
// partial file there. `hold` (-1: none) is a descriptor this process inherited that holds the file
// under `path` (zyrHeldTemporary.h): the file its importer made, which is then written in place,
// and left to the importer whatever becomes of the writing. 1, or 0 with a message in *error;
// *written (when given) receives the status of the file written, for a removal that must find that
// very file under the name. `source` (when given) is the mesh file the model was read from, as its
// open showed it: when the file that `path` leads to (the one the placement holds, or the hold) is
// that file, nothing is written, and *error says so.
int GmoWriter_writeModel(const KelvoModel *model, const char *path, int hold, std::string *error,
                         struct stat *written = nullptr, const struct stat *source = nullptr);

#endif
