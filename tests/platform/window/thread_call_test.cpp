#include "platform/window/thread_call.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <QThread>

#include <atomic>
#include <string>
#include <thread>

namespace quillmark::platform {
namespace {

// Runs `work` on a new thread and processes GUI-thread events until it ends.
template <typename Work>
void runOnWorkerWhileServingEvents(Work work) {
  std::atomic<bool> done{false};
  std::thread worker([&] {
    work();
    done = true;
  });
  while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  worker.join();
}

TEST(CallOnThreadOf, RunsAWorkersCallOnTheOwningThreadAndReturnsItsResult) {
  QObject context;
  QThread* ranOn = nullptr;
  std::string result;
  runOnWorkerWhileServingEvents([&] {
    result = callOnThreadOf(&context, [&] {
      ranOn = QThread::currentThread();
      return std::string("from the GUI thread");
    });
  });
  EXPECT_EQ(ranOn, context.thread());
  EXPECT_EQ(result, "from the GUI thread");
}

TEST(CallOnThreadOf, WaitsForAVoidCallToFinish) {
  QObject context;
  int calls = 0;
  bool seenByWorker = false;
  runOnWorkerWhileServingEvents([&] {
    callOnThreadOf(&context, [&] { ++calls; });
    seenByWorker = calls == 1;  // the call has run before callOnThreadOf returned
  });
  EXPECT_TRUE(seenByWorker);
}

TEST(CallOnThreadOf, RunsDirectlyOnTheOwningThread) {
  QObject context;
  // No event loop runs here: a queued call would never come back.
  EXPECT_EQ(callOnThreadOf(&context, [] { return 7; }), 7);
  EXPECT_EQ(callOnThreadOf(&context, [] { return QThread::currentThread(); }), QThread::currentThread());
}

TEST(CallOnThreadOf, GivesAnEmptyResultWithoutAContext) {
  bool ran = false;
  EXPECT_EQ(callOnThreadOf(nullptr, [&] {
              ran = true;
              return std::string("x");
            }),
            "");
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace quillmark::platform
