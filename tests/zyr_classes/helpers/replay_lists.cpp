// replay_lists PADDING DATABASE [SESSION]
//
// Lays the heap out differently for each PADDING (0: as the process comes), plays the session
// file when one is named (as zyrplay plays it), then opens DATABASE through qiv::ZYRAPI and
// writes to the standard output every list the model's queries give: names of the model, regions
// of each location, neighbours of each region, displays and selected elements of each location
// (values given digested). It then copies the
// first assembly through ZYRAPI and lists everything again. Tests compare what two processes laid
// out differently write: nothing may depend on where objects happen to lie in memory.
//
// Exit status 0, 1 when the session left an error queued, 2 on wrong usage.
#include "Session.h"
#include "SessionFile.h"
#include "SessionPlayer.h"
#include "ZYRAPI.h"
#include "ZYRAffineTransform3D.h"
#include "ZYRSelection.h"
#include "zyrApplication.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

// Blocks of assorted sizes held for the life of the process, so that everything allocated later
// lands elsewhere than in a process that held none (or others).
std::vector<void *> g_padding;

void layOutHeap(int padding) {
  uint32_t x = 2654435761u * static_cast<uint32_t>(padding) + 12345u;
  for (int i = 0; i < 997 * padding; ++i) {
    x = x * 1664525u + 1013904223u;
    g_padding.push_back(std::malloc(8 + (x >> 12) % 1500));
  }
}

void releaseHeap() {
  for (void *block : g_padding)
    std::free(block);
  g_padding.clear();
}

int play(const char *path) {
  FILE *input = std::fopen(path, "r");
  if (input == nullptr) {
    std::fprintf(stderr, "replay_lists: cannot open %s\n", path);
    return 2;
  }
  SessionFile_suspend();
  Session *session = Session_new();
  Session_play(session, input);
  Session_delete(session);
  std::fclose(input);
  return Session_takeErrors(stderr);
}

void show(const std::string &title, const Names &names) {
  std::cout << title << ":";
  for (const std::string &name : names)
    std::cout << " [" << name << "]";
  std::cout << "\n";
}

// A query that may throw: its list, or what it threw.
void ask(const std::string &title, const std::function<void(Names &)> &query) {
  Names names;
  try {
    query(names);
    show(title, names);
  } catch (const qiv::Error &e) {
    std::cout << title << ": threw " << e.getText() << "\n";
  }
}

template <class T> uint64_t digest(const std::vector<T> &values, uint64_t h = 1469598103934665603ull) {
  const unsigned char *bytes = reinterpret_cast<const unsigned char *>(values.data());
  for (size_t i = 0; i < values.size() * sizeof(T); ++i)
    h = (h ^ bytes[i]) * 1099511628211ull;
  return h;
}

void listModel(qiv::ZYRAPI &api) {
  const Names assemblies = api.getAssemblyNames();
  const Names composites = api.getCompositeNames();
  Names surfaces, volumes;
  api.getPrimitive2DRegionsForModel(surfaces);
  api.getPrimitive3DRegionsForModel(volumes);
  show("assemblies", assemblies);
  show("composites", composites);
  show("surfaces", surfaces);
  show("volumes", volumes);
  Names locations = assemblies;
  locations.insert(locations.end(), composites.begin(), composites.end());
  locations.insert(locations.end(), volumes.begin(), volumes.end());
  locations.insert(locations.end(), surfaces.begin(), surfaces.end());
  for (const std::string &l : locations) {
    ask(l + " regions", [&](Names &n) { api.getPrimitiveRegionsForLocation(l, n, true); });
    ask(l + " surfaces", [&](Names &n) { api.getPrimitive2DRegionsForLocation(l, n, true); });
    ask(l + " volumes", [&](Names &n) { api.getPrimitive3DRegionsForLocation(l, n, true); });
    ask(l + " 2D composites", [&](Names &n) { api.get2dCompositesForLocation(l, n, true); });
    ask(l + " 3D composites", [&](Names &n) { api.get3dCompositesForLocation(l, n, true); });
    ask(l + " bound", [&](Names &n) { api.get2DBoundForLocation(l, n, true, true); });
    ask(l + " unpaired bound", [&](Names &n) { api.get2DBoundForLocation(l, n, true, false); });
    try {
      qiv::ZYRAPI::FacettedDisplay facets;
      qiv::ZYRAPI::WireframeDisplay wires;
      api.getFacettedDisplayForLocation(l, facets, true);
      api.getWireframeDisplayForLocation(l, 30.0, wires, true);
      std::cout << l << " displays: " << facets.nPoints << " " << facets.nTriangles << " " << facets.nQuads << " "
                << digest(facets.connectivity, digest(facets.points)) << " " << wires.nPoints << " " << wires.nLines
                << " " << digest(wires.lines, digest(wires.points)) << "\n";
    } catch (const qiv::Error &e) {
      std::cout << l << " displays: threw " << e.getText() << "\n";
    }
    // A selection holds the element meshes in the mesh's order; its values come in that order.
    try {
      qiv::ZYRSelection selection("location " + l);
      std::vector<double> values;
      selection.analyse("volume", values);
      std::cout << l << " selected volumes: " << values.size() << " " << digest(values) << "\n";
    } catch (const qiv::Error &e) {
      std::cout << l << " selected volumes: threw " << e.getText() << "\n";
    }
  }
  Names regions = volumes;
  regions.insert(regions.end(), surfaces.begin(), surfaces.end());
  for (const std::string &r : regions) {
    ask(r + " bounding", [&](Names &n) { api.getBoundingRegionsForRegion(r, n); });
    ask(r + " neighbours", [&](Names &n) { api.getNeighboursForRegion(r, n); });
    for (int type = 1; type <= 3; ++type)
      ask(r + " paired " + std::to_string(type), [&](Names &n) { api.getPairedRegionsForRegion(r, n, type); });
    ask(r + " bounded", [&](Names &n) {
      std::string bounded;
      api.getBoundedRegionForRegion(r, bounded);
      n.push_back(bounded);
    });
  }
  std::cout << "region map:\n" << api.getRegionMap() << "\n";
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: replay_lists PADDING DATABASE [SESSION]\n");
    return 2;
  }
  layOutHeap(std::atoi(argv[1]));
  int status = 0;
  if (argc == 4) {
    zyrApplication_initialise("replay_lists");
    status = play(argv[3]);
  }
  try {
    qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
    api.openDB(argv[2], true);
    listModel(api);
    const Names assemblies = api.getAssemblyNames();
    if (!assemblies.empty()) {
      qiv::ZYRAffineTransform3D step;
      step.translate(qiv::TripletBase<float>(0, 5, 0), "m");
      Names made;
      api.transformAssembly(assemblies[0], "", false, 1, step, false, made);
      show("copied", made);
      listModel(api);
    }
    api.removeCurZyr(argv[2]);
  } catch (const qiv::Error &e) {
    std::cout << "threw " << e.getText() << "\n";
    status = 1;
  }
  releaseHeap();
  return status;
}
