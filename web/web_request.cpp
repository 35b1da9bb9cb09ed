#include "web/web_request.h"

#include <array>
#include <climits>
#include <cmath>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/codepage.h"
#include "platform/winhttp/request_object.h"
#include "text/allocation.h"
#include "text/base64.h"
#include "text/char_scan.h"
#include "text/helpers.h"
#include "text/primitives.h"
#include "web/cookies.h"
#include "web/request_headers.h"

namespace quillmark {
namespace {

namespace com = platform::com;
using com::InvokeKind;
using com::Variant;

constexpr std::array<const char*, 8> kMethodNames = {"GET",     "POST",   "HEAD",  "PUT",
                                                     "OPTIONS", "DELETE", "TRACE", "CONNECT"};
constexpr int kOptionEnableRedirects = 6;
constexpr int kOptionSslErrorIgnoreFlags = 4;
// Unknown authority, wrong usage, invalid common name, invalid date.
constexpr int kIgnoredCertificateErrors = 0x3300;
constexpr int kDefaultTimeoutMs = 15000;

// CoInitialize on entry and CoUninitialize on every way out.
class ComScope {
 public:
  ComScope() noexcept { com::CoInitialize(nullptr); }
  ~ComScope() { com::CoUninitialize(); }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
};

// Texts cross the automation boundary as UTF-16 through the ANSI code page.
Variant toVariant(const Text& text) {
  return Variant::fromString(platform::toUtf16(platform::kCodePageAnsi, text.view()));
}

Text toText(const Variant& value) {
  if (value.type() != com::VariantType::String) return Text();
  return Text(platform::fromUtf16(platform::kCodePageAnsi, value.asString()));
}

// Member calls on the routine's reference to the object; every failure is
// ignored and a failed read gives the empty value. Only memory that the
// object could not have is not ignored: like every failed allocation of the
// program, it ends the program with the allocation error.
class RequestObject {
 public:
  explicit RequestObject(com::ObjectHandle handle) : handle_(std::move(handle)) {}

  void call(std::u16string_view member, std::vector<Variant> arguments) {
    checked(com::invoke(handle_, member, InvokeKind::Method, arguments));
  }
  void put(std::u16string_view property, std::vector<Variant> arguments) {
    checked(com::invoke(handle_, property, InvokeKind::PropertyPut, arguments));
  }
  Variant get(std::u16string_view property) {
    Variant result;
    checked(com::invoke(handle_, property, InvokeKind::PropertyGet, {}, &result));
    return result;
  }
  Variant callForResult(std::u16string_view member) {
    Variant result;
    checked(com::invoke(handle_, member, InvokeKind::Method, {}, &result));
    return result;
  }
  // Called once per header line, thousands of times in a long batch: the
  // two arguments are moved in, not copied out of an initializer list.
  void setRequestHeader(const Text& name, const Text& value) {
    std::vector<Variant> arguments;
    arguments.reserve(2);
    arguments.push_back(toVariant(name));
    arguments.push_back(toVariant(value));
    call(u"SetRequestHeader", std::move(arguments));
  }
  // Drops the routine's reference; later calls fail like calls on an empty
  // handle.
  void release() noexcept { handle_.reset(); }

 private:
  static void checked(com::HResult status) {
    if (status == com::kOutOfMemory) raiseAllocationFailure(com::failedAllocation());
  }

