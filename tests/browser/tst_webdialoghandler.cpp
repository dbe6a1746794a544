#include <memory>
#include <optional>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "FakeWebEngine.h"
#include "browser/BrowserTabsModel.h"
#include "browser/ScriptDialog.h"
#include "browser/WebDialogHandler.h"

class TestWebDialogHandler : public QObject
{
    Q_OBJECT

private:
    FakeWebEngine m_engine;
    std::unique_ptr<QWidget> m_panel;
    std::unique_ptr<WebDialogHandler> m_handler;
    std::unique_ptr<FakeWebView> m_view;
    int m_frontCalls = 0;

    ScriptDialog* openDialog() const
    {
        const QList<ScriptDialog*> open = m_handler->openDialogs();
        return open.size() == 1 ? open.first() : nullptr;
    }

    // Keys go to the window, so the dialog's own focus handling decides
    // which button they reach.
    static void press(ScriptDialog* dialog, Qt::Key key)
    {
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        QTest::keyClick(dialog->windowHandle(), key);
    }

private slots:
    void init()
    {
        m_panel = std::make_unique<QWidget>();
        m_panel->resize(300, 400);
        m_frontCalls = 0;
        m_handler = std::make_unique<WebDialogHandler>([this]() -> QWidget* {
            ++m_frontCalls;
            m_panel->show();
            return m_panel.get();
        });
        m_view = std::make_unique<FakeWebView>(WebViewOptions {});
    }

    void cleanup()
    {
        m_handler.reset();
        m_view.reset();
        m_panel.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void newWindowsLoadInTheSameView()
    {
        const QUrl target(QStringLiteral("http://127.0.0.1:8000/opened.html"));
        m_handler->webViewCreateWebView(*m_view, target, false);
        // As the page's own navigation, never as one of the browser's.
        QCOMPARE(m_view->pageNavigations, QList<QUrl> {target});
        QVERIFY(m_view->loads.isEmpty());
        // A request for an existing frame is neither loaded nor opened.
        m_handler->webViewCreateWebView(*m_view, QUrl(QStringLiteral("http://127.0.0.1:8000/framed.html")), true);
        QCOMPARE(m_view->pageNavigations.size(), 1);
        // Nothing was shown for either.
        QVERIFY(m_handler->openDialogs().isEmpty());
        QCOMPARE(m_frontCalls, 0);
    }

    void confirmation_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("answer");
        QTest::newRow("Return") << "Return" << true;
        QTest::newRow("OK") << "OK" << true;
        QTest::newRow("Escape") << "Escape" << false;
        QTest::newRow("Cancel") << "Cancel" << false;
    }

