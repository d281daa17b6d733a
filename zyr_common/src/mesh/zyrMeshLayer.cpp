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
const zyrAttributeRule kElementMesh[] = {{"region", "Region", 0},
                                         {"vertices", "Vertices", kOwned | kOptional},
                                         {"elementSets", "ElementSet", kOwned | kOptional},
                                         {nullptr, nullptr, 0}};
const zyrAttributeRule kElementSet[] = {{"elementMesh", "ElementMesh", 0},
                                        {"kvxel", "zyrBlob", kOwned},
                                        {"type", nullptr, 0},
                                        {"nel", nullptr, 0},
                                        {nullptr, nullptr, 0}};
const zyrAttributeRule kFaceMesh[] = {{"region", "Region", 0},
                                      {"elementMesh", "ElementMesh", 0},
                                      {"faceSets", "FaceSet", kOwned | kOptional},
                                      {nullptr, nullptr, 0}};
const zyrAttributeRule kFaceSet[] = {{"faceMesh", "FaceMesh", 0}, {"elementSet", "ElementSet", 0},
                                     {"kelfc", "zyrBlob", kOwned}, {"krffc", "zyrBlob", kOwned},
                                     {"nfc", nullptr, 0},          {nullptr, nullptr, 0}};
const zyrAttributeRule kInterfaceMap[] = {{"connection", "Connection", 0},
                                          {"faceMeshes", "FaceMesh", 0},
                                          {"noOfMatchedVertices", nullptr, 0},
                                          {"noOfMatchedFaces", nullptr, 0},
                                          {nullptr, nullptr, 0}};
// The link lists hold [part, region or connection] pairs; the maps own their parts, and a list
// that stayed empty may never have been written.
const zyrAttributeRule kMesh[] = {{"topology", "Topology", 0},
                                  {"elementMeshes", "ElementMesh,Region", kOptional},
                                  {"faceMeshes", "FaceMesh,Region", kOptional},
                                  {"interfaceMaps", "InterfaceMap,Connection", kOptional},
                                  {nullptr, nullptr, 0}};
const zyrAttributeRule kRepresentation[] = {
    {"topology", "Topology", 0}, {"regions", "Region", 0}, {"visuals", "Visual", 0}, {nullptr, nullptr, 0}};
const zyrAttributeRule kVertices[] = {{"xyz", "zyrBlob", kOwned},   {"noOfVertices", nullptr, 0},
                                      {"units", nullptr, 0},        {"precision", nullptr, 0},
                                      {"dimensionality", nullptr, 0}, {nullptr, nullptr, 0}};
const zyrAttributeRule kVisual[] = {{"vertices", "Vertices", kOwned},     {"faceVertices", "zyrBlob", kOwned},
                                    {"region", "Region", 0},             {"noOfTriangles", nullptr, 0},
                                    {"noOfQuadrilaterals", nullptr, 0}, {nullptr, nullptr, 0}};

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
