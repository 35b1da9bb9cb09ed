// A stand-in for the HTTP request object that records every member call.
//
// RecordingRequest declares the same member table as the real object
// (winhttp::requestMembers()), so invoke() converts arguments exactly as it
// does for the real one; each call is logged with its converted arguments and
// answered from a configurable reply. ScopedRecordingRequest puts it under
// kRequestProgId for a scope; ScopedFailingRequest puts a factory there that
// never gives an object.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/com.h"
#include "platform/winhttp/request_object.h"

namespace quillmark::test_support {

namespace com = platform::com;

// One member call as the object received it (arguments already converted to
// the declared types).
struct RecordedCall {
  std::u16string member;  // as declared: "SetRequestHeader", "Option", ...
  com::InvokeKind kind;
  std::vector<com::Variant> arguments;

  // "Open(BSTR(\"GET\"), BSTR(\"http://a/\"), BOOL(0))"; a PropertyGet is
  // written "get Status()", a PropertyPut "put Option(I4(6), I4(0))".
  std::string text() const;
};

class RecordingRequest : public com::Dispatch {
 public:
  // What the reads answer. Reads answer these values at any time, also
  // before Send.
  struct Reply {
    std::vector<std::uint8_t> body;        // ResponseBody (a byte array)
    std::u16string headers;                // GetAllResponseHeaders
    std::int32_t status = 200;             // Status
    std::u16string statusText = u"OK";     // StatusText
    std::u16string finalUrl;               // Option(1) get
  };

  std::span<const com::MemberSignature> members() const noexcept override;
  com::HResult call(const com::MemberSignature& member, std::span<const com::Variant> arguments,
                    com::Variant& result) noexcept override;

  void setReply(Reply reply);
  // Every later call of `member` (any kind, compared without regard to case)
  // is recorded and then fails with kFail, leaving its result Empty.
  void failMember(std::u16string member);

  // Copies of the log, oldest first. Safe from any thread.
  std::vector<RecordedCall> calls() const;
  std::vector<std::string> callTexts() const;
  // Only the calls of one member (compared without regard to case).
  std::vector<RecordedCall> callsOf(std::u16string_view member) const;
  void clear();

 private:
  mutable std::mutex mutex_;
  Reply reply_;
  std::vector<std::u16string> failing_;
  std::vector<RecordedCall> calls_;
};

// Registers a factory under kRequestProgId for the life of the scope that
// hands out `object()` (one shared recording object) on every creation, then
// restores the previous factory.
class ScopedRecordingRequest {
 public:
  ScopedRecordingRequest();
  ScopedRecordingRequest(const ScopedRecordingRequest&) = delete;
  ScopedRecordingRequest& operator=(const ScopedRecordingRequest&) = delete;

  RecordingRequest& object() const noexcept { return *object_; }
  std::shared_ptr<RecordingRequest> shared() const noexcept { return object_; }
  // How many times createObject asked the factory for an object.
  int creations() const noexcept;

 private:
  std::shared_ptr<RecordingRequest> object_;
  std::shared_ptr<std::atomic<int>> creations_;
  com::ScopedFactory factory_;
};

// A factory that never gives an object (createObject then returns an empty
// handle), and the scope that registers it under kRequestProgId.
com::Factory failingFactory();

class ScopedFailingRequest {
 public:
  ScopedFailingRequest();

 private:
  com::ScopedFactory factory_;
};

}  // namespace quillmark::test_support
