#pragma once

#include <memory>

#include <QRect>
#include <QTest>
#include <QUrl>
#include <QWidget>

#include "web/WebEngineFixture.h"

// What the engine tests share around each case: the real engine and one
// shown window for the whole test, a fresh view filling that window for each
// case, telling fresh recording delegates.
class WebViewFixture
{
protected:
    // In initTestCase: the engine, and the window shown at `geometry` (an
    // empty place leaves it where the window manager puts it).
    bool startEngine(const QRect& geometry)
    {
        m_engine = loadedEngine();
        if (!m_engine)
            return false;
        if (geometry.topLeft().isNull())
            m_window.resize(geometry.size());
        else
            m_window.setGeometry(geometry);
        m_window.show();
        return QTest::qWaitForWindowExposed(&m_window);
    }

    // In init: a new view over the whole window. `withDialogs` also makes
    // the delegates answer its dialogs and new windows.
    void openView(const WebViewOptions& options = {}, bool withDialogs = true)
    {
        m_delegates = RecordingDelegates();
        m_view = m_engine->createView(options);
        m_view->setNavigationDelegate(&m_delegates);
        if (withDialogs)
            m_view->setUiDelegate(&m_delegates);
        m_view->widget()->setParent(&m_window);
        m_view->widget()->setGeometry(m_window.rect());
        m_view->widget()->show();
    }

    // In cleanup.
    void closeView() { m_view.reset(); }

    // Loads `url` in `view`; true once the load has ended, finished or failed.
    static bool loadAndWait(WebView& view, RecordingDelegates& delegates, const QUrl& url)
    {
        const int before = delegates.outcomes();
        view.load(url);
        return QTest::qWaitFor([&] { return delegates.outcomes() > before; }, 15000);
    }
    bool loadAndWait(const QUrl& url) { return loadAndWait(*m_view, m_delegates, url); }

    // Loads `url` in the case's view; true once a load has finished there,
    // past any failures on the way.
    bool loadAndFinish(const QUrl& url)
    {
        const int before = m_delegates.finished;
        m_view->load(url);
        return QTest::qWaitFor([&] { return m_delegates.finished > before; }, 15000);
    }

    WebEngine* m_engine = nullptr;
    // Before the view, so the view goes first.
    QWidget m_window;
    std::unique_ptr<WebView> m_view;
    RecordingDelegates m_delegates;
};
