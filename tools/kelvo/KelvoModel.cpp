#include "KelvoModel.h"

#include "KelvoElements.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

namespace {

// Open addressing table of ids (>= 0); the caller hashes and compares. Each slot keeps the high
// half of its id's hash, so that a probe past another id costs no look at that id's data; the
// low half picks the first slot, by multiplication so that the capacity need not be a power of
// two (memory is what limits the largest meshes).
struct IdTable {
  struct Slot {
    uint32_t m_tag;
    int32_t m_id;
  };
  std::vector<Slot> m_slots;
  size_t m_count = 0;

  void init(size_t entries) {
    m_slots.assign(entries + entries / 2 + 16, Slot{0, -1});
    m_count = 0;
  }
  size_t home(uint64_t hash) const {
    return static_cast<size_t>(((hash & 0xFFFFFFFFu) * m_slots.size()) >> 32);
  }
  void prefetch(uint64_t hash) const { __builtin_prefetch(&m_slots[home(hash)]); }
  // The slot holding an id equal by `same`, or the empty slot where it belongs (fill it with
  // `put`).
  template <class Same> Slot *find(uint64_t hash, Same same) {
    const uint32_t tag = static_cast<uint32_t>(hash >> 32);
    for (size_t i = home(hash);;) {
      Slot &slot = m_slots[i];
      if (slot.m_id < 0 || (slot.m_tag == tag && same(slot.m_id)))
        return &slot;
      if (++i == m_slots.size())
        i = 0;
    }
  }
  // Fills an empty slot that find returned; grows the table past three quarters full, taking
  // each id's hash from `hashOfId`. The slot pointer is stale afterwards.
  template <class HashOfId> void put(Slot *slot, uint64_t hash, int32_t id, HashOfId hashOfId) {
    *slot = Slot{static_cast<uint32_t>(hash >> 32), id};
    if (++m_count * 4 <= m_slots.size() * 3)
      return;
    std::vector<Slot> old(m_slots.size() * 2, Slot{0, -1});
    old.swap(m_slots);
    for (const Slot &s : old) {
      if (s.m_id < 0)
        continue;
      size_t i = home(hashOfId(s.m_id));
      while (m_slots[i].m_id >= 0)
        if (++i == m_slots.size())
          i = 0;
      m_slots[i] = s;
    }
  }
};

// Sorts up to 8 values (the corners of an element or a face) in place.
void sortSmall(int32_t *values, int32_t n) {
  for (int32_t i = 1; i < n; ++i) {
    const int32_t v = values[i];
    int32_t j = i;
    for (; j > 0 && values[j - 1] > v; --j)
      values[j] = values[j - 1];
    values[j] = v;
  }
}

uint64_t hashOf(const int32_t *values, int32_t n, uint64_t seed) {
  uint64_t h = seed * 0x9E3779B97F4A7C15ull + static_cast<uint64_t>(n);
  for (int32_t i = 0; i < n; ++i) {
    h ^= static_cast<uint32_t>(values[i]);
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 32;
  }
  return h;
}

std::string cleanName(const std::string &name) {
  std::string out;
  for (char c : name) {
    const unsigned char u = static_cast<unsigned char>(c);
    out += (u < 32 || u == 127) ? ' ' : c;
  }
  const size_t first = out.find_first_not_of(' ');
  if (first == std::string::npos)
    return "";
  return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

std::string plural(int64_t n, const char *one, const char *many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// A region group of the file: a physical group (source 0) or, for elements outside every
// physical group, an elementary entity (source 1).
typedef std::pair<int32_t, int32_t> GroupKey;

GroupKey groupOf(const MshFile *mesh, int64_t e) {
  if (mesh->m_elementPhysical[e] != 0)
    return {0, mesh->m_elementPhysical[e]};
  return {1, mesh->m_elementEntity[e]};
}

std::string groupName(const MshFile *mesh, const GroupKey &key, int32_t dimension) {
  const char *word = dimension == 3 ? "Volume" : "Surface";
  if (key.first == 0) {
    const char *name = MshFile_physicalName(mesh, dimension, key.second);
    std::string clean = name ? cleanName(name) : "";
    if (!clean.empty())
      return clean;
    return std::string(word) + " " + std::to_string(key.second);
  }
  return std::string(word) + " entity " + std::to_string(key.second);
}

class Builder {
public:
  Builder(KelvoModel *model, const MshFile *mesh, std::string *error)
      : m_model(model), m_mesh(mesh), m_error(error) {}
  bool run();

private:
  KelvoModel *m_model;
  const MshFile *m_mesh;
  std::string *m_error;

  std::vector<std::string> m_volumeGroupNames, m_surfaceGroupNames;
  std::vector<int32_t> m_solids;      // kept volume elements (mesh element indices)
  std::vector<int32_t> m_solidGroup;  // their volume group
  std::vector<int32_t> m_solidSet;    // their element set
  std::vector<int32_t> m_solidIndex;  // their index in the set
  std::vector<int32_t> m_groupVolume; // volume of each volume group, -1 when empty
  std::vector<int32_t> m_vertexOf;    // node index -> vertex number, -1 unused
  std::vector<std::vector<int32_t>> m_compositeSurfaces; // per composite name, its surfaces

  // 32 bytes: memory, more than anything, limits the largest meshes.
  struct Face {
    int32_t m_key[4];    // sorted node indices, padded with -1: kept, as recomputing one from the
                         // first use costs three dependent random reads per probe
    uint32_t m_solid[2]; // the solids on either side (the second valid when m_count is 2)
    uint8_t m_face[2];   // and their local faces
    int8_t m_count;
    int8_t m_front; // the side (0 or 1) whose outward orientation the boundary element shares
    int32_t m_group; // surface group naming the face, -1 none
    // A use of the face: solid * 6 + local face.
    int64_t use(int32_t side) const { return static_cast<int64_t>(m_solid[side]) * 6 + m_face[side]; }
    void setUse(int32_t side, int64_t use) {
      m_solid[side] = static_cast<uint32_t>(use / 6);
      m_face[side] = static_cast<uint8_t>(use % 6);
    }
  };
  std::vector<Face> m_faces;
  IdTable m_faceTable;

  bool volumeGroups(std::map<GroupKey, int32_t> *groups);
  bool keepSolids(const std::map<GroupKey, int32_t> &groups);
  void numberVertices();
  void elementSets();
  bool matchFaces();
  void boundaryElements();
  void surfaces();
  void uniqueNames();
  bool checkSizes();

  IdTable::Slot *findFace(const int32_t key[4], uint64_t hash);
  int32_t volumeOfUse(int64_t use) const { return m_groupVolume[m_solidGroup[use / 6]]; }
  std::string nodeList(const int32_t *key, int32_t n) const;
};

bool Builder::run() {
  std::map<GroupKey, int32_t> groups;
  if (!volumeGroups(&groups) || !keepSolids(groups))
    return false;
  numberVertices();
  elementSets();
  if (!matchFaces())
    return false;
  boundaryElements();
  surfaces();
  uniqueNames();
  return checkSizes();
}

bool Builder::volumeGroups(std::map<GroupKey, int32_t> *groups) {
  const int64_t n = static_cast<int64_t>(m_mesh->m_elementKind.size());
  for (int64_t e = 0; e < n; ++e)
    if (KelvoElements_get(m_mesh->m_elementKind[e])->m_dimension == 3)
      (*groups)[groupOf(m_mesh, e)] = 0;
  if (groups->empty()) {
    *m_error = "The mesh holds no volume elements (tetrahedra, pyramids, prisms or hexahedra), "
               "so there is nothing to import.";
    return false;
  }
  int32_t next = 0;
  for (auto &entry : *groups) {
    entry.second = next++;
    m_volumeGroupNames.push_back(groupName(m_mesh, entry.first, 3));
  }
  return true;
}

// Keeps each volume element once; refuses elements with a repeated corner.
bool Builder::keepSolids(const std::map<GroupKey, int32_t> &groups) {
  const int64_t n = static_cast<int64_t>(m_mesh->m_elementKind.size());
  std::vector<int64_t> candidates;
  for (int64_t e = 0; e < n; ++e)
    if (KelvoElements_get(m_mesh->m_elementKind[e])->m_dimension == 3)
      candidates.push_back(e);
  auto sortedCorners = [this](int64_t e, int32_t out[8]) {
    const int64_t start = m_mesh->m_elementStart[e];
    const int32_t k = static_cast<int32_t>(m_mesh->m_elementStart[e + 1] - start);
    std::copy(m_mesh->m_elementNodes.begin() + start, m_mesh->m_elementNodes.begin() + start + k,
              out);
    sortSmall(out, k);
    return k;
  };
  IdTable table;
  table.init(candidates.size());
  m_solids.reserve(candidates.size());
  m_solidGroup.reserve(candidates.size());
  int64_t duplicates = 0;
  // Each element's table slot is fetched some elements ahead, so that the misses overlap.
  enum { AHEAD = 16 };
  auto slotHash = [&](int64_t e) {
    int32_t corners[8];
    const int32_t k = sortedCorners(e, corners);
    return hashOf(corners, k, m_mesh->m_elementKind[e]);
  };
  for (size_t c = 0; c < candidates.size(); ++c) {
    const int64_t e = candidates[c];
    if (c + AHEAD < candidates.size())
      table.prefetch(slotHash(candidates[c + AHEAD]));
    int32_t corners[8];
    const int32_t k = sortedCorners(e, corners);
    for (int32_t i = 1; i < k; ++i) {
      if (corners[i] == corners[i - 1]) {
        *m_error = "The element " + std::to_string(m_mesh->m_elementTags[e]) + " has the node " +
                   std::to_string(m_mesh->m_nodeTags[corners[i]]) +
                   " more than once among its corners.";
        return false;
      }
    }
    const int32_t kind = m_mesh->m_elementKind[e];
    const uint64_t hash = hashOf(corners, k, kind);
    IdTable::Slot *slot = table.find(hash, [&](int32_t id) {
      int32_t other[8];
      const int64_t o = m_solids[id];
      return m_mesh->m_elementKind[o] == kind && sortedCorners(o, other) == k &&
             std::equal(corners, corners + k, other);
    });
    if (slot->m_id >= 0) {
      ++duplicates;
      continue;
    }
    table.put(slot, hash, static_cast<int32_t>(m_solids.size()), [&](int32_t id) {
      int32_t other[8];
      const int64_t o = m_solids[id];
      return hashOf(other, sortedCorners(o, other), m_mesh->m_elementKind[o]);
    });
    m_solids.push_back(static_cast<int32_t>(e)); // the reader keeps at most INT32_MAX
    m_solidGroup.push_back(groups.at(groupOf(m_mesh, e)));
  }
  if (duplicates > 0)
    m_model->m_warnings.push_back(
        plural(duplicates, "volume element appears", "volume elements appear") +
        " more than once in the file (in more than one physical group); each was kept in the "
        "first.");
  return true;
}

void Builder::numberVertices() {
  m_vertexOf.assign(m_mesh->m_nodeTags.size(), -1);
  for (int64_t e : m_solids)
    for (int64_t k = m_mesh->m_elementStart[e]; k < m_mesh->m_elementStart[e + 1]; ++k)
      m_vertexOf[m_mesh->m_elementNodes[k]] = 0;
  int32_t next = 0;
  for (size_t i = 0; i < m_vertexOf.size(); ++i) {
    if (m_vertexOf[i] < 0)
      continue;
    m_vertexOf[i] = next++;
    m_model->m_coordinates.insert(m_model->m_coordinates.end(), &m_mesh->m_coordinates[3 * i],
                                  &m_mesh->m_coordinates[3 * i] + 3);
  }
}

// One element set per volume and element kind, in kind order; volumes in group order.
void Builder::elementSets() {
  const int32_t groups = static_cast<int32_t>(m_volumeGroupNames.size());
  std::vector<int64_t> counts(static_cast<size_t>(groups) * KELVO_KINDS, 0);
  for (size_t s = 0; s < m_solids.size(); ++s)
    ++counts[m_solidGroup[s] * KELVO_KINDS + m_mesh->m_elementKind[m_solids[s]]];
  std::vector<int32_t> setOf(counts.size(), -1);
  m_groupVolume.assign(groups, -1);
  for (int32_t g = 0; g < groups; ++g) {
    for (int32_t kind = KELVO_TETRA; kind <= KELVO_HEXA; ++kind) {
      if (counts[g * KELVO_KINDS + kind] == 0)
        continue;
      if (m_groupVolume[g] < 0) {
        m_groupVolume[g] = static_cast<int32_t>(m_model->m_volumes.size());
        m_model->m_volumes.push_back({m_volumeGroupNames[g], {}, {}});
      }
      const int32_t set = static_cast<int32_t>(m_model->m_elementSets.size());
      setOf[g * KELVO_KINDS + kind] = set;
      m_model->m_elementSets.push_back({kind, m_groupVolume[g], {}});
      m_model->m_elementSets.back().m_vertices.reserve(counts[g * KELVO_KINDS + kind] *
                                                       KelvoElements_get(kind)->m_noOfVertices);
      m_model->m_volumes[m_groupVolume[g]].m_elementSets.push_back(set);
    }
  }
  m_solidSet.resize(m_solids.size());
  m_solidIndex.resize(m_solids.size());
  for (size_t s = 0; s < m_solids.size(); ++s) {
    const int64_t e = m_solids[s];
    const int32_t set = setOf[m_solidGroup[s] * KELVO_KINDS + m_mesh->m_elementKind[e]];
    KelvoElementSet &es = m_model->m_elementSets[set];
    const int32_t nv = KelvoElements_get(es.m_kind)->m_noOfVertices;
    m_solidSet[s] = set;
    m_solidIndex[s] = static_cast<int32_t>(es.m_vertices.size() / nv);
    for (int64_t k = m_mesh->m_elementStart[e]; k < m_mesh->m_elementStart[e + 1]; ++k)
      es.m_vertices.push_back(m_vertexOf[m_mesh->m_elementNodes[k]]);
  }
}

std::string Builder::nodeList(const int32_t *key, int32_t n) const {
  std::string text;
  for (int32_t i = 0; i < n; ++i)
    text += (i ? ", " : "") + std::to_string(m_mesh->m_nodeTags[key[i]]);
  return text;
}

// The slot of the face of a key (padded with -1), or the empty slot where it belongs.
IdTable::Slot *Builder::findFace(const int32_t key[4], uint64_t hash) {
  return m_faceTable.find(hash, [&](int32_t id) {
    const int32_t *other = m_faces[id].m_key;
    return key[0] == other[0] && key[1] == other[1] && key[2] == other[2] && key[3] == other[3];
  });
}

bool Builder::matchFaces() {
  int64_t uses = 0;
  for (int64_t e : m_solids)
    uses += KelvoElements_get(m_mesh->m_elementKind[e])->m_noOfFaces;
  // Most faces are met twice; beyond the half, room for the outer faces of a large mesh.
  const size_t expected = static_cast<size_t>(uses / 2 + uses / 16 + 16);
  m_faceTable.init(expected);
  m_faces.reserve(expected);
  auto hashOfFace = [this](int32_t id) {
    const int32_t *k = m_faces[id].m_key;
    return hashOf(k, k[3] < 0 ? 3 : 4, 0);
  };
  // The uses go in batches through three stages, a batch apart: the keys are made and their
  // table slots fetched; the slots are read and the faces they name fetched; the uses are matched
  // in turn, in their order. So each cache miss has a batch of work to hide behind.
  enum { BATCH = 16 };
  struct Pending {
    int64_t m_use;
    uint64_t m_hash;
    int32_t m_key[4];
    int32_t m_n;
  };
  struct Batch {
    Pending m_uses[BATCH + 6];
    int32_t m_count = 0;
  } batches[3];
  size_t s = 0;
  auto fill = [&](Batch &batch) {
    batch.m_count = 0;
    for (; s < m_solids.size() && batch.m_count < BATCH; ++s) {
      const int64_t e = m_solids[s];
      const KelvoElementType *type = KelvoElements_get(m_mesh->m_elementKind[e]);
      const int32_t *nodes = &m_mesh->m_elementNodes[m_mesh->m_elementStart[e]];
      for (int32_t f = 0; f < type->m_noOfFaces; ++f) {
        Pending &p = batch.m_uses[batch.m_count++];
        p.m_use = static_cast<int64_t>(s) * 6 + f;
        p.m_n = type->m_faceSize[f];
        for (int32_t i = 0; i < 4; ++i)
          p.m_key[i] = i < p.m_n ? nodes[type->m_faceVertices[f][i]] : -1;
        sortSmall(p.m_key, p.m_n);
        p.m_hash = hashOf(p.m_key, p.m_n, 0);
        m_faceTable.prefetch(p.m_hash);
      }
    }
  };
  auto peek = [&](const Batch &batch) {
    for (int32_t i = 0; i < batch.m_count; ++i) {
      const uint64_t hash = batch.m_uses[i].m_hash;
      const IdTable::Slot &slot = m_faceTable.m_slots[m_faceTable.home(hash)];
      if (slot.m_id >= 0 && slot.m_tag == static_cast<uint32_t>(hash >> 32))
        __builtin_prefetch(&m_faces[slot.m_id]); // most likely the face itself
    }
  };
  fill(batches[0]);
  fill(batches[1]);
  peek(batches[0]);
  for (int32_t k = 0; batches[k % 3].m_count > 0; ++k) {
    fill(batches[(k + 2) % 3]);
    peek(batches[(k + 1) % 3]);
    const Batch &batch = batches[k % 3];
    for (int32_t i = 0; i < batch.m_count; ++i) {
      const Pending &p = batch.m_uses[i];
      IdTable::Slot *slot = findFace(p.m_key, p.m_hash);
      if (slot->m_id < 0) {
        m_faceTable.put(slot, p.m_hash, static_cast<int32_t>(m_faces.size()), hashOfFace);
        m_faces.push_back({{p.m_key[0], p.m_key[1], p.m_key[2], p.m_key[3]}, {0, 0}, {0, 0}, 1, 0, -1});
        m_faces.back().setUse(0, p.m_use);
        continue;
      }
      Face &face = m_faces[slot->m_id];
      if (face.m_count == 2) {
        *m_error = "The face with the nodes " + nodeList(p.m_key, p.m_n) +
                   " is shared by more than two elements (" +
                   std::to_string(m_mesh->m_elementTags[m_solids[face.m_solid[0]]]) + ", " +
                   std::to_string(m_mesh->m_elementTags[m_solids[face.m_solid[1]]]) + " and " +
                   std::to_string(m_mesh->m_elementTags[m_solids[p.m_use / 6]]) + ").";
        return false;
      }
      face.setUse(1, p.m_use);
      face.m_count = 2;
    }
  }
  return true;
}

// Gives the faces that boundary elements cover to the elements' surface groups.
void Builder::boundaryElements() {
  std::map<GroupKey, int32_t> groups;
  const int64_t n = static_cast<int64_t>(m_mesh->m_elementKind.size());
  for (int64_t e = 0; e < n; ++e)
    if (KelvoElements_get(m_mesh->m_elementKind[e])->m_dimension == 2)
      groups[groupOf(m_mesh, e)] = 0;
  int32_t next = 0;
  for (auto &entry : groups) {
    entry.second = next++;
    m_surfaceGroupNames.push_back(groupName(m_mesh, entry.first, 2));
  }
  std::vector<int64_t> unmatched(groups.size(), 0), taken(groups.size(), 0);
  for (int64_t e = 0; e < n; ++e) {
    const KelvoElementType *type = KelvoElements_get(m_mesh->m_elementKind[e]);
    if (type->m_dimension != 2)
      continue;
    const int32_t group = groups[groupOf(m_mesh, e)];
    const int32_t *nodes = &m_mesh->m_elementNodes[m_mesh->m_elementStart[e]];
    const int32_t nv = type->m_noOfVertices;
    int32_t key[4] = {-1, -1, -1, -1};
    std::copy(nodes, nodes + nv, key);
    sortSmall(key, nv);
    const int32_t id = findFace(key, hashOf(key, nv, 0))->m_id;
    if (id < 0) {
      ++unmatched[group];
      continue;
    }
    Face &face = m_faces[id];
    if (face.m_group == group)
      continue; // the same element twice
    if (face.m_group >= 0) {
      ++taken[group];
      continue;
    }
    face.m_group = group;
    // The side whose outward walk around the face runs as the boundary element's does.
    const int64_t e0 = m_solids[face.m_solid[0]];
    const int32_t f0 = face.m_face[0];
    const KelvoElementType *t0 = KelvoElements_get(m_mesh->m_elementKind[e0]);
    const int32_t *n0 = &m_mesh->m_elementNodes[m_mesh->m_elementStart[e0]];
    int32_t at = 0;
    while (n0[t0->m_faceVertices[f0][at]] != nodes[0])
      ++at;
    face.m_front = n0[t0->m_faceVertices[f0][(at + 1) % nv]] == nodes[1] ? 0 : 1;
  }
  for (size_t g = 0; g < groups.size(); ++g) {
    if (unmatched[g] > 0)
      m_model->m_warnings.push_back(plural(unmatched[g], "boundary element", "boundary elements") +
                                    " of \"" + m_surfaceGroupNames[g] + "\" " +
                                    (unmatched[g] == 1 ? "is" : "are") +
                                    " not a face of any volume element and " +
                                    (unmatched[g] == 1 ? "was" : "were") + " ignored.");
    if (taken[g] > 0)
      m_model->m_warnings.push_back(plural(taken[g], "face", "faces") + " of \"" +
                                    m_surfaceGroupNames[g] + "\" " +
                                    (taken[g] == 1 ? "belongs" : "belong") +
                                    " to an earlier surface group as well and stayed there.");
  }
}

void Builder::surfaces() {
  const int32_t tagged = static_cast<int32_t>(m_surfaceGroupNames.size());
  const int32_t untaggedInterface = tagged, untaggedOuter = tagged + 1;
  // (group, volume, other volume or -1, side: 0, or 1 and 2 for the sides of a baffle)
  typedef std::tuple<int32_t, int32_t, int32_t, int32_t> PieceKey;
  std::map<PieceKey, std::vector<int64_t>> pieces;
  for (const Face &face : m_faces) {
    const int32_t v0 = volumeOfUse(face.use(0));
    if (face.m_count == 1) {
      pieces[{face.m_group >= 0 ? face.m_group : untaggedOuter, v0, -1, 0}].push_back(
          face.use(0));
      continue;
    }
    const int32_t v1 = volumeOfUse(face.use(1));
    if (v0 != v1) {
      const int32_t group = face.m_group >= 0 ? face.m_group : untaggedInterface;
      pieces[{group, v0, v1, 0}].push_back(face.use(0));
      pieces[{group, v1, v0, 0}].push_back(face.use(1));
    } else if (face.m_group >= 0) {
      pieces[{face.m_group, v0, v0, 1}].push_back(face.use(face.m_front));
      pieces[{face.m_group, v0, v0, 2}].push_back(face.use(1 - face.m_front));
    }
  }
  std::map<PieceKey, int32_t> index;
  std::vector<int32_t> piecesOfGroup(tagged, 0);
  std::map<std::tuple<int32_t, int32_t>, int32_t> piecesInVolume; // (group, volume)
  for (const auto &entry : pieces) {
    index[entry.first] = static_cast<int32_t>(index.size());
    const int32_t group = std::get<0>(entry.first);
    if (group < tagged) {
      ++piecesOfGroup[group];
      ++piecesInVolume[{group, std::get<1>(entry.first)}];
    }
  }
  std::vector<std::vector<int32_t>> components(tagged);
  for (const auto &entry : pieces) {
    const int32_t group = std::get<0>(entry.first), volume = std::get<1>(entry.first);
    const int32_t other = std::get<2>(entry.first), side = std::get<3>(entry.first);
    const std::string &volumeName = m_model->m_volumes[volume].m_name;
    KelvoSurface surface;
    if (group == untaggedOuter) {
      surface.m_name = volumeName + " Default";
    } else if (group == untaggedInterface) {
      surface.m_name = volumeName + " to " + m_model->m_volumes[other].m_name;
    } else if (piecesOfGroup[group] == 1) {
      surface.m_name = m_surfaceGroupNames[group];
    } else {
      surface.m_name = m_surfaceGroupNames[group] + " " + volumeName;
      if (piecesInVolume[{group, volume}] > 1) {
        if (side > 0)
          surface.m_name += side == 1 ? " side 1" : " side 2";
        else if (other >= 0)
          surface.m_name += " to " + m_model->m_volumes[other].m_name;
      }
    }
    surface.m_volume = volume;
    surface.m_partner = -1;
    if (other >= 0)
      surface.m_partner = index.at({group, other, volume, side == 0 ? 0 : 3 - side});
    surface.m_noOfFaces = static_cast<int64_t>(entry.second.size());
    // One face set per element set, in element set order; faces in face order.
    std::map<int32_t, int32_t> setOf;
    for (int64_t use : entry.second)
      setOf[m_solidSet[use / 6]] = 0;
    for (auto &s : setOf) {
      s.second = static_cast<int32_t>(m_model->m_faceSets.size());
      surface.m_faceSets.push_back(s.second);
      m_model->m_faceSets.push_back({s.first, {}, {}});
    }
    for (int64_t use : entry.second) {
      KelvoFaceSet &fs = m_model->m_faceSets[setOf[m_solidSet[use / 6]]];
      fs.m_elements.push_back(m_solidIndex[use / 6]);
      fs.m_faces.push_back(static_cast<int32_t>(use % 6));
    }
    m_model->m_volumes[volume].m_surfaces.push_back(
        static_cast<int32_t>(m_model->m_surfaces.size()));
    if (group < tagged && piecesOfGroup[group] > 1)
      components[group].push_back(static_cast<int32_t>(m_model->m_surfaces.size()));
    m_model->m_surfaces.push_back(std::move(surface));
  }
  for (int32_t g = 0; g < tagged; ++g) {
    if (components[g].empty())
      continue;
    m_model->m_composites.push_back({m_surfaceGroupNames[g], {}});
    m_compositeSurfaces.push_back(std::move(components[g]));
  }
}

std::string uniqueName(std::set<std::string> *taken, const std::string &name) {
  std::string candidate = name;
  for (int64_t n = 2; !taken->insert(candidate).second; ++n)
    candidate = name + " " + std::to_string(n);
  return candidate;
}

// Volumes, then surfaces, then composite names, whose components are the surfaces' final names.
void Builder::uniqueNames() {
  std::set<std::string> taken;
  for (KelvoVolume &v : m_model->m_volumes)
    v.m_name = uniqueName(&taken, v.m_name);
  for (KelvoSurface &s : m_model->m_surfaces)
    s.m_name = uniqueName(&taken, s.m_name);
  for (size_t c = 0; c < m_model->m_composites.size(); ++c) {
    KelvoComposite &composite = m_model->m_composites[c];
    composite.m_name = uniqueName(&taken, composite.m_name);
    for (int32_t s : m_compositeSurfaces[c])
      composite.m_components.push_back(m_model->m_surfaces[s].m_name);
  }
}

// Every count and length of the intermediate file is a 32-bit signed integer.
bool Builder::checkSizes() {
  bool fits = m_model->m_coordinates.size() <= static_cast<size_t>(INT32_MAX);
  for (const KelvoElementSet &es : m_model->m_elementSets)
    fits = fits && es.m_vertices.size() <= static_cast<size_t>(INT32_MAX);
  fits = fits && m_model->m_faceSets.size() < static_cast<size_t>(INT32_MAX);
  if (!fits)
    *m_error = "The mesh is too large for the intermediate mesh file.";
  return fits;
}

// An element of an unknown type is only left out when the import has no use for it: one that
// belongs to a volume, or to a surface of a physical group, would leave a hole (and an invented
// boundary around it). Version 2 records do not give an element's dimension: there the element's
// physical group, or for an element in none its entity, decides by the kept elements and the
// physical names of that tag.
bool unknownElementsFit(const MshFile *mesh, std::string *error) {
  if (mesh->m_unknown.empty())
    return true;
  std::set<int32_t> usedPhysicals, untaggedVolumeEntities;
  for (size_t e = 0; e < mesh->m_elementKind.size(); ++e) {
    const int32_t dimension = KelvoElements_get(mesh->m_elementKind[e])->m_dimension;
    if (mesh->m_elementPhysical[e] != 0)
      usedPhysicals.insert(mesh->m_elementPhysical[e]);
    else if (dimension == 3)
      untaggedVolumeEntities.insert(mesh->m_elementEntity[e]);
  }
  for (const MshUnknownElement &u : mesh->m_unknown) {
    std::string where;
    if (u.m_dimension >= 0) {
      if (u.m_dimension == 3)
        where = "the volume entity " + std::to_string(u.m_entity);
      else if (u.m_dimension == 2 && u.m_physical != 0)
        where = "the surface entity " + std::to_string(u.m_entity) + " of physical group " +
                std::to_string(u.m_physical);
    } else if (u.m_physical != 0) {
      const bool named = MshFile_physicalName(mesh, 3, u.m_physical) != nullptr ||
                         MshFile_physicalName(mesh, 2, u.m_physical) != nullptr;
      if (named || usedPhysicals.count(u.m_physical))
        where = "physical group " + std::to_string(u.m_physical);
    } else if (untaggedVolumeEntities.count(u.m_entity)) {
      where = "the volume entity " + std::to_string(u.m_entity);
    }
    if (where.empty())
      continue;
    *error = "Element " + std::to_string(u.m_tag) + " is of the element type " +
             std::to_string(u.m_type) + ", which Kelvo.exe cannot read, and lies in " + where +
             ": the mesh cannot be imported without it.";
    return false;
  }
  return true;
}

void reportDifferences(KelvoModel *model, const MshFile *mesh) {
  for (const auto &entry : mesh->m_ignored) {
    const KelvoGmshType *type = KelvoElements_gmshType(entry.first);
    std::string what = type ? std::string(type->m_name)
                            : "elements of the unknown type " + std::to_string(entry.first);
    model->m_warnings.push_back("Ignored " + std::to_string(entry.second) + " " + what +
                                " (only volume elements and their boundary faces are imported).");
  }
  for (const auto &entry : mesh->m_reduced) {
    model->m_warnings.push_back("Read " + std::to_string(entry.second) + " " +
                                KelvoElements_gmshType(entry.first)->m_name +
                                " as first-order elements of their corner nodes.");
  }
  if (mesh->m_multiplePhysicals > 0)
    model->m_warnings.push_back(
        plural(mesh->m_multiplePhysicals, "element lies", "elements lie") +
        " in entities of more than one physical group; each was given to the first.");
}

} // namespace

KelvoModel *KelvoModel_new() { return new KelvoModel(); }

void KelvoModel_delete(KelvoModel *model) { delete model; }

int64_t KelvoModel_getNoOfVertices(const KelvoModel *model) {
  return static_cast<int64_t>(model->m_coordinates.size() / 3);
}

void KelvoModel_print(const KelvoModel *model, FILE *stream) {
  int64_t elements = 0;
  for (const KelvoElementSet &es : model->m_elementSets)
    elements +=
        static_cast<int64_t>(es.m_vertices.size()) / KelvoElements_get(es.m_kind)->m_noOfVertices;
  fprintf(stream, "Mesh: %lld vertices, %lld volume elements\n",
          (long long)KelvoModel_getNoOfVertices(model), (long long)elements);
  for (const KelvoVolume &volume : model->m_volumes) {
    std::string counts;
    for (int32_t set : volume.m_elementSets) {
      const KelvoElementSet &es = model->m_elementSets[set];
      const KelvoElementType *type = KelvoElements_get(es.m_kind);
      const size_t n = es.m_vertices.size() / type->m_noOfVertices;
      counts += (counts.empty() ? "" : ", ") + std::to_string(n) + " " +
                (n == 1 ? type->m_singular : type->m_name);
    }
    fprintf(stream, "Volume \"%s\": %s\n", volume.m_name.c_str(), counts.c_str());
  }
  for (const KelvoSurface &surface : model->m_surfaces) {
    fprintf(stream, "Surface \"%s\" of \"%s\": %lld face%s", surface.m_name.c_str(),
            model->m_volumes[surface.m_volume].m_name.c_str(), (long long)surface.m_noOfFaces,
            surface.m_noOfFaces == 1 ? "" : "s");
    if (surface.m_partner >= 0)
      fprintf(stream, ", other side \"%s\"", model->m_surfaces[surface.m_partner].m_name.c_str());
    fprintf(stream, "\n");
  }
  for (const KelvoComposite &composite : model->m_composites) {
    std::string components;
    for (const std::string &c : composite.m_components)
      components += (components.empty() ? "\"" : " + \"") + c + "\"";
    fprintf(stream, "Composite name \"%s\" = %s\n", composite.m_name.c_str(), components.c_str());
  }
  fflush(stream);
}

int KelvoModel_build(KelvoModel *model, const MshFile *mesh, std::string *error) {
  *model = KelvoModel();
  error->clear();
  reportDifferences(model, mesh);
  Builder builder(model, mesh, error);
  if (unknownElementsFit(mesh, error) && builder.run())
    return 1;
  std::vector<std::string> warnings = std::move(model->m_warnings);
  *model = KelvoModel();
  model->m_warnings = std::move(warnings);
  return 0;
}
