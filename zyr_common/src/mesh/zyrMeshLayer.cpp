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
  done = true;
}
