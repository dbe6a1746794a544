#include <memory>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "FakeWebEngine.h"
#include "app/ContentView.h"
#include "app/Models.h"
#include "browser/BrowserTabsModel.h"
#include "browser/BrowserURLBar.h"
#include "browser/BrowserView.h"
#include "browser/ScriptDialog.h"
#include "browser/TabChip.h"
#include "browser/WebDialogHandler.h"
#include "platform/IniPreferences.h"
#include "support/RecordingHotkeyService.h"
#include "web/WebEngineProvider.h"

namespace {
class TestProvider : public WebEngineProvider
{
public:
    using WebEngineProvider::setEngine;
    using WebEngineProvider::setUnavailable;
};

struct ModelsFixture
{
    QTemporaryDir dir;
    IniPreferences prefs {dir.filePath(QStringLiteral("Quillnook.conf"))};
    RecordingHotkeyService hotkeys;
    Models models {hotkeys, prefs, dir.path()};
};
} // namespace

// The Browser tool's place in the panel: what it says while the engine
// starts or when it cannot, and the tabs and view once it is there.
class TestBrowserTool : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ModelsFixture> m_models;
    std::unique_ptr<TestProvider> m_provider;
    FakeWebEngine* m_engine = nullptr;

    std::unique_ptr<ContentView> makeView(WebEngineProvider* provider)
    {
        return std::make_unique<ContentView>(m_models->models, provider);
    }

    void makeEngineReady()
    {
        auto engine = std::make_unique<FakeWebEngine>();
        m_engine = engine.get();
        m_provider->setEngine(std::move(engine));
    }

private slots:
    void init()
    {
        m_models = std::make_unique<ModelsFixture>();
        m_provider = std::make_unique<TestProvider>();
        m_engine = nullptr;
    }

    void cleanup()
    {
        m_provider.reset();
        m_models.reset();
    }

    void withoutAnEngineTheToolSaysSo()
    {
        auto view = makeView(nullptr);
        QVERIFY(view->browserStatus());
        QCOMPARE(view->browserStatus()->text(), QStringLiteral("This build of Quillnook cannot show web pages."));
        QCOMPARE(view->browserTabs(), nullptr);
    }

    void startingThenUnavailableIsOneLine()
    {
        auto view = makeView(m_provider.get());
        QCOMPARE(view->browserStatus()->text(), QStringLiteral("Starting the browser…"));
        m_provider->setUnavailable(
            QStringLiteral("The web engine could not be loaded:\nlibwebkit2gtk-4.1.so.0 missing"));
        QCOMPARE(view->browserStatus()->text(),
                 QStringLiteral("The web engine could not be loaded: libwebkit2gtk-4.1.so.0 missing"));
        QCOMPARE(view->browserTabs(), nullptr);

        // Known before the view was made.
        auto later = makeView(m_provider.get());
        QVERIFY(later->browserStatus()->text().startsWith(QLatin1String("The web engine could not be loaded:")));
    }

    void readyEnginePutsTheBrowserInPlace()
    {
        auto view = makeView(m_provider.get());
        QSignalSpy ready(view.get(), &ContentView::browserReady);
        makeEngineReady();
        QCOMPARE(ready.count(), 1);
        QVERIFY(view->browserTabs());
        QCOMPARE(view->browserTabs()->tabs().size(), 2);
        QCOMPARE(view->toolView(ContentView::Browser), view->browserView());
        QCOMPARE(&view->browserView()->model(), view->browserTabs());
        QCOMPARE(m_engine->views.size(), 2);
        QCOMPARE(m_engine->views.first()->loads.size(), 1);

        // Showing other tools and coming back keeps the page as it was.
        view->resize(360, 560);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        QWidget* page = m_engine->views.first()->widget();
        view->setSelectedTab(ContentView::Browser);
        QVERIFY(page->isVisible());
        view->setSelectedTab(ContentView::Files);
        QVERIFY(!page->isVisible());
        view->setSelectedTab(ContentView::Browser);
        QVERIFY(page->isVisible());
        QCOMPARE(m_engine->views.first()->loads.size(), 1);
    }

    void keyboardComesFromTheGearIntoTheStripAndTypingGoesToTheAddress()
    {
        makeEngineReady();
        auto view = makeView(m_provider.get());
        view->resize(360, 560);
        view->show();
        QVERIFY(QTest::qWaitForWindowActive(view.get()));
        view->setSelectedTab(ContentView::Browser);
        QCOMPARE(QApplication::focusWidget(), view->browserView()->urlBar()->field());

        view->settingsButton()->setFocus(Qt::TabFocusReason);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), view->browserView()->chips().first());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), view->settingsButton());
    }

    void engineReadyBeforeTheViewIsUsedAtOnce()
    {
        makeEngineReady();
        auto view = makeView(m_provider.get());
        QVERIFY(view->browserTabs());
        QCOMPARE(view->browserStatus(), nullptr);
    }

    void aPageDialogBringsThePanelUpAndSitsOverIt()
    {
        makeEngineReady();
        auto view = makeView(m_provider.get());
        QVERIFY(!view->isVisible());
        BrowserTab* tab = view->browserTabs()->tabs().at(1);
        QList<bool> answers;
        tab->webView().uiDelegate()->webViewRunConfirm(tab->webView(), QStringLiteral("Sure?"),
                                                       [&answers](bool ok) { answers.append(ok); });
        QVERIFY(view->isVisible());
        auto* handler = static_cast<WebDialogHandler*>(tab->dialogHandler());
        QCOMPARE(handler->openDialogs().size(), 1);
        QCOMPARE(handler->openDialogs().first()->parentWidget(), view.get());
        // The panel going away answers the page too.
        view.reset();
        QCOMPARE(answers, QList<bool> {false});
    }
};

QTEST_MAIN(TestBrowserTool)
#include "tst_browsertool.moc"
