#include "SettingsView.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSlider>
#include <QStringList>
#include <QStyle>
#include <QVBoxLayout>

#include "hotkey/HotkeyManager.h"
#include "keys/KeyCodeNames.h"
#include "keys/ModifierFlags.h"
#include "settings/DesktopShortcutNote.h"
#include "settings/PageControls.h"
#include "settings/PanelSettings.h"
#include "settings/ScreenshotGuide.h"
#include "settings/SettingsStyle.h"
#include "ui/OverlayScrollBar.h"
#include "ui/PanelStyle.h"
#include "ui/SymbolIcons.h"

namespace {
// The slider counts whole percent, which is also what it tells a screen reader.
constexpr int sliderScale = 100;
constexpr double minimumOpacity = PanelSettings::MinimumOpacity;
constexpr double maximumOpacity = PanelSettings::MaximumOpacity;
// The popover's rounded corners; the scroll bar keeps clear of them.
constexpr int cornerInset = 10;

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
    // The panel's rounded face, here too.
    auto pageFont = font();
    if (const auto family = PanelStyle::roundedFamily(); !family.isEmpty())
        pageFont.setFamilies({family});
    setFont(pageFont);

    m_scrollArea = new QScrollArea(this);
    m_scrollArea->setFrameShape(QFrame::NoFrame);
    // Not a Tab stop of its own (it has no name to read): it scrolls to
    // whichever control takes the focus.
    m_scrollArea->setFocusPolicy(Qt::NoFocus);
    m_scrollArea->setWidgetResizable(true);
    m_scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_page = buildPage();
    m_page->installEventFilter(this);
    m_scrollArea->setWidget(m_page);
    new OverlayScrollBar(m_scrollArea, cornerInset);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_scrollArea);

    connect(&m_recorder, &ShortcutRecorder::recordingChanged, this, [this](bool recording) {
        m_rejection = Rejection::None;
        holdKeyboard(recording);
        updateShortcut();
    });
    connect(&m_recorder, &ShortcutRecorder::recordingChanged, this, &SettingsView::recordingChanged);
    connect(&m_recorder, &ShortcutRecorder::shortcutRejected, this, [this](bool needsModifier) {
        m_rejection = needsModifier ? Rejection::NeedsModifier : Rejection::UnknownKey;
        updateShortcut();
    });
    connect(&m_recorder, &ShortcutRecorder::shortcutRejected, this, &SettingsView::shortcutRejected);
    connect(&m_hotkeyManager, &HotkeyManager::conflictChanged, this, &SettingsView::updateShortcut);
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

void SettingsView::holdKeyboard(bool hold)
{
    // Another program's grab of a combination would take its press before
    // any window of ours saw it, and the page would wait for it forever.
    // While recording, the page holds the whole keyboard, so the press
    // arrives here and the desktop's refusal can be told.
    if (hold && m_shortcutButton->isVisible())
        m_shortcutButton->grabKeyboard();
    else if (!hold && QWidget::keyboardGrabber() == m_shortcutButton)
        m_shortcutButton->releaseKeyboard();
}

