#ifndef ZYR_EXPORT_H
#define ZYR_EXPORT_H
// Marks what libzyr.so shows a host. The library is built with hidden visibility, so only the
// classes and functions marked here are exported.
#if defined(__GNUC__) || defined(__clang__)
#define ZYR_EXPORT __attribute__((visibility("default")))
#else
#define ZYR_EXPORT
#endif

#endif
