// Work done beside the caller: the worker leaves every signal to the thread that started it, and
// the caller's own mask is as it was.
#include "zyrWorker.h"

#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>
#include <signal.h>

#include <algorithm>
#include <thread>
#include <vector>

namespace {

// The signals among a few that the calling thread blocks.
std::vector<int> blockedHere() {
  sigset_t mask;
  pthread_sigmask(SIG_BLOCK, nullptr, &mask);
  std::vector<int> blocked;
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGPIPE})
    if (sigismember(&mask, s))
      blocked.push_back(s);
  return blocked;
}

TEST(WorkerTest, AWorkerBlocksEverySignalAndTheCallerKeepsItsMask) {
  sigset_t one, before;
  sigemptyset(&one);
  sigaddset(&one, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &one, &before);
  std::vector<int> inWorker;
  zyrWorker worker;
  zyrWorker_start(&worker, [&inWorker] { inWorker = blockedHere(); });
  zyrWorker_join(&worker);
  EXPECT_EQ(inWorker, (std::vector<int>{SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGPIPE}));
  EXPECT_EQ(blockedHere(), (std::vector<int>{SIGUSR1}));
  std::vector<int> inThread;
  std::thread thread = zyrWorker_thread([&inThread] { inThread = blockedHere(); });
  thread.join();
  EXPECT_EQ(inThread, inWorker);
  EXPECT_EQ(blockedHere(), (std::vector<int>{SIGUSR1}));
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  // A worker joined twice, or one whose work is done, waits for nothing.
  zyrWorker_join(&worker);
}

} // namespace

namespace {

// The processors this process may run on, as taskset and cpusets narrow them.
int processors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  return sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 1;
}

TEST(WorkerTest, TheCountIsTheVariablesNumberElseTheProcessorsUpToTheMost) {
  const char *variable = "ZYR_WORKER_TEST_THREADS";
  {
    zyrtest::EnvGuard set(variable, "3");
    EXPECT_EQ(zyrWorker_count(variable, 1), 3); // the variable wins over the most
  }
  {
    zyrtest::EnvGuard set(variable, "99");
    EXPECT_EQ(zyrWorker_count(variable, 4), 16);
  }
  for (const char *ignored : {"", "0", "-2", "3x", "many"}) {
    zyrtest::EnvGuard set(variable, ignored);
    EXPECT_EQ(zyrWorker_count(variable, 4), std::min(processors(), 4)) << "'" << ignored << "'";
  }
  zyrtest::EnvGuard unset(variable, nullptr);
  EXPECT_EQ(zyrWorker_count(variable, 64), std::min(processors(), 16));
  EXPECT_EQ(zyrWorker_count(nullptr, 0), 1);
}

} // namespace
