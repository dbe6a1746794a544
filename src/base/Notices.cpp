#include "Notices.h"

#include <atomic>

namespace {
// Read from the web engine's threads too.
std::atomic<std::FILE*> target {stdout};
} // namespace

void Notices::warn(const QString& text)
{
    warn(text.toUtf8());
}

void Notices::warn(const QByteArray& text)
{
    std::FILE* out = target.load();
    if (!out)
        return;
    const QByteArray line = QByteArrayLiteral("⚠️ ") + text + '\n';
    // One write, so lines from two threads do not interleave. Nothing is
    // left to tell when standard output itself is gone.
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), out);
    std::fflush(out);
}

std::FILE* Notices::setStream(std::FILE* stream)
{
    return target.exchange(stream);
}

std::FILE* Notices::stream()
{
    return target.load();
}
