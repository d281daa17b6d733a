#ifndef ZYR_DEF_WRITER_INTERNAL_H
#define ZYR_DEF_WRITER_INTERNAL_H
// What the writer's own sources share. An object without ID abandons the write in progress from
// any depth: DefWriter_getID throws DefWriterAbandon, which only DefWriter_writeData catches
// (every temporary on the way is owned by a local, so nothing leaks).

struct DefWriterAbandon {};

// 1 while DefWriter_writeData runs.
int DefWriter_inWrite();

#endif
