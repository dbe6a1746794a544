#include <QApplication>
#include <QClipboard>
#include <QEventLoop>
#include <QJsonDocument>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include "WebEngineFixture.h"
#include "support/LocalHttpServer.h"
#include "support/PageScript.h"
#include "support/Poll.h"
#include "support/X11Tools.h"

namespace {
using PageScript::run;
using X11Tools::xdotool;

} // namespace

class TestWebKitFocus : public QObject
{
    Q_OBJECT

public:
    static void initMain() { useTestHome(); }

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void clickIntoThePageThenTypingReachesIt();
    void typingInAQtFieldStaysOutOfThePage();
    void tabMovesThroughThePageAndOut();
    void focusPageAndPasteReachTheFocusedElement();
    void pageFollowsThePanelThroughHideAndShow();
    void panelChangesReachTheServerWhileThePageHasTheKeyboard();
    void panelShownRightAfterHidingTakesTheKeyboardAgain();

private:
    QString activeElement() { return run(*m_view, QStringLiteral("document.activeElement.id")).toString(); }
    QString value(const char* id)
    {
        return run(*m_view, QStringLiteral("document.getElementById('%1').value").arg(QLatin1String(id))).toString();
    }
    QPoint centerOf(const char* id);
    bool clickAt(const QPoint& global);
    bool keyboardFollowedQt();
    bool type(const QString& text);
    bool key(const QString& combination);

    LocalHttpServer m_server;
    std::unique_ptr<WebView> m_view;
    QWidget m_window;
    QLineEdit* m_field = nullptr;
    QPushButton* m_after = nullptr;
};

void TestWebKitFocus::initTestCase()
{
    WebEngine* engine = loadedEngine();
    QVERIFY(engine);
    m_view = engine->createView({});
    m_field = new QLineEdit;
    m_after = new QPushButton(QStringLiteral("After"));
    auto* layout = new QVBoxLayout(&m_window);
    layout->addWidget(m_field);
    layout->addWidget(m_view->widget(), 1);
    layout->addWidget(m_after);
    m_window.setGeometry(100, 100, 500, 400);
    m_window.show();
    QVERIFY(QTest::qWaitForWindowActive(&m_window));

    m_server.html("/", "<title>form</title><body style='margin:0'><input id=a><br><input id=b></body>");
    RecordingDelegates delegate;
    m_view->setNavigationDelegate(&delegate);
    m_view->load(m_server.url(QStringLiteral("/")));
    QTRY_COMPARE_WITH_TIMEOUT(delegate.finished, 1, 15000);
    m_view->setNavigationDelegate(nullptr);
}

void TestWebKitFocus::init()
{
    run(*m_view, QStringLiteral("for (const i of document.querySelectorAll('input')) i.value = ''; 1"));
    m_field->clear();
    // Each case starts from the panel active with its field focused, however
    // the last one left the window manager.
    m_window.activateWindow();
    m_field->setFocus();
    QTRY_VERIFY(m_field->hasFocus());
}

void TestWebKitFocus::cleanup()
{
    if (!QTest::currentTestFailed())
        return;
    qWarning() << "failed state: focusWindow" << QGuiApplication::focusWindow() << "activeWindow"
               << QApplication::activeWindow() << "focusWidget" << QApplication::focusWidget() << "panel"
               << m_window.winId() << "X focus" << X11Tools::focusedWindow();
}

QPoint TestWebKitFocus::centerOf(const char* id)
{
    const QVariantList box = run(*m_view,
                                 QStringLiteral("(r => [r.x + r.width / 2, r.y + r.height / 2])("
                                                "document.getElementById('%1').getBoundingClientRect())")
                                     .arg(QLatin1String(id)))
                                 .toList();
    return m_view->widget()->mapToGlobal(QPoint(box.value(0).toInt(), box.value(1).toInt()));
}

bool TestWebKitFocus::clickAt(const QPoint& global)
{
    return xdotool({QStringLiteral("mousemove"), QString::number(global.x()), QString::number(global.y()),
                    QStringLiteral("sleep"), QStringLiteral("0.2"), QStringLiteral("click"), QStringLiteral("1")});
}

