// Marks for the address sanitizer on memory the region library hands out from blocks of its own
// (table nodes, pooled blocks): a freed piece is poisoned so that a use of it is still caught.
// Without the sanitizer the marks do nothing.
#ifndef REGION_POISON_H
#define REGION_POISON_H

#if defined(__has_include)
#if __has_include(<sanitizer/asan_interface.h>)
#include <sanitizer/asan_interface.h>
#endif
#endif
#ifndef ASAN_POISON_MEMORY_REGION
#define ASAN_POISON_MEMORY_REGION(address, size) ((void)(address), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(address, size) ((void)(address), (void)(size))
#endif

#endif
