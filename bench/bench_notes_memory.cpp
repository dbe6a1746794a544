// Resident memory of the notes tool holding a 50 MB note: the store and the
// view, the whole text in the editor.
#include <fstream>
#include <string>

#include <QApplication>
#include <QPlainTextEdit>
#include <QTemporaryDir>

#include "notes/NotesStore.h"
#include "notes/NotesView.h"
#include "support/BenchReport.h"
#include "support/FirstPaint.h"
#include "support/NotesText.h"

namespace {
double residentMegabytes()
{
    std::ifstream file("/proc/self/status");
    std::string line;
    while (std::getline(file, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) * 1024 / 1e6;
    }
    return -1;
}
} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    constexpr qsizetype bytes = 50'000'000;
    const char* name = "notes: RSS with a 50 MB note shown";
    const std::string target = "<= " + BenchReport::number(4.0 * bytes / 1e6, 0) + " MB (4 x file)";
    QTemporaryDir folder;
    if (!folder.isValid() || !NotesText::writeFile(folder.path(), bytes)) {
        BenchReport::row(name, "could not write the notes file", target);
        return 1;
    }
    const double before = residentMegabytes();
    NotesStore store(folder.path());
    NotesView view(store);
    view.resize(400, 700);
    auto* paint = new FirstPaint(view.editor()->viewport());
    view.show();
    if (!paint->wait(30000)) {
        BenchReport::row(name, "the note was never shown", target);
        return 1;
    }
    while (view.isFilling())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    const double after = residentMegabytes();
    BenchReport::row(name, BenchReport::number(after) + " MB (" + BenchReport::number(before) + " MB before the note)",
                     target);
    return 0;
}
