#include "platform/winhttp/request_object.h"

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <signal.h>
#include <time.h>

#include <pthread.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <limits>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/codepage.h"

namespace quillmark::platform::winhttp {

namespace {

using com::HResult;
using com::InvokeKind;
using com::MemberSignature;
using com::Variant;
using com::VariantType;

const std::vector<MemberSignature>& memberTable() {
  static const std::vector<MemberSignature> table = {
      {u"SetTimeouts", InvokeKind::Method,
       {VariantType::Int32, VariantType::Int32, VariantType::Int32, VariantType::Int32}},
      {u"SetProxy", InvokeKind::Method, {VariantType::Int32, VariantType::String}},
      {u"Open", InvokeKind::Method, {VariantType::String, VariantType::String, VariantType::Bool}},
      {u"Option", InvokeKind::PropertyPut, {VariantType::Int32, VariantType::Any}},
      {u"Option", InvokeKind::PropertyGet, {VariantType::Int32}},
      {u"SetCredentials", InvokeKind::Method, {VariantType::String, VariantType::String, VariantType::Int32}},
      {u"SetRequestHeader", InvokeKind::Method, {VariantType::String, VariantType::String}},
      {u"Send", InvokeKind::Method, {VariantType::Any}},
      {u"ResponseBody", InvokeKind::PropertyGet, {}},
      {u"GetAllResponseHeaders", InvokeKind::Method, {}},
      {u"Status", InvokeKind::PropertyGet, {}},
      {u"StatusText", InvokeKind::PropertyGet, {}},
  };
  return table;
}

// ---- Small text routines ----

char foldChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }
char16_t foldUnit(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + (u'a' - u'A')) : c; }

bool sameFolded(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) { return foldUnit(x) == foldUnit(y); });
}

std::string lowerAscii(std::string_view text) {
  std::string out(text);
  for (auto& c : out) c = foldChar(c);
  return out;
}

bool isAscii(std::u16string_view text) {
  return std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x80; });
}

std::string asciiBytes(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char16_t c : text) out.push_back(static_cast<char>(c));
  return out;
}

std::string utf8(std::u16string_view text) { return fromUtf16(kCodePageUtf8, text); }
std::string gbk(std::u16string_view text) { return fromUtf16(kCodePageGbk, text); }

bool isTokenChar(char16_t c) {
  if (c >= u'0' && c <= u'9') return true;
  if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')) return true;
  return std::u16string_view(u"!#$%&'*+-.^_`|~").find(c) != std::u16string_view::npos;
}

// ---- URLs ----

bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isSchemeChar(char c) { return isAlpha(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'; }

// Bytes that may not stand as they are in a path or query: controls, space,
// DEL, everything above ASCII, and the few printable ones that browsers
// escape in a path too. "%" stays: it starts what is escaped already.
bool mustBeEscaped(unsigned char byte) {
  if (byte <= 0x20 || byte >= 0x7F) return true;
  return std::string_view("\"<>`{}").find(static_cast<char>(byte)) != std::string_view::npos;
}

// ---- libcurl resources ----

void initialiseCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Easy handles that request objects gave back, ready for the next object.
// Making a handle costs more than a loopback request (libcurl sets up a
// wake-up socket pair and its caches for each), and the web layer makes one
// object per request, so a handle outlives its object: it is reset to its
// defaults (live connections stay in the shared pool) and its cookies are
// erased, so that the next object starts with an empty store of its own.
class HandlePool {
 public:
  static CURL* take() {
    {
      std::lock_guard guard(mutex());
      auto& idle = handles();
      if (!idle.empty()) {
        CURL* handle = idle.back();
        idle.pop_back();
        return handle;
      }
    }
    return curl_easy_init();
  }
  static void give(CURL* handle) {
    // No cookie file list set means the cookie engine and its store go (a
    // reset would drop the list without freeing it); the next object starts
    // a store of its own.
    curl_easy_setopt(handle, CURLOPT_COOKIELIST, "ALL");
    curl_easy_setopt(handle, CURLOPT_COOKIEFILE, nullptr);
    curl_easy_reset(handle);
    {
      std::lock_guard guard(mutex());
      auto& idle = handles();
      if (idle.size() < kKept) {
        idle.push_back(handle);
        return;
      }
    }
    curl_easy_cleanup(handle);
  }

 private:
  static constexpr std::size_t kKept = 16;
  static std::mutex& mutex() {
    static auto* instance = new std::mutex();
    return *instance;
  }
  // Lives as long as the process, like the shares the handles are attached to.
  static std::vector<CURL*>& handles() {
    static auto* instance = new std::vector<CURL*>();
    return *instance;
  }
};

// One easy handle, given back to the pool with its owner. Move-only.
class EasyHandle {
 public:
  EasyHandle() : handle_(HandlePool::take()) {}
  ~EasyHandle() {
    if (handle_) HandlePool::give(handle_);
  }
  EasyHandle(EasyHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  EasyHandle& operator=(EasyHandle&& other) noexcept {
    if (this != &other) {
      if (handle_) HandlePool::give(handle_);
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  EasyHandle(const EasyHandle&) = delete;
  EasyHandle& operator=(const EasyHandle&) = delete;
  CURL* get() const noexcept { return handle_; }

 private:
  CURL* handle_;
};

// A list of header lines for one transfer. Move-only.
class HeaderList {
 public:
  HeaderList() = default;
  ~HeaderList() { curl_slist_free_all(list_); }
  HeaderList(HeaderList&& other) noexcept : list_(std::exchange(other.list_, nullptr)) {}
  HeaderList& operator=(HeaderList&&) = delete;
  HeaderList(const HeaderList&) = delete;
  HeaderList& operator=(const HeaderList&) = delete;
  bool append(const std::string& line) {
    curl_slist* grown = curl_slist_append(list_, line.c_str());
    if (!grown) return false;
    list_ = grown;
    return true;
  }
  curl_slist* get() const noexcept { return list_; }

 private:
  curl_slist* list_ = nullptr;
};

// A parsed URL handle. Move-only.
class UrlHandle {
 public:
  UrlHandle() : url_(curl_url()) {}
  ~UrlHandle() {
    if (url_) curl_url_cleanup(url_);
  }
  UrlHandle(const UrlHandle&) = delete;
  UrlHandle& operator=(const UrlHandle&) = delete;
  CURLU* get() const noexcept { return url_; }
  std::string part(CURLUPart which, unsigned flags = 0) const {
    char* text = nullptr;
    if (curl_url_get(url_, which, &text, flags) != CURLUE_OK || !text) return {};
    std::string out(text);
    curl_free(text);
    return out;
  }

 private:
  CURLU* url_;
};

struct ParsedUrl {
  std::string url;     // normalised, as handed to libcurl
  std::string scheme;  // "http" or "https"
  std::string host;    // lower case
  std::string port;    // always present (the scheme's default when the URL names none)
  std::string hostHeader;  // the Host value for it: the host as written (IDN as punycode), the port unless default
  std::string authority() const { return host + ":" + port; }
};

// An absolute http or https URL, its path and query escaped (escapedUrl).
// With a `base`, `text` may also be a reference relative to it.
std::optional<ParsedUrl> parseUrl(const std::string& text, HResult& failure, const ParsedUrl* base = nullptr) {
  failure = kErrorInvalidUrl;
  UrlHandle handle;
  if (!handle.get()) return std::nullopt;
  if (base && curl_url_set(handle.get(), CURLUPART_URL, base->url.c_str(), 0) != CURLUE_OK) return std::nullopt;
  // Escaped first, so that libcurl finds nothing of its own to encode there
  // (it would write a blank in the query as "+").
  const std::string escaped = escapedUrl(text);
  if (escaped.empty() || curl_url_set(handle.get(), CURLUPART_URL, escaped.c_str(), CURLU_URLENCODE) != CURLUE_OK)
    return std::nullopt;
  ParsedUrl parsed;
  parsed.scheme = lowerAscii(handle.part(CURLUPART_SCHEME));
  if (parsed.scheme != "http" && parsed.scheme != "https") {
    failure = kErrorUnrecognizedScheme;
    return std::nullopt;
  }
  parsed.host = lowerAscii(handle.part(CURLUPART_HOST));
  parsed.port = handle.part(CURLUPART_PORT, CURLU_DEFAULT_PORT);
  parsed.hostHeader = handle.part(CURLUPART_HOST, CURLU_PUNYCODE);
  if (parsed.port != (parsed.scheme == "https" ? "443" : "80")) parsed.hostHeader += ":" + parsed.port;
  parsed.url = handle.part(CURLUPART_URL);
  if (parsed.host.empty() || parsed.url.empty()) return std::nullopt;
  return parsed;
}

// Connections, DNS results and TLS resumption data shared by request objects. One
// share exists per certificate policy (the SslErrorIgnoreFlags value), so a
// connection or resumed TLS state accepted under lenient flags is never
// reused by an object that checks more strictly.
class SharedCaches {
 public:
  SharedCaches() : share_(curl_share_init()) {
    if (!share_) return;
    curl_share_setopt(share_, CURLSHOPT_LOCKFUNC, &SharedCaches::lock);
    curl_share_setopt(share_, CURLSHOPT_UNLOCKFUNC, &SharedCaches::unlock);
    curl_share_setopt(share_, CURLSHOPT_USERDATA, this);
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
  }
  SharedCaches(const SharedCaches&) = delete;
  SharedCaches& operator=(const SharedCaches&) = delete;
  CURLSH* get() const noexcept { return share_; }

  // The caches for one policy. They live as long as the process, so that an
  // easy handle never outlives the share it is attached to.
  static CURLSH* forPolicy(std::int32_t sslFlags) {
    static std::mutex mutex;
    static auto* byPolicy = new std::map<std::int32_t, SharedCaches*>();
    std::lock_guard guard(mutex);
    auto& caches = (*byPolicy)[sslFlags];
    if (!caches) caches = new SharedCaches();
    return caches->get();
  }

 private:
  static void lock(CURL*, curl_lock_data data, curl_lock_access, void* user) {
    static_cast<SharedCaches*>(user)->mutexes_[index(data)].lock();
  }
  static void unlock(CURL*, curl_lock_data data, void* user) {
    static_cast<SharedCaches*>(user)->mutexes_[index(data)].unlock();
  }
  static std::size_t index(curl_lock_data data) {
    const auto i = static_cast<std::size_t>(data);
    return i < CURL_LOCK_DATA_LAST ? i : 0;
  }

  CURLSH* share_;
  std::array<std::mutex, CURL_LOCK_DATA_LAST> mutexes_;
};

// ---- Certificate errors ----

int policyIndex() {
  static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
  return index;
}

bool forgiven(int error, std::intptr_t flags) {
  switch (error) {
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_UNTRUSTED:
      return (flags & kSslIgnoreUnknownCa) != 0;
    case X509_V_ERR_INVALID_PURPOSE:
      return (flags & kSslIgnoreWrongUsage) != 0;
    case X509_V_ERR_CERT_NOT_YET_VALID:
    case X509_V_ERR_CERT_HAS_EXPIRED:
      return (flags & kSslIgnoreInvalidDate) != 0;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      return (flags & kSslIgnoreInvalidCommonName) != 0;
    default:
      return false;
  }
}

// Accepts a certificate error only when the object's flags name its kind.
int verifyCertificate(int preverified, X509_STORE_CTX* store) {
  if (preverified) return 1;
  auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
  if (!ssl) return 0;
  const auto flags = reinterpret_cast<std::intptr_t>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), policyIndex()));
  if (!forgiven(X509_STORE_CTX_get_error(store), flags)) return 0;
  X509_STORE_CTX_set_error(store, X509_V_OK);
  return 1;
}

CURLcode prepareTlsContext(CURL*, void* context, void* flags) {
  auto* ctx = static_cast<SSL_CTX*>(context);
  SSL_CTX_set_ex_data(ctx, policyIndex(), flags);
  SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, &verifyCertificate);
  return CURLE_OK;
}

// ---- One transfer ----

using Clock = std::chrono::steady_clock;

std::atomic<std::size_t> bodyLimitForTesting{0};

std::size_t responseBodyLimit() {
  const std::size_t lowered = bodyLimitForTesting.load();
  return lowered != 0 ? lowered : kMaxResponseBodyBytes;
}

// What one libcurl transfer collects, and the stall watch over it. The
// callbacks below run inside libcurl's C frames, so none lets an exception
// out: a failure is written down here and ends the transfer, and send()
// reports it once libcurl has returned.
struct Transfer {
  CURL* easy = nullptr;
  std::int32_t sendLimitMs = 0;     // 0: no limit
  std::int32_t receiveLimitMs = 0;  // 0: no limit
  std::size_t bodyLimit = kMaxResponseBodyBytes;
  Clock::time_point lastProgress = Clock::now();
  curl_off_t lastDown = -1;
  curl_off_t lastUp = -1;
  bool stalled = false;
  bool tooLarge = false;            // the body went over bodyLimit
  bool outOfMemory = false;
  std::size_t failedAllocation = 0;  // the bytes asked for when outOfMemory
  std::string statusLine;
  std::vector<std::string> headerLines;
  std::string body;

  void progressed() { lastProgress = Clock::now(); }
  void ranOutOfMemory(std::size_t bytes) {
    outOfMemory = true;
    failedAllocation = bytes;
  }
};

std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const std::size_t length = size * count;
  transfer->progressed();
  try {
    std::string line(data, length);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (line.rfind("HTTP/", 0) == 0) {
      // A new response begins (an interim 1xx one came first): only the last counts.
      transfer->statusLine = line;
      transfer->headerLines.clear();
      transfer->body.clear();
    } else if (!line.empty()) {
      transfer->headerLines.push_back(std::move(line));
    }
  } catch (const std::exception&) {
    transfer->ranOutOfMemory(length);
    return CURL_WRITEFUNC_ERROR;
  }
  return length;
}

