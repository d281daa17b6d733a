#include "KelvoModel.h"

#include "KelvoElements.h"
#include "KelvoThreads.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <tuple>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Pairs of (hash, id) sorted into partitions by the top bits of the hash. A partition is a
// chain of fixed blocks taken in turn from one pool, so that one sequential pass writes them all
// (a stream per partition) and each partition is then small enough to be matched inside the
// cache: a table over the whole mesh costs a memory miss per look-up on large meshes. Within a
// partition the pairs keep the order in which they were added.
struct Buckets {
  enum { BLOCK = 512, MAX_BITS = 10 };
  int32_t m_bits = 0;    // 1 << m_bits partitions
  int32_t m_writers = 1; // writers fill their own chains (one thread each); a partition is the
                         // chain of writer 0, then that of writer 1
  // A pair: 12 bytes, so that a partition's pairs go out in one stream.
  struct Pair {
    uint32_t m_hash[2];
    uint32_t m_id;
  };
  // The pool, aligned to cache lines; not zeroed, as every pair read was written. A chain's pairs
  // are first gathered in a staging line group of its own (16 pairs, three cache lines) and go to
  // the pool a group at a time past the cache: the scattered writes then neither read the
  // pool's lines first nor push other data out of the cache.
  struct FreeAligned {
    void operator()(Pair *p) const { free(p); }
  };
  std::unique_ptr<Pair[], FreeAligned> m_pairs;
  std::unique_ptr<Pair[], FreeAligned> m_staging; // STAGE pairs per chain
  enum { STAGE = 16 };
  std::vector<int32_t> m_next;  // per block: the next block of its chain, -1 none
  // Per writer and partition (writer * partitions + partition): the first and the current block
  // (-1 none) and the position after the last pair.
  std::vector<int32_t> m_first;
  std::vector<int32_t> m_last;
  std::vector<uint32_t> m_end;
  std::atomic<int32_t> m_blocks{0};
  // The bits of an id that id() gives; the others may carry a tag (see rawId).
  uint32_t m_idMask = UINT32_MAX;

  // Room for `pairs` pairs in partitions of about `perPartition` pairs (bits < 0), or in
  // 1 << bits partitions.
  void init(size_t pairs, size_t perPartition, int32_t bits = -1, int32_t writers = 1) {
    m_bits = bits;
    if (bits < 0)
      for (m_bits = 0; m_bits < MAX_BITS && (pairs >> m_bits) > perPartition;)
        ++m_bits;
    m_writers = writers;
    m_idMask = UINT32_MAX;
    const size_t chains = static_cast<size_t>(writers) << m_bits;
    const size_t blocks = pairs / BLOCK + chains + 1;
    m_pairs.reset(alignedPairs(blocks * BLOCK));
    m_staging.reset(alignedPairs(chains * STAGE));
    m_next.assign(blocks, -1);
    m_first.assign(chains, -1);
    m_last.assign(chains, -1);
    m_end.assign(chains, 0);
    m_blocks = 0;
  }
  // Whether init can take this many pairs (pool positions are 32-bit).
  static bool fits(uint64_t pairs) {
    return pairs < UINT32_MAX - (uint64_t(2) << MAX_BITS) * BLOCK - 2 * BLOCK;
  }
  static Pair *alignedPairs(size_t n) {
    void *p = aligned_alloc(64, (n * sizeof(Pair) + 63) / 64 * 64);
    if (p == nullptr)
      throw std::bad_alloc();
    return static_cast<Pair *>(p);
  }
  void release() {
    m_pairs.reset();
    m_staging.reset();
    std::vector<int32_t>().swap(m_next);
    std::vector<int32_t>().swap(m_first);
    std::vector<int32_t>().swap(m_last);
    std::vector<uint32_t>().swap(m_end);
    m_blocks = 0;
  }
  size_t partitions() const { return size_t(1) << m_bits; }
  uint64_t hash(uint32_t at) const {
    uint64_t h;
    memcpy(&h, m_pairs[at].m_hash, 8);
    return h;
  }
  uint32_t id(uint32_t at) const { return m_pairs[at].m_id & m_idMask; }
  uint32_t rawId(uint32_t at) const { return m_pairs[at].m_id; }
  // The pairs of a partition: its chains' blocks are full but for the last.
  uint32_t count(size_t p) const {
    uint32_t n = 0;
    for (int32_t w = 0; w < m_writers; ++w) {
      const size_t c = (static_cast<size_t>(w) << m_bits) + p;
      for (int32_t b = m_first[c]; b >= 0 && b != m_last[c]; b = m_next[b])
        n += BLOCK;
      if (m_last[c] >= 0)
        n += m_end[c] - static_cast<uint32_t>(m_last[c]) * BLOCK;
    }
    return n;
  }
  uint32_t largest() const {
    uint32_t most = 0;
    for (size_t p = 0; p < partitions(); ++p)
      most = std::max(most, count(p));
    return most;
  }
  void add(int32_t writer, uint64_t hash, uint32_t id) {
    const size_t c = (static_cast<size_t>(writer) << m_bits) +
                     (m_bits == 0 ? 0 : static_cast<size_t>(hash >> (64 - m_bits)));
    uint32_t *end = m_end.data();
    Pair *staging = m_staging.get() + c * STAGE;
    uint32_t at = end[c];
    if (at % BLOCK == 0) // the current block is full, or there is none yet
      at = newBlock(c);
    // Typed stores (no memcpy), so that the compiler knows they change none of the members.
    Pair &pair = staging[at % STAGE];
    pair.m_hash[0] = static_cast<uint32_t>(hash);
    pair.m_hash[1] = static_cast<uint32_t>(hash >> 32);
    pair.m_id = id;
    end[c] = at + 1;
    if ((at + 1) % STAGE == 0) // a whole group: to the pool, past the cache
      stream(m_pairs.get() + (at + 1 - STAGE), staging);
  }
  // Chains a new block to chain c; its first position.
  uint32_t newBlock(size_t c) {
    const int32_t b = m_blocks.fetch_add(1, std::memory_order_relaxed);
    if (m_last[c] < 0)
      m_first[c] = b;
    else
      m_next[m_last[c]] = b;
    m_last[c] = b;
    return static_cast<uint32_t>(b) * BLOCK;
  }
  // Moves a writer's partly filled groups to the pool; before the pairs are read.
  void finish(int32_t writer) {
    for (size_t p = 0; p < partitions(); ++p) {
      const size_t c = (static_cast<size_t>(writer) << m_bits) + p;
      const uint32_t staged = m_end[c] % STAGE;
      if (m_last[c] >= 0 && staged > 0)
        memcpy(&m_pairs[m_end[c] - staged], &m_staging[c * STAGE], staged * sizeof(Pair));
    }
#if defined(__SSE2__)
    _mm_sfence(); // the streamed groups are seen by whoever reads next
#endif
  }
  static void stream(Pair *to, const Pair *from) {
    static_assert(STAGE * sizeof(Pair) == 192, "a group is three cache lines");
#if defined(__SSE2__)
    __m128i *out = reinterpret_cast<__m128i *>(to);
    const __m128i *in = reinterpret_cast<const __m128i *>(from);
    for (int i = 0; i < 12; ++i)
      _mm_stream_si128(out + i, _mm_load_si128(in + i));
#else
    memcpy(to, from, STAGE * sizeof(Pair));
#endif
  }
  // Calls visit(from, to) for the runs of positions that hold the pairs of a partition, in
  // their order, while it returns true.
  template <class Visit> bool forEachRun(size_t p, Visit visit) const {
    for (int32_t w = 0; w < m_writers; ++w) {
      const size_t c = (static_cast<size_t>(w) << m_bits) + p;
      for (int32_t b = m_first[c]; b >= 0; b = m_next[b]) {
        const uint32_t end = b == m_last[c] ? m_end[c] : static_cast<uint32_t>(b + 1) * BLOCK;
        if (!visit(static_cast<uint32_t>(b) * BLOCK, end))
          return false;
      }
    }
    return true;
  }
  // Calls visit(position) for the pairs of a partition in their order while it returns true.
  template <class Visit> bool forEach(size_t p, Visit visit) const {
    return forEachRun(p, [&](uint32_t from, uint32_t to) {
      for (uint32_t at = from; at < to; ++at)
        if (!visit(at))
          return false;
      return true;
    });
  }
};

