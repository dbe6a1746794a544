#include "ScreenshotPng.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include <QImage>

#include <zlib.h>

namespace {
// Rows are encoded in bands; each band is either compressed or stored as it
// is, whichever its sample row says pays.
constexpr int BandRows = 16;
// A band is compressed when its sample shrinks to at most this share
// (in 1/64ths): below a tenth saved, compressing is mostly time lost.
constexpr uLong CompressedShareLimit = 58;
// A stored deflate block holds at most this many bytes.
constexpr size_t StoredBlockMax = 65535;

void putBigEndian(unsigned char* out, quint32 value)
{
    out[0] = uchar(value >> 24);
    out[1] = uchar(value >> 16);
    out[2] = uchar(value >> 8);
    out[3] = uchar(value);
}

void appendBigEndian(QByteArray& out, quint32 value)
{
    unsigned char bytes[4];
    putBigEndian(bytes, value);
    out.append(reinterpret_cast<const char*>(bytes), 4);
}

// A whole chunk: length, type, data, checksum.
void appendChunk(QByteArray& out, const char* type, const QByteArray& data)
{
    appendBigEndian(out, quint32(data.size()));
    const qsizetype start = out.size();
    out.append(type, 4).append(data);
    appendBigEndian(
        out, quint32(::crc32(0, reinterpret_cast<const Bytef*>(out.constData() + start), uInt(out.size() - start))));
}

// A scanline with the "Sub" filter: each byte less the same colour of the
// pixel to its left, so even areas become runs of zeros that compress well.
void subFilteredRow(const QRgb* pixels, int width, unsigned char* line)
{
    line[0] = 1;
    QRgb left = 0;
    for (int x = 0; x < width; ++x) {
        const QRgb pixel = pixels[x];
        line[size_t(x) * 3 + 1] = uchar(qRed(pixel) - qRed(left));
        line[size_t(x) * 3 + 2] = uchar(qGreen(pixel) - qGreen(left));
        line[size_t(x) * 3 + 3] = uchar(qBlue(pixel) - qBlue(left));
        left = pixel;
    }
}

// A scanline without a filter, for bands stored as they are.
void plainRow(const QRgb* pixels, int width, unsigned char* line)
{
    line[0] = 0;
    unsigned char* out = line + 1;
    for (int x = 0; x < width; ++x, out += 3) {
        const QRgb pixel = pixels[x];
        out[0] = uchar(qRed(pixel));
        out[1] = uchar(qGreen(pixel));
        out[2] = uchar(qBlue(pixel));
    }
}

// One part of the picture as a whole IDAT chunk of its own: raw deflate
// blocks that end on a byte boundary and are not final, so the parts of all
// threads follow one another in a single zlib stream.
struct Part
{
    // Not zeroed first: every byte handed on is written.
    std::unique_ptr<unsigned char[]> chunk;
    size_t size = 0;
    uLong adler = 1;
    uLong length = 0;
    bool ok = false;
};

class PartWriter
{
public:
    explicit PartWriter(Part& part, size_t rawSize)
        : m_part(part)
    {
        // Room for every band stored, so the buffer never moves. Deflate
        // stores a block itself when coding would make it bigger, so a
        // compressed band takes at most a few bytes more than stored.
        m_capacity = 8 + 2 + rawSize + rawSize / 256 + 64 * (rawSize / StoredBlockMax + 16) + 4;
        m_part.chunk.reset(new unsigned char[m_capacity]);
        m_used = 8;
    }

    unsigned char* room() { return m_part.chunk.get() + m_used; }
    size_t roomLeft() const { return m_capacity - 4 - m_used; }
    void advance(size_t bytes) { m_used += bytes; }

    void append(const void* data, size_t size)
    {
        std::memcpy(room(), data, size);
        m_used += size;
    }

    void store(const unsigned char* data, size_t size)
    {
        while (size > 0) {
            const size_t block = std::min(size, StoredBlockMax);
            const unsigned char header[5]
                = {0, uchar(block & 0xff), uchar(block >> 8), uchar(~block & 0xff), uchar((~block >> 8) & 0xff)};
            append(header, sizeof header);
            append(data, block);
            data += block;
            size -= block;
        }
    }

