#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QStandardPaths>
#include <QTest>
#include <QToolButton>

#include "keys/ModifierFlags.h"
#include "settings/SettingsView.h"
#include "support/SettingsFixture.h"

using namespace ModifierFlags;

class TestSettingsView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void describe_data();
    void describe();
    void describeNative_data();
    void describeNative();
    void percentText_data();
    void percentText();

    void opacityLabelFollowsModel();
    void opacityChangedElsewhereDoesNotFeedBack();
    void presetSetsOpacity_data();
    void presetSetsOpacity();
    void sliderStaysWithinRange_data();
    void sliderStaysWithinRange();
    void storedOpacityOutsideRangeGivesDefault();
    void screenshotGuideOpensFromKeyboard();
    void everyControlHasAnAccessibleName();
    void sliderReportsPercent();
    void labelsNameTheirControls();
    void aShortcutTakenAtStartIsReported();
    void pageFitsAndScrollsOnlyWhenSmall();
    void supportLinkOpensFromTheKeyboard();

public slots:
    // The desktop's handler for mailto: links, while a test stands in for it.
    void openMail(const QUrl& url) { m_mailOpened << url; }

private:
    QList<QUrl> m_mailOpened;
};

void TestSettingsView::describe_data()
{
    QTest::addColumn<int>("keyCode");
    QTest::addColumn<quint64>("modifiers");
    QTest::addColumn<QString>("expected");
    QTest::newRow("default shortcut") << 7 << quint64(Ctrl | Shift) << QStringLiteral("⇧⌘X");
    QTest::newRow("option and control") << 49 << quint64(Alt | Super) << QStringLiteral("⌃⌥Space");
    QTest::newRow("all four in fixed order") << 0 << quint64(Ctrl | Shift | Alt | Super) << QStringLiteral("⌃⌥⇧⌘A");
    QTest::newRow("unnamed key") << 122 << quint64(Ctrl) << QStringLiteral("⌘Key122");
    QTest::newRow("no modifiers") << 29 << quint64(0) << QStringLiteral("0");
    QTest::newRow("control and arrow") << 126 << quint64(Super) << QStringLiteral("⌃↑");
    QTest::newRow("caps lock contributes nothing") << 7 << quint64(CapsLock | Ctrl) << QStringLiteral("⌘X");
    QTest::newRow("Z by position") << 6 << quint64(0) << QStringLiteral("Z");
    QTest::newRow("Y by position") << 16 << quint64(0) << QStringLiteral("Y");
}

void TestSettingsView::describe()
{
    QFETCH(int, keyCode);
    QFETCH(quint64, modifiers);
    QFETCH(QString, expected);
    QCOMPARE(SettingsView::describe(static_cast<std::uint16_t>(keyCode), modifiers), expected);
}

void TestSettingsView::describeNative_data()
{
    QTest::addColumn<int>("keyCode");
    QTest::addColumn<quint64>("modifiers");
    QTest::addColumn<QString>("expected");
    QTest::newRow("default shortcut") << 7 << quint64(Ctrl | Shift) << QStringLiteral("Ctrl+Shift+X");
    QTest::newRow("control and option") << 49 << quint64(Super | Alt) << QStringLiteral("Super+Alt+Space");
    QTest::newRow("all four in fixed order")
        << 0 << quint64(Shift | Alt | Ctrl | Super) << QStringLiteral("Super+Ctrl+Alt+Shift+A");
    QTest::newRow("arrow as a word") << 126 << quint64(Super) << QStringLiteral("Super+Up");
    QTest::newRow("caps lock contributes nothing") << 40 << quint64(CapsLock | Alt) << QStringLiteral("Alt+K");
    QTest::newRow("no modifiers") << 29 << quint64(0) << QStringLiteral("0");
    QTest::newRow("no position") << 300 << quint64(Ctrl) << QStringLiteral("Ctrl+Key300");
}

void TestSettingsView::describeNative()
{
    QFETCH(int, keyCode);
    QFETCH(quint64, modifiers);
    QFETCH(QString, expected);
    QCOMPARE(SettingsView::describeNative(static_cast<std::uint16_t>(keyCode), modifiers), expected);
}

