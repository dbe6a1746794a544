#pragma once

#include <QByteArray>

class QImage;

namespace ScreenshotPng {

// The image as a PNG made for speed: one simple filter for every row, runs
// compressed in parallel parts, one per processor, so a busy 4K screen takes
// a fraction of what a general encoder needs. Bands of rows that compression
// would barely shrink (photos, noise) are stored as they are, which costs
// little more than copying them. Opaque 8-bit RGB; any reader decodes it.
// Empty when the image is null.
QByteArray encode(const QImage& image);

} // namespace ScreenshotPng