// Qt's focus can reach a widget before the page's toolkit has the X focus,
// or leave the page before the panel has it back; a key sent then would
// overtake the hand-over. True once the server's focus (the window itself,
// not its top level) agrees with Qt's: the page's window while the page has
// Qt's focus, the panel's otherwise.
bool TestWebKitFocus::keyboardFollowedQt()
{
    const QString panel = QString::number(m_window.winId());
    return pollUntil(
        [&] {
            const QString focused
                = X11Tools::run(QStringLiteral("xdotool"), {QStringLiteral("getwindowfocus"), QStringLiteral("-f")});
            return X11Tools::sameWindow(focused.trimmed(), panel) != m_view->widget()->hasFocus();
        },
        5000, 20);
}

bool TestWebKitFocus::type(const QString& text)
{
    return keyboardFollowedQt()
        && xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), text});
}

bool TestWebKitFocus::key(const QString& combination)
{
    return keyboardFollowedQt() && xdotool({QStringLiteral("key"), combination});
}

void TestWebKitFocus::clickIntoThePageThenTypingReachesIt()
{
    QVERIFY(clickAt(centerOf("a")));
    QTRY_COMPARE(activeElement(), QStringLiteral("a"));
    QVERIFY(type(QStringLiteral("hello")));
    QTRY_COMPARE(value("a"), QStringLiteral("hello"));
    QCOMPARE(m_field->text(), QString());
    // The panel stays the active window while its page has the keyboard.
    QCOMPARE(QApplication::activeWindow(), &m_window);
    QVERIFY(m_view->widget()->hasFocus());
}

void TestWebKitFocus::typingInAQtFieldStaysOutOfThePage()
{
    QVERIFY(clickAt(centerOf("b")));
    QTRY_COMPARE(activeElement(), QStringLiteral("b"));
    QVERIFY(clickAt(m_field->mapToGlobal(m_field->rect().center())));
    QTRY_VERIFY(m_field->hasFocus());
    QVERIFY(type(QStringLiteral("qt")));
    QTRY_COMPARE(m_field->text(), QStringLiteral("qt"));
    // The page would say nothing about keys it wrongly took: a moment for them.
    QTest::qWait(200);
    QCOMPARE(value("b"), QString());
}

void TestWebKitFocus::tabMovesThroughThePageAndOut()
{
    QVERIFY(clickAt(centerOf("b")));
    QTRY_COMPARE(activeElement(), QStringLiteral("b"));
    QVERIFY(key(QStringLiteral("shift+Tab")));
    QTRY_COMPARE(activeElement(), QStringLiteral("a"));
    // From here on the pointer rests over the page while Qt has the focus.
    m_field->setFocus();
    QTRY_VERIFY(m_field->hasFocus());
    QVERIFY(key(QStringLiteral("Tab")));
    QTRY_VERIFY(m_view->widget()->hasFocus());
    QTRY_COMPARE(activeElement(), QStringLiteral("a"));
    QVERIFY(type(QStringLiteral("x")));
    QTRY_COMPARE(value("a"), QStringLiteral("x"));
    QVERIFY(key(QStringLiteral("Tab")));
    QTRY_COMPARE(activeElement(), QStringLiteral("b"));
    QVERIFY(key(QStringLiteral("Tab")));
    QTRY_VERIFY(m_after->hasFocus());

    // And back in from behind, to the page's last element.
    QVERIFY(key(QStringLiteral("shift+Tab")));
    QTRY_VERIFY(m_view->widget()->hasFocus());
    QTRY_COMPARE(activeElement(), QStringLiteral("b"));
    QVERIFY(type(QStringLiteral("y")));
    QTRY_COMPARE(value("b"), QStringLiteral("y"));
    QVERIFY(key(QStringLiteral("shift+Tab")));
    QTRY_COMPARE(activeElement(), QStringLiteral("a"));
    QVERIFY(key(QStringLiteral("shift+Tab")));
    QTRY_VERIFY(m_field->hasFocus());
    QVERIFY(type(QStringLiteral("z")));
    QTRY_COMPARE(m_field->text(), QStringLiteral("z"));
    QCOMPARE(value("a"), QStringLiteral("x"));
}

