// Intermediate mesh files mutated from a valid one: each input is a list of edits (which integer
// data set, which entry, what value, or a change of its length) applied to two hexahedral blocks
// before the file is written and read. Whatever the edits, reading answers 1 or 0, and what it
// accepts can be walked by every index it holds without leaving its arrays.
#include "DefFile.h"
#include "IntSetEdits.h"
#include "ElementTopology.h"
#include "GmoContents.h"
#include "zyrErrorManager.h"
#include "zyrTestSupport.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using zyrfuzz::IntSet;

const std::string &scratchName() {
  static const zyrtest::ScratchDir dir("zyr-gmo");
  static const std::string name = dir.file("fuzz.gmo");
  return name;
}

// Two hexahedra sharing a face; surfaces: 0 left walls, 1 left side, 2 right side, 3 right walls.
std::vector<IntSet> baseline() {
  auto v = [](int i, int j, int k) { return i + 3 * (j + 2 * k); };
  std::vector<int32_t> lists[2];
  std::vector<int32_t> walls[2], side(2);
  for (int b = 0; b < 2; ++b) {
    const int32_t native[8] = {v(b, 0, 0), v(b + 1, 0, 0), v(b + 1, 1, 0), v(b, 1, 0),
                               v(b, 0, 1), v(b + 1, 0, 1), v(b + 1, 1, 1), v(b, 1, 1)};
    const int32_t *labels = ElementTopology_getVertexNumbering(ZYR_ELEMENT_HEXA_8, zyrConvention_WEZ5, 0);
    lists[b].resize(8);
    for (int k = 0; k < 8; ++k)
      lists[b][static_cast<size_t>(labels[k] - 1)] = native[k];
    for (int32_t f = 1; f <= 6; ++f)
      walls[b].push_back(f);
  }
  // Which label is the shared face does not matter to the reader's checks.
  side[0] = walls[0].back();
  walls[0].pop_back();
  side[1] = walls[1].front();
  walls[1].erase(walls[1].begin());
  return {{"ZYR/NSF", "EVERY", {4}},
          {"ZYR/NVL", "EVERY", {2}},
          {"ZYR/KSFSF", "EVERY", {-1, 2, 1, -1}},
          {"ZYR/CONTACT", "EVERY", {0, 3}},
          {"ZYR/IPSFVL", "EVERY", {0, 2, 4}},
          {"ZYR/KSFVL", "EVERY", {0, 1, 2, 3}},
          {"ZYR/KPRSF", "EVERY", {0, 1, 0, 0}},
          {"ZYR/NCN", "EVERY", {1}},
          {"ZYR/IPNMCN", "EVERY", {0, 2}},
          {"ZYR/NES", "EVERY", {2}},
          {"ZYR/TYPE", "ES0", {6}},
          {"ZYR/KVXPE", "ES0", lists[0]},
          {"ZYR/TYPE", "ES1", {6}},
          {"ZYR/KVXPE", "ES1", lists[1]},
          {"ZYR/NFS", "EVERY", {4}},
          {"ZYR/KPEPF", "FS0", {0, 0, 0, 0, 0}},
          {"ZYR/KRFPF", "FS0", walls[0]},
          {"ZYR/ES", "FS0", {0}},
          {"ZYR/KPEPF", "FS1", {0}},
          {"ZYR/KRFPF", "FS1", {side[0]}},
          {"ZYR/ES", "FS1", {0}},
          {"ZYR/KPEPF", "FS2", {0}},
          {"ZYR/KRFPF", "FS2", {side[1]}},
          {"ZYR/ES", "FS2", {1}},
          {"ZYR/KPEPF", "FS3", {0, 0, 0, 0, 0}},
          {"ZYR/KRFPF", "FS3", walls[1]},
          {"ZYR/ES", "FS3", {1}},
          {"ZYR/KESVL", "EVERY", {0, 1}},
          {"ZYR/IPESVL", "EVERY", {0, 1, 2}},
          {"ZYR/KFSSF", "EVERY", {0, 1, 2, 3}},
          {"ZYR/IPFSSF", "EVERY", {0, 1, 2, 3, 4}}};
}

