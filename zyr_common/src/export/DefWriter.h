#ifndef ZYR_DEF_WRITER_H
#define ZYR_DEF_WRITER_H
// The solver's view of a model, written into a definition file as data sets.
//
// Two modes: physics mode (fromDefFile 1) builds the zone map from the host's physics text that
// the file already holds in [G/COMMANDS, EVERY, 0]; mesh-only mode (fromDefFile 0) builds a
// pseudo zone map from the topology, writes a blank physics text itself and, after the data,
// the surface groups. Construction checks the zone map against the topology and numbers
// everything; writing only reads what construction prepared.
//
// Numbers (IDs) run from 1 in six independent sequences keyed by object identity: volumes,
// surfaces, domains (zones "ZN%d"), subdomains ("VP%d"), boundaries ("BCP%d") and interfaces
// ("ZIF%d").
#include <cstdint>
#include <cstdio>

struct DefFile;
struct Labelling;
struct Mesh;
struct Model;
struct Region;
struct Topology;
struct Zone;
struct vsnBoundary;
struct vsnDomain;
struct vsnInterface;
struct vsnSubdomain;
struct zyrZoneMap;

// Bits of the flags: which interface types skip matching.
enum {
  DEFWRITER_NO_UNMATCHED_MATCHING = 1,
  DEFWRITER_NO_NEW_UNMATCHED_MATCHING = 2,
  DEFWRITER_NO_NEW_AUTOMATIC_MATCHING = 4,
  DEFWRITER_NO_NEW_MATCHED_MATCHING = 8
};

struct DefWriter {
  int32_t m_noOfDomains;
  vsnDomain **m_domains; // owned array, zone-map order
  int32_t m_noOfSubdomains;
  vsnSubdomain **m_subdomains;
  int32_t m_noOfBoundaries;
  vsnBoundary **m_boundaries;
  int32_t m_noOfInterfaces;
  vsnInterface **m_interfaces;
  Region **m_volumes;  // owned array, sorted by name
  Region **m_surfaces; // owned array, sorted by name
  int32_t m_noOfVolumes;
  int32_t m_noOfSurfaces;
  int32_t m_fromDefFile;
  DefFile *m_file;         // owned
  Model *m_model;          // not owned
  Topology *m_topology;    // not owned
  zyrZoneMap *m_zoneMap;   // owned
  Labelling *m_labelling;  // owned
  uint32_t m_flags;
  double m_tolerance;
};

// The Model sits in a higher layer; it hands the writer its parts through hooks that it
// registers before it makes a writer.
struct DefWriterModelHooks {
  Topology *(*m_getTopology)(const Model *model);
  Mesh *(*m_getMesh)(const Model *model);
  // The database's mesh-to-CAD projection, or NULL.
  void *(*m_getProjection)(const Model *model);
};
void DefWriter_setModelHooks(const DefWriterModelHooks *hooks);
Topology *DefWriter_getModelTopology(const Model *model);
Mesh *DefWriter_getModelMesh(const Model *model);
void *DefWriter_getModelProjection(const Model *model);

// None, with the reason published, when the physics cannot be read, the zone map and topology
// disagree, or the file cannot be opened.
DefWriter *DefWriter_new(Model *model, const char *fileName, uint32_t flags, int32_t fromDefFile,
                         const char *units, double tolerance);
void DefWriter_delete(DefWriter *writer);
void DefWriter_print(const DefWriter *writer, FILE *stream);

// The object's ID. Inside DefWriter_writeData an object without one publishes 20006 and abandons
// the whole write; outside it, -1.
int32_t DefWriter_getID(const DefWriter *writer, const void *object);
int DefWriter_checkTopology(DefWriter *writer);
int DefWriter_checkVSN(DefWriter *writer);
// The two matching switches of an interface type under the writer's flags.
void DefWriter_getMatching(uint32_t flags, int32_t interfaceType, int *useExisting, int *matchNew);

// Erases every data set a writer puts into a definition file (problem-wide, zone, zone-interface,
// projection, atlas and surface-group data sets), so that nothing of an earlier, larger problem
// survives a rewrite. The host's physics text and any other data stay. 1 or 0 (error stored in
// the file).
int DefWriter_eraseOwnedDatasets(DefFile *file);

// The zone interfaces (zones indexed by zone number from 1), "G/KZNZIF" and the one-to-one
// check: 1; 0 when everything was written but a Matched interface is not matched one to one;
// -1 when the write must stop (an interface without zone interface, a failed write).
int DefWriter_writeZoneInterfaces(DefWriter *writer, Zone *const *zones);

// Writes everything, then in mesh-only mode the surface groups; 1 or 0.
int DefWriter_write(DefWriter *writer);
// The data of the whole problem; 0 on a failed write, an inconsistency, an object without ID,
// or (after everything was written) a Matched interface that is not matched one to one.
int DefWriter_writeData(DefWriter *writer);

// The surfaces grouped by volume: for volume 1 to noOfVolumes, the surface numbers s ascending
// whose volume[s-1] is that volume; the 1-based index pointer has noOfVolumes + 1 entries.
// Volume numbers outside 1..noOfVolumes are left out.
void DefWriter_groupSurfacesByVolume(int32_t noOfVolumes, int32_t noOfSurfaces, const int32_t *volumeOfSurface,
                                     int32_t *surfacesByVolume, int32_t *indexPointer);

// Names, surface groups and region atlas.
int DefWriter_writeNameMap(DefWriter *writer);
int DefWriter_saveRegionAtlas(DefWriter *writer);
// The object's ID, or -1 (no error).
int32_t DefWriter_getAtlasIndex(const DefWriter *writer, const void *object);
int DefWriter_writeSurfaceGroups(DefWriter *writer);

// Splits text into lines at each newline (the newline not kept); an unterminated last line is
// kept. New tracked strings in a new tracked array; the count.
int32_t DefWriter_splitLines(const char *text, char ***lines);

#endif
