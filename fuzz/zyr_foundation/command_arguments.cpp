// Command lines: splitting any text into arguments, classifying them and parsing the
// redirections never fails or overruns, and the counts always agree. No process is started.
// Input: the text up to its first NUL byte is split with Command_addArgumentString; after the
// NUL, each line is added as one argument (odd lines literally, even ones classified).
#include "Command.h"
#include "Process.h"
#include "zyrCString.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void require(bool condition) {
  if (!condition)
    std::abort();
}

std::vector<std::string> argumentsOf(const Command *command) {
  return std::vector<std::string>(command->m_arguments, command->m_arguments + command->m_noOfArguments);
}

// Plain white-space splitting, which single quotes alone change.
std::vector<std::string> whiteSpaceWords(const std::string &text) {
  std::vector<std::string> words;
  std::string word;
  for (char c : text) {
    if (std::isspace(static_cast<unsigned char>(c))) {
      if (!word.empty())
        words.push_back(word);
      word.clear();
    } else {
      word.push_back(c);
    }
  }
  if (!word.empty())
    words.push_back(word);
  return words;
}

void checkCommand(const Command *command) {
  require(command->m_noOfRealArgs + command->m_noOfIoRedirectArgs == command->m_noOfArguments);
  require(command->m_noOfArguments <= command->m_maximumNoOfArguments);
  // The redirections start with the argument that was classified as one.
  if (command->m_noOfIoRedirectArgs > 0)
    require(Command_isRedirection(command->m_arguments[command->m_noOfRealArgs]) == 1);
  std::vector<ProcessRedirection> found(static_cast<size_t>(command->m_noOfIoRedirectArgs) + 1);
  int32_t count = Process_parseRedirections(command, found.data());
  require(count >= 0 && count <= command->m_noOfIoRedirectArgs);
  for (int32_t i = 0; i < count; ++i) {
    require(found[i].m_kind >= ProcessRedirectInput && found[i].m_kind <= ProcessRedirectErrorToOutput);
    require((found[i].m_file == nullptr) == (found[i].m_kind == ProcessRedirectErrorToOutput));
  }
  for (int32_t i = 0; i < command->m_noOfArguments; ++i) {
    char *quoted = Command_getQuotedArgument(command, '"', i);
    size_t length = std::strlen(command->m_arguments[i]);
    size_t quotedLength = std::strlen(quoted);
    require(quotedLength == length || quotedLength == length + 2);
    zyrCString_free(quoted);
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const char *bytes = reinterpret_cast<const char *>(data);
  const size_t textLength = strnlen(bytes, size);
  const std::string text(bytes, textLength);

  Command *command = Command_new(nullptr, "fuzz", CommandOnSearchPath);
  Command_addArgumentString(command, text.c_str());
  checkCommand(command);
  std::vector<std::string> words = argumentsOf(command);
  if (text.find('\'') == std::string::npos)
    require(words == whiteSpaceWords(text));
  // Words without quotes come back unchanged when each is wrapped in single quotes.
  bool plain = true;
  for (const std::string &word : words)
    plain = plain && word.find('\'') == std::string::npos;
  if (plain) {
    std::string joined;
    for (const std::string &word : words)
      joined += " '" + word + "'";
    Command *again = Command_new(nullptr, "fuzz", CommandOnSearchPath);
    Command_addArgumentString(again, joined.c_str());
    require(argumentsOf(again) == words);
    Command_delete(again);
  }

  // The rest: one argument per line; literal arguments always stay before the redirections.
  if (textLength < size) {
    const std::string rest(bytes + textLength + 1, size - textLength - 1);
    size_t start = 0;
    int line = 0;
    int32_t literals = 0;
    while (start <= rest.size()) {
      size_t end = rest.find('\n', start);
      if (end == std::string::npos)
        end = rest.size();
      std::string argument = rest.substr(start, end - start);
      argument = argument.substr(0, strnlen(argument.c_str(), argument.size()));
      int32_t realBefore = command->m_noOfRealArgs;
      if (line++ % 2 == 1) {
        Command_addLiteralArgument(command, argument.c_str());
        require(command->m_noOfRealArgs == realBefore + 1);
        require(argument == command->m_arguments[realBefore]);
        ++literals;
      } else {
        Command_addArgument(command, argument.c_str());
      }
      start = end + 1;
    }
    require(command->m_noOfRealArgs >= literals);
    checkCommand(command);
  }
  Command_delete(command);
  return 0;
}