const uint32_t kNoUse = UINT32_MAX;

// The open addressing table that matches one partition: a slot holds a key's hash, the id of its
// first pair and, for faces, the second use (kNoUse none). The hash in the slot spares a look
// into the pairs for every probe.
struct PartitionTable {
  struct Slot {
    uint64_t m_hash;
    uint32_t m_first;
    uint32_t m_second;
  };
  static const uint32_t VACANT = UINT32_MAX - 1; // m_second of an empty slot (no id is as large)
  std::vector<Slot> m_slots;
  size_t m_mask = 0;

  // A slot a pair (about two per face): most probes end at the first slot.
  static size_t sizeFor(size_t pairs) {
    size_t size = 16;
    while (size < pairs)
      size *= 2;
    return size;
  }
  void reserve(size_t pairs) { m_slots.resize(sizeFor(pairs)); }
  void clear(size_t pairs) {
    const size_t size = sizeFor(pairs);
    m_mask = size - 1;
    std::fill(m_slots.begin(), m_slots.begin() + static_cast<std::ptrdiff_t>(size),
              Slot{0, 0, VACANT});
  }
  void prefetch(uint64_t hash) const { __builtin_prefetch(&m_slots[hash & m_mask], 1); }
  // The slot of the key of a hash that `same` accepts (given the slot's first id), or the empty
  // slot where it belongs.
  template <class Same> Slot *find(uint64_t hash, Same same) {
    for (size_t i = hash & m_mask;; i = (i + 1) & m_mask) {
      Slot &slot = m_slots[i];
      if (slot.m_second == VACANT || (slot.m_hash == hash && same(slot.m_first)))
        return &slot;
    }
  }
};

// A bijective mix of 64 bits: equal results mean equal inputs.
uint64_t mix64(uint64_t k) {
  k ^= k >> 33;
  k *= 0xFF51AFD7ED558CCDull;
  k ^= k >> 33;
  k *= 0xC4CEB9FE1A85EC53ull;
  k ^= k >> 33;
  return k;
}

// Face uses are matched in partitions of about this many.
int64_t g_partitionSize = 16384;

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

// The sorted key of a face of an element (padded with -1); its number of vertices.
int32_t keyOfFace(const KelvoElementType *type, const int32_t *nodes, int32_t f, int32_t key[4]) {
  const int32_t n = type->m_faceSize[f];
  for (int32_t i = 0; i < 4; ++i)
    key[i] = i < n ? nodes[type->m_faceVertices[f][i]] : -1;
  sortSmall(key, n);
  return n;
}

