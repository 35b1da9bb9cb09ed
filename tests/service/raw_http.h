// A client of raw bytes over loopback TCP, for tests (and the benchmark)
// that must send exactly what they mean: partial requests, pipelined ones,
// bytes no HTTP library would send, or many idle connections.
//
// A connection can come from any loopback source address (127.0.0.2, say),
// so that tests can open more connections than the service allows one
// address. Reads give up after a time-out instead of hanging.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillmark::service::testing {

struct RawResponse {
  int status = 0;
  std::string reason;
  std::map<std::string, std::string> headers;  // names in lower case; the last of a name wins
  std::string body;

  // The value of `lowerCaseName`, or "" when absent.
  std::string header(const std::string& lowerCaseName) const;
};

class RawConnection {
 public:
  // Connects to 127.0.0.1:`port` from `source` (any loopback address, any
  // local port). connected() tells whether that worked.
  explicit RawConnection(int port, const std::string& source = "127.0.0.1");
  ~RawConnection();
  RawConnection(RawConnection&& other) noexcept;
  RawConnection& operator=(RawConnection&& other) noexcept;
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  bool connected() const { return fd_ >= 0; }

  // Sends all of `bytes`; false when the connection fails first (closed by
  // the peer, say).
  bool send(std::string_view bytes);

  // Ends the sending half (the peer reads end of stream); reading goes on.
  void shutdownWrite();

  // Reads one response (status line, headers, and a body framed by
  // Content-Length, or up to the end of stream without one). A response to a
  // HEAD request has no body: pass `headOnly`. Nothing when the connection
  // ends first, the bytes are not a response, or nothing comes for `patience`.
  std::optional<RawResponse> readResponse(std::chrono::milliseconds patience = std::chrono::seconds(30),
                                          bool headOnly = false);

  // Whether the peer closed the connection (end of stream, or a reset)
  // within `patience`; bytes that come before are dropped.
  bool closedByPeer(std::chrono::milliseconds patience = std::chrono::seconds(30));

  // Everything received until the peer closes, at most `limit` bytes, or
  // until nothing comes for `patience`.
  std::string readUntilClosed(std::size_t limit, std::chrono::milliseconds patience = std::chrono::seconds(30));

 private:
  // Fills buffer_ with more bytes; false at end of stream, error or time-out.
  bool fill(std::chrono::milliseconds patience);

  int fd_ = -1;
  std::string buffer_;  // received and not yet consumed
};

// "GET `path` HTTP/1.1" with a Host header, the `extra` header lines (each
// without CR LF) and the blank line.
std::string getRequest(const std::string& path, const std::vector<std::string>& extra = {});

// The logo request with this Cookie value, as the tool sends it in substance.
std::string logoRequest(const std::string& cookie, const std::vector<std::string>& extra = {});

// This process's resident memory in bytes, or of process `pid`; 0 when the
// system cannot say.
std::size_t residentBytes(int pid = 0);

}  // namespace quillmark::service::testing
