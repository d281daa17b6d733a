#ifndef ZYR_SESSION_PLAYER_H
#define ZYR_SESSION_PLAYER_H
// The session player: replays a session file by making its recorded procedural-interface calls
// again, or, when its input is a terminal, serves as a small command interpreter that prompts for
// every value and echoes each call's inputs, outputs, result and errors.
//
// A call that fails does not stop the play; in a file its errors stay queued for the caller.
// The play stops at the end of the input, at "quit" or "end", or on a broken file: a record cut
// short (10034), an unknown keyword or a refused value (10035). Recording is suspended while a
// session plays, so a replay never records itself.
#include "zyrErrorManager.h"

#include <cstdint>
#include <cstdio>

struct Session;
struct zyrAffineTransform3D;
struct zyrError;

// The handler codes of the keyword "zyrApp_setErrorHandler"; any other code installs none.
enum { SESSION_NULL_ERROR_HANDLER = 1, SESSION_DEBUG_ERROR_HANDLER = 2 };

// Plays the process's standard input; the result of Session_play.
int SessionFile_playInteractive();
// 1 when the input ended where a keyword was expected (or at "quit"/"end"), 0 when the play
// stopped on a broken file.
int Session_play(Session *session, FILE *input);

// Formats to the standard output, when the session is interactive.
void Session_echo(Session *session, const char *format, ...) __attribute__((format(printf, 2, 3)));
// After a failed call of an interactive session: reports the queued errors and clears them.
void Session_echoError(Session *session, int status);
// Thirteen lines: the matrix row by row, the translation and the unit, each "%c <name>", the
// padding and "= " (the padding is the name width, at most 50).
void Session_echoTransformation(Session *session, const zyrAffineTransform3D *transformation, char prefix,
                                int32_t nameWidth);
// The help text (interactive sessions).
void Session_echoHelp(Session *session);
// Writes each record as the player reports errors: code, description, function, file, line,
// message.
void Session_writeErrors(FILE *stream, int32_t noOfErrors, zyrError *const *errors);
// Takes the queued records off the error queue at the end of a play: writes them to the stream
// as Session_writeErrors does (nothing when the stream is NULL). 1 when one of them is an error
// (not a warning), else 0.
int Session_takeErrors(FILE *stream);

// The handler that does nothing and consumes the record.
int nullErrorHandler(zyrError *error);
// The handler that reports each published error through the echo of the session remembered by
// Session_setDebugSession, and consumes it.
int debugErrorHandler(zyrError *error);
void Session_setDebugSession(Session *session);
// The handler a code of "zyrApp_setErrorHandler" installs (NULL for none); a debug handler
// reports through the given session.
zyrErrorHandler Session_getErrorHandler(int32_t code, Session *session);

#endif
