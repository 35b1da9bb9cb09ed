// A loopback HTTP server that misbehaves on cue.
//
// ScriptedServer reads each request head off a keep-alive connection and
// asks its script how to answer that request: which bytes to send at once,
// which to drip one at a time, how many pattern bytes to stream after them,
// and whether to keep the connection, close it or hold it open without another
// byte. The script sees the request's number (1 for the first request the
// server read, on any connection) and its target, so one server can answer
// the first request badly and the later ones well. A server made with
// `listening` false is bound but refuses connections until listen() is
// called. Request bodies are not read: the scripts answer GETs. Nothing here
// reaches beyond the loopback interface.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace quillmark::test_support {

struct ScriptedReply {
  enum class Then { KeepAlive, Close, Stall };

  std::string bytes;                        // sent at once
  std::string drip;                         // then sent one byte at a time, dripInterval apart
  std::chrono::milliseconds dripInterval{100};
  std::uint64_t patternBytes = 0;           // then this many bytes of patternByte(0), patternByte(1), ...
                                            // (kEndless: until the client goes)
  Then then = Then::KeepAlive;

  // A complete response: status line, the given header lines (each "Name:
  // value"), Content-Length of `body`, then the body; the connection stays.
  static ScriptedReply response(int status, std::string reason, std::vector<std::string> headerLines,
                                std::string body);
  // A 302 to `location` with an empty body.
  static ScriptedReply redirect(std::string location);
};

// As many pattern bytes as no client takes: the body of a server that never
// stops sending.
inline constexpr std::uint64_t kEndless = ~std::uint64_t{0};

// The byte at offset i of a streamed pattern body.
inline char patternByte(std::uint64_t i) { return static_cast<char>('a' + i % 23); }
// The first `length` bytes of the pattern.
std::string patternBody(std::uint64_t length);

// One request as the script sees it.
struct ScriptedRequest {
  int number = 0;      // 1 for the first request the server read
  std::string target;  // "/logoa/logo_img_sc.php"
  std::string head;    // request line and header lines with their CR LF, then CR LF
};

using Script = std::function<ScriptedReply(const ScriptedRequest&)>;

class ScriptedServer {
 public:
  explicit ScriptedServer(Script script, bool listening = true);
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  // Starts accepting connections; until then a connection is refused.
  // Safe from any thread; a second call does nothing.
  void listen();

  int port() const noexcept { return port_; }
  // "http://127.0.0.1:<port>" + pathAndQuery.
  std::string url(std::string_view pathAndQuery = "/") const;
  // Every request head read so far, oldest first. Safe from any thread.
  std::vector<ScriptedRequest> requests() const;

  struct State;

 private:
  std::shared_ptr<State> state_;
  int port_ = 0;
  std::thread thread_;
};

}  // namespace quillmark::test_support
