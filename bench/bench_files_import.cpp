// Importing a 1 GB file onto the shelf against `cp` of the same file, on the
// same disk. Each copy starts with the disk's earlier writes flushed, and is
// removed again before the next.
#include <algorithm>
#include <random>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "files/FilesStore.h"
#include "support/BenchReport.h"

#include <unistd.h>

using BenchReport::Clock;

namespace {
bool writeBigFile(const QString& path, qint64 bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // Random bytes: nothing for a file system to compress or leave sparse.
    std::mt19937_64 random(42);
    std::vector<quint64> block((1 << 20) / sizeof(quint64));
    for (qint64 written = 0; written < bytes;) {
        for (auto& word : block)
            word = random();
        const qint64 size = std::min<qint64>(qint64(block.size() * sizeof(quint64)), bytes - written);
        if (file.write(reinterpret_cast<const char*>(block.data()), size) != size)
            return false;
        written += size;
    }
    return file.flush();
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    constexpr qint64 size = 1'000'000'000;
    constexpr int rounds = 3;
    const char* name = "files: import 1 GB file vs cp";
    const char* target = "ratio <= 1.2";

    // On the disk, not in memory: /var/tmp survives reboots, so it is never tmpfs.
    QTemporaryDir work(QStringLiteral("/var/tmp/quillnook-import-bench.XXXXXX"));
    const QString source = work.filePath(QStringLiteral("big.bin"));
    if (!work.isValid() || !writeBigFile(source, size)) {
        BenchReport::row(name, "could not write the 1 GB file", target);
        return 1;
    }
    FilesStore store(work.filePath(QStringLiteral("Documents")));
    const QString shelved = store.folderPath() + QStringLiteral("/big.bin");
    const QString copied = work.filePath(QStringLiteral("cp-copy.bin"));

    std::vector<double> cpTimes;
    std::vector<double> importTimes;
    for (int i = 0; i < rounds; ++i) {
        ::sync();
        auto start = Clock::now();
        if (QProcess::execute(QStringLiteral("cp"), {source, copied}) != 0) {
            BenchReport::row(name, "cp failed", target);
            return 1;
        }
        cpTimes.push_back(BenchReport::milliseconds(Clock::now() - start));
        QFile::remove(copied);

        ::sync();
        start = Clock::now();
        store.importFile(QUrl::fromLocalFile(source));
        // The copy runs on a worker thread; its end is the figure.
        while (store.isImporting())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        importTimes.push_back(BenchReport::milliseconds(Clock::now() - start));
        if (QFileInfo(shelved).size() != size) {
            BenchReport::row(name, "the import did not land whole", target);
            return 1;
        }
        store.deleteFile(QUrl::fromLocalFile(shelved));
    }
    const auto cp = BenchReport::summarize(cpTimes);
    const auto import = BenchReport::summarize(importTimes);
    BenchReport::row(name,
                     "ratio " + BenchReport::number(import.median / cp.median, 2) + " (import median "
                         + BenchReport::number(import.median, 0) + " ms, cp median " + BenchReport::number(cp.median, 0)
                         + " ms)",
                     target);
    return 0;
}
