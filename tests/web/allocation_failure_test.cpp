// A response body whose memory cannot be had. The request object ends the
// transfer inside libcurl's callback and fails its Send with kOutOfMemory;
// webRequest then ends the program with the allocation error, as every
// failed allocation of the program does, instead of passing an empty body off
// as a failed request.
//
// This program replaces the global allocation functions: on a thread that
// refuses, every allocation of kRefused bytes or more fails the way an
// exhausted heap makes it fail.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <new>
#include <string>

#include "platform/com/com.h"
#include "platform/winhttp/request_object.h"
#include "support/scripted_server.h"
#include "text/text.h"
#include "web/web_request.h"

namespace {

constexpr std::size_t kRefused = 8 * 1024 * 1024;
thread_local bool refusing = false;

void* allocate(std::size_t size) {
  if (refusing && size >= kRefused) throw std::bad_alloc();
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}

void* allocateOrNull(std::size_t size) noexcept {
  try {
    return allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocateOrNull(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocateOrNull(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace quillmark {
namespace {

namespace com = platform::com;
namespace winhttp = platform::winhttp;
using test_support::ScriptedReply;
using test_support::ScriptedRequest;
using test_support::ScriptedServer;

constexpr std::uint64_t kBodyBytes = 32 * 1024 * 1024;

// Allocations of kRefused bytes or more fail on this thread for the scope.
class Refusing {
 public:
  Refusing() { refusing = true; }
  ~Refusing() { refusing = false; }
  Refusing(const Refusing&) = delete;
  Refusing& operator=(const Refusing&) = delete;
};

// A 200 whose body of kBodyBytes is announced by its Content-Length, or
// runs until the connection closes.
ScriptedReply largeReply(bool announced) {
  ScriptedReply reply;
  reply.bytes = "HTTP/1.1 200 OK\r\n";
  reply.bytes += announced ? "Content-Length: " + std::to_string(kBodyBytes) + "\r\n\r\n" : "Connection: close\r\n\r\n";
  reply.patternBytes = kBodyBytes;
  reply.then = ScriptedReply::Then::Close;
  return reply;
}

// "/large/announced", "/large/unannounced"; anything else is a small body.
ScriptedReply answer(const ScriptedRequest& request) {
  if (request.target == "/large/announced") return largeReply(true);
  if (request.target == "/large/unannounced") return largeReply(false);
  return ScriptedReply::response(200, "OK", {}, "small");
}

com::Variant str(const std::string& ascii) { return com::Variant::fromString(std::u16string(ascii.begin(), ascii.end())); }

com::HResult fetch(const com::ObjectHandle& object, const std::string& url) {
  const com::Variant open[] = {str("GET"), str(url), com::Variant::fromBool(false)};
  const com::HResult opened = com::invoke(object, u"Open", com::InvokeKind::Method, open);
  if (!com::succeeded(opened)) return opened;
  const com::Variant send[] = {com::Variant()};
  return com::invoke(object, u"Send", com::InvokeKind::Method, send);
}

TEST(RequestObjectOutOfMemory, EndsTheTransferAndSaysHowMuchWasAskedFor) {
  ScriptedServer server(answer);
  for (const char* path : {"/large/announced", "/large/unannounced"}) {
    SCOPED_TRACE(path);
    const com::ObjectHandle object(winhttp::newRequestObject());
    com::HResult sent;
    std::size_t asked;
    {
      const Refusing refused;
      sent = fetch(object, server.url(path));
      asked = com::failedAllocation();
    }
    EXPECT_EQ(sent, com::kOutOfMemory);
    EXPECT_GE(asked, kRefused);
    if (std::string(path) == "/large/announced") {
      EXPECT_EQ(asked, kBodyBytes) << "the announced length was asked for at once";
    }
    com::Variant status;
    EXPECT_EQ(com::invoke(object, u"Status", com::InvokeKind::PropertyGet, {}, &status),
              winhttp::kErrorCannotCallBeforeSend);
    // Once memory is there again, the object works as before.
    ASSERT_EQ(fetch(object, server.url("/small")), com::kOk);
    com::Variant body;
    ASSERT_EQ(com::invoke(object, u"ResponseBody", com::InvokeKind::PropertyGet, {}, &body), com::kOk);
    EXPECT_EQ(body.asByteString(), "small");
  }
}

TEST(WebRequestOutOfMemoryDeathTest, EndsTheProgramWithTheAllocationError) {
  // Each child makes its own server: threads do not survive the fork.
  EXPECT_EXIT(
      {
        ScriptedServer server(answer);
        const Refusing refused;
        webRequest(Text(server.url("/large/announced")));
      },
      ::testing::ExitedWithCode(255), "分配 " + std::to_string(kBodyBytes) + " 字节内存失败!");
  EXPECT_EXIT(
      {
        ScriptedServer server(answer);
        const Refusing refused;
        webRequest(Text(server.url("/large/unannounced")));
      },
      ::testing::ExitedWithCode(255), "分配 [0-9]+ 字节内存失败!");
}

}  // namespace
}  // namespace quillmark
