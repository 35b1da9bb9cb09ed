// The logo batch job: one logo per title line, fetched, shown and saved.
//
// For every line of the titles box it draws an icon template from the hidden
// template list, shows the title in the caption, builds the Cookie text that
// names the template and the title, adds the browser-like headers to the
// job's header list, fetches the image from the logo service with
// webRequest, shows it in the picture box and saves it as <n>.png in the
// working directory. It touches the window only through WindowOperations and
// reports nothing to it: a failed request simply leaves an empty file. What
// the batch saved comes back to the caller as counts.
#pragma once

#include <string>

#include "app/window_operations.h"
#include "text/text.h"

namespace quillmark {

// Where the logo service lives: a host with an optional port, e.g.
// "localhost:8936". The image is fetched from
// http://<host>/logoa/logo_img_sc.php; the Host header is <host>, the
// Referer http://<host>/logoa/wenzi.php.
struct LogoService {
  Text host;

  Text imageUrl() const;
  Text refererUrl() const;
};

// The Cookie text of one pass: the fixed pieces around `templateName` and
// `title`, both inserted as they stand (code page 936, unescaped).
Text logoCookieText(const Text& templateName, const Text& title);

// Adds the seven request header pairs of a pass to `headers`, in order.
class NameValueList;
void addLogoRequestHeaders(NameValueList& headers, const LogoService& service);

// What one batch left behind. Every pass counts in exactly one of saved,
// empty and notSaved, so they add up to passes.
struct LogoBatchResult {
  int passes = 0;    // title lines when the job started
  int saved = 0;     // passes whose file now holds the bytes that came back (not none)
  int empty = 0;     // passes that got nothing back (failed request or empty body)
  int notSaved = 0;  // passes that got bytes but whose file could not be written whole
  std::string folder;  // the working directory the files went into; empty when unreadable
};

// Runs the whole batch on the calling thread. The number of passes is the
// line count of the titles box when the job starts; the template list and
// the titles are read anew every pass. A pass whose title line no longer
// exists sends an empty title. Returns the counts of what it saved.
LogoBatchResult runLogoBatch(WindowOperations& window, const LogoService& service);

}  // namespace quillmark
