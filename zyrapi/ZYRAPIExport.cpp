// ZYRAPI methods that write the model out.
#include "ZYRAPI.h"

#include "zyrAPI.h"

namespace qiv {

void ZYRAPI::writeDefFileForModel(const std::string &path) {
  reportErrors(zyrModel_writeDefFile(getModelHandle(), path.c_str(), 0), "writeDefFileForModel", false, false);
}

} // namespace qiv
