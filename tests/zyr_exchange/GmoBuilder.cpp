#include "GmoBuilder.h"

#include "DefFile.h"
#include "ElementTopology.h"
#include "GmoContents.h"

#include <unistd.h>

#include <algorithm>
#include <stdexcept>

namespace {

std::vector<int32_t> indexPointer(const std::vector<std::vector<int32_t>> &groups, std::vector<int32_t> *list) {
  std::vector<int32_t> pointer(1, 0);
  for (const auto &group : groups) {
    list->insert(list->end(), group.begin(), group.end());
    pointer.push_back(static_cast<int32_t>(list->size()));
  }
  return pointer;
}

struct Writer {
  DefFile *file;
  const GmoBuilder &b;
  bool skip(const std::string &what, const std::string &where) const { return b.omit.count(what + "@" + where) > 0; }
  void check(int status, const std::string &what) const {
    if (!status)
      throw std::runtime_error("cannot write " + what);
  }
  void ints(const std::string &what, const std::string &where, std::vector<int32_t> values) const {
    if (skip(what, where))
      return;
    auto replaced = b.replacements.find(what + "@" + where);
    if (replaced != b.replacements.end())
      values = replaced->second;
    check(DefFile_writeIntArray(file, what.c_str(), where.c_str(), 0, values.data(),
                                static_cast<int32_t>(values.size()), 0),
          what);
  }
  void integer(const std::string &what, const std::string &where, int32_t value) const {
    if (skip(what, where))
      return;
    auto replaced = b.replacements.find(what + "@" + where);
    if (replaced != b.replacements.end()) {
      ints(what, where, replaced->second);
      return;
    }
    check(DefFile_writeInt(file, what.c_str(), where.c_str(), 0, value), what);
  }
  void strings(const std::string &what, const std::vector<std::string> &values) const {
    if (skip(what, "EVERY"))
      return;
    std::vector<const char *> texts;
    for (const std::string &value : values)
      texts.push_back(value.c_str());
    check(DefFile_writeStringArray(file, what.c_str(), "EVERY", 0, texts.data(), static_cast<int32_t>(texts.size())),
          what);
  }
};

} // namespace

int32_t nativeFaceOf(int32_t type, const int32_t *elementVertices, std::vector<int32_t> faceVertices) {
  int32_t count = 0;
  const int32_t *counts = nullptr, *lists = nullptr;
  ElementTopology_getFaceVertices(type, 0, &count, &counts, &lists);
  std::sort(faceVertices.begin(), faceVertices.end());
  for (int32_t f = 0; f < count; ++f) {
    std::vector<int32_t> face;
    for (int32_t k = 0; k < counts[f]; ++k)
      face.push_back(elementVertices[lists[4 * f + k]]);
    std::sort(face.begin(), face.end());
    if (face == faceVertices)
      return f;
  }
  return -1;
}

