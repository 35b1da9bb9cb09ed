// A bound on how long a scope may take, for tests of code that must not hang.
//
// When the scope is still running after `bound`, the watchdog prints what
// hung to standard error and aborts the test program, so a hang shows as a
// failed test with a reason instead of a stuck run. The bound is generous:
// it says "finished at all", never "finished fast".
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace quillmark::test_support {

class Watchdog {
 public:
  Watchdog(std::chrono::seconds bound, std::string what)
      : thread_([this, bound, what = std::move(what)] {
          std::unique_lock lock(mutex_);
          if (!done_.wait_for(lock, bound, [this] { return finished_; })) {
            std::fprintf(stderr, "%s: still running after %lld s, taken for a hang\n", what.c_str(),
                         static_cast<long long>(bound.count()));
            std::abort();
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard lock(mutex_);
      finished_ = true;
    }
    done_.notify_all();
    thread_.join();
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable done_;
  bool finished_ = false;
  std::thread thread_;  // last: starts once the members above exist
};

}  // namespace quillmark::test_support
