// Names in a definition file: the name map of the solver locations, the region atlas that lets a
// later direct import rebuild names, and the surface groups of a mesh-only file.
#include "DefWriter.h"

#include "Assembly.h"
#include "DefFile.h"
#include "NameManager.h"
#include "Region.h"
#include "Topology.h"
#include "vsnBoundary.h"
#include "vsnDomain.h"
#include "vsnInterface.h"
#include "vsnSubdomain.h"
#include "vsnWrapLines.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrMemory.h"
#include "zyrTrace.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char *const kEvery = "EVERY";

void atlasFailed() {
  ZYR_ERROR_FOR(ZYR_I_INTERNAL_ERROR, "DefWriter_saveRegionAtlas",
                "Unable to add the region atlas to the definition file.\n");
}

struct Entries {
  std::vector<std::string> m_texts;
  void add(const char *name, const char *prefix, int32_t i, const char *category) {
    m_texts.emplace_back(name != nullptr ? name : "");
    m_texts.emplace_back(prefix + std::to_string(i));
    m_texts.emplace_back(category);
    m_texts.emplace_back(prefix);
  }
};

} // namespace

int32_t DefWriter_splitLines(const char *text, char ***lines) {
  *lines = nullptr;
  if (text == nullptr)
    return 0;
  std::vector<std::string> pieces;
  const char *start = text;
  for (const char *p = text; *p != '\0'; ++p)
    if (*p == '\n') {
      pieces.emplace_back(start, static_cast<size_t>(p - start));
      start = p + 1;
    }
  // The last line keeps its text even without a newline: it is often the closing END.
  if (*start != '\0')
    pieces.emplace_back(start);
  if (pieces.empty())
    return 0;
  *lines = zyrMemory_allocateArray<char *>(int64_t(pieces.size()), __func__);
  for (size_t i = 0; i < pieces.size(); ++i)
    (*lines)[i] = zyrCString_clone(pieces[i].c_str());
  return int32_t(pieces.size());
}

int DefWriter_writeNameMap(DefWriter *w) {
  Entries entries;
  for (int32_t i = 0; i < w->m_noOfDomains; ++i)
    entries.add(vsnDomain_getName(w->m_domains[i]), "ZN", i + 1, "DOMAIN");
  for (int32_t i = 0; i < w->m_noOfBoundaries; ++i)
    entries.add(vsnBoundary_getName(w->m_boundaries[i]), "BCP", i + 1, "BOUNDARY");
  for (int32_t i = 0; i < w->m_noOfSubdomains; ++i)
    entries.add(vsnSubdomain_getName(w->m_subdomains[i]), "VP", i + 1, "SUBDOMAIN");
  for (int32_t i = 0; i < w->m_noOfInterfaces; ++i)
    entries.add(vsnInterface_getName(w->m_interfaces[i]), "ZIF", i + 1, "DOMAIN INTERFACE");
  std::vector<const char *> texts;
  for (const std::string &text : entries.m_texts)
    texts.push_back(text.c_str());
  const int32_t n = int32_t(texts.size());
  if (!DefFile_writeIoStringArray(w->m_file, "G/NAMEMAP", kEvery, 0, texts.data(), n) ||
      !DefFile_writeIoStringArray(w->m_file, "G/TOPCAT", kEvery, 0, texts.data(), n)) {
    DefFile_reportError(w->m_file, __func__);
    return 0;
  }
  return 1;
}

