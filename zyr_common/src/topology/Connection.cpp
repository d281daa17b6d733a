#include "Connection.h"

#include "Region.h"
#include "TopologyReferences.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrUUID.h"

int64_t Connection_getSize() { return static_cast<int64_t>(sizeof(Connection)); }

Connection *Connection_new(Region *side1, Region *side2, int32_t type) {
  Connection *connection = static_cast<Connection *>(zyrObject_new("Connection"));
  if (connection == nullptr)
    return nullptr;
  connection->m_sides[0] = side1;
  connection->m_sides[1] = side2;
  connection->m_type = type;
  void *sides[2] = {side1, side2};
  zyrObject_setPointers(connection, "sides", sides, 2);
  zyrObject_setInt(connection, "type", type);
  return connection;
}

Connection *Connection_newDirect(Region *side1, Region *side2) {
  return Connection_new(side1, side2, CONNECTION_DIRECT);
}

Connection *Connection_newGluing(Region *side1, Region *side2) {
  return Connection_new(side1, side2, CONNECTION_GLUING);
}

int Connection_delete(void *connection) { return zyrObject_delete(connection); }

int Connection_dump(void *) { return 1; }

int Connection_restore(void *object, int32_t flag) {
  Connection *connection = static_cast<Connection *>(object);
  int ok = 1;
  if (zyrObject_checkAttribute(connection, flag, "sides")) {
    void *sides[2] = {nullptr, nullptr};
    const int read = zyrObject_getPointerArray(connection, 0, "sides", sides, 2);
    // Only two live regions make a pairing; anything else leaves the connection without sides.
    if (read != 1 || !TopologyReferences_isOfType(sides[0], TOPOLOGY_TYPE_REGION) ||
        !TopologyReferences_isOfType(sides[1], TOPOLOGY_TYPE_REGION)) {
      char uuid[ZYR_UUID_BASE64_SIZE];
      zyrObject_getUUIDString(connection, uuid);
      ZYR_ERROR(ZYR_I_INTERNAL_ERROR,
                "The stored connection %s does not join two regions; its sides have been left out.\n", uuid);
      sides[0] = sides[1] = nullptr;
      ok = 0;
    }
    connection->m_sides[0] = static_cast<Region *>(sides[0]);
    connection->m_sides[1] = static_cast<Region *>(sides[1]);
  }
  zyrObject_getInt(connection, flag, "type", &connection->m_type);
  return ok;
}

void Connection_print(const Connection *connection, FILE *stream) {
  const char *rule = "==============================================\n";
  char uuid[ZYR_UUID_BASE64_SIZE];
  zyrObject_getUUIDString(connection, uuid);
  std::fprintf(stream, "\n%sConnection: %s\n%s\n", rule, uuid, rule);
  for (int side = 0; side < 2; ++side)
    std::fprintf(stream, "Side %d:            \"%s\"\n", side + 1,
                 connection->m_sides[side] != nullptr ? Region_getName(connection->m_sides[side]) : "");
  std::fprintf(stream, "Type of connection: %d%s", connection->m_type,
               connection->m_type != 0 ? " [Gluing]\n" : " [Direct connection]\n");
  std::fprintf(stream, "%s\n", rule);
  std::fflush(stream);
}

Region *Connection_getOtherSide(const Connection *connection, const Region *region) {
  if (connection == nullptr || region == nullptr)
    return nullptr;
  if (connection->m_sides[0] == region)
    return connection->m_sides[1];
  if (connection->m_sides[1] == region)
    return connection->m_sides[0];
  return nullptr;
}

void Connection_getSides(const Connection *connection, Region **side1, Region **side2) {
  *side1 = connection->m_sides[0];
  *side2 = connection->m_sides[1];
}

int Connection_isDirect(const Connection *connection) { return connection->m_type == CONNECTION_DIRECT ? 1 : 0; }

int Connection_isGluing(const Connection *connection) { return connection->m_type == CONNECTION_GLUING ? 1 : 0; }