// The corners of a tetrahedron sorted, and the vertex each one is, without branches (the order
// of the nodes is random, so branches would mostly be mispredicted).
void sortTetrahedron(const int32_t *nodes, int32_t sorted[4], int32_t vertex[4]) {
  // Each corner with its vertex number in the low bits; kept in registers, so that the compiler
  // makes conditional moves of the comparisons.
  uint64_t w0 = static_cast<uint64_t>(static_cast<uint32_t>(nodes[0])) << 2;
  uint64_t w1 = static_cast<uint64_t>(static_cast<uint32_t>(nodes[1])) << 2 | 1;
  uint64_t w2 = static_cast<uint64_t>(static_cast<uint32_t>(nodes[2])) << 2 | 2;
  uint64_t w3 = static_cast<uint64_t>(static_cast<uint32_t>(nodes[3])) << 2 | 3;
  auto order = [](uint64_t &x, uint64_t &y) {
    const bool swap = y < x;
    const uint64_t low = swap ? y : x, high = swap ? x : y;
    x = low;
    y = high;
  };
  order(w0, w1);
  order(w2, w3);
  order(w0, w2);
  order(w1, w3);
  order(w1, w2);
  sorted[0] = static_cast<int32_t>(w0 >> 2);
  sorted[1] = static_cast<int32_t>(w1 >> 2);
  sorted[2] = static_cast<int32_t>(w2 >> 2);
  sorted[3] = static_cast<int32_t>(w3 >> 2);
  vertex[0] = static_cast<int32_t>(w0 & 3);
  vertex[1] = static_cast<int32_t>(w1 & 3);
  vertex[2] = static_cast<int32_t>(w2 & 3);
  vertex[3] = static_cast<int32_t>(w3 & 3);
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

// The dimension of an element kind (KelvoKind lists the surface kinds first).
int32_t dimensionOf(int32_t kind) { return kind >= KELVO_TETRA ? 3 : 2; }

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

// "a", "a" and "b", "a", "b" and "c": the texts as they are.
std::string joined(const std::vector<std::string> &texts) {
  std::string out;
  for (size_t i = 0; i < texts.size(); ++i)
    out += (i == 0 ? "" : i + 1 == texts.size() ? " and " : ", ") + texts[i];
  return out;
}

// The names quoted and joined.
std::string quotedList(const std::vector<std::string> &names) {
  std::vector<std::string> quoted;
  for (const std::string &name : names)
    quoted.push_back("\"" + name + "\"");
  return joined(quoted);
}

// A region group of the file: a physical group (source 0) or, for elements outside every
// physical group, an elementary entity (source 1).
typedef std::pair<int32_t, int32_t> GroupKey;

GroupKey groupOf(int32_t physical, int32_t entity) {
  return physical != 0 ? GroupKey{0, physical} : GroupKey{1, entity};
}

GroupKey groupOf(const MshElementRun &run) { return groupOf(run.m_physical, run.m_entity); }

// Calls visit(first, end, run) for the parts of the runs of elements of a dimension that lie in the
// elements [from, to), in order, while it returns true.
template <class Visit>
bool forRuns(const MshFile *mesh, int32_t dimension, size_t from, size_t to, Visit visit) {
  for (const MshElementRun &run : mesh->m_elementRuns) {
    const size_t first = std::max(from, static_cast<size_t>(run.m_first));
    const size_t end = std::min(to, static_cast<size_t>(run.m_first + run.m_count));
    if (first < end && dimensionOf(run.m_kind) == dimension && !visit(first, end, run))
      return false;
  }
  return true;
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
      : m_model(model), m_mesh(mesh), m_error(error) {
    const KelvoElementType *tetra = KelvoElements_get(KELVO_TETRA);
    for (int32_t f = 0; f < 4; ++f)
      m_faceWithout[6 - tetra->m_faceVertices[f][0] - tetra->m_faceVertices[f][1] -
                    tetra->m_faceVertices[f][2]] = f;
  }
  bool run();

private:
  KelvoModel *m_model;
  const MshFile *m_mesh;
  std::string *m_error;

  std::vector<std::string> m_volumeGroupNames, m_surfaceGroupNames;
  std::vector<GroupKey> m_volumeGroupKeys, m_surfaceGroupKeys;
  // Per surface group: its boundary elements that are no face of a volume element, those whose
  // faces an earlier group had; the surfaces made of it and its composite name (-1 none).
  std::vector<int64_t> m_groupUnmatched, m_groupTaken;
  std::vector<std::vector<int32_t>> m_groupSurfaces;
  std::vector<int32_t> m_groupComposite;
  KelvoArray<int32_t> m_solids;       // kept volume elements (mesh element indices)
  // Runs of consecutive kept solids of one volume group and kind (elements come in blocks, so
  // there are few): a solid's group, element set and index in the set, without an array each.
  struct Run {
    uint32_t m_first; // the run's first solid
    int32_t m_group;
    int32_t m_kind;
    int32_t m_set;
    int32_t m_index; // the first solid's index in the set
  };
  std::vector<Run> m_runs;
  std::vector<int32_t> m_groupVolume; // volume of each volume group, -1 when empty
  std::vector<int32_t> m_vertexOf;    // node index -> vertex number, -1 unused
  bool m_everyNode = false;           // every node is a vertex (m_vertexOf is then left empty)
  std::vector<std::vector<int32_t>> m_compositeSurfaces; // per composite name, its surfaces

  // The faces that may bound a surface (met once, between two volumes, or named by a boundary
  // element), in the order of their first use. A use of a face is solid * 6 + its local face.
  struct Face {
    uint32_t m_use[2]; // the uses on either side (the second valid when m_count is 2)
    int32_t m_group;   // surface group naming the face, -1 none
    int8_t m_count;
    int8_t m_front; // the side (0 or 1) whose outward orientation the boundary element shares
    int64_t use(int32_t side) const { return m_use[side]; }
  };
  std::vector<Face> m_faces;
  std::vector<uint32_t> m_boundaryElements; // the boundary elements (mesh element indices)
  // Per boundary element: its face's first use, or kNoUse; after matching its face in m_faces.
  std::vector<uint32_t> m_boundaryFirst;
  bool m_exactKeys = false; // face hashes are the keys themselves (mixed), no check needed
  Buckets m_uses;            // the face uses in partitions
  bool m_usesWritten = false;
  // Duplicate elements are looked for while the faces are matched (tetrahedra with exact keys):
  // the use of each tetrahedron's face without its smallest corner carries a tag (kTwinFlag and
  // bits of that corner) above m_uses.m_idMask. Two tetrahedra of one vertex set share that face
  // with the same tag; a face of two such uses makes the elements suspects.
  bool m_tagged = false;
  int32_t m_twinShift = 0; // the bits of an id, below its tag
  static const uint32_t kTwinFlag = uint32_t(1) << 31;
  int32_t m_threads = 1;
  int32_t m_faceWithout[4];  // the face of a tetrahedron without a given vertex

  // What one thread of the matching gathers over the partitions it takes.
  struct MatchPart {
    uint32_t m_failUse = kNoUse, m_failFirst = kNoUse, m_failSecond = kNoUse;
    std::vector<Face> m_faces;
    bool m_duplicate = false; // trusting, two elements of one vertex set were met
    std::vector<uint32_t> m_named; // slots of faces met twice that boundary elements name
    std::vector<uint32_t> m_taken; // the slots that a partition's faces took, in order
  };
  enum Matched { MATCH_FAILED, MATCHED, MATCH_AGAIN };

  bool volumeGroups(std::map<GroupKey, int32_t> *groups);
  bool keepSolids(const std::map<GroupKey, int32_t> &groups, bool trusting);
  bool hashSolids(Buckets *elements);
  int32_t hashSolid(const MshElementRun &run, size_t e, int32_t writer, uint32_t solid,
                    Buckets *elements);
  int64_t findDuplicates(const Buckets &elements, std::vector<uint8_t> *duplicate) const;
  void listSolids(const std::map<GroupKey, int32_t> &groups, const std::vector<uint8_t> &duplicate,
                  size_t solids);
  void forgetSolids();
  void numberVertices();
  void markCorners(size_t from, size_t to, uint64_t *used) const;
  void elementSets();
  void fillElementSets();
  Matched matchFaces();
  void writeUses();
  void boundaryKeys(Buckets *queries);
  std::vector<MatchPart> matchPartitions(const Buckets &queries);
  template <bool EXACT>
  void matchPartition(size_t p, const Buckets &queries, PartitionTable &table, MatchPart &own);
  void keepFaces(PartitionTable &table, size_t faces, MatchPart &own) const;
  Matched settleMatching(const std::vector<MatchPart> &parts);
  void orderFaces(const std::vector<MatchPart> &parts);
  bool sameVertexSets(uint32_t use, uint32_t other) const;
  void boundaryElements();
  void orientFaces(const std::vector<uint32_t> &claims, size_t from, size_t to);
  void surfaces();
  void uniqueNames();
  void reportGroups();
  bool isGroupSurface(int32_t surface) const;
  void reportUnnamed(const GroupKey &key, int32_t dimension, const std::string &became);
  bool checkSizes();

  int32_t keyOfUse(uint32_t use, int32_t key[4]) const;
  int32_t keyOfBoundary(uint32_t q, int32_t key[4]) const;
  int32_t sortedCorners(int64_t e, int32_t out[8]) const;
  // The corners of element e (of its run, `run`); the place of the run's element's.
  const int32_t *cornersOf(const MshElementRun &run, int64_t e) const {
    return m_mesh->m_elementNodes.data() + MshFile_cornersAt(run, e);
  }
  const int32_t *cornersOf(int64_t e) const { return cornersOf(MshFile_runOf(m_mesh, e), e); }
  int64_t cornersAt(int64_t e) const { return MshFile_cornersAt(MshFile_runOf(m_mesh, e), e); }
  int64_t cornersEnd(int64_t e) const {
    const MshElementRun &run = MshFile_runOf(m_mesh, e);
    return MshFile_cornersAt(run, e) + run.m_corners;
  }
  int32_t kindOf(int64_t e) const { return MshFile_runOf(m_mesh, e).m_kind; }
  void addUses(Buckets *faces, int32_t writer, uint32_t s, int32_t kind, const int32_t *nodes,
               const int32_t *sorted, const int32_t *vertex) const;
  uint64_t faceHash(const int32_t key[4], int32_t n) const;
  // The solid after the last of run r.
  uint32_t runEnd(size_t r) const {
    return r + 1 < m_runs.size() ? m_runs[r + 1].m_first : static_cast<uint32_t>(m_solids.size());
  }
  const Run &runOf(uint32_t solid) const {
    if (m_runs.size() == 1)
      return m_runs[0];
    return *(std::upper_bound(m_runs.begin(), m_runs.end(), solid,
                              [](uint32_t s, const Run &r) { return s < r.m_first; }) -
             1);
  }
  int32_t volumeOfUse(int64_t use) const {
    return m_groupVolume[runOf(static_cast<uint32_t>(use / 6)).m_group];
  }
  int32_t setOfUse(int64_t use) const { return runOf(static_cast<uint32_t>(use / 6)).m_set; }
  int32_t indexOfUse(int64_t use) const {
    const Run &run = runOf(static_cast<uint32_t>(use / 6));
    return run.m_index + static_cast<int32_t>(static_cast<uint32_t>(use / 6) - run.m_first);
  }
  std::string nodeList(const int32_t *key, int32_t n) const;
  // The tag of the use of a tetrahedron's face without its smallest corner, and whether two
  // uses of a face bear the same tag.
  uint32_t twinTag(int32_t corner) const {
    const int32_t bits = 31 - m_twinShift;
    return kTwinFlag | ((static_cast<uint32_t>(corner) * 0x9E3779B1u) >> (32 - bits))
                           << m_twinShift;
  }
  bool twins(uint32_t use, uint32_t other) const {
    return m_tagged && (use & other & kTwinFlag) != 0 && ((use ^ other) >> m_twinShift) == 0;
  }
};

bool Builder::run() {
  std::map<GroupKey, int32_t> groups;
  if (!volumeGroups(&groups))
    return false;
  // Trusting first that no volume element is there twice (the usual case, which matching then
  // confirms); when matching cannot confirm it, all over again with duplicates looked for first.
  for (const bool trusting : {true, false}) {
    if (!keepSolids(groups, trusting))
      return false;
    elementSets();
    const Matched matched = matchFaces();
    if (matched == MATCH_FAILED)
      return false;
    if (matched == MATCHED)
      break;
    forgetSolids();
  }
  // The vertices, once the face uses have given back their memory.
  numberVertices();
  fillElementSets();
  boundaryElements();
  surfaces();
  uniqueNames();
  reportGroups();
  return checkSizes();
}

bool Builder::volumeGroups(std::map<GroupKey, int32_t> *groups) {
  forRuns(m_mesh, 3, 0, SIZE_MAX, [&](size_t, size_t, const MshElementRun &run) {
    (*groups)[groupOf(run)] = 0;
    return true;
  });
  if (groups->empty()) {
    *m_error = "The mesh holds no volume elements (tetrahedra, pyramids, prisms or hexahedra), "
               "so there is nothing to import.";
    return false;
  }
  int32_t next = 0;
  for (auto &entry : *groups) {
    entry.second = next++;
    m_volumeGroupNames.push_back(groupName(m_mesh, entry.first, 3));
    m_volumeGroupKeys.push_back(entry.first);
  }
  return true;
}

// Keeps each volume element once (the first in file order); refuses elements with a repeated
// corner. Trusting, tetrahedra with exact keys are all kept, and matchFaces rules duplicates out
// (m_tagged); else equal elements are found in partitions of their hashes, where only elements of
// equal hashes are compared.
bool Builder::keepSolids(const std::map<GroupKey, int32_t> &groups, bool trusting) {
  size_t candidates = 0;
  uint64_t uses = 0;
  bool tetrahedra = true;
  forRuns(m_mesh, 3, 0, SIZE_MAX, [&](size_t first, size_t end, const MshElementRun &run) {
    candidates += end - first;
    uses += (end - first) * static_cast<uint64_t>(KelvoElements_get(run.m_kind)->m_noOfFaces);
    tetrahedra = tetrahedra && run.m_kind == KELVO_TETRA;
    return true;
  });
  m_threads = KelvoThreads_for(candidates);
  // The face uses are written out in the same pass, numbered as if no element were a duplicate
  // (the usual case); else matchFaces writes them again.
  m_exactKeys = tetrahedra && m_mesh->m_nodeTags.size() <= (size_t(1) << 21);
  m_usesWritten = Buckets::fits(6 * static_cast<uint64_t>(candidates));
  int32_t idBits = 1; // uses are below 6 * candidates
  while ((uint64_t(1) << idBits) < 6 * static_cast<uint64_t>(candidates))
    ++idBits;
  m_tagged = trusting && m_exactKeys && m_usesWritten && idBits <= 30;
  m_twinShift = idBits;
  if (m_usesWritten) {
    m_uses.init(static_cast<size_t>(uses), static_cast<size_t>(g_partitionSize), -1, m_threads);
    m_uses.m_idMask = m_tagged ? (uint32_t(1) << idBits) - 1 : UINT32_MAX;
  }
  Buckets elements;
  if (!m_tagged)
    elements.init(candidates, static_cast<size_t>(g_partitionSize), -1, m_threads);
  if (!hashSolids(m_tagged ? nullptr : &elements))
    return false;
  std::vector<uint8_t> duplicate;
  const int64_t duplicates = m_tagged ? 0 : findDuplicates(elements, &duplicate);
  elements.release();
  if (duplicates > 0 && m_usesWritten) {
    m_uses.release();
    m_usesWritten = false;
  }
  listSolids(groups, duplicate, candidates - static_cast<size_t>(duplicates));
  if (duplicates > 0)
    m_model->m_warnings.push_back(
        plural(duplicates, "volume element appears", "volume elements appear") +
        " more than once in the file (in more than one physical group); each was kept in the "
        "first.");
  return true;
}

// The sorted corners of an element; their number.
int32_t Builder::sortedCorners(int64_t e, int32_t out[8]) const {
  const MshElementRun &run = MshFile_runOf(m_mesh, e);
  const int32_t *corners = cornersOf(run, e);
  std::copy(corners, corners + run.m_corners, out);
  sortSmall(out, run.m_corners);
  return run.m_corners;
}

// Writes the face uses of the volume elements (when m_usesWritten) and their hashes (into
// `elements` when given) in parts, each part a run of the elements; refuses the first element
// with a repeated corner.
bool Builder::hashSolids(Buckets *elements) {
  const size_t n = static_cast<size_t>(MshFile_noOfElements(m_mesh));
  const int32_t parts = m_threads;
  // The candidates before each part's first element, so that each part numbers its own.
  std::vector<uint32_t> firstCandidate(static_cast<size_t>(parts) + 1, 0);
  for (int32_t part = 1; part <= parts; ++part) {
    firstCandidate[part] = firstCandidate[part - 1];
    forRuns(m_mesh, 3, KelvoThreads_begin(n, part - 1, parts), KelvoThreads_begin(n, part, parts),
            [&](size_t first, size_t end, const MshElementRun &) {
              firstCandidate[part] += static_cast<uint32_t>(end - first);
              return true;
            });
  }
  // Per part, the first element with a repeated corner.
  std::vector<int64_t> repeated(static_cast<size_t>(parts), -1);
  std::vector<int32_t> repeatedNode(static_cast<size_t>(parts), 0);
  KelvoThreads_run(parts, [&](int32_t part, int32_t count) {
    uint32_t candidate = firstCandidate[part];
    forRuns(m_mesh, 3, KelvoThreads_begin(n, part, count), KelvoThreads_begin(n, part + 1, count),
            [&](size_t first, size_t end, const MshElementRun &run) {
              for (size_t e = first; e < end; ++e) {
                const int32_t node = hashSolid(run, e, part, candidate++, elements);
                if (node >= 0) {
                  repeated[part] = static_cast<int64_t>(e);
                  repeatedNode[part] = node;
                  return false;
                }
              }
              return true;
            });
    if (elements != nullptr)
      elements->finish(part);
    if (m_usesWritten)
      m_uses.finish(part);
  });
  for (int32_t part = 0; part < parts; ++part) {
    if (repeated[part] < 0)
      continue;
    *m_error = "The element " + std::to_string(m_mesh->m_elementTags[repeated[part]]) +
               " has the node " + std::to_string(m_mesh->m_nodeTags[repeatedNode[part]]) +
               " more than once among its corners.";
    return false;
  }
  return true;
}

// Writes the face uses of volume element e of run `run`, solid `solid` (when m_usesWritten), and
// its hash (into `elements` when given) as `writer`; -1, or the corner it has more than once.
int32_t Builder::hashSolid(const MshElementRun &run, size_t e, int32_t writer, uint32_t solid,
                           Buckets *elements) {
  int32_t corners[8], vertex[4];
  const int32_t kind = run.m_kind, k = run.m_corners;
  const int32_t *nodes = cornersOf(run, static_cast<int64_t>(e));
  if (kind == KELVO_TETRA) {
    sortTetrahedron(nodes, corners, vertex);
  } else {
    std::copy(nodes, nodes + k, corners);
    sortSmall(corners, k);
  }
  if (m_usesWritten)
    addUses(&m_uses, writer, solid, kind, nodes, corners, vertex);
  for (int32_t i = 1; i < k; ++i)
    if (corners[i] == corners[i - 1])
      return corners[i];
  if (elements != nullptr) // e <= INT32_MAX
    elements->add(writer, hashOf(corners, k, kind), static_cast<uint32_t>(e));
  return -1;
}

// Marks every volume element that equals an earlier one (kind and vertex set); their number.
int64_t Builder::findDuplicates(const Buckets &elements, std::vector<uint8_t> *duplicate) const {
  duplicate->assign(static_cast<size_t>(MshFile_noOfElements(m_mesh)), 0);
  std::vector<int64_t> duplicatesOf(static_cast<size_t>(m_threads), 0);
  const uint32_t largest = elements.largest();
  std::atomic<size_t> next{0};
  KelvoThreads_run(m_threads, [&](int32_t part, int32_t) {
    PartitionTable table;
    table.reserve(largest);
    for (size_t p; (p = next.fetch_add(1)) < elements.partitions();) {
      table.clear(elements.count(p));
      elements.forEach(p, [&](uint32_t at) {
        const uint32_t e = elements.id(at);
        PartitionTable::Slot *slot = table.find(elements.hash(at), [&](uint32_t o) {
          int32_t mine[8], other[8];
          const int32_t k = sortedCorners(e, mine);
          return kindOf(o) == kindOf(e) &&
                 sortedCorners(o, other) == k && std::equal(mine, mine + k, other);
        });
        if (slot->m_second == PartitionTable::VACANT) {
          *slot = {elements.hash(at), e, 0};
        } else {
          (*duplicate)[e] = 1;
          ++duplicatesOf[part];
        }
        return true;
      });
    }
  });
  int64_t duplicates = 0;
  for (int64_t d : duplicatesOf)
    duplicates += d;
  return duplicates;
}

// The kept solids in file order (none marked in `duplicate`, which may be empty) and their runs.
// Without duplicates, a run of volume elements is one of solids, filled in parts by the threads.
void Builder::listSolids(const std::map<GroupKey, int32_t> &groups,
                         const std::vector<uint8_t> &duplicate, size_t solids) {
  m_solids.resize(solids);
  struct Piece {
    uint32_t m_solid; // the first solid of a run of volume elements
    int64_t m_first, m_count;
  };
  std::vector<Piece> pieces;
  uint32_t next = 0;
  forRuns(m_mesh, 3, 0, SIZE_MAX, [&](size_t first, size_t end, const MshElementRun &run) {
    const uint32_t from = next;
    if (duplicate.empty()) {
      pieces.push_back({next, run.m_first, run.m_count});
      next += static_cast<uint32_t>(run.m_count);
    } else {
      for (size_t e = first; e < end; ++e)
        if (!duplicate[e])
          m_solids[next++] = static_cast<int32_t>(e);
    }
    const int32_t group = groups.at(groupOf(run));
    if (next > from && (m_runs.empty() || m_runs.back().m_group != group ||
                        m_runs.back().m_kind != run.m_kind))
      m_runs.push_back({from, group, run.m_kind, -1, 0});
    return true;
  });
  KelvoThreads_run(KelvoThreads_for(pieces.empty() ? 0 : solids), [&](int32_t part, int32_t count) {
    const size_t from = KelvoThreads_begin(solids, part, count);
    const size_t to = KelvoThreads_begin(solids, part + 1, count);
    for (const Piece &piece : pieces) {
      const size_t end = std::min<size_t>(to, piece.m_solid + static_cast<size_t>(piece.m_count));
      for (size_t s = std::max<size_t>(from, piece.m_solid); s < end; ++s)
        m_solids[s] = static_cast<int32_t>(piece.m_first + static_cast<int64_t>(s - piece.m_solid));
    }
  });
}

// Forgets the solids and everything made of them, to start again.
void Builder::forgetSolids() {
  m_solids.clear();
  m_runs.clear();
  m_uses.release();
  m_usesWritten = m_tagged = false;
  m_faces.clear();
  m_boundaryElements.clear();
  m_boundaryFirst.clear();
  m_groupVolume.clear();
  m_model->m_volumes.clear();
  m_model->m_elementSets.clear();
}

// Numbers the nodes that the solids use, in node order, and gives their coordinates to the model.
void Builder::numberVertices() {
  // The nodes in use marked in bit sets, which stay in the cache (the marks come at random): one
  // per thread over its part of the solids, then joined.
  const size_t nodes = m_mesh->m_nodeTags.size(), words = (nodes + 63) / 64;
  const int32_t parts = KelvoThreads_for(m_solids.size());
  std::vector<std::vector<uint64_t>> marks(static_cast<size_t>(parts));
  KelvoThreads_run(parts, [&](int32_t part, int32_t count) {
    std::vector<uint64_t> &used = marks[static_cast<size_t>(part)];
    used.assign(words, 0);
    markCorners(KelvoThreads_begin(m_solids.size(), part, count),
                KelvoThreads_begin(m_solids.size(), part + 1, count), used.data());
  });
  std::vector<uint64_t> &used = marks[0];
  size_t vertices = 0;
  for (size_t w = 0; w < words; ++w) {
    for (size_t part = 1; part < marks.size(); ++part)
      used[w] |= marks[part][w];
    vertices += static_cast<size_t>(__builtin_popcountll(used[w]));
  }
  // Usually every node is a vertex: the coordinates then go over in one piece.
  m_everyNode = vertices == nodes;
  if (m_everyNode) {
    m_model->m_coordinates.assign(m_mesh->m_coordinates.begin(), m_mesh->m_coordinates.end());
    return;
  }
  m_vertexOf.resize(nodes);
  int32_t next = 0;
  for (size_t i = 0; i < nodes; ++i)
    m_vertexOf[i] = (used[i >> 6] >> (i & 63)) & 1 ? next++ : -1;
  m_model->m_coordinates.reserve(3 * vertices);
  for (size_t i = 0; i < m_vertexOf.size(); ++i)
    if (m_vertexOf[i] >= 0)
      m_model->m_coordinates.insert(m_model->m_coordinates.end(), &m_mesh->m_coordinates[3 * i],
                                    &m_mesh->m_coordinates[3 * i] + 3);
}

// Marks in `used` the corners of the solids [from, to).
void Builder::markCorners(size_t from, size_t to, uint64_t *used) const {
  const int32_t *corners = m_mesh->m_elementNodes.data();
  auto mark = [&](int64_t begin, int64_t end) {
    for (int64_t k = begin; k < end; ++k)
      used[static_cast<uint32_t>(corners[k]) >> 6] |= uint64_t(1) << (corners[k] & 63);
  };
  for (size_t r = 0; r < m_runs.size(); ++r) {
    const size_t first = std::max<size_t>(from, m_runs[r].m_first);
    const size_t end = std::min<size_t>(to, runEnd(r));
    if (first >= end)
      continue;
    if (m_solids[end - 1] - m_solids[first] == static_cast<int32_t>(end - 1 - first)) {
      // The elements follow each other: their corner lists too.
      mark(cornersAt(m_solids[first]), cornersEnd(m_solids[end - 1]));
      continue;
    }
    for (size_t s = first; s < end; ++s)
      mark(cornersAt(m_solids[s]), cornersEnd(m_solids[s]));
  }
}

// One element set per volume and element kind, in kind order; volumes in group order. The
// runs learn their sets and indices; the vertices come later (fillElementSets).
void Builder::elementSets() {
  const int32_t groups = static_cast<int32_t>(m_volumeGroupNames.size());
  std::vector<int64_t> counts(static_cast<size_t>(groups) * KELVO_KINDS, 0);
  for (size_t r = 0; r < m_runs.size(); ++r) {
    const uint32_t end = runEnd(r);
    counts[m_runs[r].m_group * KELVO_KINDS + m_runs[r].m_kind] += end - m_runs[r].m_first;
  }
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
      m_model->m_volumes[m_groupVolume[g]].m_elementSets.push_back(set);
    }
  }
  std::vector<int32_t> inSet(m_model->m_elementSets.size(), 0);
  for (size_t r = 0; r < m_runs.size(); ++r) {
    Run &run = m_runs[r];
    const uint32_t end = runEnd(r);
    run.m_set = setOf[run.m_group * KELVO_KINDS + run.m_kind];
    run.m_index = inSet[run.m_set];
    inSet[run.m_set] += static_cast<int32_t>(end - run.m_first);
  }
}

