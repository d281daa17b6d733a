#ifndef ZYR_MODEL_EXPORT_H
#define ZYR_MODEL_EXPORT_H
// Writing a Model out as a solver definition file.
#include <cstdint>

struct Model;

// A mesh-only definition file of the given type (only "Def"), lengths in the units ("m" when
// none or blank). The file is written beside its final name and moved over it only when
// complete, so a failed export leaves any earlier file as it was. 1 or 0.
int Model_exportMesh(Model *model, const char *type, const char *fileName, const char *units);
// A definition file through the writer: fromDefFile 1 builds the zone map from the physics text
// the file holds, 0 from the topology in the units. The flags switch interface matching off per
// interface type. 1 or 0.
int Model_writeDefFile(Model *model, const char *fileName, uint32_t flags, int32_t fromDefFile, const char *units);

#endif
