// Replaying a session of 2,000 strategy-parameter calls (set and get in turn) through the
// player (ours), beside the same calls made directly through the procedural interface in the same
// run (the baseline). Each replay must play the whole session without an error and leave the
// parameter at the last value the session set. Counters: replay_calls_per_s, direct_calls_per_s
// and ratio_direct = replay time / direct time (1.0 means reading the session file costs nothing
// beyond the calls themselves). Every call commits its state to disc, which is most of the time
// of both.
#include "Session.h"
#include "SessionPlayer.h"
#include "zyrAPI.h"
#include "zyrBenchSupport.h"
#include "zyrErrorManager.h"
#include "zyrTestSupport.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using zyrbench::Clock;
using zyrbench::seconds;

const int kCalls = 2000;

std::string sessionText(int32_t hModel) {
  std::string text;
  const std::string handle = std::to_string(hModel);
  for (int i = 0; i < kCalls / 2; ++i) {
    text += "zyrStrategy_setIntegerParameter\n" + handle + "\nNameManager_regionNameStrategy\n" +
            std::to_string(1 + i % 4) + "\n";
    text += "zyrStrategy_getIntegerParameter\n" + handle + "\nNameManager_regionNameStrategy\n";
  }
  return text;
}

void BM_SessionReplay(benchmark::State &state) {
  setenv("ZYR_USE_LOCAL_UNITS", "1", 0);
  unsetenv("ZYR_SESSION_FILE");
  zyrtest::ScratchDir dir("zyrbench_replay");
  int32_t hDatabase = -1;
  int32_t hModel = -1;
  if (zyrDatabase_open(dir.file("bench.zyr").c_str(), &hDatabase, &hModel) != 1) {
    state.SkipWithError("cannot open a database");
    return;
  }
  std::string text = sessionText(hModel);
  double replay = 0.0;
  double direct = 0.0;
  const int32_t last = 1 + (kCalls / 2 - 1) % 4;
  for (auto _ : state) {
    // Another value first, so that only the replay can leave the last one.
    zyrStrategy_setIntegerParameter(hModel, "NameManager_regionNameStrategy", last % 4 + 1);
    FILE *input = fmemopen(&text[0], text.size(), "r");
    Session *session = Session_new();
    const Clock::time_point a = Clock::now();
    const int played = Session_play(session, input);
    const Clock::time_point b = Clock::now();
    Session_delete(session);
    std::fclose(input);
    int32_t value = 0, errors = 0;
    zyrErrorManager_getNoOfErrors(zyrErrorManager_get(), &errors);
    if (played != 1 || errors != 0 ||
        zyrStrategy_getIntegerParameter(hModel, "NameManager_regionNameStrategy", &value) != 1 || value != last) {
      state.SkipWithError("the session did not play");
      break;
    }
    const Clock::time_point c0 = Clock::now();
    for (int i = 0; i < kCalls / 2; ++i) {
      zyrStrategy_setIntegerParameter(hModel, "NameManager_regionNameStrategy", 1 + i % 4);
      zyrStrategy_getIntegerParameter(hModel, "NameManager_regionNameStrategy", &value);
    }
    const Clock::time_point c = Clock::now();
    benchmark::DoNotOptimize(played + value);
    replay += seconds(a, b);
    direct += seconds(c0, c);
  }
  zyrDatabase_close(hDatabase, 1);
  zyrErrorManager_clearErrors(zyrErrorManager_get());
  const double iterations = static_cast<double>(state.iterations());
  state.counters["replay_calls_per_s"] = kCalls * iterations / replay;
  state.counters["direct_calls_per_s"] = kCalls * iterations / direct;
  if (direct > 0.0)
    zyrbench::reportTotals(state, "replay", replay, "direct", direct, 2);
}

} // namespace

BENCHMARK(BM_SessionReplay)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_MAIN();
