#pragma once

#include <QStringList>

#include "web/WebEngineProvider.h"

class QLibrary;
class WebEngineModule;

// Opens the web engine module once the first window is on screen, then starts
// the engine over the following turns of the event loop, so the panel never
// waits for the engine's ~170 libraries, its toolkit or its first context.
class WebEngineLoader : public WebEngineProvider
{
    Q_OBJECT

public:
    // Where the module is looked for, in order: beside the executable (the
    // build tree), then the installed library folder.
    static QStringList defaultModulePaths();

    // Why the module file at `path` cannot be loaded safely, or empty. A file
    // cut short would fault the process that maps it; its headers must lie
    // whole inside the file before it is opened.
    static QString damagedModuleReason(const QString& path);

    explicit WebEngineLoader(QStringList modulePaths = defaultModulePaths(), QObject* parent = nullptr);
    ~WebEngineLoader() override;

    // Waits for a window to be exposed (or a short while, when none is), then
    // loads. Calling it again does nothing.
    void start();
    // Loads without waiting for a window; for tests and tools without one.
    void startNow();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void scheduleLoad();
    void loadModule();
    void initializeToolkit();
    void createEngine();

    QStringList m_modulePaths;
    QLibrary* m_library = nullptr;
    WebEngineModule* m_module = nullptr;
    bool m_started = false;
    bool m_scheduled = false;
};
