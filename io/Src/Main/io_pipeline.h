#ifndef IO_PIPELINE_H
#define IO_PIPELINE_H
// Numbered jobs whose pure middle step runs on worker threads while everything else stays on
// the calling thread, in order: the chunks of a compressed data part are compressed on several
// cores and still written one after another, with the same calls in the same order as by one
// thread, so that every byte of the file is the same whatever the number of threads.
//
// The library's allocator, error reporting and streams are not thread-safe: the middle step may
// only work on buffers that the first step handed it (compressing them); the workers are started
// and joined inside io_run_pipeline.
#include <cstdint>

// Threads that compress a data part, or prove the frames of a stored index at an open
// (io_frame.cpp), the calling one included: WEZ_COMPRESS_THREADS when it is
// set to a number from 1 up, else the processors this process may run on (both at most 16). Read
// once.
int io_pipeline_threads(void);
// Overrides the count for tests and benchmarks; 0 goes back to the environment and hardware.
void io_set_pipeline_threads(int threads);

// Jobs prepared and not yet emitted at the most, whatever the threads.
#define IO_PIPELINE_MAX_WINDOW 32

// The steps of job i, each given the context:
//   prepare(i)  calling thread, in order: checks and allocations. False when it failed: compute
//               is skipped, emit reports the failure, and no later job is prepared.
//   compute(i)  any thread, after prepare(i): pure work on the job's own buffers.
//   emit(i)     calling thread, in order, after compute(i): stores the job and releases it. A
//               status other than 0 ends the run with that status.
//   discard(i)  calling thread: releases a job that was prepared but will not be emitted (after
//               an earlier emit failed).
// At most a few jobs a thread are prepared ahead of the one being emitted, which bounds the
// memory held. With one thread every job is prepared, computed and emitted before the next.
struct IO_pipeline {
  void *m_context;
  bool (*m_prepare)(void *context, int64_t job);
  void (*m_compute)(void *context, int64_t job);
  int (*m_emit)(void *context, int64_t job);
  void (*m_discard)(void *context, int64_t job);
};

// The most jobs prepared and not yet emitted at once with `threads` threads (at most
// IO_PIPELINE_MAX_WINDOW): jobs i and j that are both held have different
// i % io_pipeline_window(threads), so a caller keeps its per-job state in that many slots.
int64_t io_pipeline_window(int threads);

// Runs jobs 0 to count - 1 on `threads` threads (io_pipeline_threads() when 0 or less). Answers
// 0, or the status of the emit that failed. Allocates nothing; when no thread can be started the
// calling thread does all the work.
int io_run_pipeline(int64_t count, int threads, const IO_pipeline &pipeline);

#endif
