#pragma once

#include <QByteArray>

class QImage;

namespace ScreenshotPng {

// The image as a PNG made for speed: rows stored unfiltered and compressed
// at zlib's fastest level in parallel parts, one per processor, so a busy
// 4K screen takes a fraction of what a general encoder needs. Opaque 8-bit
// RGB; any reader decodes it. Empty when the image is null.
QByteArray encode(const QImage& image);

} // namespace ScreenshotPng
