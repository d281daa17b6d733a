// The ordered name lists of the host's tree and list views: primitive regions by priority,
// assemblies, composites by tag, and the rest of the model in one sorted group.
#include "ZYRAPI.h"

#include "zyrAPI.h"

#include <list>
#include <map>
#include <set>

namespace qiv {

namespace {

const DimensionalityMask kSurfaces = 4;
const DimensionalityMask kVolumes = 8;
const DimensionalityMask kAllDimensions = 15;

// Constant for the life of the process: the model layer tags the composites it makes for
// assemblies joined by gluing and merging with the first; the second marks generated meshes.
const std::string &originalAssemblyNameTag() {
  static const std::string *const tag = new std::string("Original Assembly Name");
  return *tag;
}
const std::string &generatedMeshCompositeTag() {
  static const std::string *const tag = new std::string("Generated Mesh Composite");
  return *tag;
}

// The result under construction: each name once, and a place kept for the rest group.
class Placement {
public:
  void append(const std::string &name) {
    if (m_placed.insert(name).second)
      m_names.push_back(name);
  }
  template <class Names> void appendAll(const Names &names) {
    for (const std::string &name : names)
      append(name);
  }
  void markRest() {
    m_restAtStart = m_names.empty();
    if (!m_restAtStart)
      m_rest = std::prev(m_names.end());
  }
  bool isPlaced(const std::string &name) const { return m_placed.count(name) != 0; }
  // Before every name appended after the mark.
  void insertRest(const std::set<std::string> &names) {
    const auto at = m_restAtStart ? m_names.begin() : std::next(m_rest);
    for (const std::string &name : names)
      if (m_placed.insert(name).second)
        m_names.insert(at, name);
  }
  std::vector<std::string> names() const { return std::vector<std::string>(m_names.begin(), m_names.end()); }

private:
  std::list<std::string> m_names;
  std::set<std::string> m_placed;
  std::list<std::string>::iterator m_rest;
  bool m_restAtStart = true;
};

} // namespace

void ZYRAPI::getPrimitiveRegionsInOrderForModel(const std::vector<int> &priorities,
                                                std::vector<std::string> &names) const {
  names.clear();
  if (!isDBOpen())
    return;
  std::vector<std::string> regions;
  getPrimitiveRegionsForModel(kAllDimensions, regions);
  if (regions.empty())
    return;
  std::map<int, std::set<std::string>> groups;
  for (int priority : priorities)
    groups[priority];
  for (const std::string &region : regions) {
    // A region whose priority cannot be read joins no group; its error stays queued.
    int32_t priority = 0;
    if (zyrRegion_getPriority(m_hModel, region.c_str(), &priority) != 1)
      continue;
    const auto group = groups.find(priority);
    if (group != groups.end())
      group->second.insert(region);
  }
  for (int priority : priorities) {
    const std::set<std::string> &group = groups[priority];
    names.insert(names.end(), group.begin(), group.end());
  }
}

void ZYRAPI::getRegionsInOrderForModel(const std::vector<std::string> &order, const std::string &untaggedKeyword,
                                       const std::string &restKeyword, const std::string &assemblyKeyword,
                                       const std::string &priorityKeyword, std::vector<int> &priorities,
                                       std::vector<std::string> &names) const {
  names.clear();
  if (!isDBOpen())
    return;
  std::vector<std::vector<std::string>> priorityGroups;
  for (const std::string &entry : order)
    if (entry == priorityKeyword) {
      for (int priority : priorities) {
        priorityGroups.emplace_back();
        getPrimitiveRegionsInOrderForModel(std::vector<int>(1, priority), priorityGroups.back());
      }
      break;
    }
  size_t nextGroup = 0;

  Placement placement;
  bool rest = false;
  std::vector<std::string> tagged;
  for (const std::string &entry : order) {
    if (entry == restKeyword) {
      if (!rest) {
        rest = true;
        placement.markRest();
      }
    } else if (entry == priorityKeyword) {
      if (nextGroup < priorityGroups.size())
        placement.appendAll(priorityGroups[nextGroup++]);
    } else if (entry == assemblyKeyword) {
      const std::vector<std::string> assemblies = getAssemblyNames();
      placement.appendAll(std::set<std::string>(assemblies.begin(), assemblies.end()));
      getCompositeRegionsInOrderForModel(std::vector<std::string>(1, originalAssemblyNameTag()), untaggedKeyword,
                                         restKeyword, tagged);
      placement.appendAll(tagged);
    } else {
      getCompositeRegionsInOrderForModel(std::vector<std::string>(1, entry), untaggedKeyword, restKeyword, tagged);
      placement.appendAll(tagged);
    }
  }

  if (rest) {
    std::set<std::string> group;
    std::vector<std::string> regions;
    for (DimensionalityMask mask : {kVolumes, kSurfaces}) {
      getPrimitiveRegionsForModel(static_cast<unsigned char>(mask), regions);
      for (const std::string &region : regions) {
        int priority = 0;
        getPriority(region, priority);
        if (priority != 1)
          group.insert(region);
      }
    }
    std::vector<std::string> tags;
    for (const std::string &composite : getCompositeNames()) {
      getCompositeTags(composite, tags);
      const bool onlyMarked =
          tags.size() == 1 && (tags[0] == generatedMeshCompositeTag() || tags[0] == originalAssemblyNameTag());
      if (!onlyMarked)
        group.insert(composite);
    }
    placement.insertRest(group);
  }
  names = placement.names();
}

} // namespace qiv
