#include "AppDelegate.h"

#include <QApplication>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QPointer>
#include <QScreen>

#include "app/ContentView.h"
#include "app/FloatingPanel.h"
#include "app/PanelGeometry.h"
#include "app/StatusItem.h"
#include "browser/BrowserTab.h"
#include "browser/BrowserTabsModel.h"
#include "platform/DBusCalls.h"
#include "platform/DesktopShortcutSetup.h"
#include "platform/FileManager.h"
#include "platform/PreferencesStore.h"
#include "screenshot/ScreenshotPaster.h"
#include "settings/SettingsView.h"

namespace {
// Set once the panel has said that the desktop has no tray.
const QString trayNoticeKey = QStringLiteral("noTrayNoticeShown");
} // namespace

AppDelegate::AppDelegate(HotkeyService& hotkeys, PreferencesStore& defaults, PanelWindowHints& windowHints,
                         const QString& documentsFolder, QObject* parent)
    : QObject(parent)
    , m_windowHints(windowHints)
    , m_defaults(defaults)
    , m_models(hotkeys, defaults, documentsFolder)
{
    // A quit from the menu, a logout or a termination signal all end here.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &AppDelegate::applicationWillTerminate);
}

AppDelegate::~AppDelegate()
{
    for (const auto& connection : std::as_const(m_cancellables))
        disconnect(connection);
}

void AppDelegate::applicationDidFinishLaunching()
{
    setupStatusItem();
    createPanel();

    QPointer<AppDelegate> weakSelf(this);
    m_models.hotkeys().setOnToggle([weakSelf] {
        if (weakSelf)
            weakSelf->toggleFrontPanelAction();
    });

    m_cancellables.append(
        connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
            if (state != Qt::ApplicationActive)
                applicationWillResignActive();
        }));

    m_cancellables.append(
        connect(&m_models.panelSettings(), &PanelSettings::opacityChanged, this, [this](double opacity) {
            if (m_panel)
                m_panel->setWindowOpacity(opacity);
        }));
    if (m_panel)
        m_panel->setWindowOpacity(m_models.panelSettings().opacity());
}

void AppDelegate::applicationWillTerminate()
{
    // What cannot reach the notes file goes to a recovery file.
    m_models.notes().saveBeforeExit();
}

void AppDelegate::applicationWillResignActive()
{
    // Written at once when the text changed; an untouched file stays as it is.
    m_models.notes().save();
}

void AppDelegate::toggleFrontPanelAction()
{
    if (!m_panel) {
        createPanel();
        return;
    }
    if (m_panel->isShownOnScreen())
        m_panel->orderOut();
    else
        m_panel->orderFrontAndFocus();
}

void AppDelegate::showPanel()
{
    if (!m_panel)
        createPanel();
    else
        m_panel->orderFrontAndFocus();
}

void AppDelegate::revealNotesFile()
{
    // The file is shown selected even before it was first written.
    if (m_fileManager)
        m_fileManager->showItem(m_models.notes().filePath());
}

void AppDelegate::lookForTray()
{
    if (m_defaults.readInteger(trayNoticeKey, 0, 1).value_or(0))
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage get = QDBusMessage::createMethodCall(
        QStringLiteral("org.kde.StatusNotifierWatcher"), QStringLiteral("/StatusNotifierWatcher"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.kde.StatusNotifierWatcher") << QStringLiteral("IsStatusNotifierHostRegistered");
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(get, DBusCalls::ActivationTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *finished;
        // No watcher on the bus at all answers with an error: no tray either.
        const bool found = !reply.isError() && reply.value().variant().toBool();
        if (!found) {
            if (!m_panel)
                createPanel();
            auto* content = m_panel ? qobject_cast<ContentView*>(m_panel->contentView()) : nullptr;
            if (content) {
                content->showNotice(noTrayNotice());
                m_defaults.writeInteger(trayNoticeKey, 1);
            }
        }
        emit trayLookedUp(found);
    });
}

QString AppDelegate::noTrayNotice() const
{
    const QString opening = QStringLiteral("This desktop has no tray for Quillnook's icon. ");
    const QString again = QStringLiteral("Starting Quillnook again from the applications menu also shows the panel.");
    const QString keys
        = SettingsView::describeNative(m_models.hotkeys().toggleKeyCode(), m_models.hotkeys().toggleModifiers());
    const DesktopShortcutSetup* setup = m_models.hotkeys().desktopSetup();
    if (setup && setup->state() == DesktopShortcutSetup::State::SetUp)
        return opening
            + QStringLiteral("Press %1 (set up in %2 Settings) to show or hide the panel. ")
                  .arg(keys, setup->desktopName())
            + again;
    switch (m_models.hotkeys().reach()) {
    case HotkeyService::Reach::Everywhere:
        return opening + QStringLiteral("Press %1 to show or hide the panel. ").arg(keys) + again;
    case HotkeyService::Reach::QuillnookWindows:
        if (setup && setup->state() != DesktopShortcutSetup::State::Unavailable)
            return opening
                + QStringLiteral(
                      "%1 shows or hides the panel once it is set up in %2 Settings: see Settings (the gear). ")
                      .arg(keys, setup->desktopName())
                + again;
        break;
    case HotkeyService::Reach::Nowhere:
        break;
    }
    return opening
        + QStringLiteral("To show or hide the panel from anywhere, bind quillnook --toggle in your desktop's keyboard "
                         "settings. ")
        + again;
}

void AppDelegate::setupStatusItem()
{
    m_statusItem = std::make_unique<StatusItem>();
    connect(m_statusItem.get(), &StatusItem::toggleRequested, this, &AppDelegate::toggleFrontPanelAction);
    connect(m_statusItem.get(), &StatusItem::revealRequested, this, &AppDelegate::revealNotesFile);
    connect(m_statusItem.get(), &StatusItem::quitRequested, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void AppDelegate::createPanel()
{
    // The monitor the user works on is the one with the pointer.
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QRect rect = PanelGeometry::fitInside(PanelGeometry::initialRect(QRectF(area)).toRect(), area);
    auto panel = std::make_unique<FloatingPanel>(rect, m_windowHints);
    panel->setWindowOpacity(m_models.panelSettings().opacity());
    auto* content = new ContentView(m_models, m_webEngines);
    content->setFileManager(m_fileManager);
    // Quitting saves the notes on the way out (applicationWillTerminate).
    connect(content, &ContentView::quitRequested, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    connect(content, &ContentView::screenshotRequested, this, &AppDelegate::pasteScreenshot);
    panel->setContentView(content);
    panel->orderFrontAndFocus();
    m_panel = std::move(panel);
}

void AppDelegate::pasteScreenshot()
{
    BrowserTabsModel* tabs = m_models.browserTabs();
    BrowserTab* tab = tabs ? tabs->activeTab() : nullptr;
    if (!tab || !m_clipboard || !m_capture)
        return;
    // Whatever the outcome, nothing in the panel changes; the paster tells
    // the user itself.
    ScreenshotPaster::captureAndPaste(tab->webView(), [](bool) {}, {*m_clipboard, *m_capture});
}