// The vertices of the element sets, solid by solid.
void Builder::fillElementSets() {
  std::vector<size_t> solids(m_model->m_elementSets.size(), 0);
  for (size_t r = 0; r < m_runs.size(); ++r)
    solids[m_runs[r].m_set] += runEnd(r) - m_runs[r].m_first;
  for (size_t set = 0; set < solids.size(); ++set) {
    KelvoElementSet &es = m_model->m_elementSets[set];
    es.m_vertices.reserve(solids[set] * KelvoElements_get(es.m_kind)->m_noOfVertices);
  }
  for (size_t r = 0; r < m_runs.size(); ++r) {
    const uint32_t end = runEnd(r);
    std::vector<int32_t> &vertices = m_model->m_elementSets[m_runs[r].m_set].m_vertices;
    const uint32_t first = m_runs[r].m_first;
    if (m_everyNode && m_solids[end - 1] - m_solids[first] == static_cast<int32_t>(end - 1 - first)) {
      // Vertex numbers are node indices and the run's elements follow each other in the file:
      // their corner lists go over in one piece.
      const int32_t *nodes = m_mesh->m_elementNodes.data();
      vertices.insert(vertices.end(), nodes + cornersAt(m_solids[first]),
                      nodes + cornersEnd(m_solids[end - 1]));
      continue;
    }
    for (uint32_t s = first; s < end; ++s) {
      const int64_t e = m_solids[s];
      for (int64_t k = cornersAt(e); k < cornersEnd(e); ++k) {
        const int32_t node = m_mesh->m_elementNodes[k];
        vertices.push_back(m_everyNode ? node : m_vertexOf[node]);
      }
    }
  }
}

