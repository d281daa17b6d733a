#include "Command.h"

#include "Environment.h"
#include "zyrAssert.h"
#include "zyrCString.h"
#include "zyrMemory.h"
#include "zyrSystem.h"

#include <cctype>
#include <cstdarg>
#include <cstring>
#include <string>

namespace {

const int32_t argumentBlock = 10;

const char *locationWords(int32_t location) {
  switch (location) {
  case CommandInEnvironment:
    return "(Standard location in the environment)";
  case CommandOnSearchPath:
    return "(Search path)";
  case CommandInCurrentDirectory:
    return "(Current directory)";
  case CommandExplicitPath:
    return "(Explicit path)";
  case CommandOverridden:
    return "(Overridden by special environment variable)";
  default:
    return "(Unknown)";
  }
}

// Room for one more argument.
void makeRoom(Command *command, const char *function) {
  if (command->m_noOfArguments < command->m_maximumNoOfArguments)
    return;
  command->m_maximumNoOfArguments += argumentBlock;
  command->m_arguments =
      zyrMemory_reallocateArray<char *>(command->m_arguments, command->m_maximumNoOfArguments, function);
}

void checkIndex(const Command *command, int32_t i, const char *function) {
  if (!(i > -1 && i < command->m_noOfArguments))
    assert_flagError(function, __FILE__, __LINE__, "i > -1 && i < this->m_noOfArguments");
}

} // namespace

Command *Command_new(Environment *environment, const char *name, int32_t location) {
  Command *command = zyrMemory_allocateZeroedArray<Command>(1, __func__);
  command->m_name = zyrCString_clone(name ? name : "");
  command->m_environment = environment;
  command->m_maximumNoOfArguments = argumentBlock;
  command->m_arguments = zyrMemory_allocateZeroedArray<char *>(argumentBlock, __func__);
  if (environment != nullptr)
    location = CommandInEnvironment;
  command->m_location = location;
  if (environment != nullptr)
    command->m_fullpathname = Environment_getCommandPath(environment, command->m_name);
  else if (location == CommandInCurrentDirectory)
    command->m_fullpathname = zyrCString_merge("./", command->m_name, nullptr);
  else
    command->m_fullpathname = zyrCString_clone(command->m_name);
  return command;
}

int Command_keepDescriptor(Command *command, int32_t descriptor) {
  if (command == nullptr || descriptor <= 2)
    return 0;
  command->m_keptDescriptor = descriptor;
  return 1;
}

void Command_delete(Command *command) {
  if (command == nullptr)
    return;
  zyrCString_free(command->m_name);
  zyrCString_free(command->m_fullpathname);
  zyrCString_free(command->m_environmentVariable);
  for (int32_t i = 0; i < command->m_noOfArguments; ++i)
    zyrCString_free(command->m_arguments[i]);
  zyrMemory_free(command->m_arguments, __func__);
  zyrMemory_free(command, __func__);
}

void Command_print(const Command *command, FILE *stream) {
  const char *rule = "==============================================";
  std::fprintf(stream, "\n%s\n", rule);
  std::fprintf(stream, "Command: %p\n", static_cast<const void *>(command));
  std::fprintf(stream, "%s\n\n", rule);
  std::fprintf(stream, "m_name                 = %s\n", command->m_name);
  std::fprintf(stream, "m_fullpathname         = %s\n", command->m_fullpathname);
  std::fprintf(stream, "m_environment          = %p", static_cast<const void *>(command->m_environment));
  if (command->m_environment != nullptr)
    std::fprintf(stream, " (%s)\n", command->m_environment->m_name);
  else
    std::fprintf(stream, "\n");
  std::fprintf(stream, "m_environmentVariable  = ");
  if (command->m_environmentVariable != nullptr)
    std::fprintf(stream, "%s\n", command->m_environmentVariable);
  else
    std::fprintf(stream, "NOT SET\n");
  std::fprintf(stream, "m_noOfArguments        = %d\n", command->m_noOfArguments);
  std::fprintf(stream, "m_noOfRealArgs         = %d\n", command->m_noOfRealArgs);
  std::fprintf(stream, "m_noOfIoRedirectArgs   = %d\n", command->m_noOfIoRedirectArgs);
  for (int32_t i = 0; i < command->m_noOfArguments; ++i)
    std::fprintf(stream, "  m_arguments[%d] = %s\n", i, command->m_arguments[i]);
  std::fprintf(stream, "m_maximumNoOfArguments = %d\n", command->m_maximumNoOfArguments);
  std::fprintf(stream, "m_location             = %d %s\n", command->m_location, locationWords(command->m_location));
  std::fprintf(stream, "%s\n\n", rule);
  std::fflush(stream);
}

