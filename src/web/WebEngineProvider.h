#pragma once

#include <memory>

#include <QObject>
#include <QString>

#include "web/WebEngine.h"

// Hands out the web engine once it is there. The engine starts after the
// panel is on screen, so views that need it wait for ready(); when it cannot
// start, unavailable() says why in one line for the user.
class WebEngineProvider : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~WebEngineProvider() override;

    // Null until ready.
    WebEngine* engine() const { return m_engine.get(); }
    bool isUnavailable() const { return !m_unavailableReason.isEmpty(); }
    QString unavailableReason() const { return m_unavailableReason; }

signals:
    void ready();
    void unavailable(const QString& reason);

protected:
    void setEngine(std::unique_ptr<WebEngine> engine);
    void setUnavailable(const QString& reason);

private:
    std::unique_ptr<WebEngine> m_engine;
    QString m_unavailableReason;
};
