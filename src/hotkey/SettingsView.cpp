#include "SettingsView.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include <QFontDatabase>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QProcess>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSlider>
#include <QStandardPaths>
#include <QStringList>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/PanelSettings.h"
#include "hotkey/HotkeyManager.h"
#include "hotkey/KeyCodeNames.h"
#include "hotkey/ModifierFlags.h"
#include "platform/SessionEnvironment.h"

namespace {
// The trigger that the Browser tool installs; the page names the same keys.
const QString screenshotKeys = QStringLiteral("Ctrl+Shift+S");

constexpr int sliderScale = 1000;
constexpr double minimumOpacity = 0.3;
constexpr double maximumOpacity = 1.0;
// The type sizes below are given relative to a 13 pt body text.
constexpr double bodyPoints = 13.0;
constexpr int secondaryAlpha = 140;

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

QString roundedFamily()
{
    const QString candidates[] = {
        QStringLiteral("Nunito"),    QStringLiteral("Varela Round"), QStringLiteral("M PLUS Rounded 1c"),
        QStringLiteral("Quicksand"), QStringLiteral("Comfortaa"),
    };
    for (const auto& family : candidates) {
        if (QFontDatabase::hasFamily(family))
            return family;
    }
    return {};
}

bool hasEqualWidthDigits(const QFont& font)
{
    const QFontMetricsF metrics(font);
    const auto width = metrics.horizontalAdvance(u'0');
    for (char16_t digit = u'1'; digit <= u'9'; ++digit) {
        if (metrics.horizontalAdvance(QChar(digit)) != width)
            return false;
    }
    return true;
}

QPixmap drawSymbol(const QString& symbolName, const QColor& colour)
{
    constexpr int size = 64;
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(colour, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);

    if (symbolName == u"camera.viewfinder") {
        // Corner brackets around a small camera body.
        const QPointF corners[][3] = {
            {{6, 20}, {6, 6}, {20, 6}},
            {{44, 6}, {58, 6}, {58, 20}},
            {{58, 44}, {58, 58}, {44, 58}},
            {{20, 58}, {6, 58}, {6, 44}},
        };
        for (const auto& corner : corners)
            painter.drawPolyline(corner, 3);
        painter.drawRoundedRect(QRectF(17, 24, 30, 21), 4, 4);
        painter.drawRect(QRectF(26, 20, 12, 4));
        painter.drawEllipse(QPointF(32, 34.5), 5.5, 5.5);
    } else if (symbolName == u"circle.lefthalf.filled") {
        const QRectF circle(6, 6, 52, 52);
        painter.drawEllipse(circle);
        painter.setBrush(colour);
        painter.drawPie(circle, 90 * 16, 180 * 16);
    } else if (symbolName == u"envelope") {
        painter.drawRoundedRect(QRectF(5, 13, 54, 38), 5, 5);
        const QPointF flap[] = {{7, 16}, {32, 36}, {57, 16}};
        painter.drawPolyline(flap, 3);
    } else if (symbolName == u"gearshape.fill") {
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.translate(size / 2.0, size / 2.0);
        for (int tooth = 0; tooth < 8; ++tooth) {
            painter.drawRoundedRect(QRectF(-6, -30, 12, 16), 2, 2);
            painter.rotate(45);
        }
        painter.drawEllipse(QPointF(0, 0), 20, 20);
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        painter.drawEllipse(QPointF(0, 0), 8, 8);
    }
    return pixmap;
}

QFrame* divider()
{
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}
} // namespace

