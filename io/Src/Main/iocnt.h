#ifndef IOCNT_H
#define IOCNT_H
// The request interface of the data-set file library: one entry point for every operation on
// the files of an IO_state (io_records.h), one numbered request at a time.
//
// The caller owns the state, one IO_header and one IO_data. A request's status is 0 on success
// or one of the codes of io_records.h; every failure, except the silent answers named below, is
// reported as one line to the request's error callback before it returns.
//
// Most requests work on the current file: the primary file after IO_OPEN_PRIMARY,
// IO_CLOSE_SECONDARY and IO_USE_PRIMARY, the secondary after IO_OPEN_SECONDARY and
// IO_USE_SECONDARY, none after IO_CLOSE_PRIMARY. IO_LOCATE_PRIMARY_DS,
// IO_READ_LOCATED_PRIMARY_DS and IO_READ_LOCATED_PRIMARY_DS_AS work on the primary file and leave
// the current file as it was, whatever their outcome. A request on the current file while none is
// current, or while the file it names is not open, answers IO_OPEN_ERR.
//
// File names come in the character array: its first count characters when the count is not 0,
// else the terminated text it holds.
//
// Silent answers: IO_NO_MATCH from the locate requests, and IO_MEMORY_ERR from the locate and
// read requests (7, 8, 10, 18, 43, 44) when the caller's arrays are too small: their counts then
// hold the sizes needed, and the caller enlarges the arrays and asks again.
//
// Before every write of a data set or of a piece of one (requests 6, 12, 14, 19, 21, 27) the
// current file's write format is chosen: WEZ_FORMAT when set and not empty (its first two
// characters; "F" when the first is not a format letter), else the state's default format when
// set and not empty, else "U5"; made native.
//
// Crashes: once a request that replaces or erases a data set has returned success, no crash at
// any later moment, and no number of later opens, closes, compactions and crashes, makes an
// older version of it readable again. After a crash a data set is as the last successful request
// left it or, when that request was a write whose end was still in the stream, as the request
// before it left it; never older. Data sets are only ever appended, so a file's frames stand in
// the order they were written, and the index rebuilt after a crash takes the last frame of each
// data set as deciding: a live frame followed by a deleted frame of the same data set is not
// current, even where the replacement never tagged it (io_rebuild.h).
#include "io_records.h"

// The validating entry point: checks the arguments in a fixed order (callback, data block,
// header, offsets, strings and integers), then dispatches.
int iocntc(int32_t request, IO_error_callback callback, IO_header *header, IO_data *data,
           IO_state *state);
// The dispatcher, without the checks.
int iocnt(int32_t request, IO_error_callback callback, IO_header *header, IO_data *data,
          IO_state *state);

// The same on one process-wide state, for callers that keep none of their own. The validating
// variant also lets IO_GET_CURRENT_FILE pass without a header.
int iocntc_global(int32_t request, IO_error_callback callback, IO_header *header, IO_data *data);
int iocnt_global(int32_t request, IO_error_callback callback, IO_header *header, IO_data *data);

#endif