  com::ObjectHandle handle_;
};

// The bytes of a ResponseBody read; empty when it holds no byte array. When
// the variant is the last holder of its array (the object that made it is
// gone) the bytes move over; otherwise they are copied.
ByteBuffer bodyOf(Variant&& body) {
  if (body.type() != com::VariantType::Bytes) return ByteBuffer();
  const std::size_t size = body.asByteString().size();
  return ByteBuffer(allocateOrFail(size, [&] { return std::move(body).takeBytes(); }));
}

int timeoutMilliseconds(int timeoutSeconds) {
  if (timeoutSeconds < 1) return kDefaultTimeoutMs;
  // Beyond what 32 bits hold in milliseconds, the longest time-out there is.
  const double milliseconds = std::trunc(timeoutSeconds * 1000.0);
  return milliseconds > INT_MAX ? INT_MAX : static_cast<int>(milliseconds);
}

int readStatus(const Variant& status) {
  Variant asDouble;
  if (!com::convertVariant(status, com::VariantType::Double, asDouble)) return 0;
  const double value = std::trunc(asDouble.asDouble());
  if (!(value >= INT_MIN && value <= INT_MAX)) return 0;
  return static_cast<int>(value);
}

void sendHeaderBlock(RequestObject& request, const Text& block) {
  const Text lineBreak("\r\n");
  if (findText(block, lineBreak) == -1) {
    // A single line goes as it is, whatever it holds.
    request.setRequestHeader(headerName(block), headerValue(block));
    return;
  }
  const Text connection("Connection");
  const Text keepAlive("keep-alive");
  // The lines of splitText(block, "\r\n"), walked in place: a block of a long
  // batch holds thousands of them.
  scan::SplitItems lines(block.view(), lineBreak.view());
  std::string_view item;
  while (lines.next(item)) {
    if (item.empty()) continue;
    const Text line(item);
    Text name = headerName(line);
    Text value = headerValue(line);
    if (name == connection && value == keepAlive) continue;
    request.setRequestHeader(name, value);
  }
}

ByteBuffer performRequest(const Text& url, const WebRequestOptions& options) {
  const int method = options.method < 0 || options.method > 7 ? 0 : options.method;

  com::ObjectHandle handle;
  if (options.requestObject.has_value()) {
    handle = *options.requestObject;
  } else {
    platform::winhttp::registerRequestClass();
    handle = com::createObject(platform::winhttp::kRequestProgId);
    if (handle.empty()) return ByteBuffer();
  }
  RequestObject request(std::move(handle));

  if (options.timeoutSeconds != -1) {
    const Variant milliseconds = Variant::fromInt32(timeoutMilliseconds(options.timeoutSeconds));
    request.call(u"SetTimeouts", {milliseconds, milliseconds, milliseconds, milliseconds});
  }
  if (!options.proxy.empty()) request.call(u"SetProxy", {Variant::fromInt32(2), toVariant(options.proxy)});
  request.call(u"Open", {toVariant(Text(kMethodNames[static_cast<size_t>(method)])), toVariant(url),
                         Variant::fromBool(false)});
  if (options.disableRedirects)
    request.put(u"Option", {Variant::fromInt32(kOptionEnableRedirects), Variant::fromInt32(0)});
  request.put(u"Option",
              {Variant::fromInt32(kOptionSslErrorIgnoreFlags), Variant::fromInt32(kIgnoredCertificateErrors)});

  Text block = options.headers != nullptr ? *options.headers : Text();
  if (options.completeHeaders.value_or(true)) block = addDefaultHeaders(block, url, method);
  if (options.capitalizeHeaderNames.value_or(true)) block = normalizeHeaderNames(block);
  if (options.headers != nullptr) *options.headers = block;

  if (!options.proxy.empty() && !options.proxyUser.empty()) {
    const int target = options.credentialTarget.value_or(1);
    request.call(u"SetCredentials",
                 {toVariant(options.proxyUser), toVariant(options.proxyPassword), Variant::fromInt32(target)});
    if (target == 1) {
      const Text pair = concatText(options.proxyUser, Text(":"), options.proxyPassword);
      request.setRequestHeader(Text("Proxy-Authorization"),
                               concatText(Text("Basic "), base64Encode(textToBytes(pair))));
    }
  }

  if (options.cookies != nullptr) {
    Text& cookies = *options.cookies;
    const Text cookieLabel("Cookie:");
    if (!cookies.empty() && findText(cookies, cookieLabel, std::nullopt, true) != -1)
      cookies = replaceText(cookies, cookieLabel, Text(), std::nullopt, std::nullopt, false);
    request.setRequestHeader(Text("Cookie"), cookies);
  }

  sendHeaderBlock(request, block);

  if (!options.bodyBytes.empty()) {
    const std::string_view bytes = options.bodyBytes.view();
    request.call(u"Send", {Variant::fromByteString(allocateOrFail(bytes.size(), [&] { return std::string(bytes); }))});
  } else {
    request.call(u"Send", {toVariant(options.body)});
  }

  Variant bodyVariant = request.get(u"ResponseBody");
  const Text responseHeaders = toText(request.callForResult(u"GetAllResponseHeaders"));
  if (options.responseHeaders != nullptr) *options.responseHeaders = responseHeaders;
  const int status = readStatus(request.get(u"Status"));
  if (options.statusCode != nullptr) *options.statusCode = status;
  request.get(u"StatusText");
  // The last member call: an object made for this call goes now, leaving
  // its body to the result alone instead of to a copy.
  request.release();
  ByteBuffer body = bodyOf(std::move(bodyVariant));

  Text returnedCookies = extractSetCookies(responseHeaders);
  if (options.autoMergeCookies.value_or(true) && options.cookies != nullptr)
    returnedCookies = mergeCookies(*options.cookies, returnedCookies);
  if (options.returnedCookies != nullptr) *options.returnedCookies = returnedCookies;
  return body;
}

}  // namespace

Text extractSetCookies(const Text& responseHeaders) {
  const Text setCookie("Set-Cookie");
  const Text setCookieLabel("Set-Cookie:");
  std::string cookies;
  for (const Text& line : splitText(responseHeaders, Text("\r\n"))) {
    if (textBefore(line, Text(": ")) != setCookie) continue;
    const Text cookie = findText(line, Text(";")) != -1
                            ? textBetween(line, setCookieLabel, Text(";"))
                            : replaceText(line, setCookieLabel, Text(), std::nullopt, std::nullopt, false);
    cookies.append(trimSpaces(cookie).view()).append("; ");
  }
  if (cookies.size() >= 2) cookies.resize(cookies.size() - 2);
  return Text(std::move(cookies));
}

ByteBuffer webRequest(const Text& url, const WebRequestOptions& options) {
  ComScope com;
  try {
    return performRequest(url, options);
  } catch (const std::bad_alloc&) {
    // Memory for a value without a size of its own (a UTF-16 argument, a
    // list of arguments): the allocation error all the same.
    raiseAllocationFailure(0);
  } catch (const std::length_error&) {
    raiseAllocationFailure(0);
  } catch (...) {
    // Nothing leaves the routine as an exception: a failure inside is an
    // empty result, like any other failed request.
    return ByteBuffer();
  }
}

}  // namespace quillmark