QWidget* SettingsView::buildPage()
{
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    column->setSpacing(Spacing);

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
        return label;
    };

    auto* title = new QLabel(QStringLiteral("Settings & Help"));
    auto titleFont = scaledFont(15);
    titleFont.setBold(true);
    title->setFont(titleFont);
    column->addWidget(title);

    addHeadline(QStringLiteral("Keyboard Shortcuts"));

    auto* shortcutRow = new QHBoxLayout;
    auto* shortcutLabel = new QLabel(QStringLiteral("Open / close panel"));
    shortcutRow->addWidget(shortcutLabel);
    shortcutRow->addStretch();
    m_shortcutButton = pushButton({});
    m_shortcutButton->setObjectName(QStringLiteral("shortcutButton"));
    m_shortcutButton->setMinimumWidth(90);
    shortcutLabel->setBuddy(m_shortcutButton);
    connect(m_shortcutButton, &QPushButton::clicked, this, &SettingsView::startRecording);
    // Focus given to the page goes to its first control.
    setFocusProxy(m_shortcutButton);
    shortcutRow->addWidget(m_shortcutButton);
    column->addLayout(shortcutRow);

    m_shortcutCaption = SettingsStyle::mutedLabel({}, caption);
    m_shortcutCaption->setObjectName(QStringLiteral("shortcutCaption"));
    column->addWidget(m_shortcutCaption);
    // Where the shortcut does not reach every window, and what makes it.
    column->addWidget(new DesktopShortcutNote(m_hotkeyManager, caption));

    auto* screenshotRow = new QHBoxLayout;
    screenshotRow->addWidget(new QLabel(QStringLiteral("Screenshot → AI")));
    screenshotRow->addStretch();
    m_keyBadge = new QLabel(ScreenshotGuide::screenshotKeys());
    auto badgeFont = scaledFont(12);
    badgeFont.setWeight(QFont::DemiBold);
    m_keyBadge->setFont(badgeFont);
    m_keyBadge->setTextInteractionFlags(Qt::NoTextInteraction);
    screenshotRow->addWidget(m_keyBadge);
    column->addLayout(screenshotRow);

    column->addWidget(SettingsStyle::mutedLabel(
        QStringLiteral("Fixed shortcut — press ") + ScreenshotGuide::screenshotKeys()
            + QStringLiteral(" while the Browser tab is open to snap your screen straight into the chat box."),
        caption));

    column->addWidget(divider());

    m_screenshotGuide = new ScreenshotGuide(font());
    column->addWidget(m_screenshotGuide);

    column->addWidget(divider());

    auto* transparencyLabel = addHeadline(QStringLiteral("Transparency"));

    auto* opacityRow = new QHBoxLayout;
    opacityRow->addWidget(iconLabel(QStringLiteral("circle.lefthalf.filled")));
    m_opacitySlider = new QSlider(Qt::Horizontal);
    m_opacitySlider->setObjectName(QStringLiteral("opacitySlider"));
    m_opacitySlider->setAccessibleName(QStringLiteral("Panel opacity"));
    m_opacitySlider->setRange(qRound(minimumOpacity * sliderScale), qRound(maximumOpacity * sliderScale));
    m_opacitySlider->setSingleStep(1);
    m_opacitySlider->setPageStep(5);
    transparencyLabel->setBuddy(m_opacitySlider);
    connect(m_opacitySlider, &QSlider::valueChanged, this, [this](int value) {
        m_panelSettings.setOpacity(
            std::clamp(static_cast<double>(value) / sliderScale, minimumOpacity, maximumOpacity));
    });
    opacityRow->addWidget(m_opacitySlider, 1);
    m_opacityLabel = new QLabel;
    m_opacityLabel->setObjectName(QStringLiteral("opacityLabel"));
    const auto percentFont = caption;
    m_opacityLabel->setFont(percentFont);
    m_opacityLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_opacityLabel->setFixedWidth(
        std::max(36, QFontMetrics(percentFont).horizontalAdvance(QStringLiteral("100%")) + 2));
    // Read with the slider: the label names it, and says the value as shown.
    m_opacityLabel->setBuddy(m_opacitySlider);
    opacityRow->addWidget(m_opacityLabel);
    column->addLayout(opacityRow);

    auto* presetRow = new QHBoxLayout;
    presetRow->setSpacing(8);
    for (const double preset : {0.5, 0.85, 1.0}) {
        auto* button = pushButton(percentText(preset));
        connect(button, &QPushButton::clicked, this, [this, preset] { m_panelSettings.setOpacity(preset); });
        presetRow->addWidget(button);
    }
    presetRow->addStretch();
    column->addLayout(presetRow);

    column->addWidget(divider());

    auto* supportLabel = addHeadline(QStringLiteral("Support"));

    auto* supportRow = new QHBoxLayout;
    supportRow->setSpacing(6);
    supportRow->addWidget(iconLabel(QStringLiteral("envelope")));
    const auto address = QStringLiteral(QUILLNOOK_SUPPORT_EMAIL);
    auto* link = new LinkButton(address, supportMailtoURL());
    link->setObjectName(QStringLiteral("supportLink"));
    link->setFont(scaledFont(12));
    supportLabel->setBuddy(link);
    supportRow->addWidget(link);
    supportRow->addStretch();
    column->addLayout(supportRow);

    column->addStretch();
    return page;
}

