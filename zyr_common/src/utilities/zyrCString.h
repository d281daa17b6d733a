#ifndef ZYR_CSTRING_H
#define ZYR_CSTRING_H
// Heap strings (NUL-terminated, in tracked memory) and arrays of them. Every string returned here
// belongs to the caller and is released with zyrCString_free; arrays with zyrCStringArray_free.
// The *_external and import functions deal with strings the runtime heap gave out directly.
#include <cstdarg>
#include <cstdint>

char *zyrCString_clone(const char *text);
char *zyrCString_import(char *runtimeText);
// Concatenation of the arguments up to the terminating NULL; first must not be NULL.
char *zyrCString_merge(const char *first, ...);
// base followed by the further texts (up to a NULL); base is released. A NULL base counts as "".
char *zyrCString_cat(char *base, ...);
char *zyrCString_build(const char *format, ...) __attribute__((format(printf, 1, 2)));
char *zyrCString_vbuild(const char *format, va_list arguments) __attribute__((format(printf, 1, 0)));
// Characters [from, to).
char *zyrCString_substring(const char *text, int from, int to);
char *zyrCString_reassign(char **variable, const char *text);
int zyrCString_isBlank(const char *text);
char *zyrCString_collapseWhiteSpace(const char *text);
// Flags: 1 drops leading blank lines, 2 trailing ones.
char *zyrCString_trim(const char *text, int flags);
void zyrCString_free(char *text);
void zyrCString_free_external(char *text);
int64_t zyrCString_length(const char *text);

void zyrCStringArray_free(char **array, uint64_t count);
void zyrCStringArray_free_external(char **array, uint64_t count);
char **zyrCStringArray_clone(char *const *array, uint64_t count);
char **zyrCStringArray_import(char **runtimeArray, uint64_t count);
char *zyrCStringArray_pack(char *const *array, uint64_t count, char separator);
int zyrCStringArray_newFromPackedString(const char *packed, char separator, char ***array, uint64_t *count);

#endif
