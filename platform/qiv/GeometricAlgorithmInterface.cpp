// Anchors the interface's table of virtual operations in this library.
#include "GeometricAlgorithmInterface.h"

namespace qiv {

GeometricAlgorithmInterface::~GeometricAlgorithmInterface() = default;

} // namespace qiv