// Room for `needed` body bytes: the announced length at once when there is
// one, otherwise the next power of two, never beyond the limit. Growing
// copies what was read, so for a moment the old and the new buffer are both
// there; with powers of two the last step before the limit starts from half
// of it, and a body that never ends costs the limit and no more.
void makeRoom(Transfer& transfer, std::size_t needed) {
  std::string& body = transfer.body;
  if (needed <= body.capacity()) return;
  std::size_t wanted = std::bit_ceil(std::max(needed, body.capacity() * 2));
  curl_off_t announced = -1;
  if (body.empty() && curl_easy_getinfo(transfer.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK &&
      announced > 0 && static_cast<std::uint64_t>(announced) >= needed)
    wanted = static_cast<std::size_t>(announced);
  wanted = std::min(wanted, transfer.bodyLimit);
  try {
    body.reserve(wanted);
  } catch (const std::exception&) {
    transfer.ranOutOfMemory(wanted);
  }
}

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const std::size_t length = size * count;
  transfer->progressed();
  std::string& body = transfer->body;
  curl_off_t announced = -1;
  if (length > transfer->bodyLimit - body.size() ||
      (body.empty() && curl_easy_getinfo(transfer->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK &&
       announced > 0 && static_cast<std::uint64_t>(announced) > transfer->bodyLimit)) {
    transfer->tooLarge = true;
    return CURL_WRITEFUNC_ERROR;
  }
  makeRoom(*transfer, body.size() + length);
  if (transfer->outOfMemory) return CURL_WRITEFUNC_ERROR;
  body.append(data, length);  // within the capacity just made: allocates nothing
  return length;
}

// Gives up when no byte moved for the phase's limit. Until the connection
// is ready (TLS included) the connect time-out governs instead.
int onProgress(void* user, curl_off_t, curl_off_t downNow, curl_off_t upTotal, curl_off_t upNow) {
  auto* transfer = static_cast<Transfer*>(user);
  curl_off_t pretransfer = 0;
  curl_easy_getinfo(transfer->easy, CURLINFO_PRETRANSFER_TIME_T, &pretransfer);
  if (pretransfer == 0 || downNow != transfer->lastDown || upNow != transfer->lastUp) {
    transfer->lastDown = downNow;
    transfer->lastUp = upNow;
    transfer->progressed();
    return 0;
  }
  const bool sending = upTotal > 0 && upNow < upTotal;
  const std::int32_t limit = sending ? transfer->sendLimitMs : transfer->receiveLimitMs;
  if (limit > 0 && Clock::now() - transfer->lastProgress >= std::chrono::milliseconds(limit)) {
    transfer->stalled = true;
    return 1;
  }
  return 0;
}

HResult failureOf(CURLcode code, const Transfer& transfer) {
  const bool stalled = transfer.stalled;
  if (transfer.outOfMemory) {
    com::noteFailedAllocation(transfer.failedAllocation);
    return com::kOutOfMemory;
  }
  if (transfer.tooLarge) return kErrorResponseTooLarge;
  switch (code) {
    case CURLE_OK: return com::kOk;
    case CURLE_ABORTED_BY_CALLBACK: return stalled ? kErrorTimeout : com::kFail;
    case CURLE_OPERATION_TIMEDOUT: return kErrorTimeout;
    case CURLE_URL_MALFORMAT: return kErrorInvalidUrl;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: return kErrorNameNotResolved;
    case CURLE_COULDNT_CONNECT: return kErrorCannotConnect;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR: return kErrorSecureFailure;
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_GOT_NOTHING:
    case CURLE_HTTP2: return kErrorInvalidServerResponse;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE: return kErrorConnectionError;
    case CURLE_TOO_MANY_REDIRECTS: return kErrorRedirectFailed;
    default: return com::kFail;
  }
}

// Keeps a peer that closed its end from ending the process with SIGPIPE
// while this thread transfers: the signal is blocked for the thread alone
// and one raised meanwhile is taken off before the old mask returns.
class BrokenPipeGuard {
 public:
  BrokenPipeGuard() {
    sigset_t pipeOnly;
    sigemptyset(&pipeOnly);
    sigaddset(&pipeOnly, SIGPIPE);
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    alreadyPending_ = sigismember(&pending, SIGPIPE) == 1;
    blocked_ = pthread_sigmask(SIG_BLOCK, &pipeOnly, &previous_) == 0;
  }
  ~BrokenPipeGuard() {
    if (!blocked_) return;
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    if (!alreadyPending_ && sigismember(&pending, SIGPIPE) == 1) {
      sigset_t pipeOnly;
      sigemptyset(&pipeOnly);
      sigaddset(&pipeOnly, SIGPIPE);
      const timespec now{0, 0};
      while (sigtimedwait(&pipeOnly, nullptr, &now) < 0 && errno == EINTR) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  BrokenPipeGuard(const BrokenPipeGuard&) = delete;
  BrokenPipeGuard& operator=(const BrokenPipeGuard&) = delete;

 private:
  sigset_t previous_{};
  bool blocked_ = false;
  bool alreadyPending_ = false;
};

// ---- The object ----

struct Header {
  std::u16string name;
  std::u16string value;
};

// "host:port" with port 80 when none is named; empty when not a server.
std::string proxyServer(std::u16string_view text) {
  if (text.empty() || !isAscii(text)) return {};
  std::string server = asciiBytes(text);
  if (lowerAscii(server).rfind("http://", 0) == 0) server.erase(0, 7);
  while (!server.empty() && server.back() == '/') server.pop_back();
  if (server.empty() || server.find_first_of(" \t/@") != std::string::npos) return {};
  const auto closing = server.rfind(']');
  const auto colon = server.rfind(':');
  const bool hasPort = colon != std::string::npos && (closing == std::string::npos || colon > closing);
  if (hasPort && colon + 1 == server.size()) return {};
  if (hasPort && colon == 0) return {};
  return hasPort ? server : server + ":80";
}

class RequestObject final : public com::Dispatch {
 public:
  RequestObject() {
    // The object's own cookie store: it lives as long as the handle.
    if (easy_.get()) curl_easy_setopt(easy_.get(), CURLOPT_COOKIEFILE, "");
  }

  std::span<const MemberSignature> members() const noexcept override { return memberTable(); }

  HResult call(const MemberSignature& member, std::span<const Variant> args, Variant& result) noexcept override {
    try {
      const std::u16string_view name = member.name;
      if (name == u"SetTimeouts") return setTimeouts(args);
      if (name == u"SetProxy") return setProxy(args[0].asInt32(), args[1].asString());
      if (name == u"Open") return open(args[0].asString(), args[1].asString());
      if (name == u"Option" && member.kind == InvokeKind::PropertyPut) return putOption(args[0].asInt32(), args[1]);
      if (name == u"Option") return getOption(args[0].asInt32(), result);
      if (name == u"SetCredentials") return setCredentials(args[0].asString(), args[1].asString(), args[2].asInt32());
      if (name == u"SetRequestHeader") return setRequestHeader(args[0].asString(), args[1].asString());
      if (name == u"Send") return send(args[0]);
      if (const HResult ready = readable(); !com::succeeded(ready)) return ready;
      if (name == u"ResponseBody") result = responseBody_;  // shares the bytes, copies none
      if (name == u"GetAllResponseHeaders") result = Variant::fromString(responseHeaders_);
      if (name == u"Status") result = Variant::fromInt32(status_);
      if (name == u"StatusText") result = Variant::fromString(statusText_);
      return com::kOk;
    } catch (const std::bad_alloc&) {
      return com::kOutOfMemory;
    } catch (const std::length_error&) {
      return com::kOutOfMemory;
    } catch (...) {
      return com::kFail;
    }
  }

 private:
  // ---- Settings kept across Open ----

  HResult setTimeouts(std::span<const Variant> args) {
    std::array<std::int32_t, 4> values{};
    for (std::size_t i = 0; i < values.size(); ++i) {
      values[i] = args[i].asInt32();
      if (values[i] < -1) return com::kInvalidArgument;
    }
    // 0 and -1 both mean no limit.
    for (auto& v : values) v = std::max(v, 0);
    resolveMs_ = values[0];
    connectMs_ = values[1];
    sendMs_ = values[2];
    receiveMs_ = values[3];
    return com::kOk;
  }

  HResult setProxy(std::int32_t setting, const std::u16string& server) {
    if (setting == kProxyDefault || setting == kProxyDirect) {
      httpProxy_.clear();
      httpsProxy_.clear();
      return com::kOk;
    }
    if (setting != kProxyNamed) return com::kInvalidArgument;
    // "host:port", or entries "http=host:port;https=host:port" (blanks or ';' between).
    std::string forAll, forHttp, forHttps;
    bool any = false;
    std::u16string entry;
    auto take = [&]() -> bool {
      if (entry.empty()) return true;
      const auto equals = entry.find(u'=');
      std::u16string scheme = equals == std::u16string::npos ? u"" : entry.substr(0, equals);
      const std::string target = proxyServer(equals == std::u16string::npos ? entry : entry.substr(equals + 1));
      entry.clear();
      if (target.empty()) return false;
      if (scheme.empty()) forAll = target;
      else if (sameFolded(scheme, u"http")) forHttp = target;
      else if (sameFolded(scheme, u"https")) forHttps = target;
      else return true;  // another protocol's proxy: not ours to use
      any = true;
      return true;
    };
    for (char16_t c : server) {
      if (c == u';' || c == u' ' || c == u'\t') {
        if (!take()) return com::kInvalidArgument;
      } else {
        entry.push_back(c);
      }
    }
    if (!take() || !any) return com::kInvalidArgument;
    httpProxy_ = forHttp.empty() ? forAll : forHttp;
    httpsProxy_ = forHttps.empty() ? forAll : forHttps;
    return com::kOk;
  }

  HResult putOption(std::int32_t index, const Variant& value) {
    if (index == kOptionSslErrorIgnoreFlags) {
      Variant flags;
      if (!com::convertVariant(value, VariantType::Int32, flags)) return com::kTypeMismatch;
      if ((flags.asInt32() & ~kSslIgnoreAll) != 0) return com::kInvalidArgument;
      sslFlags_ = flags.asInt32();
      return com::kOk;
    }
    if (index == kOptionEnableRedirects) {
      Variant enabled;
      if (!com::convertVariant(value, VariantType::Bool, enabled)) return com::kTypeMismatch;
      redirects_ = enabled.asBool();
      return com::kOk;
    }
    return kErrorInvalidOption;
  }

  HResult getOption(std::int32_t index, Variant& result) {
    if (index != kOptionUrl) return kErrorInvalidOption;
    if (!opened_) return kErrorCannotCallBeforeOpen;
    result = Variant::fromString(toUtf16(kCodePageUtf8, currentUrl_));
    return com::kOk;
  }

  // ---- The request ----

  HResult open(const std::u16string& method, const std::u16string& url) {
    opened_ = false;
    sent_ = false;
    completed_ = false;
    headers_.clear();
    serverUser_.reset();
    proxyUser_.reset();
    clearResponse();
    if (method.empty() || !std::all_of(method.begin(), method.end(), isTokenChar)) return com::kInvalidArgument;
    HResult failure = com::kOk;
    auto parsed = parseUrl(utf8(url), failure);
    if (!parsed) return failure;
    method_ = asciiBytes(method);
    target_ = std::move(*parsed);
    currentUrl_ = target_.url;
    opened_ = true;
    return com::kOk;
  }

  HResult setCredentials(const std::u16string& user, const std::u16string& password, std::int32_t flags) {
    if (!opened_) return kErrorCannotCallBeforeOpen;
    if (user.empty() || (flags != kCredentialsForServer && flags != kCredentialsForProxy))
      return com::kInvalidArgument;
    auto& slot = flags == kCredentialsForServer ? serverUser_ : proxyUser_;
    slot = std::make_pair(gbk(user), gbk(password));
    return com::kOk;
  }

  HResult setRequestHeader(const std::u16string& name, const std::u16string& value) {
    if (!opened_) return kErrorCannotCallBeforeOpen;
    if (sent_) return kErrorCannotCallAfterSend;
    if (name.empty()) return com::kInvalidArgument;
    auto unsafe = [](char16_t c) { return c == u'\r' || c == u'\n' || c == 0; };
    if (std::any_of(name.begin(), name.end(), unsafe) || std::any_of(value.begin(), value.end(), unsafe) ||
        name.find(u':') != std::u16string::npos)
      return kErrorInvalidHeader;
    auto same = [&](const Header& h) { return sameFolded(h.name, name); };
    auto it = std::find_if(headers_.begin(), headers_.end(), same);
    if (value.empty()) {
      headers_.erase(std::remove_if(headers_.begin(), headers_.end(), same), headers_.end());
    } else if (it != headers_.end()) {
      it->value = value;
    } else {
      headers_.push_back({name, value});
    }
    return com::kOk;
  }

  const Header* findHeader(std::u16string_view name) const {
    for (const auto& h : headers_)
      if (sameFolded(h.name, name)) return &h;
    return nullptr;
  }

  HResult readable() const {
    if (!opened_) return kErrorCannotCallBeforeOpen;
    if (!completed_) return kErrorCannotCallBeforeSend;
    return com::kOk;
  }

  void clearResponse() {
    responseBody_ = Variant();
    responseHeaders_.clear();
    statusText_.clear();
    status_ = 0;
  }

  HResult send(const Variant& bodyArgument) {
    if (!opened_) return kErrorCannotCallBeforeOpen;
    if (sent_) return kErrorCannotCallAfterSend;
    sent_ = true;
    completed_ = false;
    clearResponse();
    if (!easy_.get()) return com::kFail;

    // The body and what it says about itself. A byte array is sent from the
    // argument's own bytes.
    std::string textBody;
    std::string_view body;
    std::optional<std::u16string> contentType;
    if (const Header* h = findHeader(u"Content-Type")) contentType = h->value;
    if (bodyArgument.type() == VariantType::Bytes) {
      body = bodyArgument.asByteString();
    } else if (!bodyArgument.isEmpty()) {
      Variant text;
      if (!com::convertVariant(bodyArgument, VariantType::String, text)) return com::kTypeMismatch;
      const auto& units = text.asString();
      textBody = isAscii(units) ? asciiBytes(units) : utf8(units);
      body = textBody;
      if (!isAscii(units)) contentType = withUtf8Charset(contentType);
    }

    std::string method = method_;
    ParsedUrl hop = target_;
    bool bodyDropped = false;
    int redirects = 0;
    for (;;) {
      Transfer transfer;
      transfer.bodyLimit = responseBodyLimit();
      const CURLcode code = perform(method, hop, body, bodyDropped ? std::nullopt : contentType, transfer);
      if (code != CURLE_OK) return failureOf(code, transfer);
      currentUrl_ = hop.url;
      long status = 0;
      curl_easy_getinfo(easy_.get(), CURLINFO_RESPONSE_CODE, &status);
      const std::string location = headerValue(transfer, "location");
      const bool redirect = status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
      if (redirects_ && redirect && !location.empty()) {
        if (++redirects > 10) return kErrorRedirectFailed;
        HResult failure = com::kOk;
        auto next = parseUrl(location, failure, &hop);
        if (!next) return kErrorRedirectFailed;
        if (hop.scheme == "https" && next->scheme == "http") return kErrorRedirectFailed;
        // 303 always, and 301 or 302 after a POST, continue with GET: the
        // body goes, and what the caller said of it (Content-Type) with it.
        if ((status == 303 && method != "HEAD") || ((status == 301 || status == 302) && method == "POST")) {
          if (method != "GET") bodyDropped = true;
          method = "GET";
          body = {};
        }
        hop = std::move(*next);
        continue;
      }
      keepResponse(status, transfer);
      completed_ = true;
      return com::kOk;
    }
  }

  // The value of the first header line named `lowerName` (any case), blanks
  // around it removed; empty when there is none. Taken as the server sent it:
  // libcurl's own idea of the redirect target has its query's blanks as "+".
  static std::string headerValue(const Transfer& transfer, std::string_view lowerName) {
    for (const auto& line : transfer.headerLines) {
      const auto colon = line.find(':');
      if (colon == std::string::npos || lowerAscii(std::string_view(line).substr(0, colon)) != lowerName) continue;
      const auto first = line.find_first_not_of(" \t", colon + 1);
      if (first == std::string::npos) return {};
      return line.substr(first, line.find_last_not_of(" \t") + 1 - first);
    }
    return {};
  }

  static std::u16string withUtf8Charset(const std::optional<std::u16string>& contentType) {
    if (!contentType) return u"text/plain; charset=utf-8";
    std::u16string folded = *contentType;
    for (auto& c : folded) c = foldUnit(c);
    const auto at = folded.find(u"charset=");
    if (at == std::u16string::npos) return *contentType + u"; charset=utf-8";
    auto end = contentType->find(u';', at);
    if (end == std::u16string::npos) end = contentType->size();
    return contentType->substr(0, at) + u"charset=utf-8" + contentType->substr(end);
  }

  void keepResponse(long status, Transfer& transfer) {
    status_ = static_cast<std::int32_t>(status);
    // "HTTP/1.1 200 OK": the reason phrase follows the second blank.
    const auto first = transfer.statusLine.find(' ');
    const auto second = first == std::string::npos ? first : transfer.statusLine.find(' ', first + 1);
    statusText_ = second == std::string::npos ? u"" : toUtf16(kCodePageGbk, transfer.statusLine.substr(second + 1));
    std::string block;
    for (const auto& line : transfer.headerLines) block += line + "\r\n";
    block += "\r\n";
    responseHeaders_ = toUtf16(kCodePageGbk, block);
    responseBody_ = Variant::fromByteString(std::move(transfer.body));
  }

  // One hop. `contentType` is what the body's Content-Type line says; none
  // when the caller's line is not to be sent (its body was dropped).
  CURLcode perform(const std::string& method, const ParsedUrl& hop, std::string_view body,
                   const std::optional<std::u16string>& contentType, Transfer& transfer) {
    // Every option a transfer depends on is set again here, so nothing of an
    // earlier transfer carries over (the handle is not reset: that would drop
    // the cookie engine's state).
    CURL* easy = easy_.get();
    transfer.easy = easy;
    transfer.sendLimitMs = sendMs_;
    transfer.receiveLimitMs = receiveMs_;

    const std::string& proxy = hop.scheme == "https" ? httpsProxy_ : httpProxy_;
    const std::string proxyUrl = proxy.empty() ? std::string() : "http://" + proxy;
    const bool tunnel = !proxy.empty() && hop.scheme == "https";
    const bool sameOrigin = hop.authority() == target_.authority() && hop.scheme == target_.scheme;

    curl_easy_setopt(easy, CURLOPT_URL, hop.url.c_str());
    curl_easy_setopt(easy, CURLOPT_SHARE, SharedCaches::forPolicy(sslFlags_));
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTP_CONTENT_DECODING, 0L);

    // Never a proxy from the environment: an explicit empty proxy is direct.
    curl_easy_setopt(easy, CURLOPT_PROXY, proxyUrl.c_str());
    curl_easy_setopt(easy, CURLOPT_NOPROXY, proxy.empty() ? "*" : "");
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);

    // Look-up plus connection (TLS included) within resolve + connect.
    const long connectLimit =
        connectMs_ == 0 ? std::numeric_limits<std::int32_t>::max()
                        : static_cast<long>(std::min<std::int64_t>(
                              std::int64_t{connectMs_} + resolveMs_, std::numeric_limits<std::int32_t>::max()));
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, connectLimit);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &onProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);

    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, (sslFlags_ & kSslIgnoreInvalidCommonName) ? 0L : 2L);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, &prepareTlsContext);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, reinterpret_cast<void*>(static_cast<std::intptr_t>(sslFlags_)));

    // The method and its body. GET and HEAD never carry one.
    const std::string upper = [&] {
      std::string u = method;
      for (auto& c : u) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c);
      return u;
    }();
    const bool bodyless = upper == "GET" || upper == "HEAD";
    const bool withBody = !bodyless && (!body.empty() || upper == "POST" || upper == "PUT");
    static const char nothing = 0;
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);  // also clears NOBODY, POST and UPLOAD
    if (method == "HEAD") {
      curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    } else if (withBody) {
      curl_easy_setopt(easy, CURLOPT_POST, 1L);
      curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body.empty() ? &nothing : body.data());
      curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    }
    const bool custom = method != "GET" && method != "HEAD" && method != "POST";
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, custom ? method.c_str() : nullptr);

    // Header lines: the caller's in their order, then the object's own.
    // Host and the caller's credentials and cookies belong to the origin
    // that Open named: a redirect elsewhere gets none of them.
    HeaderList headers;
    HeaderList proxyHeaders;
    std::string cookie;
    bool hasAgent = false, hasConnection = false, hasContentType = false, hasHost = false;
    for (const auto& h : headers_) {
      const std::string name = gbk(h.name);
      std::string value = gbk(h.value);
      const std::string lower = lowerAscii(name);
      if (lower == "content-length") continue;  // the length is always the body's own
      const bool originOnly =
          lower == "host" || lower == "authorization" || lower == "proxy-authorization" || lower == "cookie";
      if (originOnly && !sameOrigin) continue;
      if (lower == "cookie") {
        cookie = value;  // one Cookie line, together with the object's stored cookies
        continue;
      }
      if (lower == "content-type") {
        if (!contentType) continue;  // its body went with a redirect
        if (withBody) {
          hasContentType = true;
          value = gbk(*contentType);
        }
      }
      if (lower == "proxy-authorization") {
        if (proxy.empty()) continue;  // proxy credentials never go to the server itself
        if (tunnel) {
          proxyHeaders.append(name + ": " + value);
          continue;
        }
      }
      if (lower == "user-agent") hasAgent = true;
      if (lower == "connection") hasConnection = true;
      if (lower == "host") hasHost = true;
      headers.append(name + ": " + value);
    }
    if (withBody && !hasContentType) {
      headers.append(contentType ? "Content-Type: " + gbk(*contentType) : std::string("Content-Type:"));
    }
    // The Host line libcurl would write, but given as a header of ours: a
    // Host header also tells libcurl whose cookies to keep and send, and the
    // last one it was given would otherwise go on deciding that for every
    // later request of the handle (the next hop, the next object).
    if (!hasHost) headers.append("Host: " + hop.hostHeader);
    if (!hasConnection) headers.append("Connection: Keep-Alive");
    headers.append("Expect:");
    curl_easy_setopt(easy, CURLOPT_USERAGENT,
                     hasAgent ? nullptr : "Mozilla/4.0 (compatible; Win32; WinHttp.WinHttpRequest.5)");
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(easy, CURLOPT_HEADEROPT, static_cast<long>(tunnel ? CURLHEADER_SEPARATE : CURLHEADER_UNIFIED));
    curl_easy_setopt(easy, CURLOPT_PROXYHEADER, tunnel ? proxyHeaders.get() : nullptr);
    curl_easy_setopt(easy, CURLOPT_COOKIE, cookie.empty() ? nullptr : cookie.c_str());

    const bool serverLogin = serverUser_ && sameOrigin;
    curl_easy_setopt(easy, CURLOPT_USERNAME, serverLogin ? serverUser_->first.c_str() : nullptr);
    curl_easy_setopt(easy, CURLOPT_PASSWORD, serverLogin ? serverUser_->second.c_str() : nullptr);
    curl_easy_setopt(easy, CURLOPT_HTTPAUTH, serverLogin ? CURLAUTH_ANY : CURLAUTH_BASIC);
    const bool proxyLogin = proxyUser_ && !proxy.empty();
    curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, proxyLogin ? proxyUser_->first.c_str() : nullptr);
    curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, proxyLogin ? proxyUser_->second.c_str() : nullptr);
    curl_easy_setopt(easy, CURLOPT_PROXYAUTH, proxyLogin ? CURLAUTH_ANY : CURLAUTH_BASIC);

    CURLcode code;
    {
      BrokenPipeGuard guard;
      code = curl_easy_perform(easy);
    }
    // The lists and the body die with this frame: nothing may point at them.
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(easy, CURLOPT_PROXYHEADER, nullptr);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, nullptr);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, nullptr);
    return code;
  }

  bool curlReady_ = (initialiseCurlOnce(), true);  // before the handle is made
  EasyHandle easy_;

  // Kept across Open.
  std::int32_t resolveMs_ = 0;
  std::int32_t connectMs_ = 60000;
  std::int32_t sendMs_ = 30000;
  std::int32_t receiveMs_ = 30000;
  std::string httpProxy_;   // "host:port"; empty: direct
  std::string httpsProxy_;
  std::int32_t sslFlags_ = 0;
  bool redirects_ = true;

  // One request, from Open on.
  bool opened_ = false;
  bool sent_ = false;
  bool completed_ = false;
  std::string method_;
  ParsedUrl target_;
  std::string currentUrl_;
  std::vector<Header> headers_;
  std::optional<std::pair<std::string, std::string>> serverUser_;
  std::optional<std::pair<std::string, std::string>> proxyUser_;

  // The final response of a completed Send. The body is a byte array that
  // each ResponseBody read shares.
  Variant responseBody_;
  std::u16string responseHeaders_;
  std::int32_t status_ = 0;
  std::u16string statusText_;
};

}  // namespace

