// Typing into a 10 MB note: from the key event reaching the editor to the
// notes store holding the new text and the editor repainted. And a note with
// one 5 MB line: how long the panel stays deaf while it is shown.
#include <vector>

#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include "notes/NotesStore.h"
#include "notes/NotesView.h"
#include "support/BenchReport.h"
#include "support/FirstPaint.h"
#include "support/LoopStalls.h"
#include "support/NotesText.h"

using BenchReport::Clock;

namespace {
// Counts the editor's paints, so a key's figure can include its repaint.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(QWidget* widget)
        : QObject(widget)
    {
        widget->installEventFilter(this);
    }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

bool waitFilled(NotesView& view)
{
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (view.isFilling() && Clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    return !view.isFilling();
}

int typing()
{
    constexpr int keys = 200;
    const char* name = "notes: key to store text and repaint, 10 MB note";
    const char* target = "p95 <= 16 ms";

    QTemporaryDir folder;
    if (!folder.isValid() || !NotesText::writeFile(folder.path(), 10'000'000)) {
        BenchReport::row(name, "could not write the notes file", target);
        return 1;
    }
    NotesStore store(folder.path());
    NotesView view(store);
    view.resize(400, 700);
    auto* paint = new FirstPaint(view.editor()->viewport());
    view.show();
    if (!paint->wait(10000) || !waitFilled(view)) {
        BenchReport::row(name, "the notes view was never filled", target);
        return 1;
    }
    view.activateWindow();
    view.editor()->setFocus();
    const int start = int(store.text().size() / 2);
    QTextCursor middle = view.editor()->textCursor();
    middle.setPosition(start);
    view.editor()->setTextCursor(middle);
    QCoreApplication::processEvents();
    auto* paints = new PaintCounter(view.editor()->viewport());

    std::vector<double> samples;
    for (int i = 0; i < keys; ++i) {
        const char letter = static_cast<char>('a' + i % 26);
        const qsizetype before = store.text().size();
        const int paintsBefore = paints->count;
        const auto pressed = Clock::now();
        QTest::keyClick(view.editor(), letter);
        const auto deadline = pressed + std::chrono::seconds(2);
        while ((store.text().size() != before + 1 || paints->count == paintsBefore) && Clock::now() < deadline)
            QCoreApplication::processEvents();
        samples.push_back(BenchReport::milliseconds(Clock::now() - pressed));
        if (store.text().at(start + i) != QLatin1Char(letter)) {
            BenchReport::row(name, "the store got other text than was typed", target);
            return 1;
        }
    }
    const auto s = BenchReport::summarize(samples);
    BenchReport::row(name,
                     "median " + BenchReport::number(s.median, 2) + " ms, p95 " + BenchReport::number(s.p95, 2)
                         + " ms (" + std::to_string(s.count) + " keys)",
                     target);
    return 0;
}

int longLine()
{
    const char* name = "notes: one 5 MB line, longest event-loop stall while shown";
    const char* target = "<= 50 ms, read-only with banner";
    QTemporaryDir folder;
    QFile file(folder.filePath(QStringLiteral("Quillnook.txt")));
    const QByteArray bytes = "a short line\n" + QByteArray(5'000'000, 'w') + "\nthe end\n";
    if (!folder.isValid() || !file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        BenchReport::row(name, "could not write the notes file", target);
        return 1;
    }
    file.close();
    const auto started = Clock::now();
    NotesStore store(folder.path());
    const double load = BenchReport::milliseconds(Clock::now() - started);
    // The store loads before any window exists; from here on the panel is up.
    LoopStalls loop;
    loop.start();
    NotesView view(store);
    view.resize(400, 700);
    auto* paint = new FirstPaint(view.editor()->viewport());
    view.show();
    if (!paint->wait(30000) || !waitFilled(view)) {
        BenchReport::row(name, "the note was never shown", target);
        return 1;
    }
    const double shown = BenchReport::milliseconds(Clock::now() - started);
    // Keys in the read-only editor, which must not wait on a layout either.
    QTest::keyClick(view.editor(), 'k');
    QCoreApplication::processEvents();
    QFile after(store.filePath());
    const bool unchanged = after.open(QIODevice::ReadOnly) && after.readAll() == bytes;
    BenchReport::row(name,
                     "max " + BenchReport::number(loop.longestMs()) + " ms, shown in " + BenchReport::number(shown)
                         + " ms (load " + BenchReport::number(load) + " ms), "
                         + (view.editor()->isReadOnly() ? "read-only" : "editable") + ", file "
                         + (unchanged ? "unchanged" : "CHANGED"),
                     target);
    return 0;
}
} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const int typed = typing();
    return longLine() | typed;
}
