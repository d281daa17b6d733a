#include "wezio_test_util.h"


namespace wezio_test {

std::vector<std::string> &messages() {
  static std::vector<std::string> list;
  return list;
}

int captureMessage(const char *message, int32_t length) {
  messages().emplace_back(message, static_cast<size_t>(length));
  return 0;
}

std::string allMessages() {
  std::string joined;
  for (const std::string &m : messages()) joined += m;
  return joined;
}

ScratchStream::ScratchStream() : m_stream(tmpfile()) {}

ScratchStream::~ScratchStream() {
  if (m_stream) fclose(m_stream);
}

std::string ScratchStream::bytes() {
  fflush(m_stream);
  long here = ftell(m_stream);
  fseek(m_stream, 0, SEEK_SET);
  std::string content;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, m_stream)) > 0) content.append(buffer, n);
  fseek(m_stream, here, SEEK_SET);
  return content;
}

void ScratchStream::reset(const std::string &content) {
  fclose(m_stream);
  m_stream = tmpfile();
  fwrite(content.data(), 1, content.size(), m_stream);
  fflush(m_stream);
  fseek(m_stream, 0, SEEK_SET);
}

FILE *openFullDevice() {
  FILE *stream = fopen("/dev/full", "wb");
  if (stream) setvbuf(stream, nullptr, _IONBF, 0);
  return stream;
}

std::string be32(uint32_t value) {
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8) s += static_cast<char>((value >> shift) & 0xFF);
  return s;
}

std::string le32(uint32_t value) {
  std::string s;
  for (int shift = 0; shift <= 24; shift += 8) s += static_cast<char>((value >> shift) & 0xFF);
  return s;
}

std::string be64(uint64_t value) {
  std::string s;
  for (int shift = 56; shift >= 0; shift -= 8) s += static_cast<char>((value >> shift) & 0xFF);
  return s;
}

std::string le64(uint64_t value) {
  std::string s;
  for (int shift = 0; shift <= 56; shift += 8) s += static_cast<char>((value >> shift) & 0xFF);
  return s;
}

uint32_t floatBits(float value) {
  uint32_t bits;
  memcpy(&bits, &value, sizeof bits);
  return bits;
}

uint64_t doubleBits(double value) {
  uint64_t bits;
  memcpy(&bits, &value, sizeof bits);
  return bits;
}

std::string rightAligned(const std::string &text, size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

} // namespace wezio_test
