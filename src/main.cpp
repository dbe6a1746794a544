#include <QApplication>
#include <QIcon>

#include "app/AppDelegate.h"
#include "app/UnixSignalWatcher.h"
#include "platform/DocumentsLocation.h"
#include "platform/HotkeyService.h"
#include "platform/IniPreferences.h"
#include "platform/PanelWindowHints.h"
#include "platform/PlatformServices.h"

int main(int argc, char* argv[])
{
    Q_INIT_RESOURCE(resources);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillnook"));
    QApplication::setDesktopFileName(QStringLiteral("quillnook"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/quillnook/quillnook.svg")));
    // The panel's close button only hides it; the program lives in the tray.
    QApplication::setQuitOnLastWindowClosed(false);

    UnixSignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &UnixSignalWatcher::terminationRequested, &app, &QCoreApplication::quit);

    IniPreferences preferences(IniPreferences::defaultFilePath());
    const auto hotkeys = PlatformServices::createHotkeyService();
    const auto windowHints = PlatformServices::createPanelWindowHints();
    AppDelegate delegate(*hotkeys, preferences, *windowHints, DocumentsLocation::path());

    QMetaObject::invokeMethod(&delegate, &AppDelegate::applicationDidFinishLaunching, Qt::QueuedConnection);
    return QApplication::exec();
}
