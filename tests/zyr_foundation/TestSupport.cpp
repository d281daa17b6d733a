// Allocation-failure tests ask for absurd sizes: let the sanitizer's allocator answer NULL, as the
// system's would, instead of aborting.
extern "C" const char *__asan_default_options() { return "allocator_may_return_null=1"; }
