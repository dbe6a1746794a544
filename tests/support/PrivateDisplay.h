#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTest>

#include "support/X11Tools.h"

// An X server of the test's own, with the window manager on it, for screens
// the suite's display does not have (small ones, two monitors). While it
// lives, $DISPLAY names it, so the X11Tools and any program started see it.
class PrivateDisplay
{
public:
    // screenArgs: Xvfb's screen options, e.g. {"-screen", "0", "800x600x24"}.
    explicit PrivateDisplay(const QStringList& screenArgs)
        : m_previous(qgetenv("DISPLAY"))
    {
        int n = 150;
        while (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n))
               || QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
            ++n;
        m_name = QStringLiteral(":%1").arg(n);
        m_server.start(
            QStringLiteral("Xvfb"),
            QStringList {m_name} + screenArgs
                + QStringList {QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-noreset")});
        if (!m_server.waitForStarted(5000))
            return;
        qputenv("DISPLAY", m_name.toLocal8Bit());
        if (!waitFor([] { return runs(QStringLiteral("xdpyinfo"), {}); })) {
            qWarning("Xvfb on %s did not answer: %s", qPrintable(m_name), m_server.readAllStandardError().constData());
            return;
        }
        m_windowManager.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
        m_ready = m_windowManager.waitForStarted(5000) && waitFor([] {
                      return X11Tools::run(QStringLiteral("xprop"),
                                           {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
                          .contains(QLatin1String("window id"));
                  });
        if (!m_ready)
            qWarning("openbox on %s did not come up (state %d, exit %d): %s %s", qPrintable(m_name),
                     int(m_windowManager.state()), m_windowManager.exitCode(),
                     m_windowManager.readAllStandardError().constData(),
                     m_windowManager.readAllStandardOutput().constData());
    }

    ~PrivateDisplay()
    {
        for (QProcess* process : {&m_windowManager, &m_server}) {
            if (process->state() == QProcess::NotRunning)
                continue;
            process->terminate();
            if (!process->waitForFinished(5000))
                process->kill();
            process->waitForFinished(2000);
        }
        if (m_previous.isNull())
            qunsetenv("DISPLAY");
        else
            qputenv("DISPLAY", m_previous);
    }

    PrivateDisplay(const PrivateDisplay&) = delete;
    PrivateDisplay& operator=(const PrivateDisplay&) = delete;

    bool isReady() const { return m_ready; }
    QString name() const { return m_name; }

    static bool runs(const QString& program, const QStringList& args)
    {
        int exitCode = -1;
        X11Tools::run(program, args, &exitCode);
        return exitCode == 0;
    }

private:
    template<typename Check> static bool waitFor(Check check) { return pollUntil(check, 10000); }

    QByteArray m_previous;
    QString m_name;
    QProcess m_server;
    QProcess m_windowManager;
    bool m_ready = false;
};
