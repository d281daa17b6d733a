// Listings of a handle's tree: the children of an object (as triples and grouped by label), their
// step names, and the objects of a given name or type below the current path.
#ifndef VSN_LISTING_H
#define VSN_LISTING_H

#include <cstdint>

struct vsnHandle;

// One child: its name (a singleton's type), kind word ("Param", "Object", "Singleton") and type
// ("String" for a parameter).
struct vsnChildInfo {
  char* m_name;
  char* m_kind;
  char* m_type;
};

// The children of one label: their count, kind name ("Parameter", "Object" or "Singleton"), type
// and indices into the child triples.
struct vsnGroupInfo {
  int32_t m_count;
  char* m_kindName;
  char* m_type;
  int32_t* m_indices;
};

// Children in creation order; groups in the reverse order of their labels' first appearance,
// each group's indices descending. Either output pair may be NULL.
const char* getChildList(vsnHandle* h, const char* path, int* childCount, vsnChildInfo** childrenAry,
                         int* groupCount, vsnGroupInfo** groupAry);
void freeChildArray(vsnChildInfo* array, int count);
void freeGroupArray(vsnGroupInfo* array, int count);

// Step names of the children in creation order (name, TYPE:name or TYPE), NULL-terminated; NULL
// when there are none.
const char* getChildObjectList(vsnHandle* h, const char* path, int wantObjects, int wantParams, int* count,
                               char*** names);

// Full paths of the objects below the current path whose name (a singleton's type), or type,
// equals the key; depth first in creation order, library objects and their subtrees left out.
const char* getObjectsByNameH(vsnHandle* h, const char* name, char*** paths);
const char* getObjectsByTypeH(vsnHandle* h, const char* type, char*** paths);

#endif
