#include "Notices.h"

#include <atomic>

namespace {
// Read from the web engine's threads too.
std::atomic<std::FILE*> warnings {stdout};
std::atomic<std::FILE*> reports {stderr};

std::atomic<std::FILE*>& target(Notices::Kind kind)
{
    return kind == Notices::Kind::Warning ? warnings : reports;
}

void write(std::FILE* out, const QByteArray& line)
{
    if (!out)
        return;
    // One write, so lines from two threads do not interleave. Nothing is
    // left to tell when the stream itself is gone.
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), out);
    std::fflush(out);
}
} // namespace

void Notices::warn(const QString& text)
{
    warn(text.toUtf8());
}

void Notices::warn(const QByteArray& text)
{
    write(warnings.load(), QByteArrayLiteral("⚠️ ") + text + '\n');
}

void Notices::report(const QString& text)
{
    report(text.toUtf8());
}

void Notices::report(const QByteArray& text)
{
    write(reports.load(), text + '\n');
}

std::FILE* Notices::setStream(std::FILE* stream, Kind kind)
{
    return target(kind).exchange(stream);
}

std::FILE* Notices::stream(Kind kind)
{
    return target(kind).load();
}