    void finish()
    {
        unsigned char* chunk = m_part.chunk.get();
        const size_t dataSize = m_used - 8;
        putBigEndian(chunk, quint32(dataSize));
        std::memcpy(chunk + 4, "IDAT", 4);
        putBigEndian(chunk + m_used, quint32(::crc32(0, chunk + 4, uInt(dataSize + 4))));
        m_part.size = m_used + 4;
    }

private:
    Part& m_part;
    size_t m_capacity = 0;
    size_t m_used = 0;
};

// Rows [first, last) of the image into `part`; the first part also opens
// the zlib stream.
void encodeRows(const QImage& image, int first, int last, bool opensStream, Part& part)
{
    const int width = image.width();
    const size_t lineSize = size_t(width) * 3 + 1;
    PartWriter out(part, lineSize * size_t(last - first));
    if (opensStream)
        out.append("\x78\x01", 2);

    z_stream z {};
    z_stream probe {};
    if (deflateInit2(&z, 1, Z_DEFLATED, -15, 8, Z_RLE) != Z_OK)
        return;
    if (deflateInit2(&probe, 1, Z_DEFLATED, -15, 8, Z_RLE) != Z_OK) {
        deflateEnd(&z);
        return;
    }
    std::vector<unsigned char> band(lineSize * BandRows);
    std::vector<unsigned char> probed(deflateBound(&probe, uLong(lineSize)));
    bool ok = true;
    for (int top = first; top < last && ok; top += BandRows) {
        const int rows = std::min(BandRows, last - top);
        const size_t bandSize = lineSize * size_t(rows);
        // The middle row stands for the band: compressed alone, does it
        // shrink enough to be worth compressing all of them?
        unsigned char* sample = band.data() + lineSize * size_t(rows / 2);
        subFilteredRow(reinterpret_cast<const QRgb*>(image.constScanLine(top + rows / 2)), width, sample);
        deflateReset(&probe);
        probe.next_in = sample;
        probe.avail_in = uInt(lineSize);
        probe.next_out = probed.data();
        probe.avail_out = uInt(probed.size());
        const bool compress = deflate(&probe, Z_FINISH) == Z_STREAM_END
            && probe.total_out * 64 <= uLong(lineSize) * CompressedShareLimit;

        for (int row = 0; row < rows; ++row) {
            const auto* pixels = reinterpret_cast<const QRgb*>(image.constScanLine(top + row));
            unsigned char* line = band.data() + lineSize * size_t(row);
            if (compress)
                subFilteredRow(pixels, width, line);
            else
                plainRow(pixels, width, line);
        }
        part.adler = adler32(part.adler, band.data(), uInt(bandSize));
        part.length += uLong(bandSize);
        if (!compress) {
            out.store(band.data(), bandSize);
            continue;
        }
        // A full flush ends on a byte boundary and lets nothing later refer
        // back into this band, so stored bands may follow.
        z.next_in = band.data();
        z.avail_in = uInt(bandSize);
        z.next_out = out.room();
        z.avail_out = uInt(out.roomLeft());
        const int result = deflate(&z, Z_FULL_FLUSH);
        ok = result == Z_OK && z.avail_in == 0 && z.avail_out > 0;
        out.advance(out.roomLeft() - z.avail_out);
    }
    deflateEnd(&probe);
    deflateEnd(&z);
    if (!ok)
        return;
    out.finish();
    part.ok = true;
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
    for (int i = 1; i < parts; ++i) {
        const int first = i * rowsPerPart;
        const int last = std::min(image.height(), first + rowsPerPart);
        if (first < last)
            workers.emplace_back(encodeRows, std::cref(image), first, last, false, std::ref(results[size_t(i)]));
    }
    encodeRows(image, 0, std::min(image.height(), rowsPerPart), true, results[0]);
    for (std::thread& worker : workers)
        worker.join();

    QByteArray header;
    appendBigEndian(header, quint32(image.width()));
    appendBigEndian(header, quint32(image.height()));
    // 8 bits a channel, RGB, no interlace.
    header.append("\x08\x02\x00\x00\x00", 5);
    // The stream's end: an empty final block, then the checksum of all rows.
    QByteArray end("\x01\x00\x00\xff\xff", 5);
    uLong adler = 1;
    qsizetype size = 8 + 12 + header.size() + 12 + end.size() + 4 + 12;
    for (size_t i = 0; i < results.size(); ++i) {
        const Part& part = results[i];
        if (i > 0 && part.length == 0)
            continue;
        if (!part.ok)
            return {};
        adler = adler32_combine(adler, part.adler, z_off_t(part.length));
        size += qsizetype(part.size);
    }
    appendBigEndian(end, quint32(adler));

    QByteArray png;
    png.reserve(size);
    png.append("\x89PNG\r\n\x1a\n", 8);
    appendChunk(png, "IHDR", header);
    for (const Part& part : results) {
        if (part.ok)
            png.append(reinterpret_cast<const char*>(part.chunk.get()), qsizetype(part.size));
    }
    appendChunk(png, "IDAT", end);
    appendChunk(png, "IEND", QByteArray());
    return png;
}
