// Message formatting and the error slot of a handle, the library's debug level, the text
// clean-up functions of the parser and the path code, and the multi-item release call.
#ifndef VSN_MESSAGE_H
#define VSN_MESSAGE_H

#include <cstdint>
#include <type_traits>

struct vsnHandle;

// One value of a formatted message. The formatter knows only %%, %c, %d and %s; taking the values
// as a typed array makes "an unknown conversion uses up one value" well defined.
struct vsnFormatValue {
  int m_isString;
  int32_t m_int;
  const char* m_string;
};

inline vsnFormatValue vsnFormatValueOf(const char* s) { return vsnFormatValue{1, 0, s}; }
inline vsnFormatValue vsnFormatValueOf(std::nullptr_t) { return vsnFormatValue{1, 0, nullptr}; }
template <typename T, typename = typename std::enable_if<std::is_integral<T>::value || std::is_enum<T>::value>::type>
inline vsnFormatValue vsnFormatValueOf(T v) {
  return vsnFormatValue{0, static_cast<int32_t>(v), nullptr};
}

// Newly allocated text: format expanded with count values; a copy of the format when memory
// runs out during expansion; NULL only when not even that copy can be made.
char* vsnFormatArgs(const char* format, const vsnFormatValue* values, int count);

template <typename... A>
char* vsnFormat(const char* format, A... args) {
  const vsnFormatValue values[sizeof...(A) + 1] = {vsnFormatValueOf(args)..., vsnFormatValue{1, 0, nullptr}};
  return vsnFormatArgs(format, values, static_cast<int>(sizeof...(A)));
}

// Keeps text (newly allocated, taken over) as the handle's error text and returns it; the previous
// text is scrubbed and freed.
const char* vsnSetErrorText(vsnHandle* h, char* text, const char* fallback);

template <typename... A>
const char* setVSNErrorH(vsnHandle* h, const char* format, A... args) {
  return vsnSetErrorText(h, vsnFormat(format, args...), format);
}

// The text that overwrites a handle's error text before it is freed.
extern const char* const VSN_FREED_TEXT;

// Writes VSN_FREED_TEXT over text (no more characters than it has) and frees it.
void vsnScrubAndFree(char* text);

int32_t setVSNDebugLevel(int32_t level);
int32_t initVSNDebugLevel();
int32_t getVSNDebugLevel();

// True when WEZ_VSNAPI_DEBUG is set.
int vsnApiDebug();

char* trimWhiteSpace(char* text);
char* collapseWhiteSpace(char* text);
char* stripComment(char* text);

// Frees one item per letter: C context or string array with its elements, c context without its
// blocks, h hash table, O entry with its children and later siblings, N and S a count and an
// array of that many strings, n and s one block. Other letters take no item.
void freeVSNItems(const char* letters, ...);

#endif
