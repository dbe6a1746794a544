#pragma once

#include <QByteArray>

class QImage;

namespace ScreenshotPng {

// The image as a PNG made for speed: one simple filter for every row, runs
// compressed in parallel parts, one per processor, so a busy 4K screen takes
// a fraction of what a general encoder needs. Opaque 8-bit RGB; any reader
// decodes it. Empty when the image is null.
QByteArray encode(const QImage& image);

} // namespace ScreenshotPng
