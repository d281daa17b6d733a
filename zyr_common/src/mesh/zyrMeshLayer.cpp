#include "zyrMeshLayer.h"

#include "ElementMesh.h"
#include "ElementSet.h"
#include "FaceMesh.h"
#include "FaceSet.h"
#include "InterfaceMap.h"
#include "Mesh.h"
#include "Representation.h"
#include "Vertices.h"
#include "Visual.h"
#include "zyrTypeManager.h"

namespace {

const int32_t kOwned = ZYR_ATTRIBUTE_OWNED;
const int32_t kOptional = ZYR_ATTRIBUTE_OPTIONAL;

// What each record of the layer stores, for the store's checks of restored records.
const zyrAttributeRule kElementMesh[] = {{"region", "Region", 0, nullptr},
                                         {"vertices", "Vertices", kOwned | kOptional, nullptr},
                                         {"elementSets", "ElementSet", kOwned | kOptional, nullptr},
                                         {nullptr, nullptr, 0, nullptr}};
const zyrAttributeRule kElementSet[] = {{"elementMesh", "ElementMesh", 0, "elementSets"},
                                        {"kvxel", "zyrBlob", kOwned, nullptr},
                                        {"type", nullptr, 0, nullptr},
                                        {"nel", nullptr, 0, nullptr},
                                        {nullptr, nullptr, 0, nullptr}};
const zyrAttributeRule kFaceMesh[] = {{"region", "Region", 0, nullptr},
                                      {"elementMesh", "ElementMesh", 0, nullptr},
                                      {"faceSets", "FaceSet", kOwned | kOptional, nullptr},
                                      {nullptr, nullptr, 0, nullptr}};
const zyrAttributeRule kFaceSet[] = {{"faceMesh", "FaceMesh", 0, "faceSets"}, {"elementSet", "ElementSet", 0, nullptr},
                                     {"kelfc", "zyrBlob", kOwned, nullptr}, {"krffc", "zyrBlob", kOwned, nullptr},
                                     {"nfc", nullptr, 0, nullptr},          {nullptr, nullptr, 0, nullptr}};
const zyrAttributeRule kInterfaceMap[] = {{"connection", "Connection", 0, nullptr},
                                          {"faceMeshes", "FaceMesh", 0, nullptr},
                                          {"noOfMatchedVertices", nullptr, 0, nullptr},
                                          {"noOfMatchedFaces", nullptr, 0, nullptr},
                                          {nullptr, nullptr, 0, nullptr}};
// The link lists hold [part, region or connection] pairs; the maps own their parts, and a list
// that stayed empty may never have been written. Zones are made from the mesh's topology.
const zyrAttributeRule kMesh[] = {{"topology", "Topology", ZYR_ATTRIBUTE_VITAL, nullptr},
                                  {"elementMeshes", "ElementMesh,Region", kOptional, nullptr},
                                  {"faceMeshes", "FaceMesh,Region", kOptional, nullptr},
                                  {"interfaceMaps", "InterfaceMap,Connection", kOptional, nullptr},
                                  {nullptr, nullptr, 0, nullptr}};
// A new Representation stores its topology at once and its visual lists only at its first dump
// (a model that never had a mesh has none).
const zyrAttributeRule kRepresentation[] = {{"topology", "Topology", 0, nullptr},
                                            {"regions", "Region", kOptional, nullptr},
                                            {"visuals", "Visual", kOptional, nullptr},
                                            {nullptr, nullptr, 0, nullptr}};
const zyrAttributeRule kVertices[] = {{"xyz", "zyrBlob", kOwned, nullptr},   {"noOfVertices", nullptr, 0, nullptr},
                                      {"units", nullptr, 0, nullptr},        {"precision", nullptr, 0, nullptr},
                                      {"dimensionality", nullptr, 0, nullptr}, {nullptr, nullptr, 0, nullptr}};
const zyrAttributeRule kVisual[] = {{"vertices", "Vertices", kOwned, nullptr},     {"faceVertices", "zyrBlob", kOwned, nullptr},
                                    {"region", "Region", 0, nullptr},             {"noOfTriangles", nullptr, 0, nullptr},
                                    {"noOfQuadrilaterals", nullptr, 0, nullptr}, {nullptr, nullptr, 0, nullptr}};

} // namespace

void zyrMeshLayer_initialise() {
  static bool done = false;
  if (done)
    return;
  Vertices_registerType();
  zyrTypeManager_setHooks("ElementSet", ElementSet_getSize, ElementSet_dump, ElementSet_restore, ElementSet_delete);
  zyrTypeManager_setHooks("ElementMesh", ElementMesh_getSize, ElementMesh_dump, ElementMesh_restore,
                          ElementMesh_delete);
  zyrTypeManager_setHooks("FaceSet", FaceSet_getSize, FaceSet_dump, FaceSet_restore, FaceSet_delete);
  zyrTypeManager_setHooks("FaceMesh", FaceMesh_getSize, FaceMesh_dump, FaceMesh_restore, FaceMesh_delete);
  zyrTypeManager_setHooks("InterfaceMap", InterfaceMap_getSize, InterfaceMap_dump, InterfaceMap_restore,
                          InterfaceMap_delete);
  zyrTypeManager_setHooks("Mesh", Mesh_getSize, Mesh_dump, Mesh_restore, Mesh_delete);
  zyrTypeManager_setHooks("Visual", Visual_getSize, Visual_dump, Visual_restore, Visual_delete);
  zyrTypeManager_setHooks("Representation", Representation_getSize, Representation_dump, Representation_restore,
                          Representation_delete);
  zyrTypeManager_setAttributes("ElementMesh", kElementMesh);
  zyrTypeManager_setAttributes("ElementSet", kElementSet);
  zyrTypeManager_setAttributes("FaceMesh", kFaceMesh);
  zyrTypeManager_setAttributes("FaceSet", kFaceSet);
  zyrTypeManager_setAttributes("InterfaceMap", kInterfaceMap);
  zyrTypeManager_setAttributes("Mesh", kMesh);
  zyrTypeManager_setAttributes("Representation", kRepresentation);
  zyrTypeManager_setAttributes("Vertices", kVertices);
  zyrTypeManager_setAttributes("Visual", kVisual);
  done = true;
}