void GmoBuilder::write(const std::string &path) const {
  unlink(path.c_str());
  unlink((path + ".lck").c_str());
  DefFile *file = DefFile_new(path.c_str());
  if (file == nullptr)
    throw std::runtime_error("cannot create " + path);
  Writer w{file, *this};
  w.integer("ZYR/NSF", "EVERY", static_cast<int32_t>(surfaces.size()));
  w.integer("ZYR/NVL", "EVERY", static_cast<int32_t>(volumes.size()));
  w.strings("ZYR/CLBSF", surfaces);
  w.strings("ZYR/CLBVL", volumes);
  if (!surfacePriorities.empty())
    w.ints("ZYR/KPRSF", "EVERY", surfacePriorities);
  if (!volumePriorities.empty())
    w.ints("ZYR/KPRVL", "EVERY", volumePriorities);
  w.ints("ZYR/KSFSF", "EVERY", partners);
  if (!contacts.empty())
    w.ints("ZYR/CONTACT", "EVERY", contacts);
  std::vector<int32_t> shellList;
  const std::vector<int32_t> shellPointer = indexPointer(shells, &shellList);
  w.ints("ZYR/IPSFVL", "EVERY", shellPointer);
  w.ints("ZYR/KSFVL", "EVERY", shellList);
  if (!atlas.empty())
    w.strings("ZYR/ATLAS/PRIMARY", atlas);
  if (!composites.empty()) {
    std::vector<std::string> names, components;
    std::vector<std::vector<int32_t>> groups;
    for (const auto &composite : composites) {
      names.push_back(composite.first);
      groups.emplace_back();
      for (const std::string &component : composite.second) {
        groups.back().push_back(0);
        components.push_back(component);
      }
    }
    std::vector<int32_t> ignored;
    w.integer("ZYR/NCN", "EVERY", static_cast<int32_t>(names.size()));
    w.strings("ZYR/CLBCN", names);
    w.strings("ZYR/CNMCN", components);
    w.ints("ZYR/IPNMCN", "EVERY", indexPointer(groups, &ignored));
  }

  if (!w.skip("ZYR/CRDVX", "EVERY"))
    w.check(DefFile_writeDoubleArray(file, "ZYR/CRDVX", "EVERY", 0, coordinates.data(),
                                     static_cast<int32_t>(coordinates.size()), 0),
            "ZYR/CRDVX");
  if (!units.empty() && !w.skip("ZYR/UNITS", "EVERY"))
    w.check(DefFile_writeString(file, "ZYR/UNITS", "EVERY", 0, units.c_str()), "ZYR/UNITS");
  w.integer("ZYR/NES", "EVERY", static_cast<int32_t>(elementSets.size()));
  for (size_t i = 0; i < elementSets.size(); ++i) {
    const std::string where = "ES" + std::to_string(i);
    const ElementSet &set = elementSets[i];
    const int32_t type = GmoContents_elementType(set.code);
    std::vector<int32_t> solver(set.vertices.size());
    if (type >= 0) {
      const int32_t n = ElementTopology_getNoOfVertices(type);
      const int32_t *labels = ElementTopology_getVertexNumbering(type, zyrConvention_WEZ5, 0);
      const int32_t shift = ElementTopology_isVertexNumberingShifted(type, zyrConvention_WEZ5) ? 1 : 0;
      for (size_t e = 0; e + static_cast<size_t>(n) <= set.vertices.size(); e += static_cast<size_t>(n))
        for (int32_t k = 0; k < n; ++k)
          solver[e + static_cast<size_t>(labels[k] - shift)] = set.vertices[e + static_cast<size_t>(k)];
    } else {
      solver = set.vertices;
    }
    w.integer("ZYR/TYPE", where, set.code);
    w.ints("ZYR/KVXPE", where, solver);
  }
  w.integer("ZYR/NFS", "EVERY", static_cast<int32_t>(faceSets.size()));
  for (size_t j = 0; j < faceSets.size(); ++j) {
    const std::string where = "FS" + std::to_string(j);
    const FaceSet &set = faceSets[j];
    const bool known = set.set >= 0 && static_cast<size_t>(set.set) < elementSets.size();
    const int32_t type = known ? GmoContents_elementType(elementSets[static_cast<size_t>(set.set)].code) : -1;
    const int32_t *labels = type >= 0 ? ElementTopology_getFaceNumbering(type, zyrConvention_WEZ5, 0) : nullptr;
    std::vector<int32_t> faces;
    for (int32_t f : set.nativeFaces)
      faces.push_back(labels != nullptr && f >= 0 ? labels[f] : f);
    w.ints("ZYR/KPEPF", where, set.elements);
    w.ints("ZYR/KRFPF", where, faces);
    w.integer("ZYR/ES", where, set.set);
  }
  std::vector<int32_t> list;
  w.integer("ZYR/NVL", "EVERY", static_cast<int32_t>(volumes.size()));
  const std::vector<int32_t> esPointer = indexPointer(volumeElementSets, &list);
  w.ints("ZYR/KESVL", "EVERY", list);
  w.ints("ZYR/IPESVL", "EVERY", esPointer);
  list.clear();
  const std::vector<int32_t> fsPointer = indexPointer(surfaceFaceSets, &list);
  w.ints("ZYR/KFSSF", "EVERY", list);
  w.ints("ZYR/IPFSSF", "EVERY", fsPointer);
  DefFile_delete(file);
}

GmoBuilder GmoBuilder::twoBlocks() {
  GmoBuilder b;
  // Vertices: x in {0, 1, 2}, y and z in {0, 1}; vertex (i, j, k) = i + 3 (j + 2 k).
  for (int k = 0; k < 2; ++k)
    for (int j = 0; j < 2; ++j)
      for (int i = 0; i < 3; ++i)
        b.coordinates.insert(b.coordinates.end(), {double(i), double(j), double(k)});
  auto v = [](int i, int j, int k) { return i + 3 * (j + 2 * k); };
  auto hex = [&](int i) {
    return std::vector<int32_t>{v(i, 0, 0), v(i + 1, 0, 0), v(i + 1, 1, 0), v(i, 1, 0),
                                v(i, 0, 1), v(i + 1, 0, 1), v(i + 1, 1, 1), v(i, 1, 1)};
  };
  b.units = "m";
  b.elementSets = {{6, hex(0)}, {6, hex(1)}};
  b.volumes = {"Left", "Right"};
  b.surfaces = {"Left walls", "Left side", "Right side", "Right walls", "Spare"};
  b.partners = {-1, 2, 1, -1, -1};
  b.contacts = {0, 3};
  b.shells = {{0, 1, 4}, {2, 3}};
  b.volumePriorities = {0, 3};
  b.surfacePriorities = {0, 7, 0, 0, 0};
  b.composites = {{"Sides", {"Left side", "Right side"}}, {"Everything", {"Left", "Right"}}};
  const std::vector<int32_t> shared = {v(1, 0, 0), v(1, 1, 0), v(1, 0, 1), v(1, 1, 1)};
  for (int block = 0; block < 2; ++block) {
    const std::vector<int32_t> element = hex(block);
    const int32_t sharedFace = nativeFaceOf(ZYR_ELEMENT_HEXA_8, element.data(), shared);
    FaceSet walls{block, {}, {}}, side{block, {0}, {sharedFace}};
    for (int32_t f = 0; f < 6; ++f)
      if (f != sharedFace) {
        walls.elements.push_back(0);
        walls.nativeFaces.push_back(f);
      }
    if (block == 0) {
      b.faceSets.push_back(walls); // FS0
      b.faceSets.push_back(side);  // FS1
    } else {
      b.faceSets.push_back(side);  // FS2
      b.faceSets.push_back(walls); // FS3
    }
  }
  b.volumeElementSets = {{0}, {1}};
  b.surfaceFaceSets = {{0}, {1}, {2}, {3}, {}};
  return b;
}
