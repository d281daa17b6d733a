// The import method of the ZYRAPI object.
#include "ZYRAPI.h"

#include "OperationTimer.h"
#include "ZYRAPIBoundary.h"
#include "zyrAPI.h"

namespace qiv {

void ZYRAPI::importMeshToModel(const std::string &type, const std::string &filename, const std::string &generic,
                               const std::string &specific, const std::string &units,
                               const std::string &defaultAssemblyName, bool keepAssemblyNames,
                               std::vector<std::string> &assemblies) {
  const OperationTimer timer("ZYRAPI: import mesh");
  assemblies.clear();
  // Not examined: a failure here only joins the messages of the import's own result.
  zyrStrategy_setStringParameter(m_hModel, "NameManager_defaultAssemblyName", defaultAssemblyName.c_str());
  zyrapi::boundary::CoreStringTable names;
  const int status =
      zyrModel_importMesh(m_hModel, type.c_str(), filename.c_str(), generic.c_str(), specific.c_str(), units.c_str(),
                          zyrapi::boundary::flag(keepAssemblyNames), names.countOut(), names.out());
  if (status == 1)
    names.copyTo(assemblies);
  reportErrors(status, "importmeshToModel", true, false);
}

} // namespace qiv
