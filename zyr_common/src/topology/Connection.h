#ifndef ZYR_CONNECTION_H
#define ZYR_CONNECTION_H
// A pairing of two regions ("Connection", type id 5): a direct connection (type 0) joins two
// regions whose meshes match one to one, a gluing (type 1) pairs regions glued by the user or by
// import. Both regions refer to it; the regions' own operations (Region_connectNeighbour,
// Region_glueNeighbour, ...) keep those references in step.
#include "zyrObject.h"

#include <cstdint>
#include <cstdio>

struct Region;

enum ConnectionType { CONNECTION_DIRECT = 0, CONNECTION_GLUING = 1 };

struct Connection {
  zyrObject m_object;
  Region *m_sides[2]; // side 1 and side 2, in the order given at creation
  int32_t m_type;
};

Connection *Connection_new(Region *side1, Region *side2, int32_t type);
Connection *Connection_newDirect(Region *side1, Region *side2);
Connection *Connection_newGluing(Region *side1, Region *side2);
int Connection_delete(void *connection);
int Connection_dump(void *connection);
int Connection_restore(void *connection, int32_t flag);
int64_t Connection_getSize();
void Connection_print(const Connection *connection, FILE *stream);

// Side 2 for side 1, side 1 for side 2, else none.
Region *Connection_getOtherSide(const Connection *connection, const Region *region);
void Connection_getSides(const Connection *connection, Region **side1, Region **side2);
int Connection_isDirect(const Connection *connection);
int Connection_isGluing(const Connection *connection);

#endif