int DefWriter_saveRegionAtlas(DefWriter *w) {
  NameManager *nm = Topology_getNameManager(w->m_topology);
  if (nm == nullptr)
    return 0;
  char *text = nullptr;
  if (!NameManager_getActiveVSN(nm, w->m_labelling, &text)) {
    atlasFailed();
    return 0;
  }
  char **lines = nullptr;
  int32_t n = DefWriter_splitLines(text, &lines);
  zyrCString_free(text);
  int written = DefFile_writeStringArray(w->m_file, "G/ATLAS/PRIMARY", kEvery, 0, lines, n);
  if (lines != nullptr)
    zyrCStringArray_free(lines, uint64_t(n));
  if (written != 1) {
    atlasFailed();
    return 0;
  }

  Assembly **assemblies = nullptr;
  int32_t na = Topology_getAssemblies(w->m_topology, &assemblies);
  if (na <= 0) {
    if (assemblies != nullptr)
      zyrMemory_free(assemblies, __func__);
    return 1;
  }
  zyrSortAssembliesAlphabetically(na, assemblies);
  std::vector<int32_t> blocks;
  blocks.reserve(static_cast<size_t>(Topology_getNoOfRegions(w->m_topology, 15)) + 4 * static_cast<size_t>(na));
  std::vector<const char *> names;
  static const int32_t kMasks[4] = {8, 4, 2, 1};
  for (int32_t a = 0; a < na; ++a) {
    std::vector<int32_t> numbers[4];
    for (int m = 0; m < 4; ++m) {
      Region **regions = nullptr;
      int32_t nr = Assembly_getRegions(assemblies[a], kMasks[m], &regions);
      for (int32_t r = 0; r < nr; ++r) {
        int32_t id = DefWriter_getAtlasIndex(w, regions[r]);
        // Only volumes and surfaces are numbered.
        if (id >= 0 && (kMasks[m] & 12))
          numbers[m].push_back(id);
      }
      if (regions != nullptr)
        zyrMemory_free(regions, __func__);
      std::sort(numbers[m].begin(), numbers[m].end());
    }
    if (numbers[0].empty() && numbers[1].empty() && numbers[2].empty() && numbers[3].empty())
      continue;
    for (int m = 0; m < 4; ++m)
      blocks.push_back(int32_t(numbers[m].size()));
    for (int m = 0; m < 4; ++m)
      blocks.insert(blocks.end(), numbers[m].begin(), numbers[m].end());
    names.push_back(Assembly_getName(assemblies[a]));
  }
  int result = 1;
  if (!names.empty() &&
      (DefFile_writeStringArray(w->m_file, "G/ATLAS/CLBAS", kEvery, 0, names.data(), int32_t(names.size())) != 1 ||
       DefFile_writeIntArray(w->m_file, "G/ATLAS/KRGAS", kEvery, 0, blocks.data(), int32_t(blocks.size()), 0) !=
           1)) {
    atlasFailed();
    result = 0;
  }
  zyrMemory_free(assemblies, __func__);
  return result;
}

int DefWriter_writeSurfaceGroups(DefWriter *w) {
  ZYR_TRACE_BEGIN();
  char **composites = nullptr;
  int32_t nc = Topology_getCompositeNames(w->m_topology, &composites);
  if (nc <= 0) {
    if (composites != nullptr)
      zyrCStringArray_free(composites, 0);
    return 1;
  }
  std::vector<std::string> texts;
  for (int32_t i = 0; i < nc; ++i) {
    int32_t n = 0;
    Region **regions = nullptr;
    int resolved = Topology_resolveLocation(w->m_topology, composites[i], 1, 1, 0, &n, &regions);
    if (resolved && n > 0) {
      // The resolution comes in an order of memory addresses: the file lists the names sorted,
      // the same in every process.
      std::vector<std::string> members;
      for (int32_t r = 0; r < n; ++r)
        members.push_back(Region_getUserName(regions[r]));
      std::sort(members.begin(), members.end());
      std::string list;
      for (const std::string &member : members)
        list += (list.empty() ? "" : ", ") + member;
      texts.push_back(std::string("SURFACE GROUP: ") + composites[i]);
      texts.push_back("  Location List = " + list);
      texts.push_back("  Visibility = Off");
      texts.push_back("END");
    }
    if (regions != nullptr)
      zyrMemory_free(regions, __func__);
  }
  zyrCStringArray_free(composites, uint64_t(nc));
  if (texts.empty())
    return 1;

  int count = int(texts.size());
  char **lines = zyrMemory_allocateArray<char *>(count, __func__);
  for (int i = 0; i < count; ++i)
    lines[i] = zyrCString_clone(texts[static_cast<size_t>(i)].c_str());
  int status = vsnWrapLines(79, &count, &lines);
  if (status != 1) {
    zyrCStringArray_free(lines, uint64_t(count));
    return status;
  }
  if (zyr_trace_on_ && ZYR_TRACE_DEBUG(1))
    for (int i = 0; i < count; ++i)
      zyrTrace_printf("%s\n", lines[i]);
  status = DefFile_writeIoStringArray(w->m_file, "POST/SURFACE_GROUPS", kEvery, 0, lines, count);
  if (status != 1)
    DefFile_reportError(w->m_file, __func__);
  zyrCStringArray_free(lines, uint64_t(count));
  return status;
}
