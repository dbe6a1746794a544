#include <cstdio>
#include <cstdlib>

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QProcess>

#include "app/AppDelegate.h"
#include "app/CommandLine.h"
#include "app/LastChanceSave.h"
#include "app/SingleInstance.h"
#include "app/UnixSignalWatcher.h"
#include "base/Notices.h"
#include "platform/ClipboardService.h"
#include "platform/DesktopShortcutSetup.h"
#include "platform/DocumentsLocation.h"
#include "platform/FileManager.h"
#include "platform/HotkeyService.h"
#include "platform/IniPreferences.h"
#include "platform/PanelWindowHints.h"
#include "platform/PlatformServices.h"
#include "platform/ScreenCaptureService.h"
#include "platform/SessionEnvironment.h"
#include "web/WebEngineLoader.h"

namespace {
// What the asker wanted printed (help, version), not a notice.
void print(const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stdout);
}

// `quillnook --toggle`: a short-lived client of the running instance. It needs
// no display, only the session bus.
int toggleRunningInstance(int argc, char* argv[], const QString& startupProblem)
{
    QCoreApplication app(argc, argv);
    QString error;
    switch (SingleInstance::toggleRunningPanel(&error)) {
    case SingleInstance::ToggleResult::Toggled:
        return 0;
    case SingleInstance::ToggleResult::NoSessionBus:
        Notices::report(QStringLiteral("quillnook: --toggle needs the session bus (D-Bus), and none is reachable."));
        return 1;
    case SingleInstance::ToggleResult::NotRunning:
        if (!startupProblem.isEmpty()) {
            Notices::report(startupProblem);
            return 1;
        }
        // A fresh start shows its panel, which is what the toggle asked for.
        if (QProcess::startDetached(QCoreApplication::applicationFilePath(), {}))
            return 0;
        Notices::report(QStringLiteral("quillnook: Quillnook is not running and could not be started."));
        return 1;
    case SingleInstance::ToggleResult::Failed:
        break;
    }
    Notices::report(QStringLiteral("quillnook: the running Quillnook did not answer: ") + error);
    return 1;
}
} // namespace

int main(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const CommandLine::Parsed command = CommandLine::parse(arguments);
    switch (command.action) {
    case CommandLine::Action::Help:
        print(CommandLine::helpText());
        return 0;
    case CommandLine::Action::Version:
        print(CommandLine::versionText());
        return 0;
    case CommandLine::Action::Invalid:
        Notices::report(QStringLiteral("quillnook: ") + command.error + QStringLiteral("\nTry 'quillnook --help'."));
        return 2;
    case CommandLine::Action::Run:
    case CommandLine::Action::Toggle:
        break;
    }

    // Before either toolkit reads its environment.
    const SessionEnvironment session;
    session.applyToProcess();
    if (command.action == CommandLine::Action::Toggle) {
        const int status = toggleRunningInstance(argc, argv, session.startupProblem());
        // Nothing is left to clean up, and Qt's bus thread can still be
        // winding down while static destructors run, which prints noise.
        std::fflush(nullptr);
        std::_Exit(status);
    }
    // Qt would abort on a platform plugin it cannot load.
    if (const auto missing = session.missingWaylandPlugin(SessionEnvironment::qtWaylandPluginInstalled())) {
        Notices::report(missing->message);
        if (!missing->canRunThroughXWayland)
            return 1;
        SessionEnvironment::runThroughXWayland();
    }
    if (const QString problem = session.startupProblem(); !problem.isEmpty()) {
        Notices::report(problem);
        return 1;
    }

    Q_INIT_RESOURCE(resources);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillnook"));
    // The tray item's title, as the desktop and screen readers show it.
    QApplication::setApplicationDisplayName(QStringLiteral("Quillnook"));
    QApplication::setDesktopFileName(QStringLiteral("quillnook"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/quillnook/quillnook.svg")));
    // The panel's close button only hides it; the program lives in the tray.
    QApplication::setQuitOnLastWindowClosed(false);

    UnixSignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &UnixSignalWatcher::terminationRequested, &app, &QCoreApplication::quit);

    const QString preferencesPath = IniPreferences::defaultFilePath();
    SingleInstance instance(SingleInstance::lockFilePaths(QFileInfo(preferencesPath).absolutePath()));
    if (!instance.acquire()) {
        const bool shown = SingleInstance::showRunningPanel();
        Notices::report(shown ? QByteArrayLiteral("Quillnook is already running; its panel is shown.")
                              : QByteArrayLiteral("Quillnook is already running."));
        return 0;
    }

    IniPreferences preferences(preferencesPath);
    const auto hotkeys = PlatformServices::createHotkeyService();
    const auto desktopShortcut = PlatformServices::createDesktopShortcutSetup(*hotkeys);
    const auto windowHints = PlatformServices::createPanelWindowHints();
    const auto clipboard = PlatformServices::createClipboardService();
    const auto screenCapture = PlatformServices::createScreenCaptureService(*clipboard);
    const auto fileManager = PlatformServices::createFileManager();
    // Outlives the panel and the web views in it.
    WebEngineLoader webEngines;
    AppDelegate delegate(*hotkeys, preferences, *windowHints, DocumentsLocation::path());
    delegate.hotkeyManager().setDesktopSetup(desktopShortcut.get());
    delegate.setWebEngineProvider(&webEngines);
    delegate.setScreenshotServices(clipboard.get(), screenCapture.get());
    delegate.setFileManager(fileManager.get());
    LastChanceSave lastChance(delegate.notesStore());
    // The web engine's toolkit ends the process on its own when the display
    // goes; the notes are saved before either toolkit does.
    PlatformServices::callBeforeDisplayLoss(&LastChanceSave::saveNow);
    const auto saveFirst = [] { PlatformServices::callBeforeDisplayLoss(&LastChanceSave::saveNow); };
    QObject::connect(&webEngines, &WebEngineProvider::ready, &app, saveFirst);
    QObject::connect(&webEngines, &WebEngineProvider::unavailable, &app, saveFirst);

    QObject::connect(&instance, &SingleInstance::showPanelRequested, &delegate, &AppDelegate::showPanel);
    QObject::connect(&instance, &SingleInstance::togglePanelRequested, &delegate, &AppDelegate::toggleFrontPanelAction);
    instance.listen();
    QMetaObject::invokeMethod(&delegate, &AppDelegate::applicationDidFinishLaunching, Qt::QueuedConnection);
    QMetaObject::invokeMethod(&delegate, &AppDelegate::lookForTray, Qt::QueuedConnection);
    // Only once the panel is on screen: the panel never waits for the engine.
    webEngines.start();
    return QApplication::exec();
}