SettingsView::SettingsView(HotkeyManager& hotkeyManager, PanelSettings& panelSettings, QWidget* parent)
    : QWidget(parent)
    , m_hotkeyManager(hotkeyManager)
    , m_panelSettings(panelSettings)
    , m_recorder(hotkeyManager)
{
    setAccessibleName(QStringLiteral("Settings & Help"));

    auto* scrollArea = new QScrollArea(this);
    scrollArea->setFrameShape(QFrame::NoFrame);
    scrollArea->setWidgetResizable(true);
    scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scrollArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_page = buildPage();
    m_page->installEventFilter(this);
    scrollArea->setWidget(m_page);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scrollArea);

    connect(&m_recorder, &ShortcutRecorder::recordingChanged, this, &SettingsView::updateShortcut);
    connect(&m_recorder, &ShortcutRecorder::recordingChanged, this, &SettingsView::recordingChanged);
    connect(&m_recorder, &ShortcutRecorder::shortcutRejected, this, &SettingsView::shortcutRejected);
    connect(&m_hotkeyManager, &HotkeyManager::toggleKeyCodeChanged, this, &SettingsView::updateShortcut);
    connect(&m_hotkeyManager, &HotkeyManager::toggleModifiersChanged, this, &SettingsView::updateShortcut);
    connect(&m_hotkeyManager, &HotkeyManager::desktopOwnsBindingChanged, this, &SettingsView::updateShortcut);
    connect(&m_panelSettings, &PanelSettings::opacityChanged, this, &SettingsView::updateOpacity);

    applyColours();
    updateShortcut();
    updateOpacity();
}

SettingsView::~SettingsView()
{
    m_recorder.stopRecording();
}

