#ifndef ZYR_PROJECTION_WRITE_H
#define ZYR_PROJECTION_WRITE_H
// Writing a stored mesh-to-CAD projection into a definition file of one zone. The stored
// projection keeps its own form: vertex numbers are turned into the file's vertex numbers (from 1,
// 0 for none) and the coordinates into the file's units only in the copies written.
struct DefFile;
struct Projection;

// 0, writing nothing, unless the file holds exactly one zone whose vertices include every vertex
// of the projection (after conversion to the file's geometry units); else the result of
// Projection_writeDataSets. The projection's arrays are released afterwards.
int Projection_write(Projection *projection, DefFile *file);
// The "M/MESHTOCAD/..." data sets (and "G/CNAMDB") of the projection as it is in memory, with
// the vertex numbers given (NULL: its own). 1, or the status of the first failed count.
int Projection_writeDataSets(Projection *projection, DefFile *file);
int Projection_writeDataSetsWith(Projection *projection, DefFile *file, const int *kvxen, const int *kvxfn);

#endif
