#ifndef ZYR_ZONE_MAP_TEST_SUPPORT_H
#define ZYR_ZONE_MAP_TEST_SUPPORT_H
// Helpers of the zone-map and physics-record tests: what a print function writes, the names of a
// map's sets in order, and a zone map built from VSN lines through a text file.
#include "ExchangeTestSupport.h"

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct zyrZoneMap;

namespace zyrtest {


struct ZoneMapDeleter {
  void operator()(zyrZoneMap *map) const;
};
using ZoneMapPtr = std::unique_ptr<zyrZoneMap, ZoneMapDeleter>;

// Joins the lines with "\n", writes them to a scratch file and builds a map from it (NULL on failure).
ZoneMapPtr zoneMapFromLines(const ScratchDir &dir, const std::vector<std::string> &lines);

std::vector<std::string> domainNames(const zyrZoneMap *map);
std::vector<std::string> subdomainNames(const zyrZoneMap *map);
std::vector<std::string> boundaryNames(const zyrZoneMap *map);
std::vector<std::string> interfaceNames(const zyrZoneMap *map);

} // namespace zyrtest

#endif