QWidget* SettingsView::buildPage()
{
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    column->setSpacing(14);

    const auto headline = [&] {
        auto font = this->font();
        font.setWeight(QFont::DemiBold);
        return font;
    }();
    const auto caption = scaledFont(11);
    const auto addHeadline = [&](const QString& text) {
        auto* label = new QLabel(text);
        label->setFont(headline);
        column->addWidget(label);
    };

    auto* title = new QLabel(QStringLiteral("Settings & Help"));
    auto titleFont = font();
    if (const auto family = roundedFamily(); !family.isEmpty())
        titleFont.setFamily(family);
    titleFont.setPointSizeF(15);
    titleFont.setBold(true);
    title->setFont(titleFont);
    column->addWidget(title);

    addHeadline(QStringLiteral("Keyboard Shortcuts"));

    auto* shortcutRow = new QHBoxLayout;
    shortcutRow->addWidget(new QLabel(QStringLiteral("Open / close panel")));
    shortcutRow->addStretch();
    m_shortcutButton = new QPushButton;
    m_shortcutButton->setObjectName(QStringLiteral("shortcutButton"));
    m_shortcutButton->setMinimumWidth(90);
    m_shortcutButton->setAccessibleDescription(QStringLiteral("Shortcut that opens and closes the panel"));
    connect(m_shortcutButton, &QPushButton::clicked, this, &SettingsView::startRecording);
    // Focus given to the page goes to its first control.
    setFocusProxy(m_shortcutButton);
    shortcutRow->addWidget(m_shortcutButton);
    column->addLayout(shortcutRow);

    m_shortcutCaption = mutedLabel({}, caption);
    m_shortcutCaption->setObjectName(QStringLiteral("shortcutCaption"));
    column->addWidget(m_shortcutCaption);

    auto* screenshotRow = new QHBoxLayout;
    screenshotRow->addWidget(new QLabel(QStringLiteral("Screenshot → AI")));
    screenshotRow->addStretch();
    m_keyBadge = new QLabel(screenshotKeys);
    auto badgeFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    badgeFont.setPointSizeF(scaledFont(12).pointSizeF());
    badgeFont.setWeight(QFont::DemiBold);
    m_keyBadge->setFont(badgeFont);
    m_keyBadge->setTextInteractionFlags(Qt::NoTextInteraction);
    screenshotRow->addWidget(m_keyBadge);
    column->addLayout(screenshotRow);

    column->addWidget(mutedLabel(
        QStringLiteral("Fixed shortcut — press ") + screenshotKeys
            + QStringLiteral(" while the Browser tab is open to snap your screen straight into the chat box."),
        caption));

    column->addWidget(divider());

    const QString disclosureText = QStringLiteral("Enable screenshots (") + screenshotKeys + u')';
    auto* disclosureRow = new QHBoxLayout;
    disclosureRow->setSpacing(2);
    m_disclosureButton = new QToolButton;
    m_disclosureButton->setObjectName(QStringLiteral("screenshotGuideButton"));
    m_disclosureButton->setCheckable(true);
    m_disclosureButton->setAutoRaise(true);
    m_disclosureButton->setArrowType(Qt::RightArrow);
    m_disclosureButton->setAccessibleName(disclosureText);
    m_disclosureButton->setAccessibleDescription(QStringLiteral("Shows or hides how to use screenshots"));
    disclosureRow->addWidget(m_disclosureButton);
    // The title opens the group too; the arrow alone takes keyboard focus.
    m_disclosureTitle = new QToolButton;
    m_disclosureTitle->setText(disclosureText);
    m_disclosureTitle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_disclosureTitle->setAutoRaise(true);
    m_disclosureTitle->setFocusPolicy(Qt::NoFocus);
    m_disclosureTitle->setFont(headline);
    connect(m_disclosureTitle, &QToolButton::clicked, m_disclosureButton, &QToolButton::click);
    disclosureRow->addWidget(m_disclosureTitle);
    disclosureRow->addStretch();
    column->addLayout(disclosureRow);

    m_screenshotGuide = buildScreenshotGuide();
    m_screenshotGuide->setVisible(false);
    column->addWidget(m_screenshotGuide);
    connect(m_disclosureButton, &QToolButton::toggled, this, [this](bool expanded) {
        m_disclosureButton->setArrowType(expanded ? Qt::DownArrow : Qt::RightArrow);
        m_screenshotGuide->setVisible(expanded);
    });

    column->addWidget(divider());

    addHeadline(QStringLiteral("Transparency"));

    auto* opacityRow = new QHBoxLayout;
    opacityRow->addWidget(iconLabel(QStringLiteral("circle.lefthalf.filled")));
    m_opacitySlider = new QSlider(Qt::Horizontal);
    m_opacitySlider->setObjectName(QStringLiteral("opacitySlider"));
    m_opacitySlider->setAccessibleName(QStringLiteral("Panel opacity"));
    m_opacitySlider->setRange(static_cast<int>(minimumOpacity * sliderScale), sliderScale);
    m_opacitySlider->setSingleStep(10);
    m_opacitySlider->setPageStep(50);
    connect(m_opacitySlider, &QSlider::valueChanged, this, [this](int value) {
        m_panelSettings.setOpacity(
            std::clamp(static_cast<double>(value) / sliderScale, minimumOpacity, maximumOpacity));
    });
    opacityRow->addWidget(m_opacitySlider, 1);
    m_opacityLabel = new QLabel;
    m_opacityLabel->setObjectName(QStringLiteral("opacityLabel"));
    auto percentFont = caption;
    if (!hasEqualWidthDigits(percentFont)) {
        percentFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        percentFont.setPointSizeF(caption.pointSizeF());
    }
    m_opacityLabel->setFont(percentFont);
    m_opacityLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_opacityLabel->setFixedWidth(
        std::max(36, QFontMetrics(percentFont).horizontalAdvance(QStringLiteral("100%")) + 2));
    opacityRow->addWidget(m_opacityLabel);
    column->addLayout(opacityRow);

    auto* presetRow = new QHBoxLayout;
    presetRow->setSpacing(8);
    for (const double preset : {0.5, 0.85, 1.0}) {
        auto* button = new QPushButton(percentText(preset));
        connect(button, &QPushButton::clicked, this, [this, preset] { m_panelSettings.setOpacity(preset); });
        presetRow->addWidget(button);
    }
    presetRow->addStretch();
    column->addLayout(presetRow);

    column->addWidget(divider());

    addHeadline(QStringLiteral("Support"));

    auto* supportRow = new QHBoxLayout;
    supportRow->setSpacing(6);
    supportRow->addWidget(iconLabel(QStringLiteral("envelope")));
    const auto address = QStringLiteral(QUILLNOOK_SUPPORT_EMAIL);
    auto* link = new QLabel(
        QStringLiteral("<a href=\"%1\">%2</a>")
            .arg(supportMailtoURL().toString(QUrl::FullyEncoded).toHtmlEscaped(), address.toHtmlEscaped()));
    link->setObjectName(QStringLiteral("supportLink"));
    link->setFont(scaledFont(12));
    link->setTextFormat(Qt::RichText);
    link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    link->setOpenExternalLinks(true);
    link->setAccessibleName(address);
    supportRow->addWidget(link);
    supportRow->addStretch();
    column->addLayout(supportRow);

    column->addStretch();
    return page;
}

