#ifndef ZYR_DSDB_QUERY_H
#define ZYR_DSDB_QUERY_H
// The models of a simulation database, as listed by the simulation-database reader
// (wezdsdbreader.exe, found through the WEZ5 installation environment or its override variable
// WEZ5_WEZDSDBREADER_EXEC). The reader is started as "-list <file> -server_mode" with its standard
// streams joined to a pipe, and answers in tagged lines:
//
//   <MODELS_BEG>        the listing: a count line, then four lines per model
//   2                     (first integer, first text, second integer, second text)
//   0
//   Model A
//   ...
//   <MODELS_END>
//   <ERROR_BEG> ... <ERROR_END>        one error (10022) per block; the query fails
//   <WARNING_BEG> ... <WARNING_END>    all blocks join one warning (5)
//
// A tag counts when the line begins with it; any other line outside the blocks is ignored.
#include <cstdint>

struct Conduit;

// Fills the count and four new arrays of count entries (the integers are freed with
// zyrMemory_free, the texts with zyrCStringArray_free and the count). 1 on success; 0 on
// failure, when the outputs are 0 and NULL, except after an error block in an otherwise well-formed
// listing, whose models are still given. A reader that does not end with exit status 0 fails the
// query unless it reported an error block. Any output pointer may be NULL when not wanted.
int zyrDSDBQuery_getModels(const char *fileName, int32_t *count, int32_t **firstIntegers, int32_t **secondIntegers,
                           char ***firstTexts, char ***secondTexts);

// The reading half of the query: reads the reader's output from the conduit to its end and
// gives the query's result and outputs as above (the exit status aside).
int zyrDSDBQuery_readOutput(Conduit *conduit, int32_t *count, int32_t **firstIntegers, int32_t **secondIntegers,
                            char ***firstTexts, char ***secondTexts);

#endif
