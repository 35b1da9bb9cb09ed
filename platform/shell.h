// The shell: opening a URL with its default handler.
//
// Opens web pages in the user's browser through Qt's desktop services (which
// hand the URL to xdg-open). Nothing is reported either way. Tests replace
// the handler to see what would have been opened.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace quillmark::platform {

// Receives the URL (UTF-8) that openUrl was asked to open.
using UrlHandler = std::function<void(const std::string& urlUtf8)>;

// Hands `urlUtf8` to the current handler: by default the desktop's handler
// for its scheme. Returns without waiting for the page to open and reports
// nothing, not even a URL that cannot be opened. Safe from any thread.
void openUrl(std::string_view urlUtf8);

// Replaces the handler for every later openUrl; an empty function restores
// the desktop's handler.
void setUrlHandler(UrlHandler handler);

}  // namespace quillmark::platform
