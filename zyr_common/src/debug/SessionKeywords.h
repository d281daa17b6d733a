#ifndef ZYR_SESSION_KEYWORDS_H
#define ZYR_SESSION_KEYWORDS_H
// The keyword table of the session player: one row per procedural-interface entry point, in the
// order of the help text. A row gives the values that follow the keyword in a session file (in
// the order the recorder writes them, with the labels used as prompts and in the echo), the
// call that makes the entry point's call from them, and the outputs the echo lists.
//
// Rows are data; the player reads, echoes and frees generically. A row with a value layout the
// generic reader cannot express gives its own reader (m_read), and one whose echo differs its
// own echo (m_echo).
#include "zyrAffineTransform3D.h"

#include <cstdint>

struct Session;
struct zyrError;

#define SESSION_MAX_VALUES 16

enum SessionInputKind {
  SessionInputInteger,
  SessionInputReal,
  SessionInputString,
  SessionInputByte,
  SessionInputStringArray, // count line, then count x width strings
  SessionInputIntegerArray,
  SessionInputText,        // a delimited block of lines
  SessionInputTransformation
};

enum SessionOutputKind {
  SessionOutputInteger,
  SessionOutputReal,
  SessionOutputString,     // "<null>" when none
  SessionOutputStringList, // m_count names in m_strings; count echoed under m_countName
  SessionOutputPointer,
  SessionOutputErrors      // m_count records in m_errors, listed by description
};

struct SessionInput {
  int32_t m_kind;
  const char *m_label;      // the prompt and echo name (for arrays: of the count)
  const char *m_itemsLabel; // arrays: the prompt shown before the items
  int32_t m_width;          // string arrays: strings per item (0 taken as 1)
  int32_t m_nullWhenEmpty;  // strings: an empty line stands for a null argument
  const char *m_note;       // echoed before the value, e.g. the codes an integer may take
  int32_t m_hidden;         // read but not echoed (the row echoes it as an output)
};

struct SessionOutput {
  int32_t m_kind;
  const char *m_name;
  const char *m_countName; // lists: the name of the count line
  char m_prefix;           // '<' for outputs; '>' for an input the call resolved (0 taken as '<')
};

// One value read or returned.
struct SessionValue {
  int32_t m_integer;
  double m_real;
  char *m_string;
  char **m_strings; // string arrays, text lines, output lists
  int32_t m_count;
  int32_t *m_integers;
  zyrAffineTransform3D *m_transformation;
  void *m_pointer;
  zyrError **m_errors;
};

struct SessionKeyword;

// One call being played.
struct SessionCall {
  const SessionKeyword *m_keyword;
  Session *m_session;
  SessionValue m_inputs[SESSION_MAX_VALUES];
  SessionValue m_outputs[SESSION_MAX_VALUES];
  int m_status;
};

struct SessionKeyword {
  const char *m_keyword;
  const char *m_help; // NULL: played but not listed by "help"
  int32_t m_noOfInputs;
  SessionInput m_inputs[SESSION_MAX_VALUES];
  int32_t m_noOfOutputs;
  SessionOutput m_outputs[SESSION_MAX_VALUES];
  int (*m_call)(SessionCall *call);
  // Optional: 1 when the record was read whole, 0 to drop it (an interactive user's refused
  // value), -1 to stop the play (the session's state or a published error says why).
  int (*m_read)(SessionCall *call);
  void (*m_echo)(SessionCall *call);
};

// The rows in help order; the count through the argument.
const SessionKeyword *SessionKeyword_getTable(int32_t *count);
// The row of a keyword (compared exactly), or NULL.
const SessionKeyword *SessionKeyword_find(const char *keyword);

// The generic steps of playing one row; Session_play runs them in this order.
void SessionCall_init(SessionCall *call, const SessionKeyword *keyword, Session *session);
// 1, 0 or -1 as m_read above.
int SessionCall_readInputs(SessionCall *call);
void SessionCall_echo(SessionCall *call);
// Frees every input and output, also after a failed or dropped call.
void SessionCall_free(SessionCall *call);

#endif
