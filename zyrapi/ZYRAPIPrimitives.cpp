// Making a surface of picked faces, or moving picked faces into a surface. The host names faces as
// "region:N", N counting the region's quadrilaterals first and then its triangles, from 1.
#include "ZYRAPI.h"

#include "ZYRAPIBoundary.h"

#include "zyrAPI.h"
#include "zyrCString.h"

namespace qiv {

namespace {

namespace boundary = zyrapi::boundary;

const char *const kClassText = "ZYRAPI";

struct SourceGroup {
  std::string region;
  std::vector<int32_t> faces;
};

// The three lists the operation hands back, released on every way out.
class ModifiedRegions {
public:
  ModifiedRegions() = default;
  ~ModifiedRegions() {
    for (int i = 0; i < 3; ++i)
      if (lists[i] != nullptr)
        zyrCStringArray_free(lists[i], static_cast<uint64_t>(counts[i] > 0 ? counts[i] : 0));
  }
  ModifiedRegions(const ModifiedRegions &) = delete;
  ModifiedRegions &operator=(const ModifiedRegions &) = delete;

  std::vector<std::string> names(int list) const {
    std::vector<std::string> result;
    for (int32_t i = 0; i < counts[list]; ++i)
      result.push_back(lists[list][i] != nullptr ? lists[list][i] : "");
    return result;
  }

  int32_t counts[3] = {0, 0, 0};
  char **lists[3] = {nullptr, nullptr, nullptr};
};

} // namespace

void ZYRAPI::createPrimitive(const PrimitiveDef &def, std::vector<std::string> &first,
                             std::vector<std::string> &second) {
  changePrimitive(0, "createPrimitive", def, first, second);
}

void ZYRAPI::modifyPrimitive(const PrimitiveDef &def, std::vector<std::string> &first,
                             std::vector<std::string> &second) {
  changePrimitive(1, "modifyPrimitive", def, first, second);
}

void ZYRAPI::changePrimitive(int operation, const char *method, const PrimitiveDef &def,
                             std::vector<std::string> &first, std::vector<std::string> &second) {
  if (def.entries.empty())
    return;

  // One group per region, in order of first appearance; an entry that is no "region:N" names no
  // region.
  std::vector<SourceGroup> groups;
  size_t current = 0;
  for (const std::string &entry : def.entries) {
    int candidate = 0;
    const std::string region = boundary::splitIndexedName(entry, candidate);
    if (groups.empty() || groups[current].region != region) {
      current = groups.size();
      for (size_t g = 0; g < groups.size(); ++g)
        if (groups[g].region == region) {
          current = g;
          break;
        }
      if (current == groups.size())
        groups.push_back(SourceGroup{region, {}});
    }
    groups[current].faces.push_back(candidate);
  }

  // Face numbers to positions in the region's face list; numbers outside the region go.
  std::vector<double> coordinates;
  std::vector<int> triangleFaces;
  std::vector<int> triangles;
  std::vector<int> quadFaces;
  std::vector<int> quads;
  for (SourceGroup &group : groups) {
    getMeshFor2DRegion(group.region, coordinates, triangleFaces, triangles, quadFaces, quads);
    std::vector<int> lookup(quadFaces);
    lookup.insert(lookup.end(), triangleFaces.begin(), triangleFaces.end());
    std::vector<int32_t> positions;
    for (int32_t c : group.faces)
      if (c >= 0 && static_cast<size_t>(c) < lookup.size())
        positions.push_back(lookup[static_cast<size_t>(c)]);
    group.faces.swap(positions);
  }

  std::vector<std::string> regionNames;
  std::vector<int32_t> counts;
  std::vector<int32_t *> lists;
  for (SourceGroup &group : groups) {
    regionNames.push_back(group.region);
    counts.push_back(static_cast<int32_t>(group.faces.size()));
    lists.push_back(group.faces.data());
  }
  boundary::PackedStrings packed(regionNames);
  boundary::CoreString actualName;
  ModifiedRegions modified;
  const int status =
      zyrModel_modifyRegions(m_hModel, operation, packed.count(), packed.table(), counts.data(), lists.data(),
                             def.name.c_str(), 1, actualName.out(), modified.counts, modified.lists);
  if (status != 1)
    boundary::throwQueued<zyrapi::zyr>(kClassText, method);

  const std::vector<std::string> created = modified.names(0);
  for (const std::string &region : created)
    if (zyrRegion_setPriority(m_hModel, region.c_str(), 1) != 1)
      boundary::throwQueued<zyrapi::ratlas>(kClassText, "setPriority");

  first = modified.names(operation == 0 ? 0 : 1);
  second = modified.names(2);
  boundary::settleWarnings(kClassText, method, false);
}

} // namespace qiv
