#include <cstdio>

#include <QApplication>
#include <QFileInfo>
#include <QIcon>

#include "app/AppDelegate.h"
#include "app/LastChanceSave.h"
#include "app/SingleInstance.h"
#include "app/UnixSignalWatcher.h"
#include "platform/ClipboardService.h"
#include "platform/DocumentsLocation.h"
#include "platform/HotkeyService.h"
#include "platform/IniPreferences.h"
#include "platform/PanelWindowHints.h"
#include "platform/PlatformServices.h"
#include "platform/ScreenCaptureService.h"
#include "web/WebEngineLoader.h"

int main(int argc, char* argv[])
{
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
    SingleInstance instance(SingleInstance::lockFilePath(QFileInfo(preferencesPath).absolutePath()));
    if (!instance.acquire()) {
        const bool shown = SingleInstance::showRunningPanel();
        std::fputs(shown ? "Quillnook is already running; its panel is shown.\n" : "Quillnook is already running.\n",
                   stderr);
        return 0;
    }

    IniPreferences preferences(preferencesPath);
    const auto hotkeys = PlatformServices::createHotkeyService();
    const auto windowHints = PlatformServices::createPanelWindowHints();
    const auto clipboard = PlatformServices::createClipboardService();
    const auto screenCapture = PlatformServices::createScreenCaptureService(*clipboard);
    // Outlives the panel and the web views in it.
    WebEngineLoader webEngines;
    AppDelegate delegate(*hotkeys, preferences, *windowHints, DocumentsLocation::path());
    delegate.setWebEngineProvider(&webEngines);
    delegate.setScreenshotServices(clipboard.get(), screenCapture.get());
    LastChanceSave lastChance(delegate.notesStore());
    // The web engine's toolkit ends the process on its own when the display
    // goes; the notes are saved before either toolkit does.
    PlatformServices::callBeforeDisplayLoss(&LastChanceSave::saveNow);
    const auto saveFirst = [] { PlatformServices::callBeforeDisplayLoss(&LastChanceSave::saveNow); };
    QObject::connect(&webEngines, &WebEngineProvider::ready, &app, saveFirst);
    QObject::connect(&webEngines, &WebEngineProvider::unavailable, &app, saveFirst);

    QObject::connect(&instance, &SingleInstance::showPanelRequested, &delegate, &AppDelegate::showPanel);
    instance.listen();
    QMetaObject::invokeMethod(&delegate, &AppDelegate::applicationDidFinishLaunching, Qt::QueuedConnection);
    // Only once the panel is on screen: the panel never waits for the engine.
    webEngines.start();
    return QApplication::exec();
}
