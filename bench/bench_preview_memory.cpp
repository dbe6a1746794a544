// Memory of a shelf image preview: the panel's process and every process it
// started (the web engine's among them), from an idle preview to a large
// image shown and back to the list: a 20000 × 20000 PNG (1.6 GB decoded), a
// busy 4000 × 4000 one and a busy 1400 × 1400 one the engine shows itself.
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include "files/FilePreview.h"
#include "files/FilesStore.h"
#include "files/FilesView.h"
#include "support/BenchReport.h"
#include "web/WebEngineLoader.h"
#include "web/WebView.h"

#include <zlib.h>

namespace {
// Resident memory of a process and all its descendants, in MB.
double treeRssMb(qint64 root)
{
    QHash<qint64, qint64> parents;
    QHash<qint64, double> rss;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number)
            continue;
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("PPid:"))
                parents.insert(pid, line.mid(5).trimmed().toLongLong());
            else if (line.startsWith("VmRSS:"))
                rss.insert(pid, line.mid(6).trimmed().split(' ').first().toDouble() / 1024);
        }
    }
    double total = 0;
    for (auto it = rss.cbegin(); it != rss.cend(); ++it) {
        for (qint64 pid = it.key(); pid > 1; pid = parents.value(pid, 0)) {
            if (pid == root) {
                total += it.value();
                break;
            }
        }
    }
    return total;
}

quint32 crc(const QByteArray& bytes)
{
    return quint32(::crc32(0, reinterpret_cast<const Bytef*>(bytes.constData()), uInt(bytes.size())));
}

QByteArray chunk(const char* type, const QByteArray& data)
{
    const auto be32 = [](quint32 v) {
        const char b[] = {char(v >> 24), char((v >> 16) & 0xff), char((v >> 8) & 0xff), char(v & 0xff)};
        return QByteArray(b, 4);
    };
    const QByteArray body = QByteArray(type) + data;
    return be32(quint32(data.size())) + body + be32(crc(body));
}

// A white RGB PNG of the given size, compressed as it is written.
bool writeHugePng(const QString& path, quint32 side)
{
    const auto be32 = [](quint32 v) {
        const char b[] = {char(v >> 24), char((v >> 16) & 0xff), char((v >> 8) & 0xff), char(v & 0xff)};
        return QByteArray(b, 4);
    };
    QByteArray idat;
    z_stream z {};
    deflateInit(&z, 9);
    QByteArray row(int(side) * 3 + 1, char(0xff));
    row[0] = 0;
    std::vector<unsigned char> out(1 << 20);
    for (quint32 y = 0; y < side; ++y) {
        z.next_in = reinterpret_cast<Bytef*>(row.data());
        z.avail_in = uInt(row.size());
        const int flush = y + 1 == side ? Z_FINISH : Z_NO_FLUSH;
        do {
            z.next_out = out.data();
            z.avail_out = uInt(out.size());
            deflate(&z, flush);
            idat.append(reinterpret_cast<const char*>(out.data()), qsizetype(out.size() - z.avail_out));
        } while (z.avail_out == 0 || (flush == Z_FINISH && z.avail_in > 0));
    }
    deflateEnd(&z);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8)
        + chunk("IHDR", be32(side) + be32(side) + QByteArray("\x08\x02\x00\x00\x00", 5)) + chunk("IDAT", idat)
        + chunk("IEND", QByteArray());
    return file.write(png) == png.size() && file.flush();
}

// Waits with the event loop running, sampling the memory; returns the peak.
double peakWhile(int ms)
{
    double peak = 0;
    QElapsedTimer clock;
    clock.start();
    while (!clock.hasExpired(ms)) {
        QTest::qWait(100);
        peak = std::max(peak, treeRssMb(QCoreApplication::applicationPid()));
    }
    return peak;
}
} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const char* name = "image preview: memory over idle (process tree)";
    const char* target = "<= 100 MB, freed after Back";
    QTemporaryDir documents;
    FilesStore store(documents.path());
    const QString shelf = store.folderPath();
    QImage tiny(8, 8, QImage::Format_RGB32);
    tiny.fill(Qt::blue);
    const auto busy = [](int width, int height) {
        QImage photo(width, height, QImage::Format_RGB32);
        auto* random = QRandomGenerator::global();
        for (int y = 0; y < photo.height(); ++y) {
            auto* line = reinterpret_cast<quint32*>(photo.scanLine(y));
            for (int x = 0; x < photo.width(); ++x)
                line[x] = random->generate();
        }
        return photo;
    };
    {
        if (!tiny.save(shelf + QStringLiteral("/tiny.png"))
            || !busy(4000, 4000).save(shelf + QStringLiteral("/photo.png"))
            || !busy(1400, 1400).save(shelf + QStringLiteral("/engine.png"))
            || !writeHugePng(shelf + QStringLiteral("/huge.png"), 20000)) {
            BenchReport::row(name, "could not write the images", target);
            return 1;
        }
    }
    store.refresh();
    WebEngineLoader engines({QStringLiteral(QUILLNOOK_WEB_MODULE_PATH)});
    FilesView view(store, &engines);
    view.resize(360, 560);
    view.show();
    if (!QTest::qWaitForWindowExposed(&view)) {
        BenchReport::row(name, "no window", target);
        return 1;
    }
    engines.startNow();
    if (!QTest::qWaitFor([&] { return engines.engine() != nullptr; }, 30000)) {
        BenchReport::row(name, "no web engine", target);
        return 1;
    }
    const auto fileUrl = [&](const char* file) { return QUrl::fromLocalFile(shelf + u'/' + QLatin1String(file)); };
    std::string figure;
    for (const char* file : {"huge.png", "photo.png", "engine.png"}) {
        // Idle: the preview made and showing a small picture.
        view.setPreviewingURL(fileUrl("tiny.png"));
        QTest::qWait(3000);
        const double idle = treeRssMb(QCoreApplication::applicationPid());
        view.setPreviewingURL(fileUrl(file));
        const double peak = peakWhile(5000);
        const char* shownBy = view.preview()->isShowingWebView() ? "engine"
            : view.preview()->isShowingPicture()                 ? "decoded at display size"
                                                                 : "details page";
        view.setPreviewingURL(QUrl());
        QTest::qWait(4000);
        const double after = treeRssMb(QCoreApplication::applicationPid());
        const QFileInfo info(shelf + u'/' + QLatin1String(file));
        std::fprintf(stderr, "%s: idle %.0f MB, peak %.0f MB, after Back %.0f MB, shown by %s\n", file, idle, peak,
                     after, shownBy);
        if (!figure.empty())
            figure += "; ";
        figure += std::string(file) + " (" + BenchReport::number(double(info.size()) / 1024, 0) + " KB, " + shownBy
            + ") +" + BenchReport::number(peak - idle, 0) + " MB, after Back +" + BenchReport::number(after - idle, 0)
            + " MB";
    }
    BenchReport::row(name, figure, target);
    return 0;
}