std::span<const com::MemberSignature> requestMembers() { return memberTable(); }

std::string escapedUrl(std::string_view url) {
  // The path starts after "scheme://authority", after "//authority" of a
  // reference without scheme, or at the start; it and the query run to "#".
  std::size_t start = 0;
  const std::size_t colon = url.find(':');
  const bool hasScheme = colon != std::string_view::npos && colon > 0 && isAlpha(url[0]) &&
                         std::all_of(url.begin(), url.begin() + static_cast<std::ptrdiff_t>(colon), isSchemeChar);
  if (hasScheme) start = colon + 1;
  if (url.substr(start, 2) == "//") start = std::min(url.find_first_of("/?#", start + 2), url.size());
  const std::size_t end = std::min(url.find('#', start), url.size());

  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(url.size());
  out.append(url.substr(0, start));
  for (const char c : url.substr(start, end - start)) {
    const auto byte = static_cast<unsigned char>(c);
    if (mustBeEscaped(byte)) {
      out.push_back('%');
      out.push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 0x0F]);
    } else {
      out.push_back(c);
    }
  }
  out.append(url.substr(end));
  return out;
}

std::shared_ptr<com::Dispatch> newRequestObject() { return std::make_shared<RequestObject>(); }

void registerRequestClass() {
  com::registerFactoryIfAbsent(kRequestProgId, [] { return newRequestObject(); });
}

void setResponseBodyLimitForTesting(std::size_t bytes) noexcept { bodyLimitForTesting = bytes; }

}  // namespace quillmark::platform::winhttp