int Command_isRedirection(const char *text) {
  if (text == nullptr)
    return 0;
  int inDouble = 0;
  int inSingle = 0;
  for (const char *c = text; *c != '\0'; ++c) {
    if (*c == '"') {
      if (inDouble)
        inDouble = 0;
      else if (!inSingle)
        inDouble = 1;
    } else if (*c == '\'') {
      if (inSingle)
        inSingle = 0;
      else if (!inDouble)
        inSingle = 1;
    } else if ((*c == '>' || *c == '<') && !inDouble && !inSingle) {
      return 1;
    }
  }
  return 0;
}

void Command_addArgument(Command *command, const char *text) {
  makeRoom(command, __func__);
  command->m_arguments[command->m_noOfArguments++] = zyrCString_clone(text ? text : "");
  if (command->m_noOfIoRedirectArgs > 0 || Command_isRedirection(text))
    ++command->m_noOfIoRedirectArgs;
  else
    ++command->m_noOfRealArgs;
}

void Command_addArguments(Command *command, const char *text, ...) {
  va_list arguments;
  va_start(arguments, text);
  for (const char *next = text; next != nullptr; next = va_arg(arguments, const char *))
    Command_addArgument(command, next);
  va_end(arguments);
}

void Command_addLiteralArgument(Command *command, const char *text) {
  makeRoom(command, __func__);
  int32_t at = command->m_noOfRealArgs;
  std::memmove(command->m_arguments + at + 1, command->m_arguments + at,
               static_cast<size_t>(command->m_noOfArguments - at) * sizeof(char *));
  command->m_arguments[at] = zyrCString_clone(text ? text : "");
  ++command->m_noOfArguments;
  ++command->m_noOfRealArgs;
}

void Command_addArgumentString(Command *command, const char *text) {
  if (text == nullptr)
    return;
  const char *c = text;
  std::string word;
  for (;;) {
    while (*c != '\0' && std::isspace(static_cast<unsigned char>(*c)))
      ++c;
    if (*c == '\0')
      return;
    int quoting = 0;
    if (*c == '\'') {
      // A lone quote closing the text ends the splitting.
      if (c[1] == '\0')
        return;
      quoting = 1;
      ++c;
    }
    word.clear();
    while (*c != '\0' && (quoting || !std::isspace(static_cast<unsigned char>(*c)))) {
      if (*c == '\'')
        quoting = !quoting;
      else
        word.push_back(*c);
      ++c;
    }
    if (*c == '\0' && quoting)
      return;
    Command_addArgument(command, word.c_str());
    if (*c == '\0')
      return;
    ++c;
  }
}

int Command_override(Command *command, const char *variable) {
  char *value = zyrReadEnvironmentVariable(variable, nullptr);
  if (value == nullptr)
    return 0;
  zyrCString_free(command->m_fullpathname);
  command->m_fullpathname = value;
  command->m_location = CommandOverridden;
  zyrCString_reassign(&command->m_environmentVariable, variable);
  return 1;
}

int Command_exists(const Command *command) {
  if (command->m_location == CommandOnSearchPath)
    return zyrIsFileInPath(command->m_fullpathname);
  return zyrDoesFileExist(command->m_fullpathname);
}

char *Command_getName(const Command *command) { return zyrCString_clone(command->m_name); }

char *Command_getFullPathName(const Command *command) { return zyrCString_clone(command->m_fullpathname); }

int Command_isOnSearchPath(const Command *command) { return command->m_location == CommandOnSearchPath ? 1 : 0; }

int32_t Command_getNoOfRealArgs(const Command *command) { return command->m_noOfRealArgs; }

int32_t Command_getNoOfIoRedirectArgs(const Command *command) { return command->m_noOfIoRedirectArgs; }

char *Command_getArgument(const Command *command, int32_t i) {
  checkIndex(command, i, __func__);
  return zyrCString_clone(command->m_arguments[i]);
}

char *Command_getQuotedArgument(const Command *command, char quote, int32_t i) {
  checkIndex(command, i, __func__);
  const char *argument = command->m_arguments[i];
  for (const char *c = argument; *c != '\0'; ++c) {
    if (std::isspace(static_cast<unsigned char>(*c))) {
      char quotes[2] = {quote, '\0'};
      return zyrCString_merge(quotes, argument, quotes, nullptr);
    }
  }
  return zyrCString_clone(argument);
}

int Command_hasArgument(const Command *command, const char *text) {
  if (text == nullptr)
    return 0;
  for (int32_t i = 0; i < command->m_noOfArguments; ++i)
    if (std::strcmp(command->m_arguments[i], text) == 0)
      return 1;
  return 0;
}
