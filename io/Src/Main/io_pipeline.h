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
#include <functional>

// Threads that compress a data part, the calling one included: WEZ_COMPRESS_THREADS when it is
// set to a number from 1 up, else the processors this process may run on (both at most 16). Read
// once.
int io_pipeline_threads(void);
// Overrides the count for tests and benchmarks; 0 goes back to the environment and hardware.
void io_set_pipeline_threads(int threads);

// The steps of job i:
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
  std::function<bool(int64_t)> m_prepare;
  std::function<void(int64_t)> m_compute;
  std::function<int(int64_t)> m_emit;
  std::function<void(int64_t)> m_discard;
};

// The most jobs prepared and not yet emitted at once with `threads` threads: jobs i and j that are
// both held have different i % io_pipeline_window(threads), so a caller keeps its per-job state in
// that many slots.
int64_t io_pipeline_window(int threads);

// Runs jobs 0 to count - 1 on `threads` threads (io_pipeline_threads() when 0 or less). Answers
// 0, or the status of the emit that failed.
int io_run_pipeline(int64_t count, int threads, const IO_pipeline &pipeline);

#endif
