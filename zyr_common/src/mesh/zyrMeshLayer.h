#ifndef ZYR_MESH_LAYER_H
#define ZYR_MESH_LAYER_H
// Initialisation of the mesh layer: installs the store hooks of the persistent types this layer
// owns (ElementMesh, ElementSet, FaceMesh, FaceSet, InterfaceMap, Vertices). Idempotent; call
// before a database holding such records is opened. Creating a record initialises the layer too.
void zyrMeshLayer_initialise();

#endif