std::string Builder::nodeList(const int32_t *key, int32_t n) const {
  std::string text;
  for (int32_t i = 0; i < n; ++i)
    text += (i ? ", " : "") + std::to_string(m_mesh->m_nodeTags[key[i]]);
  return text;
}

// The sorted key of the face of a use (padded with -1); its number of vertices.
int32_t Builder::keyOfUse(uint32_t use, int32_t key[4]) const {
  const int64_t e = m_solids[use / 6];
  const MshElementRun &run = MshFile_runOf(m_mesh, e);
  return keyOfFace(KelvoElements_get(run.m_kind), cornersOf(run, e),
                   static_cast<int32_t>(use % 6), key);
}

// With exact keys (triangles of nodes below 2^21) the three nodes packed and mixed: equal hashes
// are equal faces.
uint64_t Builder::faceHash(const int32_t key[4], int32_t n) const {
  if (m_exactKeys)
    return mix64(static_cast<uint64_t>(key[0]) | static_cast<uint64_t>(key[1]) << 21 |
                 static_cast<uint64_t>(key[2]) << 42);
  return hashOf(key, n, 0);
}

// Writes the face uses of a volume element, solid s, into the partitions; a tetrahedron brings
// its sorted corners and the vertex each one is.
void Builder::addUses(Buckets *faces, int32_t writer, uint32_t s, int32_t kind,
                      const int32_t *nodes, const int32_t *sorted, const int32_t *vertex) const {
  const uint32_t use = s * 6;
  if (kind == KELVO_TETRA) { // the usual case: the sorted corners give every face's key
    uint64_t hashes[4];
    if (m_exactKeys) { // each face is the corners without one: three packed 21-bit node indices
      const uint64_t a = static_cast<uint32_t>(sorted[0]), b = static_cast<uint32_t>(sorted[1]);
      const uint64_t c = static_cast<uint32_t>(sorted[2]), d = static_cast<uint32_t>(sorted[3]);
      hashes[m_faceWithout[vertex[0]]] = mix64(b | c << 21 | d << 42);
      hashes[m_faceWithout[vertex[1]]] = mix64(a | c << 21 | d << 42);
      hashes[m_faceWithout[vertex[2]]] = mix64(a | b << 21 | d << 42);
      hashes[m_faceWithout[vertex[3]]] = mix64(a | b << 21 | c << 42);
    } else {
      for (int32_t j = 0; j < 4; ++j) {
        int32_t key[4] = {-1, -1, -1, -1};
        for (int32_t i = 0, k = 0; i < 4; ++i)
          if (i != j)
            key[k++] = sorted[i];
        hashes[m_faceWithout[vertex[j]]] = faceHash(key, 3);
      }
    }
    uint32_t tags[4] = {0, 0, 0, 0};
    if (m_tagged)
      tags[m_faceWithout[vertex[0]]] = twinTag(sorted[0]);
    for (int32_t f = 0; f < 4; ++f) // in their order, as within a partition uses are
      faces->add(writer, hashes[f], (use + static_cast<uint32_t>(f)) | tags[f]);
    return;
  }
  const KelvoElementType *type = KelvoElements_get(kind);
  for (int32_t f = 0; f < type->m_noOfFaces; ++f) {
    int32_t key[4];
    const int32_t n = keyOfFace(type, nodes, f, key);
    faces->add(writer, faceHash(key, n), use + static_cast<uint32_t>(f));
  }
}