void TestSettingsView::percentText_data()
{
    QTest::addColumn<double>("opacity");
    QTest::addColumn<QString>("expected");
    QTest::newRow("truncates, not rounds") << 0.57 << QStringLiteral("56%");
    QTest::newRow("lower end") << 0.3 << QStringLiteral("30%");
    QTest::newRow("preset") << 0.85 << QStringLiteral("85%");
    QTest::newRow("opaque") << 1.0 << QStringLiteral("100%");
    QTest::newRow("just below a whole number") << 0.999 << QStringLiteral("99%");
    QTest::newRow("stored below the range") << 0.2 << QStringLiteral("20%");
}

void TestSettingsView::percentText()
{
    QFETCH(double, opacity);
    QFETCH(QString, expected);
    QCOMPARE(SettingsView::percentText(opacity), expected);
}

void TestSettingsView::opacityLabelFollowsModel()
{
    SettingsFixture fixture;
    SettingsView view(fixture.hotkeyManager, fixture.panelSettings);
    auto* label = view.findChild<QLabel*>(QStringLiteral("opacityLabel"));
    auto* slider = view.findChild<QSlider*>(QStringLiteral("opacitySlider"));
    QVERIFY(label && slider);
    QCOMPARE(label->text(), QStringLiteral("100%"));

    fixture.panelSettings.setOpacity(0.57);
    QCOMPARE(label->text(), QStringLiteral("56%"));
    QCOMPARE(slider->value(), 57);

    slider->setValue(42);
    QCOMPARE(fixture.panelSettings.opacity(), 0.42);
    QCOMPARE(label->text(), QStringLiteral("42%"));
    QCOMPARE(fixture.preferences.readDouble(QStringLiteral("panelOpacity")), 0.42);
}

void TestSettingsView::opacityChangedElsewhereDoesNotFeedBack()
{
    SettingsFixture fixture;
    SettingsView view(fixture.hotkeyManager, fixture.panelSettings);
    QSignalSpy changes(&fixture.panelSettings, &PanelSettings::opacityChanged);
    // Finer than the slider's steps: a write back from the knob would round it.
    fixture.panelSettings.setOpacity(0.5734);
    QCOMPARE(changes.count(), 1);
    QCOMPARE(fixture.panelSettings.opacity(), 0.5734);
}

void TestSettingsView::presetSetsOpacity_data()
{
    QTest::addColumn<QString>("preset");
    QTest::addColumn<double>("opacity");
    QTest::newRow("50%") << QStringLiteral("50%") << 0.5;
    QTest::newRow("85%") << QStringLiteral("85%") << 0.85;
    QTest::newRow("100%") << QStringLiteral("100%") << 1.0;
}

void TestSettingsView::presetSetsOpacity()
{
    QFETCH(QString, preset);
    QFETCH(double, opacity);
    SettingsFixture fixture(QStringLiteral("panelOpacity=0.4\n"));
    SettingsView view(fixture.hotkeyManager, fixture.panelSettings);
    QPushButton* button = nullptr;
    for (auto* candidate : view.findChildren<QPushButton*>()) {
        if (candidate->text() == preset)
            button = candidate;
    }
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(fixture.panelSettings.opacity(), opacity);
    QCOMPARE(view.findChild<QLabel*>(QStringLiteral("opacityLabel"))->text(), preset);
}

void TestSettingsView::sliderStaysWithinRange_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<double>("opacity");
    QTest::newRow("Home") << int(Qt::Key_Home) << 0.3;
    QTest::newRow("End") << int(Qt::Key_End) << 1.0;
    QTest::newRow("Page Down past the start") << int(Qt::Key_PageDown) << 0.3;
    QTest::newRow("Page Up past the end") << int(Qt::Key_PageUp) << 1.0;
}

