// One save of a changed note, as the half-second pause triggers it: the
// usual replace by rename (with the copy kept in the history), and the write
// in place that a notes file with other hard links gets.
#include <vector>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include "notes/NotesStore.h"
#include "support/BenchReport.h"
#include "support/NotesText.h"

#include <unistd.h>

using BenchReport::Clock;

namespace {
bool measure(qsizetype bytes, bool hardLinked)
{
    const std::string name = std::string("notes: save of a ") + BenchReport::number(double(bytes) / 1e6, 2) + " MB note"
        + (hardLinked ? ", hard-linked (in place)" : " (rename, history copy)");
    const char* target = "median <= 16 ms up to 1 MB";
    QTemporaryDir folder;
    if (!folder.isValid() || !NotesText::writeFile(folder.path(), bytes)) {
        BenchReport::row(name, "could not write the notes file", target);
        return false;
    }
    const QByteArray notes = QFile::encodeName(folder.filePath(QStringLiteral("Quillnook.txt")));
    if (hardLinked
        && ::link(notes.constData(), QFile::encodeName(folder.filePath(QStringLiteral("other"))).constData()) != 0) {
        BenchReport::row(name, "could not link the notes file", target);
        return false;
    }
    NotesStore store(folder.path(), folder.filePath(QStringLiteral("state")), nullptr);
    std::vector<double> samples;
    for (int i = 0; i < 30; ++i) {
        store.replaceText(0, 0, QStringLiteral("k"));
        const auto start = Clock::now();
        if (!store.save()) {
            BenchReport::row(name, "save failed: " + store.saveError().toStdString(), target);
            return false;
        }
        samples.push_back(BenchReport::milliseconds(Clock::now() - start));
    }
    const BenchReport::Summary summary = BenchReport::summarize(samples);
    BenchReport::row(
        name, "median " + BenchReport::number(summary.median) + " ms, p95 " + BenchReport::number(summary.p95) + " ms",
        target);
    return true;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    bool ok = true;
    for (const qsizetype bytes : {qsizetype(10'000), qsizetype(1'000'000), qsizetype(10'000'000)}) {
        for (const bool hardLinked : {false, true})
            ok = measure(bytes, hardLinked) && ok;
    }
    return ok ? 0 : 1;
}