// Matches the faces of the volume elements by their vertex sets, and finds the face of each
// boundary element. The uses (and the boundary elements' keys) are written into partitions by
// their hashes and each partition is matched in the cache, its uses in their order. Only the
// faces that may bound a surface are kept, in the order of their first uses: the others (most of
// them, inside one volume) play no further part. Trusting (m_tagged), MATCH_AGAIN when what was
// met may come of a duplicate element.
Builder::Matched Builder::matchFaces() {
  if (!Buckets::fits(6 * static_cast<uint64_t>(m_solids.size()))) {
    *m_error = "The mesh is too large for the intermediate mesh file.";
    return MATCH_FAILED;
  }
  if (!m_usesWritten)
    writeUses();
  Buckets queries;
  boundaryKeys(&queries);
  std::vector<MatchPart> parts = matchPartitions(queries);
  m_uses.release();
  queries.release();
  return settleMatching(parts);
}

// Writes the face uses of the kept solids, when keepSolids could not.
void Builder::writeUses() {
  uint64_t uses = 0;
  for (int32_t e : m_solids)
    uses += static_cast<uint64_t>(KelvoElements_get(kindOf(e))->m_noOfFaces);
  m_uses.init(static_cast<size_t>(uses), static_cast<size_t>(g_partitionSize));
  for (size_t s = 0; s < m_solids.size(); ++s) {
    const int64_t e = m_solids[s];
    const MshElementRun &run = MshFile_runOf(m_mesh, e);
    const int32_t kind = run.m_kind;
    const int32_t *nodes = cornersOf(run, e);
    int32_t sorted[4], vertex[4];
    if (kind == KELVO_TETRA)
      sortTetrahedron(nodes, sorted, vertex);
    addUses(&m_uses, 0, static_cast<uint32_t>(s), kind, nodes, sorted, vertex);
  }
  m_uses.finish(0);
}

// The boundary elements, and their keys in partitions as the uses' are, each by its index among
// them.
void Builder::boundaryKeys(Buckets *queries) {
  forRuns(m_mesh, 2, 0, SIZE_MAX, [&](size_t first, size_t end, const MshElementRun &) {
    for (size_t e = first; e < end; ++e)
      m_boundaryElements.push_back(static_cast<uint32_t>(e));
    return true;
  });
  queries->init(m_boundaryElements.size(), 0, m_uses.m_bits);
  m_boundaryFirst.assign(m_boundaryElements.size(), kNoUse);
  for (uint32_t q = 0; q < m_boundaryElements.size(); ++q) {
    int32_t key[4];
    const int32_t n = keyOfBoundary(q, key);
    if (!m_exactKeys || n == 3) // else it is no face of a tetrahedron
      queries->add(0, faceHash(key, n), q);
  }
  queries->finish(0);
}

// Matches the partitions on the threads, each thread taking the next partition left.
std::vector<Builder::MatchPart> Builder::matchPartitions(const Buckets &queries) {
  const size_t all = m_uses.partitions();
  const int32_t threads =
      static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(m_threads), all));
  std::vector<MatchPart> parts(static_cast<size_t>(threads));
  const uint32_t largest = m_uses.largest();
  std::atomic<size_t> next{0};
  std::atomic<bool> again{false}; // trusting, a face met a third time or a duplicate: no need
                                  // to go on
  KelvoThreads_run(threads, [&](int32_t part, int32_t) {
    MatchPart &own = parts[part];
    PartitionTable table;
    table.reserve(largest);
    own.m_taken.resize(largest);
    for (size_t p; !again.load(std::memory_order_relaxed) && (p = next.fetch_add(1)) < all;) {
      if (m_exactKeys)
        matchPartition<true>(p, queries, table, own);
      else
        matchPartition<false>(p, queries, table, own);
      if (m_tagged && (own.m_failUse != kNoUse || own.m_duplicate))
        again = true;
    }
  });
  return parts;
}

