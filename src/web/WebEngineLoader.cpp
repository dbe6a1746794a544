#include "WebEngineLoader.h"

#include <cstring>
#include <type_traits>

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>
#include <QTimer>
#include <QWindow>

#include "base/Notices.h"
#include "platform/SessionEnvironment.h"
#include "web/WebEngineModule.h"

#include <elf.h>

namespace {
const QString ModuleFileName = QStringLiteral("quillnook_webkit.so");
// Without a window to wait for (no screen, a test) the engine still comes.
constexpr int NoWindowDelayMs = 1000;
} // namespace

QStringList WebEngineLoader::defaultModulePaths()
{
    // Beside the executable (the build tree), then where an install or a
    // package put it relative to the executable, then the configured prefix.
    const QString programDir = QCoreApplication::applicationDirPath();
    return {programDir + QLatin1Char('/') + ModuleFileName,
            programDir + QStringLiteral("/../" QUILLNOOK_WEB_MODULE_RELATIVE_DIR "/") + ModuleFileName,
            QStringLiteral(QUILLNOOK_WEB_MODULE_DIR "/") + ModuleFileName};
}

QString WebEngineLoader::damagedModuleReason(const QString& path)
{
    using Header = std::conditional_t<sizeof(void*) == 8, Elf64_Ehdr, Elf32_Ehdr>;
    using Segment = std::conditional_t<sizeof(void*) == 8, Elf64_Phdr, Elf32_Phdr>;
    constexpr unsigned char OwnClass = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("The web engine module %1 cannot be read.").arg(path);
    const quint64 size = quint64(file.size());
    const QString damaged = QStringLiteral("The web engine module %1 is damaged; install Quillnook again.").arg(path);
    Header header {};
    if (file.read(reinterpret_cast<char*>(&header), sizeof header) != qint64(sizeof header)
        || memcmp(header.e_ident, ELFMAG, SELFMAG) != 0)
        return damaged;
    if (header.e_ident[EI_CLASS] != OwnClass || header.e_phentsize != sizeof(Segment) || header.e_phnum == 0)
        return QStringLiteral("The web engine module %1 is not one this Quillnook can use.").arg(path);
    const auto within = [size](quint64 offset, quint64 length) { return offset <= size && length <= size - offset; };
    if (!within(header.e_phoff, quint64(header.e_phnum) * header.e_phentsize)
        || (header.e_shoff && !within(header.e_shoff, quint64(header.e_shnum) * header.e_shentsize)))
        return damaged;
    if (!file.seek(qint64(header.e_phoff)))
        return damaged;
    for (int i = 0; i < header.e_phnum; ++i) {
        Segment segment {};
        if (file.read(reinterpret_cast<char*>(&segment), sizeof segment) != qint64(sizeof segment))
            return damaged;
        // Every byte the loader maps from the file must be in it.
        if (segment.p_type != PT_NULL && !within(segment.p_offset, segment.p_filesz))
            return damaged;
    }
    return {};
}

WebEngineLoader::WebEngineLoader(QStringList modulePaths, QObject* parent)
    : WebEngineProvider(parent)
    , m_modulePaths(std::move(modulePaths))
{ }

// The module stays loaded for the rest of the run: the engine's libraries
// keep threads and GLib types alive that cannot be unloaded.
WebEngineLoader::~WebEngineLoader() = default;

void WebEngineLoader::start()
{
    if (m_started)
        return;
    m_started = true;
    qApp->installEventFilter(this);
    QTimer::singleShot(NoWindowDelayMs, this, &WebEngineLoader::scheduleLoad);
}

void WebEngineLoader::startNow()
{
    if (m_started && m_scheduled)
        return;
    m_started = true;
    scheduleLoad();
}

bool WebEngineLoader::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Expose) {
        auto* window = qobject_cast<QWindow*>(watched);
        if (window && window->isExposed())
            scheduleLoad();
    }
    return false;
}

void WebEngineLoader::scheduleLoad()
{
    if (m_scheduled)
        return;
    m_scheduled = true;
    qApp->removeEventFilter(this);
    // Queued, so the exposed window paints and its requests reach the X
    // server before the loader blocks the thread.
    QTimer::singleShot(0, this, &WebEngineLoader::loadModule);
}

void WebEngineLoader::loadModule()
{
    // The engine is embedded as an X11 window; under Qt's native Wayland
    // backend there is nothing to embed it in.
    if (const QString problem = SessionEnvironment().browserProblem(); !problem.isEmpty()) {
        setUnavailable(problem);
        return;
    }
    QString path;
    for (const QString& candidate : std::as_const(m_modulePaths)) {
        if (QFileInfo::exists(candidate)) {
            path = candidate;
            break;
        }
    }
    if (path.isEmpty()) {
        setUnavailable(QStringLiteral("The web engine module (%1) is not installed.").arg(ModuleFileName));
        return;
    }
    if (const QString damage = damagedModuleReason(path); !damage.isEmpty()) {
        setUnavailable(damage);
        return;
    }
    m_library = new QLibrary(path, this);
    if (!m_library->load()) {
        const QString error = m_library->errorString();
        if (error.contains(QLatin1String("webkit2gtk")) || error.contains(QLatin1String("javascriptcore")))
            setUnavailable(QStringLiteral("WebKitGTK is not installed (libwebkit2gtk-4.1-0); the browser needs it."));
        else
            setUnavailable(QStringLiteral("The web engine module could not be loaded: ") + error);
        return;
    }
    auto entry = reinterpret_cast<WebEngineModule::Entry>(m_library->resolve(WebEngineModule::EntryPoint));
    static const WebEngineModule::Host host {[](const QString& text) { Notices::warn(text); }};
    m_module = entry ? entry(WebEngineModule::InterfaceVersion, &host) : nullptr;
    if (!m_module) {
        setUnavailable(QStringLiteral("The web engine module %1 is not one this Quillnook can use.").arg(path));
        return;
    }
    QTimer::singleShot(0, this, &WebEngineLoader::initializeToolkit);
}

void WebEngineLoader::initializeToolkit()
{
    QString error;
    if (!m_module->initialize(&error)) {
        setUnavailable(error);
        return;
    }
    QTimer::singleShot(0, this, &WebEngineLoader::createEngine);
}

void WebEngineLoader::createEngine()
{
    QString error;
    std::unique_ptr<WebEngine> engine = m_module->createEngine(&error);
    if (!engine) {
        setUnavailable(error);
        return;
    }
    setEngine(std::move(engine));
}
