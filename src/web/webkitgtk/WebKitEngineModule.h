#pragma once

#include "web/WebEngineModule.h"

// The module's entry: starts GTK inside the running Qt application and makes
// the WebKitGTK engine.
class WebKitEngineModule final : public WebEngineModule
{
public:
    bool initialize(QString* error) override;
    std::unique_ptr<WebEngine> createEngine(QString* error) override;

    // Sends `text` to the program's notice lines; before the program lent
    // its host, to standard output.
    static void notice(const QString& text);

private:
    bool m_initialized = false;
};
