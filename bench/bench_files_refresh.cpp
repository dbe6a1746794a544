// Listing a shelf of 10,000 files: one refresh of the store, read and sorted.
#include <vector>

#include <QCoreApplication>
#include <QTemporaryDir>

#include "files/FilesStore.h"
#include "support/BenchReport.h"
#include "support/ShelfFiles.h"

using BenchReport::Clock;

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    constexpr int files = 10'000;
    constexpr int rounds = 30;
    const char* name = "files: refresh, 10,000 entries";
    const char* target = "median <= 50 ms";

    QTemporaryDir documents;
    if (!documents.isValid()
        || !ShelfFiles::make(documents.filePath(QString::fromLatin1(FilesStore::FolderName)), files)) {
        BenchReport::row(name, "could not make the shelf", target);
        return 1;
    }
    const auto made = Clock::now();
    FilesStore store(documents.path());
    const double first = BenchReport::milliseconds(Clock::now() - made);
    if (store.files().size() != files) {
        BenchReport::row(name, "the store listed " + std::to_string(store.files().size()) + " entries", target);
        return 1;
    }
    std::vector<double> samples;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        store.refresh();
        samples.push_back(BenchReport::milliseconds(Clock::now() - start));
    }
    const auto s = BenchReport::summarize(samples);
    BenchReport::row(name,
                     "median " + BenchReport::number(s.median, 1) + " ms, max " + BenchReport::number(s.max, 1)
                         + " ms (" + std::to_string(s.count) + " refreshes; the first listing "
                         + BenchReport::number(first, 1) + " ms)",
                     target);
    return 0;
}
