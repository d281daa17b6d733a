#ifndef ZYR_ASSERT_H
#define ZYR_ASSERT_H
// Internal consistency checks. A failed check is reported as a failed assertion naming the
// expression, the function, the source file and the line, and ends the process with status 1.

[[noreturn]] void assert_flagError(const char *function, const char *file, int line,
                                   const char *expression);

#define zyrAssert(expression)                                                                      \
  ((expression) ? (void)0 : assert_flagError(__func__, __FILE__, __LINE__, #expression))

#endif
