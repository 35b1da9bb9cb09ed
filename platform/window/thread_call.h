// Running an operation on the thread that owns a Qt object.
//
// Widgets may only be touched on the GUI thread. A window operation called
// from a worker thread is handed to the GUI thread as a blocking queued call:
// the worker waits until the GUI thread has run it and gets its result back.
// Called on the owning thread, the operation runs directly.
#pragma once

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <optional>
#include <type_traits>
#include <utility>

#if defined(__SANITIZE_THREAD__)
#define QUILLMARK_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define QUILLMARK_THREAD_SANITIZER 1
#endif
#endif
#if defined(QUILLMARK_THREAD_SANITIZER)
#include <sanitizer/tsan_interface.h>
#endif

namespace quillmark::platform {

namespace detail {

// Qt carries a blocking queued call to the owning thread and back under
// locks of its own, which ThreadSanitizer cannot see (Qt is not built with
// it): it would take the hand-over of the call's captures and result for a
// race. A HandOff, captured last, tells it what Qt guarantees: the captures
// are complete when the call is queued (its move into Qt's call object),
// the call runs after that, and its end comes before the caller goes on and
// before Qt destroys the call object. Without ThreadSanitizer it does
// nothing.
struct HandOff {
  HandOff() = default;
  HandOff(const HandOff&) noexcept { release(this); }
  HandOff(HandOff&&) noexcept { release(this); }
  HandOff& operator=(const HandOff&) = delete;
  HandOff& operator=(HandOff&&) = delete;
  ~HandOff() { acquire(this); }

  // The owning thread, before it reads the captures.
  void begin() const noexcept { acquire(this); }
  // The owning thread, after the call wrote its result; `caller` is the
  // caller's own token, taken once the blocking call returns.
  void end(const void* caller) const noexcept {
    release(this);
    release(caller);
  }

  static void release(const void* token) noexcept {
#if defined(QUILLMARK_THREAD_SANITIZER)
    __tsan_release(const_cast<void*>(token));
#else
    (void)token;
#endif
  }
  static void acquire(const void* token) noexcept {
#if defined(QUILLMARK_THREAD_SANITIZER)
    __tsan_acquire(const_cast<void*>(token));
#else
    (void)token;
#endif
  }
};

}  // namespace detail

// Runs `operation` on the thread of `context` and returns its result. On that
// thread itself it runs at once. From any other thread the caller blocks
// until the owning thread's event loop has run it, so that thread must be
// running (or come to run) its event loop. When the call cannot be delivered
// (a null context or one whose thread is gone) the operation does not run
// and a value-initialised result (empty text, empty buffer) comes back.
template <typename Operation>
std::invoke_result_t<Operation&> callOnThreadOf(QObject* context, Operation&& operation) {
  using Result = std::invoke_result_t<Operation&>;
  if (context == nullptr) return Result();
  if (QThread::currentThread() == context->thread()) return operation();
  const char returned = 0;  // the caller's token: the call's end comes before it goes on
  if constexpr (std::is_void_v<Result>) {
    QMetaObject::invokeMethod(
        context,
        [&operation, &returned, handOff = detail::HandOff()] {
          handOff.begin();
          operation();
          handOff.end(&returned);
        },
        Qt::BlockingQueuedConnection);
    detail::HandOff::acquire(&returned);
  } else {
    std::optional<Result> result;
    const bool delivered = QMetaObject::invokeMethod(
        context,
        [&operation, &result, &returned, handOff = detail::HandOff()] {
          handOff.begin();
          result.emplace(operation());
          handOff.end(&returned);
        },
        Qt::BlockingQueuedConnection);
    detail::HandOff::acquire(&returned);
    if (!delivered || !result) return Result();
    return std::move(*result);
  }
}

}  // namespace quillmark::platform