QPushButton* SettingsView::pushButton(const QString& text)
{
    auto* button = new QPushButton(text);
    // Return presses a focused button, as Space does.
    button->setAutoDefault(true);
    return button;
}

QLabel* SettingsView::iconLabel(const QString& symbolName)
{
    auto* label = new QLabel;
    m_iconLabels.append({label, symbolName});
    return label;
}

QFont SettingsView::scaledFont(double points) const
{
    return SettingsStyle::scaledFont(font(), points);
}

void SettingsView::applyColours()
{
    const auto secondary = SettingsStyle::secondaryColour(palette());
    SettingsStyle::applyColours(*this);

    const int iconSize = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    for (const auto& [label, symbolName] : std::as_const(m_iconLabels))
        label->setPixmap(symbolIcon(symbolName, secondary).pixmap(QSize(iconSize, iconSize), devicePixelRatioF()));
    m_screenshotGuide->applyColours();

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
    QString caption;
    if (recording && m_rejection == Rejection::NeedsModifier)
        caption = QStringLiteral("The shortcut needs Ctrl, Alt or Super. Press a new key combo…");
    else if (recording && m_rejection == Rejection::UnknownKey)
        caption = QStringLiteral("That key cannot be part of a shortcut. Press a new key combo…");
    else if (recording)
        caption = QStringLiteral("Press a new key combo…");
    else if (m_hotkeyManager.hasConflict())
        caption = QStringLiteral("Another program uses this shortcut. Click to choose another.");
    else if (m_hotkeyManager.desktopOwnsBinding())
        caption = QStringLiteral("Your desktop's keyboard settings own this shortcut; change it there.");
    else
        caption = QStringLiteral("Click the shortcut, then press your new key combo.");
    m_shortcutCaption->setText(caption);
    // A screen reader hears the caption with the button.
    m_shortcutButton->setAccessibleDescription(caption);
}

void SettingsView::updateOpacity()
{
    const auto opacity = m_panelSettings.opacity();
    m_opacityLabel->setText(percentText(opacity));
    m_opacitySlider->setAccessibleDescription(m_opacityLabel->text());
    // Only the knob follows; a stored value outside the slider's range stays
    // as it is until the user moves the slider.
    const QSignalBlocker blocker(m_opacitySlider);
    m_opacitySlider->setValue(qRound(std::clamp(opacity, minimumOpacity, maximumOpacity) * sliderScale));
}

QString SettingsView::describe(std::uint16_t keyCode, std::uint64_t modifiers)
{
    QString text;
    if (modifiers & ModifierFlags::Super)
        text += u'\u2303';
    if (modifiers & ModifierFlags::Alt)
        text += u'\u2325';
    if (modifiers & ModifierFlags::Shift)
        text += u'\u21E7';
    if (modifiers & ModifierFlags::Ctrl)
        text += u'\u2318';
    return text + KeyCodeNames::name(keyCode);
}

QString SettingsView::describeNative(std::uint16_t keyCode, std::uint64_t modifiers)
{
    QStringList parts;
    if (modifiers & ModifierFlags::Super)
        parts << QStringLiteral("Super");
    if (modifiers & ModifierFlags::Ctrl)
        parts << QStringLiteral("Ctrl");
    if (modifiers & ModifierFlags::Alt)
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
    return SymbolIcons::icon(symbolName, colour);
}
