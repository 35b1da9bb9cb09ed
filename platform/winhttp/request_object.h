// The HTTP request automation object, over libcurl.
//
// The web request routine creates this object from kRequestProgId through the
// COM stand-in and drives it by member name: SetTimeouts, SetProxy, Open,
// Option, SetCredentials, SetRequestHeader, Send, then reads ResponseBody,
// GetAllResponseHeaders, Status and StatusText. Each object keeps its own
// time-outs, proxy, options and cookie store; connections, DNS results and TLS
// resumption data are shared by every object of the process that ignores the
// same certificate errors, so consecutive requests to one host reuse one
// keep-alive connection. An object belongs to one thread
// at a time; different objects may be used on different threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/com/com.h"

namespace quillmark::platform::winhttp {

inline const std::u16string kRequestProgId = u"WinHttp.WinHttpRequest.5.1";

// Indexes of the Option property.
inline constexpr std::int32_t kOptionUrl = 1;                  // get: the final URL
inline constexpr std::int32_t kOptionSslErrorIgnoreFlags = 4;  // put: certificate errors to ignore
inline constexpr std::int32_t kOptionEnableRedirects = 6;      // put: follow redirects (default true)

// Bits of kOptionSslErrorIgnoreFlags.
inline constexpr std::int32_t kSslIgnoreUnknownCa = 0x0100;
inline constexpr std::int32_t kSslIgnoreWrongUsage = 0x0200;
inline constexpr std::int32_t kSslIgnoreInvalidCommonName = 0x1000;
inline constexpr std::int32_t kSslIgnoreInvalidDate = 0x2000;
inline constexpr std::int32_t kSslIgnoreAll = 0x3300;

// Settings of SetProxy.
inline constexpr std::int32_t kProxyDefault = 0;  // direct: nothing is read from the environment
inline constexpr std::int32_t kProxyDirect = 1;
inline constexpr std::int32_t kProxyNamed = 2;

// Targets of SetCredentials.
inline constexpr std::int32_t kCredentialsForServer = 0;
inline constexpr std::int32_t kCredentialsForProxy = 1;

// Failures the members report besides the general COM codes.
inline constexpr com::HResult kErrorTimeout = static_cast<com::HResult>(0x80072EE2);
inline constexpr com::HResult kErrorInvalidUrl = static_cast<com::HResult>(0x80072EE5);
inline constexpr com::HResult kErrorUnrecognizedScheme = static_cast<com::HResult>(0x80072EE6);
inline constexpr com::HResult kErrorNameNotResolved = static_cast<com::HResult>(0x80072EE7);
inline constexpr com::HResult kErrorInvalidOption = static_cast<com::HResult>(0x80072EE9);
inline constexpr com::HResult kErrorCannotConnect = static_cast<com::HResult>(0x80072EFD);
inline constexpr com::HResult kErrorConnectionError = static_cast<com::HResult>(0x80072EFE);
inline constexpr com::HResult kErrorCannotCallBeforeOpen = static_cast<com::HResult>(0x80072F44);
inline constexpr com::HResult kErrorCannotCallBeforeSend = static_cast<com::HResult>(0x80072F45);
inline constexpr com::HResult kErrorCannotCallAfterSend = static_cast<com::HResult>(0x80072F46);
inline constexpr com::HResult kErrorInvalidServerResponse = static_cast<com::HResult>(0x80072F78);
inline constexpr com::HResult kErrorInvalidHeader = static_cast<com::HResult>(0x80072F79);
inline constexpr com::HResult kErrorRedirectFailed = static_cast<com::HResult>(0x80072F7C);
inline constexpr com::HResult kErrorSecureFailure = static_cast<com::HResult>(0x80072F8F);
// The response is larger than the object takes (kMaxResponseBodyBytes).
inline constexpr com::HResult kErrorResponseTooLarge = static_cast<com::HResult>(0x80072F9A);

// The largest response body a Send takes: a longer one (announced by its
// Content-Length, or found on the way) ends the transfer, frees what was read
// and fails the Send with kErrorResponseTooLarge.
inline constexpr std::size_t kMaxResponseBodyBytes = std::size_t{256} * 1024 * 1024;

// The member table of the request object, in this order:
//   SetTimeouts(Int32 resolve, Int32 connect, Int32 send, Int32 receive)   Method
//   SetProxy(Int32 setting, String server)                                 Method
//   Open(String method, String url, Bool async)                            Method
//   Option(Int32 index, Any value)                                         PropertyPut
//   Option(Int32 index)                                                    PropertyGet
//   SetCredentials(String user, String password, Int32 flags)              Method
//   SetRequestHeader(String name, String value)                            Method
//   Send(Any body)                                                         Method
//   ResponseBody                                                           PropertyGet
//   GetAllResponseHeaders()                                                Method
//   Status                                                                 PropertyGet
//   StatusText                                                             PropertyGet
// The recording object of the tests declares the same table, so both convert
// arguments alike. The span stays valid for the life of the process.
//
// What each member does (every failure is a code; nothing throws):
// - SetTimeouts: milliseconds, each -1 or more (else kInvalidArgument); 0 and
//   -1 mean no limit. Defaults 0, 60000, 30000, 30000. Look-up and connection
//   (TLS included) give up after resolve + connect; sending and receiving
//   give up after send / receive ms in which no byte moved (kErrorTimeout).
// - SetProxy: 0 or 1 direct; 2 with "host:port" (port 80 when none is named)
//   or "http=host:port;https=host:port" (a scheme with no entry goes direct);
//   an empty or unreadable server, or another setting, is kInvalidArgument.
//   Nothing is ever read from the environment.
// - Open: method a non-empty HTTP token, url an absolute http or https URL
//   (kErrorUnrecognizedScheme for other schemes, kErrorInvalidUrl for the
//   rest). In its path and query every byte that may not stand there as it
//   is goes on the wire as %XX in upper-case hex (escapedUrl below): a space
//   is always %20, never "+"; what is escaped already or allowed stays as
//   given. async is accepted, Send still returns only when done. Drops the
//   headers, credentials and response of an earlier request; keeps
//   time-outs, proxy, options and the cookie store. A failed Open leaves the
//   object unopened.
// - Option put: 4 takes only bits of kSslIgnoreAll, 6 any value that reads as
//   a boolean; Option get: 1 only, after Open: the URL opened, after Send the
//   final URL. Other indexes: kErrorInvalidOption.
// - SetCredentials: after Open; flags 0 (server, offered to the opened origin
//   only) or 1 (proxy); an empty user name or another flag is
//   kInvalidArgument.
// - SetRequestHeader: after Open and before Send (kErrorCannotCallBeforeOpen,
//   kErrorCannotCallAfterSend); an empty name is kInvalidArgument; CR, LF or
//   zero in either, or ":" in the name, is kErrorInvalidHeader and adds
//   nothing; a name set again in any case replaces the value in place; an
//   empty value removes it. Sent as code page 936 bytes in the order set.
//   Host goes only to the opened origin, Content-Length is always the body's
//   own, Proxy-Authorization goes only to a proxy (in CONNECT for https), and
//   Cookie joins the stored cookies in one Cookie line. Authorization,
//   Proxy-Authorization and Cookie set here go only to the scheme, host and
//   port that Open named, never to a redirect target elsewhere; the object's
//   cookie store still gives every host the cookies that host set.
// - Send: once per Open. Own headers unless the caller set them: Host,
//   "User-Agent: Mozilla/4.0 (compatible; Win32; WinHttp.WinHttpRequest.5)",
//   "Accept: */*", "Connection: Keep-Alive"; Content-Length with a body; never
//   Accept-Encoding or Expect. GET and HEAD carry no body; POST and PUT always
//   carry one (maybe empty). A string body goes as its bytes when all ASCII,
//   else as UTF-8 with charset=utf-8 in Content-Type; bytes go as they are.
//   Follows up to 10 redirects when option 6 is on (301, 302 after POST and
//   303 continue with GET, without the body and its Content-Type); an 11th,
//   or one from https to http, is kErrorRedirectFailed. A response body over
//   kMaxResponseBodyBytes is kErrorResponseTooLarge. Memory that cannot be
//   had for the response is kOutOfMemory, with the bytes asked for noted
//   (com::failedAllocation); no exception passes through libcurl. A failed
//   Send leaves nothing to read.
// - ResponseBody, GetAllResponseHeaders, Status, StatusText: the final
//   response of a completed Send (kErrorCannotCallBeforeSend otherwise): the
//   body bytes as received (transfer coding undone, content coding kept), the
//   header lines "Name: value" each with CR LF and one more CR LF (no status
//   line), the status number, the reason phrase.
std::span<const com::MemberSignature> requestMembers();

// A new real request object, never null. Works without COM initialisation;
// createObject is what checks it.
std::shared_ptr<com::Dispatch> newRequestObject();

// `url` with every byte of its path and query that may not stand there as
// it is written %XX (upper-case hex): control bytes, space, DEL, bytes of
// 0x80 and above, and " < > ` { }. A "%" is left alone (escaped bytes stay
// as they are), and so is every other byte. What comes before the path (a
// scheme, "//" and the authority up to the first "/", "?" or "#") and a
// fragment are never touched; a relative reference is escaped from its
// start. An empty text stays empty.
std::string escapedUrl(std::string_view url);

// Registers newRequestObject under kRequestProgId unless a factory is already
// there (a test's recording or failing factory stays). Idempotent and safe
// from any thread; the web layer calls it before createObject.
void registerRequestClass();

// Test seam, for tests only: from now on every request object of the
// process takes response bodies of at most `bytes` instead of
// kMaxResponseBodyBytes; 0 brings the constant back. Lets a test show the
// limit without moving hundreds of megabytes.
void setResponseBodyLimitForTesting(std::size_t bytes) noexcept;

}  // namespace quillmark::platform::winhttp
