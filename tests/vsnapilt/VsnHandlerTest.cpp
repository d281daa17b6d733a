#include "vsnHandle.h"
#include "vsnHandler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Call {
  std::string handler;
  std::string action;
  std::vector<std::string> arguments;  // "<none>" for a NULL list
};

struct Log {
  std::vector<Call> calls;
  int result = 1;
};

template <int Tag>
int handler(vsnHandle*, const char* actionName, char** arguments, void* context) {
  Log* log = static_cast<Log*>(context);
  Call c{"h" + std::to_string(Tag), actionName ? actionName : "<null>", {}};
  if (!arguments) {
    c.arguments.push_back("<none>");
  } else {
    for (char** a = arguments; *a; ++a) c.arguments.push_back(*a);
  }
  log->calls.push_back(c);
  return log->result;
}

class VsnActions : public testing::Test {
 protected:
  void SetUp() override { h = createVSNHandle(); }
  void TearDown() override { destroyVSNHandle(h); }
  vsnHandle* h = nullptr;
  Log log;
};

TEST_F(VsnActions, LinesReachTheirNamedHandlers) {
  EXPECT_STREQ(vsnRunActionLine(h, ">stop"), "no handler was found for action line");
  ASSERT_EQ(addActionHandlerH(h, "save", handler<1>, &log), nullptr);
  ASSERT_EQ(addActionHandlerH(h, "stop", handler<2>, &log), nullptr);
  ASSERT_EQ(vsnRunActionLine(h, ">>  save   file.out"), nullptr);
  ASSERT_EQ(vsnRunActionLine(h, ">stop"), nullptr);
  ASSERT_EQ(vsnRunActionLine(h, "> save a b  c"), nullptr);
  ASSERT_EQ(log.calls.size(), 3u);
  EXPECT_EQ(log.calls[0].handler, "h1");
  EXPECT_EQ(log.calls[0].action, "save");
  EXPECT_EQ(log.calls[0].arguments, std::vector<std::string>{"file.out"});
  EXPECT_EQ(log.calls[1].handler, "h2");
  EXPECT_EQ(log.calls[1].arguments, std::vector<std::string>{"<none>"});
  EXPECT_EQ(log.calls[2].arguments, std::vector<std::string>{"a b  c"});
  EXPECT_STREQ(vsnRunActionLine(h, ">other"), "no handler was found for action line");
}

TEST_F(VsnActions, DefaultHandlerAndReplacement) {
  ASSERT_EQ(addDefaultActionHandlerH(h, handler<1>, &log), nullptr);
  ASSERT_EQ(addDefaultActionHandlerH(h, handler<2>, &log), nullptr);  // replaces the first
  ASSERT_EQ(addActionHandlerH(h, "save", handler<3>, &log), nullptr);
  ASSERT_EQ(addActionHandlerH(h, "save", handler<4>, &log), nullptr);  // same name: one triple
  int n = 0;
  for (vsnActionHandlerTriple* t = h->m_actionHandlers; t->m_function; ++t) ++n;
  EXPECT_EQ(n, 2);
  ASSERT_EQ(vsnRunActionLine(h, ">anything goes"), nullptr);
  ASSERT_EQ(vsnRunActionLine(h, ">save"), nullptr);
  ASSERT_EQ(log.calls.size(), 2u);
  EXPECT_EQ(log.calls[0].handler, "h2");
  EXPECT_EQ(log.calls[0].action, "anything");
  EXPECT_EQ(log.calls[1].handler, "h4");
  log.result = 0;
  EXPECT_STREQ(vsnRunActionLine(h, ">save"), "action invocation returned with error status");
  char arg[] = "x";
  char* args[] = {arg, nullptr};
  log.result = 1;
  EXPECT_EQ(invokeActionH(h, "save", args), nullptr);
  EXPECT_EQ(log.calls.back().arguments, std::vector<std::string>{"x"});
}

void orderA(const char* path, int code, const char*, const char*, void* context) {
  static_cast<std::vector<std::string>*>(context)->push_back("A " + std::string(path) + " " + std::to_string(code));
}
void orderB(const char* path, int code, const char*, const char*, void* context) {
  static_cast<std::vector<std::string>*>(context)->push_back("B " + std::string(path) + " " + std::to_string(code));
}
void replaced(const char* path, void* context) {
  static_cast<std::vector<std::string>*>(context)->push_back("R " + std::string(path));
}

TEST_F(VsnActions, ChangeAndReplaceHandlersRunInRegistrationOrder) {
  std::vector<std::string> seen;
  ASSERT_EQ(addChangeHandlerH(h, orderA, &seen), nullptr);
  ASSERT_EQ(addChangeHandlerH(h, orderB, &seen), nullptr);
  ASSERT_EQ(addReplaceHandlerH(h, replaced, &seen), nullptr);
  ASSERT_EQ(vsnCreateObject(h, "/FLOW", 0), nullptr);
  vsnNotifyReplace(h, "/FLOW");
  EXPECT_EQ(seen, (std::vector<std::string>{"A /FLOW 1", "B /FLOW 1", "R /FLOW"}));
}

void counting(const char*, int, const char*, const char*, void* context) { ++*static_cast<int*>(context); }

struct Registrar {
  vsnHandle* h;
  int extra;
};

// Registers more handlers from inside a notification: the list moves under the caller's loop.
void registering(const char*, int, const char*, const char*, void* context) {
  Registrar* r = static_cast<Registrar*>(context);
  for (int i = 0; i < 8; ++i) addChangeHandlerH(r->h, counting, &r->extra);
}

TEST_F(VsnActions, HandlerRegisteredDuringANotificationIsSafe) {
  Registrar r{h, 0};
  int count = 0;
  ASSERT_EQ(addChangeHandlerH(h, registering, &r), nullptr);
  ASSERT_EQ(addChangeHandlerH(h, counting, &count), nullptr);
  ASSERT_EQ(vsnCreateObject(h, "/X", 0), nullptr);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(r.extra, 8);  // the new ones already hear of the change in progress
}

TEST(VsnDebugHandler, PrintsEachCode) {
  testing::internal::CaptureStdout();
  debugChangeHandler("/p", 0, "new", nullptr, reinterpret_cast<void*>(0x1f));
  debugChangeHandler("/o", 1, nullptr, nullptr, reinterpret_cast<void*>(0x1f));
  debugChangeHandler("/o", 2, nullptr, nullptr, reinterpret_cast<void*>(0x1f));
  debugChangeHandler("/o", 7, nullptr, nullptr, nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "1f: /p: new <- (nul)\n1f: /o: object created\n1f: /o: object deleted\n*** Unknown change code 7\n");
}

} // namespace