// Matches the uses of partition p in their order, then finds the boundary elements' faces and
// keeps the faces that may bound a surface. A face met a third time ends the partition (its
// later uses cannot come first), and once one has been met, only such faces are looked for.
// EXACT: equal hashes are equal faces.
template <bool EXACT>
void Builder::matchPartition(size_t p, const Buckets &queries, PartitionTable &table,
                             MatchPart &own) {
  const Buckets &faces = m_uses;
  const uint32_t mask = faces.m_idMask;
  auto sameFace = [this](uint32_t use, uint32_t other) {
    int32_t mine[4], theirs[4];
    keyOfUse(use, mine);
    keyOfUse(other, theirs);
    return std::equal(mine, mine + 4, theirs);
  };
  table.clear(faces.count(p));
  uint32_t *taken = own.m_taken.data();
  const bool complete = faces.forEachRun(p, [&](uint32_t from, uint32_t to) {
    for (uint32_t at = from; at < to; ++at) {
      if (at + 8 < to) // the slot of a later use, fetched meanwhile
        table.prefetch(faces.hash(at + 8));
      const uint64_t hash = faces.hash(at);
      const uint32_t raw = faces.rawId(at), use = raw & mask;
      PartitionTable::Slot *slot = table.find(
          hash, [&](uint32_t first) { return EXACT || sameFace(use, first & mask); });
      const bool vacant = slot->m_second == PartitionTable::VACANT;
      if (!vacant && slot->m_second != kNoUse) {
        if (use < own.m_failUse) {
          own.m_failUse = use;
          own.m_failFirst = slot->m_first & mask;
          own.m_failSecond = slot->m_second;
        }
        return false;
      }
      if (!vacant && twins(slot->m_first, raw) && sameVertexSets(slot->m_first & mask, use)) {
        own.m_duplicate = true;
        return false;
      }
      // Taken or matched alike (the two are about as likely), without a branch on which.
      *taken = static_cast<uint32_t>(slot - table.m_slots.data());
      taken += vacant;
      slot->m_hash = hash;
      slot->m_first = vacant ? raw : slot->m_first;
      slot->m_second = vacant ? kNoUse : use;
    }
    return true;
  });
  if (!complete || own.m_failUse != kNoUse)
    return;
  queries.forEach(p, [&](uint32_t at) {
    const uint32_t q = queries.id(at);
    const PartitionTable::Slot *slot = table.find(queries.hash(at), [&](uint32_t first) {
      if (EXACT)
        return true;
      int32_t mine[4], theirs[4];
      keyOfBoundary(q, mine);
      keyOfUse(first & mask, theirs);
      return std::equal(mine, mine + 4, theirs);
    });
    if (slot->m_second != PartitionTable::VACANT) {
      m_boundaryFirst[q] = slot->m_first & mask;
      if (slot->m_second != kNoUse)
        own.m_named.push_back(static_cast<uint32_t>(slot - table.m_slots.data()));
    }
    return true;
  });
  keepFaces(table, static_cast<size_t>(taken - own.m_taken.data()), own);
}

// Keeps the faces of a matched partition (the first `faces` slots of own.m_taken) that may bound
// a surface: those met once, those between two volumes and then the others met twice that a
// boundary element names (a baffle). Their order here does not matter (settleMatching sorts).
void Builder::keepFaces(PartitionTable &table, size_t faces, MatchPart &own) const {
  const uint32_t mask = m_uses.m_idMask;
  const bool severalVolumes = m_model->m_volumes.size() > 1;
  auto between = [&](const PartitionTable::Slot &slot) {
    return severalVolumes && volumeOfUse(slot.m_first & mask) != volumeOfUse(slot.m_second);
  };
  for (size_t i = 0; i < faces; ++i) {
    const PartitionTable::Slot &slot = table.m_slots[own.m_taken[i]];
    if (slot.m_second == kNoUse)
      own.m_faces.push_back({{slot.m_first & mask, 0}, -1, 1, 0});
    else if (severalVolumes && between(slot))
      own.m_faces.push_back({{slot.m_first & mask, slot.m_second}, -1, 2, 0});
  }
  std::vector<uint32_t> &named = own.m_named;
  std::sort(named.begin(), named.end());
  named.erase(std::unique(named.begin(), named.end()), named.end());
  for (uint32_t i : named) {
    const PartitionTable::Slot &slot = table.m_slots[i];
    if (!between(slot))
      own.m_faces.push_back({{slot.m_first & mask, slot.m_second}, -1, 2, 0});
  }
  named.clear();
}

// Puts the parts together. The face met a third time first fails the import; trusting, that
// and a duplicate element (two of one vertex set) start it all over instead. Else the faces go
// in the order of their first uses.
Builder::Matched Builder::settleMatching(const std::vector<MatchPart> &parts) {
  const MatchPart *failed = &parts[0];
  for (const MatchPart &part : parts)
    failed = part.m_failUse < failed->m_failUse ? &part : failed;
  if (failed->m_failUse != kNoUse) {
    if (m_tagged)
      return MATCH_AGAIN;
    int32_t key[4];
    const int32_t n = keyOfUse(failed->m_failUse, key);
    auto tag = [this](uint32_t use) {
      return std::to_string(m_mesh->m_elementTags[m_solids[use / 6]]);
    };
    *m_error = "The face with the nodes " + nodeList(key, n) +
               " is shared by more than two elements (" + tag(failed->m_failFirst) + ", " +
               tag(failed->m_failSecond) + " and " + tag(failed->m_failUse) + ").";
    return MATCH_FAILED;
  }
  for (const MatchPart &part : parts)
    if (part.m_duplicate)
      return MATCH_AGAIN;
  orderFaces(parts);
  return MATCHED;
}

// Puts the kept faces in the order of their first uses, and gives each boundary element the place
// of its face among them (all named faces are kept). A face's place is the number of kept faces
// of smaller first uses, counted in a bit set over the uses: no sort.
void Builder::orderFaces(const std::vector<MatchPart> &parts) {
  const size_t words = (6 * m_solids.size() + 63) / 64;
  std::vector<uint64_t> kept(words, 0);
  size_t faces = 0;
  for (const MatchPart &part : parts) {
    for (const Face &face : part.m_faces)
      kept[face.m_use[0] >> 6] |= uint64_t(1) << (face.m_use[0] & 63);
    faces += part.m_faces.size();
  }
  std::vector<uint32_t> before(words); // the kept faces in the words before
  uint32_t count = 0;
  for (size_t w = 0; w < words; ++w) {
    before[w] = count;
    count += static_cast<uint32_t>(__builtin_popcountll(kept[w]));
  }
  auto place = [&](uint32_t use) {
    const uint64_t below = kept[use >> 6] & ((uint64_t(1) << (use & 63)) - 1);
    return before[use >> 6] + static_cast<uint32_t>(__builtin_popcountll(below));
  };
  m_faces.resize(faces);
  for (const MatchPart &part : parts)
    for (const Face &face : part.m_faces)
      m_faces[place(face.m_use[0])] = face;
  for (uint32_t &first : m_boundaryFirst)
    first = first == kNoUse ? kNoUse : place(first);
}

// Whether the elements of two uses have the same corners.
bool Builder::sameVertexSets(uint32_t use, uint32_t other) const {
  int32_t mine[8], theirs[8];
  const int32_t k = sortedCorners(m_solids[use / 6], mine);
  return sortedCorners(m_solids[other / 6], theirs) == k && std::equal(mine, mine + k, theirs);
}

// The sorted corners of a boundary element (padded with -1); their number.
int32_t Builder::keyOfBoundary(uint32_t q, int32_t key[4]) const {
  const int64_t e = m_boundaryElements[q];
  const MshElementRun &run = MshFile_runOf(m_mesh, e);
  const int32_t *nodes = cornersOf(run, e);
  const int32_t n = run.m_corners;
  std::fill(key, key + 4, -1);
  std::copy(nodes, nodes + n, key);
  sortSmall(key, n);
  return n;
}

// Gives the faces that boundary elements cover to the elements' surface groups, each face to the
// first element that names it.
void Builder::boundaryElements() {
  std::map<GroupKey, int32_t> groups;
  forRuns(m_mesh, 2, 0, SIZE_MAX, [&](size_t, size_t, const MshElementRun &run) {
    groups[groupOf(run)] = 0;
    return true;
  });
  int32_t next = 0;
  for (auto &entry : groups) {
    entry.second = next++;
    m_surfaceGroupNames.push_back(groupName(m_mesh, entry.first, 2));
    m_surfaceGroupKeys.push_back(entry.first);
  }
  std::vector<int64_t> &unmatched = m_groupUnmatched, &taken = m_groupTaken;
  unmatched.assign(groups.size(), 0);
  taken.assign(groups.size(), 0);
  std::vector<uint32_t> claims; // the boundary elements (by index among them) that gave a group
  size_t q = 0;
  forRuns(m_mesh, 2, 0, SIZE_MAX, [&](size_t first, size_t end, const MshElementRun &run) {
    const int32_t group = groups.at(groupOf(run));
    for (size_t e = first; e < end; ++e, ++q) {
      const uint32_t faceIndex = m_boundaryFirst[q];
      if (faceIndex == kNoUse) {
        ++unmatched[group];
        continue;
      }
      Face &face = m_faces[faceIndex];
      if (face.m_group == group)
        continue; // the same element twice
      if (face.m_group >= 0) {
        ++taken[group];
        continue;
      }
      face.m_group = group;
      claims.push_back(static_cast<uint32_t>(q));
    }
    return true;
  });
  KelvoThreads_run(KelvoThreads_for(claims.size()), [&](int32_t part, int32_t count) {
    orientFaces(claims, KelvoThreads_begin(claims.size(), part, count),
                KelvoThreads_begin(claims.size(), part + 1, count));
  });
  m_boundaryFirst = std::vector<uint32_t>();
  m_boundaryElements = std::vector<uint32_t>();
}

