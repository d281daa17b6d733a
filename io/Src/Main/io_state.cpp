// The IO_state record of the request interface.
#include "io_state.h"

#include "io_alloc.h"

#include <cstdio>

namespace {

const char *fileLine(const IO_file *record) {
  return record->m_stream ? (record->m_name ? record->m_name : "(unnamed)") : "(closed)";
}

const char *currentName(const IO_state *state) {
  if (state->m_current == &state->m_primary) return "primary";
  if (state->m_current == &state->m_secondary) return "secondary";
  if (state->m_current == &state->m_text) return "text";
  return "none";
}

} // namespace

IO_state *iostate_alloc() { return static_cast<IO_state *>(io_calloc(1, sizeof(IO_state))); }

void iostate_free(IO_state *state) {
  if (!state) return;
  io_free(state->m_defaultformat);
  io_free(state);
}

void iostate_print(const IO_state *state) {
  if (!state) {
    printf("IO_state: none\n");
    return;
  }
  printf("IO_state: primary %s, secondary %s, text %s, current %s, default format %s\n",
         fileLine(&state->m_primary), fileLine(&state->m_secondary), fileLine(&state->m_text),
         currentName(state), state->m_defaultformat ? state->m_defaultformat : "(none)");
}