QWidget* SettingsView::buildScreenshotGuide()
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
            QStringLiteral("Press ") + screenshotKeys + u'.',
            QStringLiteral("When your desktop's screenshot dialog asks, allow it."),
            QStringLiteral("The picture is pasted straight into the page's chat box."),
        };
    } else {
        intro = QStringLiteral("Screenshots need no permission in an X11 session: Quillnook captures the screen by "
                               "itself. To take one:");
        steps = {
            QStringLiteral("Open the Browser tab on the chat you want to send a picture to."),
            QStringLiteral("Press ") + screenshotKeys
                + QStringLiteral(": the whole screen is copied to the clipboard."),
            QStringLiteral("The picture is pasted straight into the page's chat box."),
        };
    }
    column->addWidget(mutedLabel(intro, scaledFont(11)));
    for (int i = 0; i < steps.size(); ++i)
        column->addWidget(guideStep(QString::number(i + 1) + u'.', steps.at(i)));

    if (const auto command = privacySettingsCommand()) {
        auto* button = new QPushButton(QStringLiteral("Open privacy settings"));
        button->setFont(scaledFont(11));
        connect(button, &QPushButton::clicked, this,
                [command = *command] { QProcess::startDetached(command.program, command.arguments); });
        column->addSpacing(2);
        column->addWidget(button, 0, Qt::AlignLeft);
    }
    return guide;
}

QWidget* SettingsView::guideStep(const QString& number, const QString& text)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);

    const auto stepFont = scaledFont(11.5);
    auto numberFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    numberFont.setPointSizeF(stepFont.pointSizeF());
    numberFont.setWeight(QFont::DemiBold);
    auto* numberLabel = mutedLabel(number, numberFont);
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

QLabel* SettingsView::mutedLabel(const QString& text, const QFont& font)
{
    auto* label = new QLabel(text);
    label->setFont(font);
    label->setWordWrap(true);
    m_mutedLabels.append(label);
    return label;
}

QLabel* SettingsView::iconLabel(const QString& symbolName)
{
    auto* label = new QLabel;
    m_iconLabels.append({label, symbolName});
    return label;
}

QFont SettingsView::scaledFont(double points) const
{
    auto scaled = font();
    if (scaled.pointSizeF() > 0)
        scaled.setPointSizeF(std::max(8.0, scaled.pointSizeF() * points / bodyPoints));
    else
        scaled.setPixelSize(std::max(11, qRound(scaled.pixelSize() * points / bodyPoints)));
    return scaled;
}

QColor SettingsView::secondaryColour() const
{
    auto colour = palette().color(QPalette::WindowText);
    colour.setAlpha(secondaryAlpha);
    return colour;
}

void SettingsView::applyColours()
{
    const auto secondary = secondaryColour();
    for (auto* label : std::as_const(m_mutedLabels)) {
        auto labelPalette = label->palette();
        labelPalette.setColor(QPalette::WindowText, secondary);
        label->setPalette(labelPalette);
    }

    const int iconSize = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    for (const auto& [label, symbolName] : std::as_const(m_iconLabels))
        label->setPixmap(symbolIcon(symbolName, secondary).pixmap(QSize(iconSize, iconSize), devicePixelRatioF()));
    m_disclosureTitle->setIcon(symbolIcon(QStringLiteral("camera.viewfinder"), palette().color(QPalette::ButtonText)));

    auto badgeBackground = secondary;
    badgeBackground.setAlphaF(secondary.alphaF() * 0.15);
    m_keyBadge->setStyleSheet(QStringLiteral("QLabel { background-color: rgba(%1, %2, %3, %4); border-radius: 5px; "
                                             "padding: 3px 8px; }")
                                  .arg(badgeBackground.red())
                                  .arg(badgeBackground.green())
                                  .arg(badgeBackground.blue())
                                  .arg(badgeBackground.alpha()));
}

void SettingsView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        applyColours();
}

bool SettingsView::eventFilter(QObject* watched, QEvent* event)
{
    // The column caches its wrapped captions' heights from a width the
    // scroll area has since changed; measure again at the final width.
    if (watched == m_page && event->type() == QEvent::Resize
        && static_cast<QResizeEvent*>(event)->size().width() != static_cast<QResizeEvent*>(event)->oldSize().width())
        m_page->layout()->invalidate();
    return QWidget::eventFilter(watched, event);
}