// For the faces of the boundary elements claims[from, to): the side whose outward walk around the
// face runs as the boundary element's does. The side-0 element of a face is anywhere in memory:
// its data is fetched some faces ahead, in steps.
void Builder::orientFaces(const std::vector<uint32_t> &claims, size_t from, size_t to) {
  auto ahead = [&](size_t i, size_t k) -> const Face * {
    return i + k < to ? &m_faces[m_boundaryFirst[claims[i + k]]] : nullptr;
  };
  for (size_t i = from; i < to; ++i) {
    if (const Face *f = ahead(i, 16))
      __builtin_prefetch(f);
    if (const Face *f = ahead(i, 10))
      __builtin_prefetch(&m_solids[f->m_use[0] / 6]);
    if (const Face *f = ahead(i, 4))
      __builtin_prefetch(cornersOf(m_solids[f->m_use[0] / 6]));
    const uint32_t q = claims[i];
    const int32_t *nodes = cornersOf(m_boundaryElements[q]);
    Face &face = m_faces[m_boundaryFirst[q]];
    const int64_t e0 = m_solids[face.m_use[0] / 6];
    const int32_t f0 = static_cast<int32_t>(face.m_use[0] % 6);
    const MshElementRun &run0 = MshFile_runOf(m_mesh, e0);
    const KelvoElementType *t0 = KelvoElements_get(run0.m_kind);
    const int32_t *n0 = cornersOf(run0, e0);
    const int32_t nv = t0->m_faceSize[f0];
    int32_t at = 0;
    while (n0[t0->m_faceVertices[f0][at]] != nodes[0])
      ++at;
    face.m_front = n0[t0->m_faceVertices[f0][(at + 1) % nv]] == nodes[1] ? 0 : 1;
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
  m_groupSurfaces.assign(tagged, {});
  m_groupComposite.assign(tagged, -1);
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
      setOf[setOfUse(use)] = 0;
    for (auto &s : setOf) {
      s.second = static_cast<int32_t>(m_model->m_faceSets.size());
      surface.m_faceSets.push_back(s.second);
      m_model->m_faceSets.push_back({s.first, {}, {}});
    }
    for (int64_t use : entry.second) {
      KelvoFaceSet &fs = m_model->m_faceSets[setOf[setOfUse(use)]];
      fs.m_elements.push_back(indexOfUse(use));
      fs.m_faces.push_back(static_cast<int32_t>(use % 6));
    }
    m_model->m_volumes[volume].m_surfaces.push_back(
        static_cast<int32_t>(m_model->m_surfaces.size()));
    if (group < tagged && piecesOfGroup[group] > 1)
      components[group].push_back(static_cast<int32_t>(m_model->m_surfaces.size()));
    if (group < tagged)
      m_groupSurfaces[group].push_back(static_cast<int32_t>(m_model->m_surfaces.size()));
    m_model->m_surfaces.push_back(std::move(surface));
  }
  for (int32_t g = 0; g < tagged; ++g) {
    if (components[g].empty())
      continue;
    m_groupComposite[g] = static_cast<int32_t>(m_model->m_composites.size());
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

// Says what became of a group that the file leaves without a name, and of boundary elements the
// model could not use, once the names are final.
void Builder::reportGroups() {
  std::vector<std::string> defaults; // the surfaces of faces that no group names
  for (size_t s = 0; s < m_model->m_surfaces.size(); ++s)
    if (m_model->m_surfaces[s].m_partner < 0 && !isGroupSurface(static_cast<int32_t>(s)))
      defaults.push_back(quotedList({m_model->m_surfaces[s].m_name}));
  for (size_t g = 0; g < m_volumeGroupKeys.size(); ++g)
    if (m_groupVolume[g] >= 0)
      reportUnnamed(m_volumeGroupKeys[g], 3,
                    "its elements form the volume " +
                        quotedList({m_model->m_volumes[m_groupVolume[g]].m_name}));
  for (size_t g = 0; g < m_surfaceGroupKeys.size(); ++g) {
    std::vector<std::string> names;
    for (int32_t s : m_groupSurfaces[g])
      names.push_back(m_model->m_surfaces[s].m_name);
    std::string became;
    if (names.size() == 1)
      became = "its faces form the surface " + quotedList(names);
    else if (!names.empty())
      became = "its faces form the surfaces " + quotedList(names) +
               ", joined by the composite name " +
               quotedList({m_model->m_composites[m_groupComposite[g]].m_name});
    if (!became.empty())
      reportUnnamed(m_surfaceGroupKeys[g], 2, became);
    const std::string &group = m_surfaceGroupNames[g];
    const int64_t unmatched = m_groupUnmatched[g], taken = m_groupTaken[g];
    // Without a surface and with no face taken by another group, none of its elements matched.
    if (unmatched > 0 && taken == 0 && names.empty()) {
      m_model->m_warnings.push_back(
          "The surface group \"" + group + "\" bounds no volume: " +
          (unmatched == 1 ? std::string("its one boundary element is not")
                          : "none of its " + std::to_string(unmatched) + " boundary elements is") +
          " a face of a volume element.\nNo surface was made of it; " +
          (defaults.empty()
               ? std::string("every outer face of the volumes belongs to another group.")
               : "the outer faces that no group names form " + joined(defaults) + "."));
    } else if (unmatched > 0) {
      m_model->m_warnings.push_back(plural(unmatched, "boundary element", "boundary elements") +
                                    " of \"" + group + "\" " + (unmatched == 1 ? "is" : "are") +
                                    " not a face of any volume element and " +
                                    (unmatched == 1 ? "was" : "were") + " ignored.");
    }
    if (taken > 0)
      m_model->m_warnings.push_back(plural(taken, "face", "faces") + " of \"" + group + "\" " +
                                    (taken == 1 ? "belongs" : "belong") +
                                    " to an earlier surface group as well and stayed there.");
  }
}

bool Builder::isGroupSurface(int32_t surface) const {
  for (const std::vector<int32_t> &made : m_groupSurfaces)
    if (std::find(made.begin(), made.end(), surface) != made.end())
      return true;
  return false;
}

// A physical group without a usable name in $PhysicalNames: the name it was given instead.
void Builder::reportUnnamed(const GroupKey &key, int32_t dimension, const std::string &became) {
  if (key.first != 0)
    return;
  const char *name = MshFile_physicalName(m_mesh, dimension, key.second);
  if (name != nullptr && !cleanName(name).empty())
    return;
  m_model->m_warnings.push_back(
      std::string("The physical ") + (dimension == 3 ? "volume" : "surface") + " group " +
      std::to_string(key.second) + (name == nullptr ? " has no entry" : " has a blank name") +
      " in $PhysicalNames: " + became + ".");
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
  for (const MshElementRun &run : mesh->m_elementRuns) {
    if (run.m_physical != 0)
      usedPhysicals.insert(run.m_physical);
    else if (dimensionOf(run.m_kind) == 3)
      untaggedVolumeEntities.insert(run.m_entity);
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
  for (const std::string &section : mesh->m_skippedSections)
    if (section == "Periodic")
      model->m_warnings.push_back(
          "The section $Periodic was skipped: the periodic links it makes between nodes "
          "and between surfaces were not imported, and the surfaces it pairs were imported "
          "as surfaces of their own.");
  if (mesh->m_multiplePhysicals > 0)
    model->m_warnings.push_back(
        plural(mesh->m_multiplePhysicals, "element lies", "elements lie") +
        " in entities of more than one physical group; each was given to the first.");
}

} // namespace

KelvoModel *KelvoModel_new() { return new KelvoModel(); }

void KelvoModel_delete(KelvoModel *model) { delete model; }

int64_t KelvoModel_setPartitionSize(int64_t uses) {
  const int64_t before = g_partitionSize;
  g_partitionSize = uses > 0 ? uses : 1;
  return before;
}

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
