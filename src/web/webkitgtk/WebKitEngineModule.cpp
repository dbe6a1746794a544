#include "WebKitEngineModule.h"

#include <cstdio>

#include <QAbstractEventDispatcher>
#include <QGuiApplication>

#include "web/webkitgtk/WebKitEngine.h"

#include <gtk/gtk.h>

bool WebKitEngineModule::initialize(QString* error)
{
    if (m_initialized)
        return true;
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        *error = QStringLiteral("The browser needs an X11 display (on Wayland, through XWayland).");
        return false;
    }
    // GTK adds its sources to the GLib main context that Qt's dispatcher
    // runs, so one main loop serves both toolkits without pumping.
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher || !dispatcher->inherits("QEventDispatcherGlib")) {
        *error = QStringLiteral("The browser needs Qt built with the GLib event loop.");
        return false;
    }
    // Measured with two pages (bench_web): the DMA-BUF renderer costs about
    // 120 MB more than the shared-memory one, for nothing these pages need.
    // A value the user set wins.
    if (!qEnvironmentVariableIsSet("WEBKIT_DISABLE_DMABUF_RENDERER"))
        qputenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1");
    // The page is embedded into Qt's X11 windows, so GTK must use X11 too.
    qputenv("GDK_BACKEND", "x11");
    gdk_set_allowed_backends("x11");
    if (!gtk_init_check(nullptr, nullptr)) {
        *error = QStringLiteral("The browser could not open the X11 display for GTK.");
        return false;
    }
    m_initialized = true;
    return true;
}

std::unique_ptr<WebEngine> WebKitEngineModule::createEngine(QString* error)
{
    if (!m_initialized && !initialize(error))
        return nullptr;
    return WebKitEngine::create(error);
}

namespace {
const WebEngineModule::Host* host = nullptr;
} // namespace

void WebKitEngineModule::notice(const QString& text)
{
    if (host && host->notice) {
        host->notice(text);
        return;
    }
    const QByteArray line = QByteArrayLiteral("⚠️ ") + text.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
    std::fflush(stdout);
}

extern "C" __attribute__((visibility("default"))) WebEngineModule*
quillnook_web_engine_module_v2(int interfaceVersion, const WebEngineModule::Host* programHost)
{
    // A program built against another interface would call into this one
    // with the wrong layout.
    if (interfaceVersion != WebEngineModule::InterfaceVersion || !programHost)
        return nullptr;
    host = programHost;
    static WebKitEngineModule module;
    return &module;
}