// Touches every entry that an accepted file's indices reach, as the import does.
int64_t walk(const GmoContents *c) {
  int64_t sum = 0;
  for (int32_t v = 0; v < c->m_nvl; ++v)
    for (int32_t i = c->m_shellPointer[v]; i < c->m_shellPointer[v + 1]; ++i)
      sum += c->m_boundedVolume[c->m_shellSurfaces[i]] + c->m_partners[c->m_shellSurfaces[i]];
  for (int32_t i = 0; i < 2 * c->m_noOfContacts; ++i)
    sum += c->m_partners[c->m_contacts[i]];
  for (int32_t i = 0; i < c->m_ncn; ++i)
    for (int32_t j = c->m_componentPointer[i]; j < c->m_componentPointer[i + 1]; ++j)
      sum += static_cast<int64_t>(strlen(c->m_componentNames[j]));
  for (int32_t s = 0; s < c->m_nes; ++s)
    for (int32_t k = 0; k < c->m_elementLengths[s]; ++k)
      sum += static_cast<int64_t>(c->m_coordinates[3 * static_cast<int64_t>(c->m_elementVertices[s][k])]);
  for (int32_t f = 0; f < c->m_nfs; ++f) {
    const int32_t set = c->m_faceElementSets[f];
    const int32_t nv = ElementTopology_getNoOfVertices(GmoContents_elementType(c->m_elementTypes[set]));
    for (int32_t k = 0; k < c->m_faceCounts[f]; ++k)
      sum += c->m_elementVertices[set][static_cast<int64_t>(c->m_faceElements[f][k]) * nv] + c->m_localFaces[f][k];
  }
  for (int32_t v = 0; v < c->m_nvl; ++v)
    for (int32_t i = c->m_elementSetPointer[v]; i < c->m_elementSetPointer[v + 1]; ++i)
      sum += c->m_elementTypes[c->m_volumeElementSets[i]];
  for (int32_t s = 0; s < c->m_nsf; ++s)
    for (int32_t i = c->m_faceSetPointer[s]; i < c->m_faceSetPointer[s + 1]; ++i)
      sum += c->m_faceCounts[c->m_surfaceFaceSets[i]];
  return sum;
}

// Whether the last input's file was accepted.
bool g_accepted = false;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static bool ready = false;
  if (!ready) {
    ready = true;
    // The unedited file must be accepted, or every input would only be refused.
    LLVMFuzzerTestOneInput(data, 0);
    if (!g_accepted)
      zyrfuzz::setUpFailed("gmo_contents", "the unedited intermediate mesh file is refused");
  }
  std::vector<IntSet> sets = baseline();
  zyrfuzz::editIntSets(sets, data, size);

  const std::string &name = scratchName();
  unlink(name.c_str());
  DefFile *file = DefFile_new(name.c_str());
  if (file == nullptr)
    zyrfuzz::setUpFailed("gmo_contents", "the intermediate mesh file cannot be written");
  zyrfuzz::writeIntSets(file, sets, "ZYR/N");
  const char *surfaces[] = {"a", "b", "c", "d"}, *volumes[] = {"A", "B"}, *components[] = {"a", "B"};
  const char *composites[] = {"ab"};
  DefFile_writeStringArray(file, "ZYR/CLBSF", "EVERY", 0, surfaces, 4);
  DefFile_writeStringArray(file, "ZYR/CLBVL", "EVERY", 0, volumes, 2);
  DefFile_writeStringArray(file, "ZYR/CLBCN", "EVERY", 0, composites, 1);
  DefFile_writeStringArray(file, "ZYR/CNMCN", "EVERY", 0, components, 2);
  std::vector<double> xyz;
  for (int k = 0; k < 2; ++k)
    for (int j = 0; j < 2; ++j)
      for (int i = 0; i < 3; ++i)
        xyz.insert(xyz.end(), {double(i), double(j), double(k)});
  DefFile_writeDoubleArray(file, "ZYR/CRDVX", "EVERY", 0, xyz.data(), static_cast<int32_t>(xyz.size()), 0);

  GmoContents *contents = GmoContents_new();
  g_accepted = GmoContents_readTopology(contents, file) && GmoContents_readMesh(contents, file);
  if (g_accepted) {
    volatile int64_t sum = walk(contents);
    static_cast<void>(sum);
  }
  GmoContents_delete(contents);
  DefFile_delete(file);
  zyrErrorManager_clearErrors(zyrErrorManager_get());
  return 0;
}
