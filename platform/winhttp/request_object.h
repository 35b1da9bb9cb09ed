// The HTTP request automation object, over libcurl.
//
// The web request routine creates this object from kRequestProgId through the
// COM stand-in and drives it by member name: SetTimeouts, SetProxy, Open,
// Option, SetCredentials, SetRequestHeader, Send, then reads ResponseBody,
// GetAllResponseHeaders, Status and StatusText. Each object keeps its own
// time-outs, proxy, options and cookie store; connections, DNS results and TLS
// sessions are shared by every object of the process, so consecutive requests
// to one host reuse one keep-alive connection. An object belongs to one thread
// at a time; different objects may be used on different threads at once.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

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
std::span<const com::MemberSignature> requestMembers();

// A new real request object, never null. Works without COM initialisation;
// createObject is what checks it.
std::shared_ptr<com::Dispatch> newRequestObject();

// Registers newRequestObject under kRequestProgId unless a factory is already
// there (a test's recording or failing factory stays). Idempotent and safe
// from any thread; the web layer calls it before createObject.
void registerRequestClass();

}  // namespace quillmark::platform::winhttp
