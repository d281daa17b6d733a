#ifndef ZYR_TEST_DATA_SETS_H
#define ZYR_TEST_DATA_SETS_H
// Damage to one data set of a closed data-set file, made in the file's bytes, for the tests and
// fuzz targets of the store. The data set's frame stays whole and of its length, so the file opens
// with the index it has and the damage shows only when the data set is read. Header-only; it
// depends on no layer.
#include <cstdint>
#include <string>

namespace zyrtest {

// Where the frame of the data set [what, where, when] begins, as the stored index of the file's
// bytes says; npos when the index names no such data set.
inline size_t dataSetPosition(const std::string &bytes, const std::string &what, const std::string &where,
                              int32_t when) {
  const std::string esc(1, '\x1b');
  const size_t index = bytes.rfind("*INDEX\n");
  const std::string entry = "\nY" + esc + what + esc + where + esc + std::to_string(when) + esc;
  const size_t line = index == std::string::npos ? index : bytes.find(entry, index);
  if (line == std::string::npos)
    return std::string::npos;
  // status, what, where, when, length, position
  const size_t end = bytes.find('\n', line + 1);
  const size_t last = bytes.rfind(esc, end);
  const size_t position = std::stoul(bytes.substr(last + 1, end - last - 1));
  return position < index ? position : std::string::npos;
}

// The end tag after the data set's values ("*ENDDATASET") made "*ENDDATASAT". False when the index
// names no such data set.
inline bool breakEndTag(std::string &bytes, const std::string &what, const std::string &where, int32_t when) {
  const size_t position = dataSetPosition(bytes, what, where, when);
  const size_t tag = position == std::string::npos ? position : bytes.find("*ENDDATASET", position);
  if (tag == std::string::npos || tag > bytes.rfind("*INDEX\n"))
    return false;
  bytes[tag + 9] = 'A';
  return true;
}

// The data type that the data set's header declares replaced by `type`, of the same length. False
// when the index names no such data set or its type is of another length.
inline bool replaceDataType(std::string &bytes, const std::string &what, const std::string &where, int32_t when,
                            const std::string &type) {
  const size_t position = dataSetPosition(bytes, what, where, when);
  const size_t end = position == std::string::npos ? position : bytes.find("*ENDDATASET", position);
  const size_t record = end == std::string::npos ? end : bytes.find("DATATYPE\x1b", position);
  if (record == std::string::npos || record > end || record < 4)
    return false;
  // The record's length, least significant byte first, comes before it: "DATATYPE", ESC, the type.
  uint32_t length = 0;
  for (int i = 3; i >= 0; --i)
    length = length << 8 | static_cast<uint8_t>(bytes[record - 4 + static_cast<size_t>(i)]);
  if (length != 9 + type.size())
    return false;
  bytes.replace(record + 9, type.size(), type);
  return true;
}

// The byte at `offset` of the data set's values, those after its "*DATA" tag, made `value`. False
// when the index names no such data set or its values end before the offset.
inline bool replaceValueByte(std::string &bytes, const std::string &what, const std::string &where, int32_t when,
                             size_t offset, char value) {
  const size_t position = dataSetPosition(bytes, what, where, when);
  const size_t end = position == std::string::npos ? position : bytes.find("*ENDDATASET", position);
  // Past the frame's own "*DATASET" tag.
  const size_t frame = end == std::string::npos ? end : bytes.find("*DATASET", position);
  const size_t data = frame == std::string::npos ? frame : bytes.find("*DATA", frame + 8);
  if (data == std::string::npos || data >= end || data + 5 + offset >= end)
    return false;
  bytes[data + 5 + offset] = value;
  return true;
}

} // namespace zyrtest

#endif
