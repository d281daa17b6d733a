// Names of the model: composite names and their definitions and tags, the region map, assembly
// and composite lists, and primitive regions described by their faces or elements.
#include "ZYRAPI.h"

#include "StringUtilities.h"
#include "ZYRAPIBoundary.h"

#include "zyrAPI.h"

namespace qiv {

namespace {

namespace boundary = zyrapi::boundary;

const char *const kClassText = "ZYRAPI";
const char *const kRegionMapClassText = "ZYRRegionMap";
const DimensionalityMask kAllDimensions = 15;

} // namespace

bool ZYRAPI::isCompositeName(const std::string &name) const {
  if (!isDBOpen())
    return false;
  int32_t flag = 0;
  if (zyrModel_isCompositeName(m_hModel, name.c_str(), &flag) != 1)
    boundary::throwQueued<zyrapi::ratlas>(kRegionMapClassText, "isCompositeName");
  return flag == 1;
}

bool ZYRAPI::isPrimitiveName(const std::string &name) const {
  if (!isDBOpen())
    return false;
  int32_t flag = 0;
  if (zyrModel_isCompositeName(m_hModel, name.c_str(), &flag) == 1 && flag != 0)
    return false;
  int32_t vertices = 0;
  int32_t elements = 0;
  int32_t byType[8] = {};
  return zyrLocation_getMeshSize(m_hModel, name.c_str(), 0, kAllDimensions, &vertices, &elements, byType) == 1;
}

std::string ZYRAPI::getRegionMap() {
  boundary::CoreString text;
  boundary::settle<zyrapi::zyr>(zyrModel_exportRegionMap(m_hModel, text.out()), kClassText, "getRegionMap");
  return text.str();
}

void ZYRAPI::importRegionMap(const std::string &regionMap) {
  boundary::settle<zyrapi::zyr>(zyrModel_importRegionMap(m_hModel, regionMap.c_str(), 1, 0), kClassText,
                                "importRegionMap");
}

void ZYRAPI::removeCompositeName(const std::string &name) {
  if (zyrCompositeName_destroy(m_hModel, name.c_str()) != 1)
    boundary::throwQueued<zyrapi::ratlas>(kRegionMapClassText, "removeCompositeName");
}

void ZYRAPI::renameComposite(const std::string &oldName, const std::string &newName, int addAlias,
                             std::string &actualName) {
  boundary::CoreString given;
  const int status = zyrCompositeName_rename(m_hModel, oldName.c_str(), newName.c_str(), addAlias, given.out());
  if (status == 1)
    actualName = given.str();
  boundary::settle<zyrapi::zyr>(status, kClassText, "renameComposite");
}

void ZYRAPI::renameComposite(const std::string &oldName, const std::string &newName, int addAlias) {
  std::string scratch;
  renameComposite(oldName, newName, addAlias, scratch);
}

void ZYRAPI::addCompositeName(const CompositeDef &def) {
  boundary::PackedStrings a(def.componentsA);
  boundary::PackedStrings b(def.componentsB);
  if (zyrCompositeName_create(m_hModel, def.name.c_str(), boundary::compositeCodeOfType(def.type), a.count(),
                              a.table(), b.count(), b.table()) != 1)
    boundary::throwQueued<zyrapi::ratlas>(kRegionMapClassText, "addCompositeName");
}

ZYRAPI::CompositeDef ZYRAPI::getCompositeByName(const std::string &name) const {
  CompositeDef def;
  int32_t code = 0;
  boundary::CoreStringTable a;
  boundary::CoreStringTable b;
  if (zyrCompositeName_getDefinition(m_hModel, name.c_str(), &code, a.countOut(), a.out(), b.countOut(), b.out()) !=
      1)
    boundary::throwQueued<zyrapi::ratlas>(kRegionMapClassText, "getCompositeByName");
  def.name = name;
  def.type = boundary::compositeTypeOfCode(code);
  a.copyTo(def.componentsA);
  b.copyTo(def.componentsB);
  return def;
}

void ZYRAPI::tagComposites(const std::vector<std::string> &names, bool add, const std::string &tag) {
  if (!isDBOpen())
    return;
  boundary::PackedStrings packed(names);
  if (zyrModel_tagCompositeNames(m_hModel, tag.c_str(), boundary::flag(add), packed.count(), packed.table()) != 1)
    boundary::throwQueued<zyrapi::ratlas>(kClassText, "tagComposites");
}

void ZYRAPI::tagComposite(const std::string &name, bool add, const std::string &tag) {
  tagComposites(std::vector<std::string>(1, name), add, tag);
}

void ZYRAPI::getCompositeTags(const std::string &name, std::vector<std::string> &tags) const {
  if (!isDBOpen())
    return;
  boundary::CoreString text;
  if (zyrCompositeName_getTags(m_hModel, name.c_str(), text.out()) != 1)
    boundary::throwQueued<zyrapi::ratlas>(kClassText, "getCompositesTags");
  if (text.get() == nullptr) {
    std::vector<std::string>().swap(tags);
    return;
  }
  tags = StringUtilities::stringToVector(text.str(), ',');
}

std::vector<std::string> ZYRAPI::getAssemblyNames() const {
  std::vector<std::string> names;
  if (!isDBOpen())
    return names;
  boundary::CoreStringTable table;
  if (zyrModel_getAssemblies(m_hModel, table.countOut(), table.out()) != 1)
    boundary::throwQueued<zyrapi::zyr>(kClassText, "getAssemblyNames");
  table.copyTo(names);
  return names;
}

std::vector<std::string> ZYRAPI::getCompositeNames() const {
  std::vector<std::string> names;
  if (!isDBOpen())
    return names;
  boundary::CoreStringTable table;
  if (zyrModel_getCompositeNames(m_hModel, table.countOut(), table.out()) != 1)
    boundary::throwQueued<zyrapi::ratlas>(kRegionMapClassText, "getCompositeNames");
  table.copyTo(names);
  return names;
}

void ZYRAPI::getCompositeRegionsInOrderForModel(const std::vector<std::string> &tags, const std::string &untaggedTag,
                                                const std::string &otherTag, std::vector<std::string> &names) const {
  names.clear();
  if (!isDBOpen() || tags.empty())
    return;
  std::string joined;
  for (size_t i = 0; i < tags.size(); ++i) {
    if (i > 0)
      joined += ", ";
    joined += tags[i];
  }
  boundary::CoreStringTable table;
  if (zyrModel_getTaggedCompositeNames(m_hModel, joined.c_str(), untaggedTag.c_str(), otherTag.c_str(),
                                       table.countOut(), table.out()) == 1)
    table.copyTo(names);
}

ZYRAPI::PrimitiveDef ZYRAPI::getPrimitiveByName(const std::string &name) {
  PrimitiveDef def;
  def.name = name;
  def.type = 0;
  if (!isDBOpen())
    return def;
  int32_t flag = 0;
  if (zyrModel_isCompositeName(m_hModel, name.c_str(), &flag) == 1 && flag != 0)
    return def;
  int32_t vertices = 0;
  int32_t elements = 0;
  int32_t byType[8] = {};
  if (zyrLocation_getMeshSize(m_hModel, name.c_str(), 0, kAllDimensions, &vertices, &elements, byType) != 1)
    return def;
  uint64_t count = 0;
  getNumberOfFacesForLocation(name, count, false);
  if (count == 0) {
    getNumberOfElementsForLocation(name, count, false);
    def.type = 1;
  }
  def.entries.reserve(static_cast<size_t>(count));
  for (uint64_t i = 1; i <= count; ++i)
    def.entries.push_back(boundary::makeIndexedName(name, static_cast<int>(i)));
  return def;
}

} // namespace qiv
