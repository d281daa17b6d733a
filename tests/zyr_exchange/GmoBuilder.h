#ifndef GMO_BUILDER_H
#define GMO_BUILDER_H
// Intermediate mesh files for the import tests, written through the store's DefFile writers.
// Element sets are given in the library's own vertex order and written in the solver's; face
// sets name native local faces and are written with the solver's labels.
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

struct GmoBuilder {
  struct ElementSet {
    int32_t code; // the file's type code
    std::vector<int32_t> vertices; // native order
  };
  struct FaceSet {
    int32_t set;
    std::vector<int32_t> elements;
    std::vector<int32_t> nativeFaces;
  };

  std::vector<std::string> surfaces, volumes;
  std::vector<int32_t> partners; // per surface
  std::vector<int32_t> contacts;
  std::vector<std::vector<int32_t>> shells; // per volume
  std::vector<int32_t> surfacePriorities, volumePriorities;
  std::vector<std::string> atlas;
  std::vector<std::pair<std::string, std::vector<std::string>>> composites;
  std::vector<double> coordinates;
  std::string units;
  std::vector<ElementSet> elementSets;
  std::vector<FaceSet> faceSets;
  std::vector<std::vector<int32_t>> volumeElementSets, surfaceFaceSets;

  std::set<std::string> omit;                              // data sets (by "what@where") not written
  std::map<std::string, std::vector<int32_t>> replacements; // integer data sets written as given

  // Writes the file (replacing any); throws std::runtime_error when a write fails.
  void write(const std::string &path) const;

  // Two hexahedral blocks side by side sharing the face x = 1: volumes "Left" and "Right",
  // surfaces "Left walls" (five faces), "Left side" and "Right side" (the shared face, partnered),
  // "Right walls" (five faces, glued to "Left walls") and "Spare" (no faces, on the left).
  // Priorities 3 on "Right", 7 on "Left side"; composites "Sides" = Left side + Right side and
  // "Everything" = Left + Right.
  static GmoBuilder twoBlocks();
};

// The native local face of a type whose vertices are the given element vertices, or -1.
int32_t nativeFaceOf(int32_t type, const int32_t *elementVertices, std::vector<int32_t> faceVertices);

#endif
