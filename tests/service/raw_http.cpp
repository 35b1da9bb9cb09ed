#include "service/raw_http.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <fstream>
#include <utility>

namespace quillmark::service::testing {
namespace {

std::string lowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return std::string(text);
}

}  // namespace

std::string RawResponse::header(const std::string& lowerCaseName) const {
  const auto found = headers.find(lowerCaseName);
  return found == headers.end() ? std::string() : found->second;
}

RawConnection::RawConnection(int port, const std::string& source) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  inet_pton(AF_INET, source.c_str(), &local.sin_addr);
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_port = htons(static_cast<std::uint16_t>(port));
  inet_pton(AF_INET, "127.0.0.1", &remote.sin_addr);
  const int yes = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
      ::connect(fd, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) != 0) {
    ::close(fd);
    return;
  }
  fd_ = fd;
}

RawConnection::~RawConnection() {
  if (fd_ >= 0) ::close(fd_);
}

RawConnection::RawConnection(RawConnection&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), buffer_(std::move(other.buffer_)) {}

RawConnection& RawConnection::operator=(RawConnection&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    buffer_ = std::move(other.buffer_);
  }
  return *this;
}

bool RawConnection::send(std::string_view bytes) {
  while (!bytes.empty()) {
    if (fd_ < 0) return false;
    const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

void RawConnection::shutdownWrite() {
  if (fd_ >= 0) ::shutdown(fd_, SHUT_WR);
}

bool RawConnection::fill(std::chrono::milliseconds patience) {
  if (fd_ < 0) return false;
  pollfd waiting{fd_, POLLIN, 0};
  int ready = 0;
  do {
    ready = ::poll(&waiting, 1, static_cast<int>(patience.count()));
  } while (ready < 0 && errno == EINTR);
  if (ready <= 0) return false;
  char chunk[65536];
  const ssize_t got = ::recv(fd_, chunk, sizeof chunk, 0);
  if (got <= 0) return false;
  buffer_.append(chunk, static_cast<std::size_t>(got));
  return true;
}

std::optional<RawResponse> RawConnection::readResponse(std::chrono::milliseconds patience, bool headOnly) {
  std::size_t end = std::string::npos;
  while ((end = buffer_.find("\r\n\r\n")) == std::string::npos)
    if (!fill(patience)) return std::nullopt;
  const std::string head = buffer_.substr(0, end);
  buffer_.erase(0, end + 4);

  RawResponse response;
  std::size_t lineEnd = head.find("\r\n");
  const std::string statusLine = head.substr(0, lineEnd);
  if (statusLine.rfind("HTTP/1.", 0) != 0 || statusLine.size() < 12) return std::nullopt;
  const auto [ptr, error] = std::from_chars(statusLine.data() + 9, statusLine.data() + 12, response.status);
  if (error != std::errc()) return std::nullopt;
  response.reason = statusLine.size() > 13 ? statusLine.substr(13) : "";
  while (lineEnd != std::string::npos) {
    const std::size_t start = lineEnd + 2;
    lineEnd = head.find("\r\n", start);
    const std::string line = head.substr(start, lineEnd == std::string::npos ? std::string::npos : lineEnd - start);
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    response.headers[lowerCase(line.substr(0, colon))] = trimmed(std::string_view(line).substr(colon + 1));
  }
  if (headOnly) return response;
  const std::string length = response.header("content-length");
  if (length.empty()) {
    while (fill(patience)) {
    }
    response.body = std::move(buffer_);
    buffer_.clear();
    return response;
  }
  std::size_t wanted = 0;
  std::from_chars(length.data(), length.data() + length.size(), wanted);
  while (buffer_.size() < wanted)
    if (!fill(patience)) return std::nullopt;
  response.body = buffer_.substr(0, wanted);
  buffer_.erase(0, wanted);
  return response;
}

bool RawConnection::closedByPeer(std::chrono::milliseconds patience) {
  if (fd_ < 0) return true;
  const auto deadline = std::chrono::steady_clock::now() + patience;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd waiting{fd_, POLLIN, 0};
    const int ready = ::poll(&waiting, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    char chunk[65536];
    const ssize_t got = ::recv(fd_, chunk, sizeof chunk, 0);
    if (got <= 0) return true;
  }
}

std::string RawConnection::readUntilClosed(std::size_t limit, std::chrono::milliseconds patience) {
  while (buffer_.size() < limit && fill(patience)) {
  }
  std::string out = std::move(buffer_);
  buffer_.clear();
  if (out.size() > limit) out.resize(limit);
  return out;
}

std::string getRequest(const std::string& path, const std::vector<std::string>& extra) {
  std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  for (const std::string& line : extra) request += line + "\r\n";
  return request + "\r\n";
}

std::string logoRequest(const std::string& cookie, const std::vector<std::string>& extra) {
  std::vector<std::string> lines = extra;
  lines.push_back("Cookie: " + cookie);
  return getRequest("/logoa/logo_img_sc.php", lines);
}

std::size_t residentBytes(int pid) {
  std::ifstream status(pid == 0 ? std::string("/proc/self/status") : "/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) != 0) continue;
    std::size_t kilobytes = 0;
    const std::string digits = trimmed(std::string_view(line).substr(6));
    std::from_chars(digits.data(), digits.data() + digits.size(), kilobytes);
    return kilobytes * 1024;
  }
  return 0;
}

}  // namespace quillmark::service::testing