void TestSettingsView::sliderStaysWithinRange()
{
    QFETCH(int, key);
    QFETCH(double, opacity);
    SettingsFixture fixture;
    SettingsView view(fixture.hotkeyManager, fixture.panelSettings);
    view.show();
    auto* slider = view.findChild<QSlider*>(QStringLiteral("opacitySlider"));
    // Start one step inside the range so every key really moves the knob.
    slider->setValue(key == Qt::Key_PageDown || key == Qt::Key_Home ? 31 : 99);
    for (int i = 0; i < 30; ++i)
        QTest::keyClick(slider, static_cast<Qt::Key>(key));
    QCOMPARE(fixture.panelSettings.opacity(), opacity);
}

void TestSettingsView::storedOpacityOutsideRangeGivesDefault()
{
    SettingsFixture fixture(QStringLiteral("panelOpacity=1e300\n"));
    QCOMPARE(fixture.panelSettings.opacity(), 1.0);
    QSignalSpy changes(&fixture.panelSettings, &PanelSettings::opacityChanged);
    {
        SettingsView view(fixture.hotkeyManager, fixture.panelSettings);
        view.resize(330, 440);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCOMPARE(view.findChild<QLabel*>(QStringLiteral("opacityLabel"))->text(), QStringLiteral("100%"));
    }
    // Nothing is written back until the user changes the setting.
    QCOMPARE(changes.count(), 0);
    QCOMPARE(fixture.preferences.value(QStringLiteral("panelOpacity")), QStringLiteral("1e300"));
}

void TestSettingsView::screenshotGuideOpensFromKeyboard()
{
    SettingsFixture fixture;
    SettingsView view(fixture.hotkeyManager, fixture.panelSettings);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    auto* guide = view.findChild<QWidget*>(QStringLiteral("screenshotGuide"));
    auto* disclosure = view.findChild<QAbstractButton*>(QStringLiteral("screenshotGuideButton"));
    QVERIFY(guide && disclosure);
    QVERIFY(!guide->isVisible());
    // One control, a button that says whether the group is open.
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(disclosure);
    QCOMPARE(accessible->text(QAccessible::Name), QStringLiteral("Enable screenshots (Ctrl+Shift+S)"));
    QCOMPARE(accessible->role(), QAccessible::Button);
    QVERIFY(accessible->state().expandable && accessible->state().collapsed && !accessible->state().checkable);

    disclosure->setFocus();
    QTest::keyClick(disclosure, Qt::Key_Space);
    QVERIFY(guide->isVisible());
    QVERIFY(accessible->state().expanded && !accessible->state().collapsed);
    bool namesTrigger = false;
    for (const auto* label : guide->findChildren<QLabel*>())
        namesTrigger = namesTrigger || label->text().contains(QLatin1String("Ctrl+Shift+S"));
    QVERIFY(namesTrigger);

    QTest::keyClick(disclosure, Qt::Key_Space);
    QVERIFY(!guide->isVisible());
}

void TestSettingsView::everyControlHasAnAccessibleName()
{
    SettingsFixture fixture;
    SettingsView view(fixture.hotkeyManager, fixture.panelSettings);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    int controls = 0;
    for (auto* widget : view.findChildren<QWidget*>()) {
        // Every Tab stop is a control.
        const bool isControl = qobject_cast<QAbstractButton*>(widget) || qobject_cast<QSlider*>(widget)
            || (widget->focusPolicy() & Qt::TabFocus);
        if (!isControl || !widget->isVisibleTo(&view))
            continue;
        ++controls;
        auto* accessible = QAccessible::queryAccessibleInterface(widget);
        QVERIFY(accessible);
        QVERIFY2(!accessible->text(QAccessible::Name).isEmpty(), widget->metaObject()->className());
    }
    // Shortcut, disclosure, slider, three presets, support link.
    QCOMPARE(controls, 7);
}

void TestSettingsView::sliderReportsPercent()
{
    SettingsFixture fixture;
    SettingsView view(fixture.hotkeyManager, fixture.panelSettings);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    auto* slider = view.findChild<QSlider*>(QStringLiteral("opacitySlider"));
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(slider);
    QVERIFY(accessible && accessible->valueInterface());
    fixture.panelSettings.setOpacity(0.57);
    QCOMPARE(accessible->valueInterface()->currentValue().toInt(), 57);
    QCOMPARE(accessible->valueInterface()->minimumValue().toInt(), 30);
    QCOMPARE(accessible->valueInterface()->maximumValue().toInt(), 100);
}

