#pragma once

#include <tuple>

#include <QElapsedTimer>
#include <QProcess>
#include <QRect>
#include <QStringList>
#include <QTest>

#include "support/Poll.h"

// Looks at the X server the way a person's tools would: xdotool, xprop and
// xwininfo, run against the display the suite started.
namespace X11Tools {

inline QString run(const QString& program, const QStringList& args, int* exitCode = nullptr)
{
    QProcess process;
    process.start(program, args);
    process.waitForFinished(10000);
    if (exitCode)
        *exitCode = process.exitCode();
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// Ends a program the way a logout does, and for good if it will not go.
inline void endProgram(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000))
        process.kill();
    process.waitForFinished();
}

// Runs xdotool while this process keeps handling its events, as a person's
// mouse and keyboard would reach it; true when it ran and succeeded.
inline bool xdotool(const QStringList& args)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), args);
    if (!process.waitForStarted(5000))
        return false;
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 10000))
        return false;
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

inline void key(const QString& combination)
{
    run(QStringLiteral("xdotool"), {QStringLiteral("key"), combination});
}

// Windows whose WM_CLASS instance and title both match exactly.
inline QStringList findWindows(const QString& classname, const QString& title)
{
    QStringList found;
    const QStringList candidates = run(QStringLiteral("xdotool"),
                                       {QStringLiteral("search"), QStringLiteral("--classname"),
                                        QLatin1Char('^') + classname + QLatin1Char('$')})
                                       .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString& window : candidates) {
        if (run(QStringLiteral("xdotool"), {QStringLiteral("getwindowname"), window}) == title)
            found.append(window);
    }
    return found;
}

inline QString windowInfo(const QString& window)
{
    // Without a window, xwininfo would wait for a click.
    if (window.isEmpty())
        return {};
    return run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window});
}

inline bool isViewable(const QString& window)
{
    return windowInfo(window).contains(QLatin1String("Map State: IsViewable"));
}

inline QRect geometry(const QString& window)
{
    const QString info = windowInfo(window);
    auto field = [&info](const char* name) {
        const int at = info.indexOf(QLatin1String(name));
        if (at < 0)
            return -1;
        const int start = at + int(qstrlen(name));
        return info.mid(start, info.indexOf(QLatin1Char('\n'), start) - start).trimmed().toInt();
    };
    return {field("Absolute upper-left X:"), field("Absolute upper-left Y:"), field("Width:"), field("Height:")};
}

inline QString windowProperty(const QString& window, const QString& name)
{
    return run(QStringLiteral("xprop"), {QStringLiteral("-id"), window, name});
}

inline QString focusedWindow()
{
    return run(QStringLiteral("xdotool"), {QStringLiteral("getwindowfocus")});
}

// The one mapped window of that class and title, once there is exactly one;
// empty when none came within the time. A program may keep other, unmapped
// windows of the same name.
inline QString waitForViewableWindow(const QString& classname, const QString& title, int timeoutMs = 10000)
{
    QString found;
    std::ignore = pollUntil(
        [&] {
            QStringList viewable;
            for (const QString& window : findWindows(classname, title)) {
                if (isViewable(window))
                    viewable.append(window);
            }
            if (viewable.size() != 1)
                return false;
            found = viewable.constFirst();
            return true;
        },
        timeoutMs);
    return found;
}

inline bool sameWindow(const QString& a, const QString& b)
{
    bool okA = false, okB = false;
    const qulonglong x = a.toULongLong(&okA, 0), y = b.toULongLong(&okB, 0);
    return okA && okB && x == y;
}

} // namespace X11Tools