void SettingsView::hideEvent(QHideEvent* event)
{
    m_recorder.stopRecording();
    QWidget::hideEvent(event);
}

void SettingsView::startRecording()
{
    m_recorder.startRecording();
}

void SettingsView::removeMonitor()
{
    m_recorder.removeMonitor();
}

void SettingsView::updateShortcut()
{
    const bool recording = m_recorder.isRecording();
    m_shortcutButton->setText(recording
                                  ? QStringLiteral("Press keys…")
                                  : describeNative(m_hotkeyManager.toggleKeyCode(), m_hotkeyManager.toggleModifiers()));
    if (recording)
        m_shortcutCaption->setText(QStringLiteral("Press a new key combo…"));
    else if (m_hotkeyManager.desktopOwnsBinding())
        m_shortcutCaption->setText(
            QStringLiteral("Your desktop's keyboard settings own this shortcut; change it there."));
    else
        m_shortcutCaption->setText(QStringLiteral("Click the shortcut, then press your new key combo."));
}

void SettingsView::updateOpacity()
{
    const auto opacity = m_panelSettings.opacity();
    m_opacityLabel->setText(percentText(opacity));
    // Only the knob follows; a stored value outside the slider's range stays
    // as it is until the user moves the slider.
    const QSignalBlocker blocker(m_opacitySlider);
    m_opacitySlider->setValue(qRound(std::clamp(opacity, minimumOpacity, maximumOpacity) * sliderScale));
}

QString SettingsView::describe(std::uint16_t keyCode, std::uint64_t modifiers)
{
    QString text;
    if (modifiers & ModifierFlags::Control)
        text += u'\u2303';
    if (modifiers & ModifierFlags::Option)
        text += u'\u2325';
    if (modifiers & ModifierFlags::Shift)
        text += u'\u21E7';
    if (modifiers & ModifierFlags::Command)
        text += u'\u2318';
    return text + KeyCodeNames::name(keyCode);
}

QString SettingsView::describeNative(std::uint16_t keyCode, std::uint64_t modifiers)
{
    QStringList parts;
    if (modifiers & ModifierFlags::Control)
        parts << QStringLiteral("Super");
    if (modifiers & ModifierFlags::Command)
        parts << QStringLiteral("Ctrl");
    if (modifiers & ModifierFlags::Option)
        parts << QStringLiteral("Alt");
    if (modifiers & ModifierFlags::Shift)
        parts << QStringLiteral("Shift");
    parts << KeyCodeNames::nativeName(keyCode);
    return parts.join(u'+');
}

QString SettingsView::percentText(double opacity)
{
    // Truncation of the product as it is: 0.57 × 100 is 56.999… and shows 56%.
    const auto percent = std::trunc(opacity * 100.0);
    constexpr double limit = std::numeric_limits<int>::max();
    const int whole = std::isfinite(percent) ? static_cast<int>(std::clamp(percent, -limit, limit)) : 0;
    return QString::number(whole) + u'%';
}

const QUrl& SettingsView::supportMailtoURL()
{
    static const QUrl url = [] {
        QUrl mailto;
        mailto.setScheme(QStringLiteral("mailto"));
        mailto.setPath(QStringLiteral(QUILLNOOK_SUPPORT_EMAIL));
        return mailto;
    }();
    return url;
}

QIcon SettingsView::symbolIcon(const QString& symbolName, const QColor& colour)
{
    static const QHash<QString, QStringList> themeNames = {
        {QStringLiteral("camera.viewfinder"), {QStringLiteral("camera-photo")}},
        {QStringLiteral("circle.lefthalf.filled"), {QStringLiteral("contrast")}},
        {QStringLiteral("envelope"), {QStringLiteral("mail-unread"), QStringLiteral("mail-message")}},
        {QStringLiteral("gearshape.fill"), {QStringLiteral("emblem-system"), QStringLiteral("preferences-system")}},
    };
    for (const auto& name : themeNames.value(symbolName)) {
        if (QIcon::hasThemeIcon(name))
            return QIcon::fromTheme(name);
    }
    return QIcon(drawSymbol(symbolName, colour));
}
