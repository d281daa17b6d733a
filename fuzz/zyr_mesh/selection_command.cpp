// Arbitrary text as a mesh-selection command. The parse never fails to answer; an accepted text
// names one kind of step with codes in range, chosen types ascending and distinct, and a location
// that is the tail of the text. Applying the text to a selection of an empty model, with any
// combination, changes nothing it should not and leaks nothing.
#include "MeshSelection.h"
#include "MeshSelectionCommand.h"
#include "zyrErrorManager.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void check(bool condition) {
  if (!condition)
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1 || size > 4096)
    return 0;
  const int32_t combination = data[0] % 7;
  std::string text(reinterpret_cast<const char *>(data + 1), size - 1);
  text = text.c_str();

  MeshSelectionStep step;
  if (MeshSelectionCommand_parse(text.c_str(), 0, &step) == 1) {
    check(step.m_kind >= MESH_SELECTION_GEOMETRIC && step.m_kind <= MESH_SELECTION_LOCATION);
    check(step.m_criterion >= MESH_SELECTION_INSIDE && step.m_criterion <= MESH_SELECTION_NOT_INSIDE);
    if (step.m_kind == MESH_SELECTION_GEOMETRIC)
      check(step.m_shape >= MESH_SELECTION_PLANE && step.m_shape <= MESH_SELECTION_BOX);
    if (step.m_kind == MESH_SELECTION_QUALITY)
      check(MeshSelection_getMeasureCode(step.m_measure) != 0);
    check(step.m_noOfTypes >= 0 && step.m_noOfTypes <= 8);
    for (int32_t i = 1; i < step.m_noOfTypes; ++i)
      check(step.m_types[i - 1] < step.m_types[i]);
    if (step.m_kind == MESH_SELECTION_LOCATION)
      check(text.size() >= step.m_location.size() &&
            text.compare(text.size() - step.m_location.size(), std::string::npos, step.m_location) == 0);
  }

  MeshSelection *selection = MeshSelection_new(nullptr, nullptr);
  MeshSelection_modify(selection, combination, text.c_str());
  check(MeshSelection_getNoOfSelectedElements(selection) == 0);
  MeshSelection_delete(selection);
  zyrErrorManager_clearErrors(zyrErrorManager_get());
  return 0;
}
