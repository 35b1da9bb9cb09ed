// Draws a logo: the template's icon on the left, the title on the right in
// the title colour, a thin accent line under it in the accent colour, on
// white, 400 x 120 pixels, encoded as PNG.
//
// Rendering is deterministic: one request always gives the same pixels and
// the same PNG bytes (no time stamps, no text chunks, fixed resolution).
// Needs a QGuiApplication alive in the process (any platform plugin, usually
// "offscreen"); safe to call from several threads at once, each call drawing
// into an image of its own.
#pragma once

#include <QImage>
#include <QString>

#include <string>
#include <string_view>

#include "service/icon_design.h"
#include "service/logo_request.h"
#include "service/title_layout.h"

namespace quillmark::service {

inline constexpr int kLogoWidth = 400;
inline constexpr int kLogoHeight = 120;

// The icon of `design` alone, `size` x `size` pixels, on white. A size below
// 1 gives a null image.
QImage renderIcon(const IconDesign& design, int size);

// The whole logo as an RGB image of kLogoWidth x kLogoHeight. The title is
// decoded from code page 936 (title_text.h) and fitted beside the icon
// (title_layout.h): smaller, then on two lines, and only then cut short
// with an ellipsis; its ink never leaves the room beside the icon. An empty
// title leaves the icon and the accent alone. Without a QGuiApplication the
// result is a null image.
QImage renderLogoImage(const LogoRequest& request);

// renderLogoImage encoded as PNG; empty when there is no QGuiApplication or
// encoding fails.
std::string renderLogoPng(const LogoRequest& request);

// The PNG bytes of `image` (png_encoder.h): RGB, a fast compression, no
// metadata beyond a fixed 72 dpi resolution; empty for a null image.
std::string encodePng(const QImage& image);

// Whether the title face is installed (the font database finds that family
// itself, not a substitute). Needs a QGuiApplication; false without one.
bool titleFontAvailable();

}  // namespace quillmark::service
