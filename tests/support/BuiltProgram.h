#pragma once

#include <csignal>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include <sys/prctl.h>

// The program the suite built, run as a person would start it, in a home of
// the test's own so that nothing of the person running the tests counts.
namespace BuiltProgram {

// Where the build put the program (the suite passes it in QUILLNOOK_BINARY);
// empty when it is not there.
inline QString path()
{
    const QString binary = qEnvironmentVariable("QUILLNOOK_BINARY");
    return QFile::exists(binary) ? binary : QString();
}

// The environment of a run below home: its Documents, config, state and a
// private runtime folder (which holds the single-instance lock), on X11.
inline QProcessEnvironment environment(const QString& home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_STATE_HOME"), home + QStringLiteral("/state"));
    const QString runtime = home + QStringLiteral("/runtime");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    return env;
}

// Starts the program; it ends with the test, even when the test itself dies.
inline bool start(QProcess& process, const QString& binary, const QProcessEnvironment& env)
{
    process.setProcessEnvironment(env);
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    process.setProgram(binary);
    process.start();
    return process.waitForStarted();
}

} // namespace BuiltProgram
