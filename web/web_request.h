// webRequest: one synchronous HTTP or HTTPS request through the platform's
// request object.
//
// Besides the URL it takes a method, a text or byte body, a cookie string, a
// header block, a proxy with credentials, a time-out, switches for redirects,
// header completion, header-name capitalisation and cookie merging, and
// optionally the caller's own request object; it hands back the body, the
// response headers, the status and the cookies the response set. The object
// is driven through COM by name, in a fixed order, and every member call is
// made whatever became of the ones before: a failed call is ignored, a
// failed read gives the empty value of its kind. Nothing escapes as an
// exception; the empty body and status 0 are the only report of a failure.
#pragma once

#include <optional>

#include "platform/com/com.h"
#include "text/byte_buffer.h"
#include "text/text.h"

namespace quillmark {

// Everything after the URL. A pointer left null is a parameter not supplied;
// a std::optional left empty is one whose omission the routine tells apart.
// Write them with designated initialisers: webRequest(url, {.method = 1}).
struct WebRequestOptions {
  // Index into GET, POST, HEAD, PUT, OPTIONS, DELETE, TRACE, CONNECT; a value
  // outside 0..7 is GET.
  int method = 0;
  // Sent when bodyBytes is empty.
  Text body{};
  // In-out. Not supplied: no Cookie header and no merge. Supplied: every
  // "Cookie:" (any case) is removed from it when present, it is sent as the
  // Cookie header (also when empty), and with merging on it ends as the
  // merged cookie string.
  Text* cookies = nullptr;
  // Out: the cookies the response set, or the merged string when merging ran.
  Text* returnedCookies = nullptr;
  // In-out: the request header block; receives the completed and capitalised
  // block. Not supplied: the empty block.
  Text* headers = nullptr;
  // Out: the response header lines as the request object reports them.
  Text* responseHeaders = nullptr;
  // Out: the HTTP status, 0 when none was read.
  int* statusCode = nullptr;
  bool disableRedirects = false;
  // Sent instead of `body` when not empty.
  ByteBuffer bodyBytes{};
  // Proxy server; empty: none is set.
  Text proxy{};
  // -1: the object's time-outs stay; below 1 otherwise: 15 s; else seconds.
  int timeoutSeconds = 0;
  Text proxyUser{};
  Text proxyPassword{};
  // 0: credentials for the server, 1 (omitted): for the proxy, which also
  // sends a Proxy-Authorization header.
  std::optional<int> credentialTarget{};
  // The caller's request object, shared, not copied: what the call sets on it
  // stays. Not supplied: a new object for this call. Supplied but empty: every
  // member call fails.
  std::optional<platform::com::ObjectHandle> requestObject{};
  std::optional<bool> autoMergeCookies{};       // omitted: true
  std::optional<bool> completeHeaders{};        // omitted: true
  std::optional<bool> capitalizeHeaderNames{};  // omitted: true
};

// Performs the request and returns the response body; empty when the body
// is empty, could not be read, or no request object could be had. The body
// of an object made for the call moves over to the result without a copy.
// When no object could be created, no supplied parameter is changed. Memory
// that cannot be had on the way, the object's own included (kOutOfMemory),
// ends the program with the allocation error (text/allocation.h).
ByteBuffer webRequest(const Text& url, const WebRequestOptions& options = {});

// The cookie string of the Set-Cookie lines of a response header text: for
// each CR LF line whose text before the first ": " is exactly "Set-Cookie",
// its first name=value pair, space-trimmed, joined by "; ". Attributes are
// dropped; other spellings of the name are not collected.
Text extractSetCookies(const Text& responseHeaders);

}  // namespace quillmark
