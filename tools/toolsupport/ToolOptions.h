#ifndef TOOL_OPTIONS_H
#define TOOL_OPTIONS_H
// The options of a tool that takes none but -h and --help: they come before the operands, so that
// nothing is done before a wrong one is found, and "--" ends them (for an operand that begins
// with "-"). -h or --help prints the usage line and the description on the standard output; any
// other option is told, with the usage line, on the standard error.
//
// The index of the first operand; -1 when the tool is to end with *status (0 after the help, 2
// after an unknown option).
int ToolOptions_read(int argc, char **argv, const char *tool, const char *usage, const char *description,
                     int *status);

#endif
