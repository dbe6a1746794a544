#include "ScreenshotGuide.h"

#include <algorithm>
#include <optional>

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QStringList>
#include <QVBoxLayout>

#include "platform/SessionEnvironment.h"
#include "settings/PageControls.h"
#include "settings/SettingsStyle.h"
#include "ui/SymbolIcons.h"

namespace {
struct Command
{
    QString program;
    QStringList arguments;
};

// The desktop's own privacy settings, where we know how to open them.
std::optional<Command> privacySettingsCommand()
{
    const auto desktops = qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':', Qt::SkipEmptyParts);
    const auto runningDesktop = [&](QLatin1String name) {
        return std::any_of(desktops.begin(), desktops.end(),
                           [&](const QString& desktop) { return desktop.compare(name, Qt::CaseInsensitive) == 0; });
    };
    if (runningDesktop(QLatin1String("GNOME"))) {
        const auto program = QStandardPaths::findExecutable(QStringLiteral("gnome-control-center"));
        if (!program.isEmpty())
            return Command {program, {QStringLiteral("privacy")}};
    }
    if (runningDesktop(QLatin1String("KDE"))) {
        const auto program = QStandardPaths::findExecutable(QStringLiteral("systemsettings"));
        if (!program.isEmpty())
            return Command {program, {QStringLiteral("kcm_app-permissions")}};
    }
    return std::nullopt;
}
} // namespace

QString ScreenshotGuide::screenshotKeys()
{
    return QStringLiteral("Ctrl+Shift+S");
}

ScreenshotGuide::ScreenshotGuide(const QFont& bodyFont, QWidget* parent)
    : QWidget(parent)
    , m_bodyFont(bodyFont)
{
    auto headline = m_bodyFont;
    headline.setWeight(QFont::DemiBold);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // One control, arrow, symbol and title together, so that a screen
    // reader meets one button that says whether the group is open.
    m_disclosureButton = new DisclosureButton(QStringLiteral("Enable screenshots (") + screenshotKeys() + u')');
    m_disclosureButton->setObjectName(QStringLiteral("screenshotGuideButton"));
    m_disclosureButton->setFont(headline);
    m_disclosureButton->setIconSize(QSize(14, 14));
    m_disclosureButton->setAccessibleDescription(QStringLiteral("Shows or hides how to use screenshots"));
    column->addWidget(m_disclosureButton, 0, Qt::AlignLeft);

    m_guide = buildGuide();
    m_guide->setVisible(false);
    column->addWidget(m_guide);
    connect(m_disclosureButton, &DisclosureButton::expandedChanged, m_guide, &QWidget::setVisible);
}

bool ScreenshotGuide::isExpanded() const
{
    return m_disclosureButton->isExpanded();
}

QWidget* ScreenshotGuide::buildGuide()
{
    auto* guide = new QWidget;
    guide->setObjectName(QStringLiteral("screenshotGuide"));
    auto* column = new QVBoxLayout(guide);
    column->setContentsMargins(0, 6, 0, 0);
    column->setSpacing(6);

    // What is true depends on the session: an X11 client may read the screen
    // freely, while on Wayland the desktop's portal asks the user, even when
    // the panel itself runs through XWayland.
    const bool wayland = SessionEnvironment().isWaylandSession();
    QString intro;
    QStringList steps;
    if (wayland) {
        intro = QStringLiteral("On Wayland your desktop asks before Quillnook may capture the screen. To take a "
                               "screenshot:");
        steps = {
            QStringLiteral("Open the Browser tab on the chat you want to send a picture to."),
            QStringLiteral("Press ") + screenshotKeys() + u'.',
            QStringLiteral("When your desktop's screenshot dialog asks, allow it."),
            QStringLiteral("The picture is pasted straight into the page's chat box."),
        };
    } else {
        intro = QStringLiteral("Screenshots need no permission in an X11 session: Quillnook captures the screen by "
                               "itself. To take one:");
        steps = {
            QStringLiteral("Open the Browser tab on the chat you want to send a picture to."),
            QStringLiteral("Press ") + screenshotKeys()
                + QStringLiteral(": the whole screen is copied to the clipboard."),
            QStringLiteral("The picture is pasted straight into the page's chat box."),
        };
    }
    column->addWidget(SettingsStyle::mutedLabel(intro, SettingsStyle::scaledFont(m_bodyFont, 11)));
    for (int i = 0; i < steps.size(); ++i)
        column->addWidget(guideStep(QString::number(i + 1) + u'.', steps.at(i)));

    if (const auto command = privacySettingsCommand()) {
        auto* button = new QPushButton(QStringLiteral("Open privacy settings"));
        button->setAutoDefault(true);
        button->setFont(SettingsStyle::scaledFont(m_bodyFont, 11));
        connect(button, &QPushButton::clicked, this,
                [command = *command] { QProcess::startDetached(command.program, command.arguments); });
        column->addSpacing(2);
        column->addWidget(button, 0, Qt::AlignLeft);
    }
    return guide;
}

QWidget* ScreenshotGuide::guideStep(const QString& number, const QString& text)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);

    const auto stepFont = SettingsStyle::scaledFont(m_bodyFont, 11.5);
    auto numberFont = stepFont;
    numberFont.setWeight(QFont::DemiBold);
    auto* numberLabel = SettingsStyle::mutedLabel(number, numberFont);
    numberLabel->setWordWrap(false);
    numberLabel->setMinimumWidth(16);
    numberLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(numberLabel, 0, Qt::AlignTop);

    auto* textLabel = new QLabel(text);
    textLabel->setFont(stepFont);
    textLabel->setWordWrap(true);
    layout->addWidget(textLabel, 1, Qt::AlignTop);
    return row;
}

void ScreenshotGuide::applyColours()
{
    m_disclosureButton->setIcon(
        SymbolIcons::icon(QStringLiteral("camera.viewfinder"), palette().color(QPalette::ButtonText)));
}
