// Opening with a 10 MB notes file: the store loading it and the notes view
// showing it, up to the editor's first paint.
#include <cstdio>
#include <vector>

#include <QApplication>
#include <QPlainTextEdit>
#include <QTemporaryDir>

#include "notes/NotesStore.h"
#include "notes/NotesView.h"
#include "support/BenchReport.h"
#include "support/FirstPaint.h"
#include "support/NotesText.h"

using BenchReport::Clock;

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    constexpr int runs = 5;
    constexpr qsizetype bytes = 10'000'000;
    const char* name = "notes: open 10 MB file (load + view painted)";
    const char* target = "<= 100 ms";

    QTemporaryDir folder;
    if (!folder.isValid() || !NotesText::writeFile(folder.path(), bytes)) {
        BenchReport::row(name, "could not write the notes file", target);
        return 1;
    }
    std::vector<double> samples;
    std::vector<double> loads;
    for (int run = 0; run < runs; ++run) {
        const auto started = Clock::now();
        NotesStore store(folder.path());
        loads.push_back(BenchReport::milliseconds(Clock::now() - started));
        NotesView view(store);
        view.resize(400, 700);
        auto* paint = new FirstPaint(view.editor()->viewport());
        view.show();
        if (!paint->wait(30000) || store.text().size() != bytes) {
            BenchReport::row(name, "the notes were not shown", target);
            return 1;
        }
        samples.push_back(BenchReport::milliseconds(Clock::now() - started));
        std::fprintf(stderr, "open run %d: %.2f ms\n", run + 1, samples.back());
    }
    const auto s = BenchReport::summarize(samples);
    // Where the time goes, so a slow figure points at the store or the view.
    const auto load = BenchReport::summarize(loads);
    BenchReport::row(name,
                     "median " + BenchReport::number(s.median) + " ms, of it load " + BenchReport::number(load.median)
                         + " ms (min " + BenchReport::number(s.min) + ", max " + BenchReport::number(s.max) + ", "
                         + std::to_string(s.count) + " runs)",
                     target);
    return 0;
}