    void confirmation()
    {
        QFETCH(QString, how);
        QFETCH(bool, answer);
        QList<bool> answers;
        m_handler->webViewRunConfirm(*m_view, QStringLiteral("Leave this page?"),
                                     [&answers](bool ok) { answers.append(ok); });
        ScriptDialog* dialog = openDialog();
        QVERIFY(dialog);
        QCOMPARE(m_frontCalls, 1);
        QCOMPARE(dialog->parentWidget(), m_panel.get());
        // It holds no other window, and stays above the always-on-top panel.
        QCOMPARE(dialog->windowModality(), Qt::NonModal);
        QVERIFY(dialog->windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(dialog->messageLabel()->text(), QStringLiteral("Leave this page?"));
        QCOMPARE(dialog->okButton()->text(), QStringLiteral("OK"));
        QCOMPARE(dialog->cancelButton()->text(), QStringLiteral("Cancel"));
        QVERIFY(answers.isEmpty());

        if (how == QLatin1String("Return"))
            press(dialog, Qt::Key_Return);
        else if (how == QLatin1String("Escape"))
            press(dialog, Qt::Key_Escape);
        else
            QTest::mouseClick(how == QLatin1String("OK") ? dialog->okButton() : dialog->cancelButton(), Qt::LeftButton);
        QCOMPARE(answers, QList<bool> {answer});
        QTRY_VERIFY(m_handler->openDialogs().isEmpty());
        m_handler->dismissDialogs();
        QCOMPARE(answers.size(), 1);
    }

    void aPageAskingAgainMayBeStoppedUntilItChanges()
    {
        QList<bool> answers;
        const auto ask = [&] {
            m_handler->webViewRunConfirm(*m_view, QStringLiteral("Again?"),
                                         [&answers](bool ok) { answers.append(ok); });
        };
        ask();
        QVERIFY(openDialog() && !openDialog()->stopBox());
        openDialog()->accept();
        QTRY_VERIFY(m_handler->openDialogs().isEmpty());
        // Soon after: the user may stop them.
        ask();
        QVERIFY(openDialog() && openDialog()->stopBox());
        openDialog()->stopBox()->setChecked(true);
        openDialog()->accept();
        QTRY_VERIFY(m_handler->openDialogs().isEmpty());
        QVERIFY(m_handler->dialogsStopped());
        // Answered as cancelled, unseen; a prompt gets no text.
        ask();
        std::optional<std::optional<QString>> prompted;
        m_handler->webViewRunPrompt(*m_view, QStringLiteral("Name?"), QStringLiteral("x"),
                                    [&prompted](std::optional<QString> text) { prompted = text; });
        QCOMPARE(answers, (QList<bool> {true, true, false}));
        QVERIFY(prompted.has_value() && !prompted->has_value());
        QVERIFY(m_handler->openDialogs().isEmpty());

        // Another page may ask again, without the offer at first.
        m_handler->pageNavigated();
        ask();
        QVERIFY(openDialog() && !openDialog()->stopBox());
        m_handler->dismissDialogs();
    }

    void dialogsHideAndShowWithThePanel()
    {
        bool answered = false;
        m_handler->webViewRunAlert(*m_view, QStringLiteral("Hello"), [&answered] { answered = true; });
        QPointer<ScriptDialog> dialog = openDialog();
        QVERIFY(dialog);
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        m_panel->hide();
        QVERIFY(!dialog->isVisible());
        QVERIFY(!answered);
        m_panel->show();
        QTRY_VERIFY(dialog->isVisible());
        QVERIFY(!answered);
        dialog->accept();
        QVERIFY(answered);
    }

    void prompt_data()
    {
        QTest::addColumn<QString>("defaultText");
        QTest::addColumn<QString>("typed"); // replaces the field's text when not null
        QTest::addColumn<Qt::Key>("key");
        QTest::addColumn<std::optional<QString>>("answer");

        QTest::newRow("default text returned unchanged")
            << "Ada Lovelace" << QString() << Qt::Key_Return << std::optional<QString>(QStringLiteral("Ada Lovelace"));
        QTest::newRow("typed text") << ""
                                    << "Grace" << Qt::Key_Return << std::optional<QString>(QStringLiteral("Grace"));
        QTest::newRow("OK on an empty field answers empty")
            << "" << QString() << Qt::Key_Return << std::optional<QString>(QString());
        QTest::newRow("Escape answers nothing") << "keep" << QString() << Qt::Key_Escape << std::optional<QString>();
    }

    void prompt()
    {
        QFETCH(QString, defaultText);
        QFETCH(QString, typed);
        QFETCH(Qt::Key, key);
        QFETCH(std::optional<QString>, answer);
        QList<std::optional<QString>> answers;
        m_handler->webViewRunPrompt(*m_view, QStringLiteral("Your name?"), defaultText,
                                    [&answers](std::optional<QString> text) { answers.append(text); });
        ScriptDialog* dialog = openDialog();
        QVERIFY(dialog);
        QCOMPARE(dialog->field()->size(), QSize(240, 24));
        QCOMPARE(dialog->field()->text(), defaultText);
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        QCOMPARE(QApplication::focusWidget(), dialog->field());
        if (!typed.isNull()) {
            dialog->field()->clear();
            QTest::keyClicks(dialog->field(), typed);
        }
        press(dialog, key);
        QCOMPARE(answers.size(), 1);
        QCOMPARE(answers.first().has_value(), answer.has_value());
        if (answer) {
            QVERIFY(!answers.first()->isNull());
            QCOMPARE(*answers.first(), *answer);
        }
    }

    void alertHasOnlyOK()
    {
        int answered = 0;
        m_handler->webViewRunAlert(*m_view, QStringLiteral("Saved."), [&answered] { ++answered; });
        ScriptDialog* dialog = openDialog();
        QVERIFY(dialog);
        QCOMPARE(dialog->cancelButton(), nullptr);
        QCOMPARE(dialog->field(), nullptr);
        press(dialog, Qt::Key_Return);
        QCOMPARE(answered, 1);
    }

    void dialogsStillOpenAreAnsweredOnceWhenTheTabCloses()
    {
        BrowserTabsModel model(m_engine, [this] {
            return std::make_unique<WebDialogHandler>([this]() -> QWidget* { return m_panel.get(); });
        });
        BrowserTab* tab = model.tabs().at(0);
        WebUiDelegate* delegate = tab->webView().uiDelegate();
        QCOMPARE(static_cast<BrowserDialogHandler*>(tab->dialogHandler()), delegate);
        QVERIFY(delegate);

        int alerts = 0;
        QList<bool> confirms;
        QList<std::optional<QString>> prompts;
        delegate->webViewRunAlert(tab->webView(), QStringLiteral("a"), [&alerts] { ++alerts; });
        delegate->webViewRunConfirm(tab->webView(), QStringLiteral("c"), [&confirms](bool ok) { confirms.append(ok); });
        delegate->webViewRunPrompt(tab->webView(), QStringLiteral("p"), QStringLiteral("d"),
                                   [&prompts](std::optional<QString> text) { prompts.append(text); });
        auto* handler = static_cast<WebDialogHandler*>(tab->dialogHandler());
        const QList<ScriptDialog*> dialogs = handler->openDialogs();
        QCOMPARE(dialogs.size(), 3);
        QList<QPointer<ScriptDialog>> watched(dialogs.begin(), dialogs.end());

        model.closeTab(tab->id());
        QCOMPARE(alerts, 1);
        QCOMPARE(confirms, QList<bool> {false});
        QCOMPARE(prompts.size(), 1);
        QVERIFY(!prompts.first().has_value());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        for (const QPointer<ScriptDialog>& dialog : watched)
            QVERIFY(!dialog);
        QCOMPARE(alerts, 1);
        QCOMPARE(confirms.size(), 1);
        QCOMPARE(prompts.size(), 1);
    }

    void dialogWithoutAPanelStandsAlone()
    {
        WebDialogHandler handler;
        bool answered = false;
        handler.webViewRunConfirm(*m_view, QStringLiteral("?"), [&answered](bool) { answered = true; });
        QCOMPARE(handler.openDialogs().size(), 1);
        QCOMPARE(handler.openDialogs().first()->parentWidget(), nullptr);
        // Going away unanswered counts as Cancel.
        delete handler.openDialogs().first();
        QVERIFY(answered);
    }
};

QTEST_MAIN(TestWebDialogHandler)
#include "tst_webdialoghandler.moc"