void TestSettingsView::labelsNameTheirControls()
{
    SettingsFixture fixture;
    SettingsView view(fixture.hotkeyManager, fixture.panelSettings);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    const auto labelOf = [](QWidget* control) {
        QStringList labels;
        const auto relations = QAccessible::queryAccessibleInterface(control)->relations(QAccessible::Label);
        for (const auto& [other, relation] : relations)
            labels << other->text(QAccessible::Name);
        return labels;
    };
    QCOMPARE(labelOf(view.findChild<QPushButton*>(QStringLiteral("shortcutButton"))),
             QStringList {QStringLiteral("Open / close panel")});
    // The percentage beside the slider labels it too.
    QCOMPARE(labelOf(view.findChild<QSlider*>(QStringLiteral("opacitySlider"))),
             (QStringList {QStringLiteral("Transparency"), QStringLiteral("100%")}));
    auto* link = view.findChild<QAbstractButton*>(QStringLiteral("supportLink"));
    QCOMPARE(labelOf(link), QStringList {QStringLiteral("Support")});
    QCOMPARE(QAccessible::queryAccessibleInterface(link)->role(), QAccessible::Link);
}

void TestSettingsView::aShortcutTakenAtStartIsReported()
{
    SettingsFixture fixture({}, {{7, 0x120000}});
    SettingsView view(fixture.hotkeyManager, fixture.panelSettings);
    QCOMPARE(view.findChild<QLabel*>(QStringLiteral("shortcutCaption"))->text(),
             QStringLiteral("Another program uses this shortcut. Click to choose another."));
    QCOMPARE(view.findChild<QPushButton*>(QStringLiteral("shortcutButton"))->text(), QStringLiteral("Ctrl+Shift+X"));
}

void TestSettingsView::pageFitsAndScrollsOnlyWhenSmall()
{
    SettingsFixture fixture;
    SettingsView view(fixture.hotkeyManager, fixture.panelSettings);
    view.resize(330, 440);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    auto* bar = view.findChild<QScrollBar*>(QStringLiteral("overlayScrollBar"));
    QVERIFY(bar);
    // The whole page, the Support line included, at the size the panel gives it.
    auto* link = view.findChild<QAbstractButton*>(QStringLiteral("supportLink"));
    QTRY_VERIFY(!bar->isVisible());
    QVERIFY(link->visibleRegion().boundingRect() == link->rect());

    view.resize(330, 240);
    QTRY_VERIFY(bar->isVisible());
    // Thin, over the content, and clear of the rounded corners.
    QVERIFY(bar->width() <= 8);
    QVERIFY(bar->geometry().right() < view.width());
    QVERIFY(bar->mapTo(&view, QPoint(0, 0)).y() >= 10);
    QVERIFY(bar->mapTo(&view, QPoint(0, bar->height())).y() <= view.height() - 10);
    bar->setValue(bar->maximum());
    QTRY_COMPARE(link->visibleRegion().boundingRect(), link->rect());
}

void TestSettingsView::supportLinkOpensFromTheKeyboard()
{
    SettingsFixture fixture;
    SettingsView view(fixture.hotkeyManager, fixture.panelSettings);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), this, "openMail");
    auto unset = qScopeGuard([] { QDesktopServices::unsetUrlHandler(QStringLiteral("mailto")); });
    auto* link = view.findChild<QAbstractButton*>(QStringLiteral("supportLink"));
    link->setFocus();
    QTest::keyClick(link, Qt::Key_Space);
    QCOMPARE(m_mailOpened, QList<QUrl> {SettingsView::supportMailtoURL()});
    QTest::mouseClick(link, Qt::LeftButton);
    QCOMPARE(m_mailOpened.size(), 2);
}

QTEST_MAIN(TestSettingsView)
#include "tst_settingsview.moc"
