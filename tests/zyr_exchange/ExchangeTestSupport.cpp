#include "ExchangeTestSupport.h"

#include "DefFile.h"
#include "DefWriter.h"
#include "zyrMemory.h"

namespace zyrtest {

std::string toolsDir() {
  std::string helpers = ZYR_TEST_HELPER_DIR;
  return helpers.substr(0, helpers.rfind('/')) + "/tools";
}

bool writeCommands(const std::string &file, const std::vector<std::string> &lines) {
  std::vector<const char *> texts;
  for (const std::string &line : lines)
    texts.push_back(line.c_str());
  DefFile *def = DefFile_new(file.c_str());
  if (def == nullptr)
    return false;
  const int written = DefFile_writeIoStringArray(def, "G/COMMANDS", "EVERY", 0, texts.data(), int32_t(texts.size()));
  DefFile_delete(def);
  return written == 1;
}

int writeDefinition(Model *model, const std::string &file, int32_t fromDefFile, const char *units) {
  DefWriter *writer = DefWriter_new(model, file.c_str(), 0, fromDefFile, units, 0.005);
  if (writer == nullptr)
    return -1;
  const int result = DefWriter_write(writer);
  DefWriter_delete(writer);
  return result;
}

std::vector<int32_t> definitionInts(const std::string &file, const char *what, const char *where) {
  DefFile *def = DefFile_new(file.c_str());
  int32_t *array = nullptr, n = 0;
  std::vector<int32_t> values;
  if (def != nullptr && DefFile_readInts(def, what, where, 0, &array, &n))
    values.assign(array, array + n);
  zyrMemory_free(array, "test");
  DefFile_delete(def);
  return values;
}

} // namespace zyrtest
