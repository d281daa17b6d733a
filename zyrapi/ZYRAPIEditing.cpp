// Editing the model's assemblies and regions: transforming, merging, deleting and renaming
// assemblies, renaming regions and their priorities.
#include "ZYRAPI.h"

#include "OperationTimer.h"
#include "ZYRAPIBoundary.h"
#include "ZYRAffineTransform3D.h"

#include "zyrAPI.h"

namespace qiv {

namespace {

namespace boundary = zyrapi::boundary;

const char *const kClassText = "ZYRAPI";
const char *const kDefaultAssemblyName = "NameManager_defaultAssemblyName";

} // namespace

void ZYRAPI::transformAssembly(const std::string &assembly, const std::string &newAssemblyName, bool move,
                               int repeatCount, const ZYRAffineTransform3D &transform, bool matchMesh,
                               std::vector<std::string> &assemblies) {
  const OperationTimer timer("ZYRAPI: transform mesh");
  assemblies.clear();
  // Puts the default assembly name back on every way out, after the returned names are released
  // (declared before them, so destroyed after them) and before the timer stops.
  class Restore {
  public:
    Restore(ZYRAPI &api, std::string saved) : m_api(api), m_saved(std::move(saved)) {}
    ~Restore() { m_api.setStrategyString(kDefaultAssemblyName, m_saved); }

  private:
    ZYRAPI &m_api;
    std::string m_saved;
  } restore(*this, getStrategyString(kDefaultAssemblyName, ""));
  if (!newAssemblyName.empty())
    zyrStrategy_setStringParameter(m_hModel, kDefaultAssemblyName, newAssemblyName.c_str());
  boundary::CoreStringTable names;
  const int status =
      zyrAssembly_transform(m_hModel, assembly.c_str(), boundary::flag(move), repeatCount, transform.getTransform(),
                            boundary::flag(matchMesh), names.countOut(), names.out());
  if (status == 1)
    names.copyTo(assemblies);
  boundary::settle<zyrapi::zyr>(status, kClassText, "transformAssembly");
}

bool ZYRAPI::mergeAssemblies(std::vector<std::string> &assemblies) {
  boundary::PackedStrings packed(assemblies);
  boundary::CoreStringTable remaining;
  const int status =
      zyrModel_mergeAssemblies(m_hModel, 0, packed.count(), packed.table(), remaining.countOut(), remaining.out());
  boundary::settle<zyrapi::zyr>(status, kClassText, "mergeAssembly");
  return packed.count() > remaining.count();
}

void ZYRAPI::setPriority(const std::string &region, const int priority) {
  // Warnings stay queued.
  if (zyrRegion_setPriority(m_hModel, region.c_str(), priority) != 1)
    boundary::throwQueued<zyrapi::ratlas>(kClassText, "setPriority");
}

void ZYRAPI::getPriority(const std::string &region, int &priority) const {
  int32_t value = 0;
  if (zyrRegion_getPriority(m_hModel, region.c_str(), &value) != 1)
    boundary::throwQueued<zyrapi::ratlas>(kClassText, "getPriority");
  priority = value;
}

void ZYRAPI::deleteAssembly(const std::string &name) {
  boundary::settle<zyrapi::zyr>(zyrAssembly_delete(m_hModel, name.c_str()), kClassText, "deleteAssembly");
}

void ZYRAPI::renameAssembly(const std::string &oldName, const std::string &newName, int addAlias) {
  boundary::CoreString given;
  const int status = zyrAssembly_rename(m_hModel, oldName.c_str(), newName.c_str(), addAlias, given.out());
  boundary::settle<zyrapi::zyr>(status, kClassText, "renameAssembly");
}

void ZYRAPI::renameRegion(const std::string &oldName, const std::string &newName, int addAlias,
                          std::string &actualName) {
  boundary::CoreString given;
  const int status = zyrRegion_rename(m_hModel, oldName.c_str(), newName.c_str(), addAlias, given.out());
  if (status == 1)
    actualName = given.str();
  boundary::settle<zyrapi::zyr>(status, kClassText, "renameRegion");
}

void ZYRAPI::renameRegion(const std::string &oldName, const std::string &newName, int addAlias) {
  std::string scratch;
  renameRegion(oldName, newName, addAlias, scratch);
}

} // namespace qiv
