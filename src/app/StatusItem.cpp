#include "StatusItem.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QShortcut>
#include <QSystemTrayIcon>

StatusItem::StatusItem(QObject* parent)
    : QObject(parent)
    , m_menu(new QMenu)
    , m_trayIcon(new QSystemTrayIcon(this))
{
    m_menu->setAccessibleName(QStringLiteral("Quillnook"));
    m_toggle = m_menu->addAction(QStringLiteral("Toggle Panel"));
    m_reveal = m_menu->addAction(QStringLiteral("Reveal Notes File"));
    m_menu->addSeparator();
    m_quit = m_menu->addAction(QStringLiteral("Quit"));
    // Ctrl+Q chooses Quit while the menu is open. The action's own shortcut
    // would never match inside a popup that belongs to no menu bar, so the
    // menu carries the shortcut; the action shows the keys.
    m_quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    m_quit->setShortcutContext(Qt::WidgetShortcut);
    auto* quitShortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), m_menu);
    connect(quitShortcut, &QShortcut::activated, m_menu, [this] {
        m_menu->close();
        m_quit->trigger();
    });

    connect(m_toggle, &QAction::triggered, this, &StatusItem::toggleRequested);
    connect(m_reveal, &QAction::triggered, this, &StatusItem::revealRequested);
    connect(m_quit, &QAction::triggered, this, &StatusItem::quitRequested);

    m_trayIcon->setIcon(QIcon(QStringLiteral(":/quillnook/quillnook.svg")));
    m_trayIcon->setToolTip(QStringLiteral("Quillnook"));
    m_trayIcon->setContextMenu(m_menu);
    // A left click opens the same menu; the icon itself never toggles the panel.
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            m_menu->popup(QCursor::pos());
    });
    m_trayIcon->show();
}

StatusItem::~StatusItem()
{
    delete m_menu;
}
