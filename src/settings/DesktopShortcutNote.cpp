#include "DesktopShortcutNote.h"

#include <QFontDatabase>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "hotkey/HotkeyManager.h"
#include "platform/DesktopShortcutSetup.h"
#include "settings/SettingsStyle.h"

namespace {
const QString focusedOnly = QStringLiteral("This shortcut works only while Quillnook is focused in this session.");
} // namespace

DesktopShortcutNote::DesktopShortcutNote(HotkeyManager& hotkeyManager, const QFont& captionFont, QWidget* parent)
    : QWidget(parent)
    , m_hotkeyManager(hotkeyManager)
{
    setObjectName(QStringLiteral("desktopShortcutNote"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);

    m_text = SettingsStyle::mutedLabel({}, captionFont);
    m_text->setObjectName(QStringLiteral("desktopShortcutText"));
    column->addWidget(m_text);

    m_command = new QLabel(QLatin1String(ToggleCommand));
    m_command->setObjectName(QStringLiteral("toggleCommand"));
    auto commandFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    commandFont.setPointSizeF(captionFont.pointSizeF());
    m_command->setFont(commandFont);
    // Copied from here into the desktop's keyboard settings.
    m_command->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_command->setFocusPolicy(Qt::StrongFocus);
    m_command->setAccessibleName(QLatin1String(ToggleCommand));
    column->addWidget(m_command);

    m_setUp = new QPushButton;
    m_setUp->setObjectName(QStringLiteral("desktopSetUpButton"));
    m_setUp->setAutoDefault(true);
    connect(m_setUp, &QPushButton::clicked, &m_hotkeyManager, &HotkeyManager::setUpInDesktop);
    column->addWidget(m_setUp, 0, Qt::AlignLeft);

    connect(&m_hotkeyManager, &HotkeyManager::reachChanged, this, &DesktopShortcutNote::update);
    if (DesktopShortcutSetup* setup = m_hotkeyManager.desktopSetup())
        connect(setup, &DesktopShortcutSetup::stateChanged, this, &DesktopShortcutNote::update);
    update();
}

void DesktopShortcutNote::update()
{
    using State = DesktopShortcutSetup::State;
    const auto reach = m_hotkeyManager.reach();
    const DesktopShortcutSetup* setup = m_hotkeyManager.desktopSetup();
    const State state = setup ? setup->state() : State::Unavailable;

    QString text;
    bool showCommand = false;
    bool offerSetUp = false;
    if (state == State::SetUp) {
        // Whatever Quillnook holds itself, the desktop's shortcut is global.
        text = QStringLiteral("%1 handles this shortcut, so it works in every window. See or remove it in %1 "
                              "Settings → Keyboard → Custom Shortcuts.")
                   .arg(setup->desktopName());
    } else if (reach == HotkeyService::Reach::Everywhere) {
        text.clear();
    } else if (state == State::NotSetUp || state == State::Failed) {
        text = focusedOnly;
        if (state == State::Failed)
            text += QStringLiteral(" %1 Settings could not be changed: %2.")
                        .arg(setup->desktopName(), setup->errorText());
        offerSetUp = true;
    } else if (state == State::Checking) {
        text = focusedOnly;
    } else {
        text = reach == HotkeyService::Reach::Nowhere
            ? QStringLiteral("This desktop gives Quillnook no global shortcut. To show or hide the panel from "
                             "anywhere, bind this command in your desktop's keyboard settings:")
            : focusedOnly
                + QStringLiteral(" To use it everywhere, bind this command in your desktop's keyboard settings:");
        showCommand = true;
    }

    m_text->setText(text);
    m_text->setAccessibleName(text);
    m_text->setVisible(!text.isEmpty());
    m_command->setVisible(showCommand);
    m_setUp->setText(
        QStringLiteral("Set Up in %1 Settings").arg(setup ? setup->desktopName() : QStringLiteral("Desktop")));
    m_setUp->setVisible(offerSetUp);
    setVisible(!text.isEmpty());
}
