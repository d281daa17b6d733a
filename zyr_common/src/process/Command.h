#ifndef ZYR_COMMAND_H
#define ZYR_COMMAND_H
// A program to start: its name, where it is found, the path used to start it and its arguments.
// The arguments fall in two runs: the real arguments, handed to the program, and after them the
// redirections of its standard streams ("<", ">", ">>", "<<", "2>&1" and the file names after
// them). An argument holding a '<' or '>' outside quotes starts the redirections, and every
// argument added after it by Command_addArgument counts as one too. Command_addLiteralArgument
// adds a real argument whatever it holds (file names, user option words).
//
// Locations (how the path was found):
//   0  the standard location in the installation environment (Environment_getCommandPath)
//   1  the search path: the name itself, looked up in PATH when the process starts
//   2  the working directory: "./" and the name
//   3  an explicit path: the name itself
//   4  overridden by an environment variable (Command_override)
// A command made with an environment always gets location 0.
#include <cstdint>
#include <cstdio>

struct Environment;

enum CommandLocation {
  CommandInEnvironment = 0,
  CommandOnSearchPath = 1,
  CommandInCurrentDirectory = 2,
  CommandExplicitPath = 3,
  CommandOverridden = 4
};

struct Command {
  char *m_name;
  char *m_fullpathname;
  Environment *m_environment;  // borrowed, or NULL
  char *m_environmentVariable; // the variable that overrode the path, or NULL
  int32_t m_noOfArguments;
  char **m_arguments;
  int32_t m_maximumNoOfArguments;
  int32_t m_noOfRealArgs;
  int32_t m_noOfIoRedirectArgs;
  int32_t m_location;
  int32_t m_keptDescriptor; // a descriptor the program keeps under its number (Command_keepDescriptor);
                            // 0 when none
};

Command *Command_new(Environment *environment, const char *name, int32_t location);
// The environment is the caller's and is not freed.
void Command_delete(Command *command);
void Command_print(const Command *command, FILE *stream);

// Appends a copy and classifies it (a real argument or a redirection); the array grows as needed.
void Command_addArgument(Command *command, const char *text);
// Each text up to a terminating NULL, as Command_addArgument.
void Command_addArguments(Command *command, const char *text, ...);
// Adds a copy as a real argument whatever characters it holds: it goes after the real arguments
// already held and before any redirection.
void Command_addLiteralArgument(Command *command, const char *text);
// Splits the text into words at white space, single quotes grouping (and dropped; double quotes
// are kept as they are), and adds each as Command_addArgument does. A word whose quote is not
// closed by the end of the text is dropped, and splitting ends there.
void Command_addArgumentString(Command *command, const char *text);

// The program is to keep the descriptor (one above the standard streams) under its number, though
// it is close-on-exec here: the one descriptor besides its standard streams and conduits that a
// child inherits (a hold it takes up, zyrHeldTemporary.h). A later call replaces it; 0 when the
// descriptor is a standard stream or none.
int Command_keepDescriptor(Command *command, int32_t descriptor);

// When the variable is set its value becomes the path (location 4) and 1 is returned; else 0.
int Command_override(Command *command, const char *variable);
// Whether the program exists: found in PATH for location 1, else as a file.
int Command_exists(const Command *command);

// New copies.
char *Command_getName(const Command *command);
char *Command_getFullPathName(const Command *command);
int Command_isOnSearchPath(const Command *command);
int32_t Command_getNoOfRealArgs(const Command *command);
int32_t Command_getNoOfIoRedirectArgs(const Command *command);
// A copy of argument i (0 <= i < the number of arguments, else an assertion failure).
char *Command_getArgument(const Command *command, int32_t i);
// A copy of argument i, wrapped in the quote character when it holds white space.
char *Command_getQuotedArgument(const Command *command, char quote, int32_t i);
int Command_hasArgument(const Command *command, const char *text);

// 1 when the text holds a '<' or '>' outside single and double quotes.
int Command_isRedirection(const char *text);

#endif
