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

namespace quillmark::platform {

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
  if constexpr (std::is_void_v<Result>) {
    QMetaObject::invokeMethod(context, [&operation] { operation(); },
                              Qt::BlockingQueuedConnection);
  } else {
    std::optional<Result> result;
    const bool delivered = QMetaObject::invokeMethod(
        context, [&operation, &result] { result.emplace(operation()); },
        Qt::BlockingQueuedConnection);
    if (!delivered || !result) return Result();
    return std::move(*result);
  }
}

}  // namespace quillmark::platform
