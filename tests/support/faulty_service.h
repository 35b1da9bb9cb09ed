// Loopback services that misbehave on their first request.
//
// FaultyService serves one path. The first request for that path meets one
// of the faults below; every later request for it gets the `afterwards`
// reply, so a batch of requests can show that one bad answer harms only its
// own request. Each fault is what a broken or overloaded server, or a broken
// network, does to a client. Nothing here reaches beyond the loopback
// interface.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "support/loopback_server.h"
#include "support/scripted_server.h"

namespace quillmark::test_support {

enum class Fault {
  Refused,            // nothing listens yet: the connection is refused (see listen())
  NeverAnswers,       // accepts, reads the request and never sends a byte
  HeadersThenStall,   // sends the head and 3 of 100 body bytes, then nothing more
  ShortBody,          // sends the head and 3 of 100 body bytes, then closes
  GarbageStatusLine,  // answers "NOT-HTTP garbage" and closes
  RedirectLoop,       // redirects to /loop, which redirects to itself forever
  HttpsToHttp,        // redirects to an https server, which redirects back to http
  ServerError,        // a complete 500 page with a cookie
  HugeBody,           // a 200 with a body of kHugeBodyBytes pattern bytes
  SlowDrip,           // a 200 whose kDripBytes body bytes come one every kDripInterval
  EndlessBody,        // a 200 without a length whose pattern body never ends
};

inline constexpr std::uint64_t kHugeBodyBytes = 100ull * 1024 * 1024;
inline constexpr std::uint64_t kDripBytes = 20;
inline constexpr std::chrono::milliseconds kDripInterval{100};
inline constexpr std::string_view kServerErrorPage = "<h1>busy</h1>";

// "Refused", "NeverAnswers", ... (usable as a test name).
std::string faultName(Fault fault);

class FaultyService {
 public:
  FaultyService(Fault fault, std::string path, ScriptedReply afterwards);

  // "http://127.0.0.1:<port>" + path.
  std::string url() const { return server_->url(path_); }
  int port() const noexcept { return server_->port(); }
  // For Refused: from now on connections are accepted. Safe from any thread.
  void listen() { server_->listen(); }
  // Every request the http server read, oldest first.
  std::vector<ScriptedRequest> requests() const { return server_->requests(); }
  // Requests the https server of HttpsToHttp read; 0 for the other faults.
  int httpsRequests() const;

 private:
  std::string path_;
  std::unique_ptr<LoopbackServer> https_;
  std::unique_ptr<ScriptedServer> server_;
};

}  // namespace quillmark::test_support
