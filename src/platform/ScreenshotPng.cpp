#include "ScreenshotPng.h"

#include <algorithm>
#include <thread>
#include <vector>

#include <QImage>

#include <zlib.h>

namespace {
void appendBigEndian(QByteArray& out, quint32 value)
{
    const char bytes[] = {char(value >> 24), char((value >> 16) & 0xff), char((value >> 8) & 0xff), char(value & 0xff)};
    out.append(bytes, 4);
}

void appendChunk(QByteArray& out, const char* type, const QByteArray& data)
{
    appendBigEndian(out, quint32(data.size()));
    const qsizetype start = out.size();
    out.append(type, 4).append(data);
    appendBigEndian(
        out, quint32(::crc32(0, reinterpret_cast<const Bytef*>(out.constData() + start), uInt(out.size() - start))));
}

struct Part
{
    QByteArray deflated;
    uLong adler = 1;
    uLong length = 0;
    bool ok = false;
};

// Rows [first, last) as PNG scanlines (filter byte, then R, G, B), as raw
// deflate data that ends on a byte boundary, so the parts can be joined.
void compressRows(const QImage& image, int first, int last, bool final, Part& part)
{
    z_stream z {};
    if (deflateInit2(&z, 1, Z_DEFLATED, -15, 8, Z_RLE) != Z_OK)
        return;
    const int width = image.width();
    std::vector<unsigned char> line(size_t(width) * 3 + 1);
    std::vector<unsigned char> out(1 << 18);
    bool ok = true;
    for (int y = first; y < last && ok; ++y) {
        const auto* pixels = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        // The "Sub" filter: each byte less the same colour of the pixel to
        // its left, so even areas become runs of zeros that compress well.
        line[0] = 1;
        QRgb left = 0;
        for (int x = 0; x < width; ++x) {
            const QRgb pixel = pixels[x];
            line[size_t(x) * 3 + 1] = uchar(qRed(pixel) - qRed(left));
            line[size_t(x) * 3 + 2] = uchar(qGreen(pixel) - qGreen(left));
            line[size_t(x) * 3 + 3] = uchar(qBlue(pixel) - qBlue(left));
            left = pixel;
        }
        part.adler = adler32(part.adler, line.data(), uInt(line.size()));
        part.length += uLong(line.size());
        z.next_in = line.data();
        z.avail_in = uInt(line.size());
        const int flush = y + 1 < last ? Z_NO_FLUSH : final ? Z_FINISH : Z_SYNC_FLUSH;
        do {
            z.next_out = out.data();
            z.avail_out = uInt(out.size());
            const int result = deflate(&z, flush);
            ok = result != Z_STREAM_ERROR;
            part.deflated.append(reinterpret_cast<const char*>(out.data()), qsizetype(out.size() - z.avail_out));
        } while (ok && z.avail_out == 0);
    }
    deflateEnd(&z);
    part.ok = ok;
}
} // namespace

QByteArray ScreenshotPng::encode(const QImage& source)
{
    if (source.isNull())
        return {};
    const QImage image = source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32
        ? source
        : source.convertToFormat(QImage::Format_RGB32);
    const int parts = std::clamp(int(std::thread::hardware_concurrency()), 1, std::max(1, image.height() / 64));
    std::vector<Part> results(static_cast<size_t>(parts));
    std::vector<std::thread> workers;
    const int rowsPerPart = (image.height() + parts - 1) / parts;
    for (int i = 0; i < parts; ++i) {
        const int first = i * rowsPerPart;
        const int last = std::min(image.height(), first + rowsPerPart);
        workers.emplace_back(compressRows, std::cref(image), first, last, i + 1 == parts, std::ref(results[size_t(i)]));
    }
    for (std::thread& worker : workers)
        worker.join();

    // One zlib stream: its header, the parts in order, the checksum of all.
    QByteArray data("\x78\x01", 2);
    uLong adler = 1;
    for (const Part& part : results) {
        if (!part.ok)
            return {};
        data.append(part.deflated);
        adler = adler32_combine(adler, part.adler, z_off_t(part.length));
    }
    appendBigEndian(data, quint32(adler));

    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    QByteArray header;
    appendBigEndian(header, quint32(image.width()));
    appendBigEndian(header, quint32(image.height()));
    header.append("\x08\x02\x00\x00\x00", 5);
    appendChunk(png, "IHDR", header);
    appendChunk(png, "IDAT", data);
    appendChunk(png, "IEND", QByteArray());
    return png;
}