void TestWebKitFocus::focusPageAndPasteReachTheFocusedElement()
{
    run(*m_view, QStringLiteral("document.getElementById('b').focus(); 1"));
    QGuiApplication::clipboard()->setText(QStringLiteral("from the clipboard"));
    m_view->focusPage();
    QTRY_VERIFY(m_view->widget()->hasFocus());
    QVERIFY(key(QStringLiteral("ctrl+v")));
    QTRY_COMPARE(value("b"), QStringLiteral("from the clipboard"));
    m_view->paste();
    QTRY_COMPARE(value("b"), QStringLiteral("from the clipboardfrom the clipboard"));
    QVERIFY(type(QStringLiteral("!")));
    QTRY_COMPARE(value("b"), QStringLiteral("from the clipboardfrom the clipboard!"));
    QCOMPARE(m_field->text(), QString());
}

void TestWebKitFocus::pageFollowsThePanelThroughHideAndShow()
{
    const QList<QWindow*> embedded = m_window.windowHandle()->findChildren<QWindow*>();
    QCOMPARE(embedded.size(), 1);
    const QString page = QString::number(embedded.first()->winId());
    m_window.hide();
    QTRY_VERIFY(!X11Tools::isViewable(page));
    QTRY_COMPARE(run(*m_view, QStringLiteral("document.visibilityState")).toString(), QStringLiteral("hidden"));
    m_window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&m_window));
    QTRY_VERIFY(X11Tools::isViewable(page));
    const QRect expected(m_view->widget()->mapToGlobal(QPoint(0, 0)), m_view->widget()->size());
    QTRY_COMPARE(X11Tools::geometry(page), expected);
    QTRY_COMPARE(run(*m_view, QStringLiteral("document.visibilityState")).toString(), QStringLiteral("visible"));
    QVERIFY(clickAt(centerOf("a")));
    QTRY_COMPARE(activeElement(), QStringLiteral("a"));
    QVERIFY(type(QStringLiteral("ok")));
    QTRY_COMPARE(value("a"), QStringLiteral("ok"));
}

void TestWebKitFocus::panelChangesReachTheServerWhileThePageHasTheKeyboard()
{
    QVERIFY(clickAt(centerOf("a")));
    QTRY_COMPARE(activeElement(), QStringLiteral("a"));
    const QString panel = QString::number(m_window.winId());
    auto opacitySet = [&panel] {
        return X11Tools::windowProperty(panel, QStringLiteral("_NET_WM_WINDOW_OPACITY")).contains(QLatin1Char('='));
    };
    QVERIFY(!opacitySet());
    // While the page has the X focus no X event wakes Qt, so only the flush
    // before the event loop sleeps sends the change. The loop must really
    // sleep here, as the program's does: QTest's waits never do.
    m_window.setWindowOpacity(0.5);
    QEventLoop loop;
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, [&] {
        if (opacitySet())
            loop.quit();
    });
    poll.start(100);
    QTimer::singleShot(2000, &loop, &QEventLoop::quit);
    loop.exec();
    QVERIFY(opacitySet());
    m_window.setWindowOpacity(1.0);
}

void TestWebKitFocus::panelShownRightAfterHidingTakesTheKeyboardAgain()
{
    // A quick toggle of the panel while its page has the keyboard: the
    // window manager's focus comes back before Qt has noticed it left.
    QVERIFY(clickAt(centerOf("a")));
    QTRY_COMPARE(activeElement(), QStringLiteral("a"));
    m_window.hide();
    m_window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&m_window));
    m_window.activateWindow();
    m_field->setFocus();
    QTRY_VERIFY(m_field->hasFocus());
    // As a person would, type once the keyboard has reached the panel.
    QTRY_VERIFY(X11Tools::sameWindow(X11Tools::focusedWindow(), QString::number(m_window.winId())));
    QVERIFY(type(QStringLiteral("back")));
    QTRY_COMPARE(m_field->text(), QStringLiteral("back"));
    QCOMPARE(value("a"), QString());
}

QTEST_MAIN(TestWebKitFocus)
#include "tst_webkitfocus.moc"
