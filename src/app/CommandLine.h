#pragma once

#include <QString>
#include <QStringList>

// Quillnook's one option, --toggle, and the two that explain it. Qt's own
// options (-platform, -display, -style …) pass through to Qt.
namespace CommandLine {
enum class Action
{
    Run,
    Toggle,
    Help,
    Version,
    Invalid,
};

struct Parsed
{
    Action action = Action::Run;
    // For Invalid: what was wrong, in one line.
    QString error;
};

// `arguments` includes the program name first, as argv does.
Parsed parse(const QStringList& arguments);
QString helpText();
QString versionText();
} // namespace CommandLine
