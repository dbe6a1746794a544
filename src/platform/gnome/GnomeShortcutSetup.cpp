#include "GnomeShortcutSetup.h"

#include <memory>
#include <utility>

#include <QPointer>
#include <QProcess>
#include <QRegularExpression>

#include "platform/SessionEnvironment.h"
#include "platform/portal/PortalTrigger.h"

namespace {
const QString listKey = QStringLiteral("custom-keybindings");

QString entrySchema(const QString& path)
{
    return QLatin1String(GnomeShortcutSetup::EntrySchema) + u':' + path;
}

// GVariant's text form of one string: '…' or "…", with backslash escapes.
QString unquoted(QString text)
{
    text = text.trimmed();
    if (text.size() >= 2 && (text.front() == u'\'' || text.front() == u'"') && text.back() == text.front()) {
        text = text.mid(1, text.size() - 2);
        QString plain;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text.at(i) == u'\\' && i + 1 < text.size())
                ++i;
            plain += text.at(i);
        }
        return plain;
    }
    return text;
}
} // namespace

GnomeShortcutSetup::GnomeShortcutSetup(const QProcessEnvironment& environment, QObject* parent)
    : DesktopShortcutSetup(parent)
    , m_environment(environment)
{
    if (SessionEnvironment(m_environment).isGnomeSession()) {
        m_state = State::Checking;
        refresh();
    }
}

GnomeShortcutSetup::~GnomeShortcutSetup() = default;

QStringList GnomeShortcutSetup::parsePathList(const QString& text)
{
    // "['/a/', '/b/']", or "@as []" for an empty list.
    QStringList paths;
    static const QRegularExpression item(QStringLiteral("'((?:[^'\\\\]|\\\\.)*)'|\"((?:[^\"\\\\]|\\\\.)*)\""));
    auto it = item.globalMatch(text);
    while (it.hasNext()) {
        const auto match = it.next();
        paths << unquoted(match.captured(0));
    }
    return paths;
}

QString GnomeShortcutSetup::quoted(const QString& text)
{
    QString escaped = text;
    escaped.replace(u'\\', QStringLiteral("\\\\"));
    escaped.replace(u'\'', QStringLiteral("\\'"));
    return u'\'' + escaped + u'\'';
}

QString GnomeShortcutSetup::pathListText(const QStringList& paths)
{
    if (paths.isEmpty())
        return QStringLiteral("@as []");
    QStringList items;
    for (const QString& path : paths)
        items << quoted(path);
    return u'[' + items.join(QStringLiteral(", ")) + u']';
}

void GnomeShortcutSetup::run(const QStringList& arguments, Done done)
{
    auto* process = new QProcess(this);
    process->setProcessEnvironment(m_environment);
    auto finishedOnce = std::make_shared<bool>(false);
    connect(process, &QProcess::finished, this, [process, done, finishedOnce](int code, QProcess::ExitStatus status) {
        if (std::exchange(*finishedOnce, true))
            return;
        process->deleteLater();
        const bool ok = status == QProcess::NormalExit && code == 0;
        done(ok, QString::fromUtf8(ok ? process->readAllStandardOutput() : process->readAllStandardError()).trimmed());
    });
    connect(process, &QProcess::errorOccurred, this, [process, done, finishedOnce](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart || std::exchange(*finishedOnce, true))
            return;
        process->deleteLater();
        done(false, QStringLiteral("the gsettings tool is not installed"));
    });
    process->start(QStringLiteral("gsettings"), arguments);
}

void GnomeShortcutSetup::refresh()
{
    const int generation = ++m_generation;
    run({QStringLiteral("get"), QLatin1String(ListSchema), listKey}, [this, generation](bool ok, const QString& out) {
        if (generation != m_generation)
            return;
        if (!ok) {
            // No schema: GNOME's settings daemon is not installed here.
            setState(State::Unavailable, out);
            return;
        }
        findEntry(parsePathList(out), 0);
    });
}

void GnomeShortcutSetup::findEntry(QStringList paths, int index)
{
    const int generation = m_generation;
    if (index >= paths.size()) {
        m_entryPath.clear();
        m_binding.clear();
        setState(State::NotSetUp);
        return;
    }
    const QString path = paths.at(index);
    run({QStringLiteral("get"), entrySchema(path), QStringLiteral("command")},
        [this, generation, paths, index, path](bool ok, const QString& out) {
            if (generation != m_generation)
                return;
            // Ours, or one the user made by hand for the same command.
            if (path != QLatin1String(EntryPath) && !(ok && unquoted(out).trimmed() == QLatin1String(Command))) {
                findEntry(paths, index + 1);
                return;
            }
            run({QStringLiteral("get"), entrySchema(path), QStringLiteral("binding")},
                [this, generation, path](bool ok, const QString& out) {
                    if (generation != m_generation)
                        return;
                    m_entryPath = path;
                    m_binding = ok ? unquoted(out) : QString();
                    setState(State::SetUp);
                });
        });
}

void GnomeShortcutSetup::setUp(std::uint16_t keyCode, std::uint32_t modifiers)
{
    const QString accelerator = PortalTrigger::gtkAccelerator(keyCode, modifiers);
    if (accelerator.isEmpty()) {
        ++m_generation;
        setState(State::Failed, QStringLiteral("GNOME has no name for this key; record another shortcut first"));
        return;
    }
    setUpAccelerator(accelerator);
}

void GnomeShortcutSetup::updateBinding(std::uint16_t keyCode, std::uint32_t modifiers)
{
    const QString accelerator = PortalTrigger::gtkAccelerator(keyCode, modifiers);
    if (!accelerator.isEmpty())
        updateAccelerator(accelerator);
}

void GnomeShortcutSetup::setUpAccelerator(const QString& accelerator)
{
    if (m_state == State::Unavailable)
        return;
    writeEntry(accelerator, true);
}

void GnomeShortcutSetup::updateAccelerator(const QString& accelerator)
{
    if (m_state != State::SetUp)
        return;
    writeEntry(accelerator, false);
}

void GnomeShortcutSetup::writeEntry(const QString& accelerator, bool addToList)
{
    const int generation = ++m_generation;
    const QString path = m_entryPath.isEmpty() ? QLatin1String(EntryPath) : m_entryPath;
    const QString schema = entrySchema(path);
    const auto failed = [this, generation](const QString& error) {
        if (generation == m_generation)
            setState(State::Failed, error.isEmpty() ? QStringLiteral("GNOME's settings could not be changed") : error);
    };
    // The list comes last, so GNOME only sees the entry once it is whole;
    // it is read again just before, so an entry added meanwhile stays.
    const auto addPath = [this, generation, path, accelerator, failed] {
        run({QStringLiteral("get"), QLatin1String(ListSchema), listKey},
            [this, generation, path, accelerator, failed](bool ok, const QString& out) {
                if (generation != m_generation)
                    return;
                if (!ok)
                    return failed(out);
                QStringList paths = parsePathList(out);
                const auto done = [this, generation, path, accelerator] {
                    if (generation != m_generation)
                        return;
                    m_entryPath = path;
                    m_binding = accelerator;
                    setState(State::SetUp);
                };
                if (paths.contains(path))
                    return done();
                paths << path;
                run({QStringLiteral("set"), QLatin1String(ListSchema), listKey, pathListText(paths)},
                    [done, failed](bool ok, const QString& out) { ok ? done() : failed(out); });
            });
    };
    const auto setBinding = [this, schema, accelerator, addPath, failed] {
        run({QStringLiteral("set"), schema, QStringLiteral("binding"), quoted(accelerator)},
            [addPath, failed](bool ok, const QString& out) { ok ? addPath() : failed(out); });
    };
    if (!addToList) {
        run({QStringLiteral("set"), schema, QStringLiteral("binding"), quoted(accelerator)},
            [this, generation, accelerator, failed](bool ok, const QString& out) {
                if (generation != m_generation)
                    return;
                if (!ok)
                    return failed(out);
                m_binding = accelerator;
                emit stateChanged();
            });
        return;
    }
    run({QStringLiteral("set"), schema, QStringLiteral("name"), quoted(QLatin1String(Name))},
        [this, schema, setBinding, failed](bool ok, const QString& out) {
            if (!ok)
                return failed(out);
            run({QStringLiteral("set"), schema, QStringLiteral("command"), quoted(QLatin1String(Command))},
                [setBinding, failed](bool ok, const QString& out) { ok ? setBinding() : failed(out); });
        });
}

void GnomeShortcutSetup::setState(State state, const QString& error)
{
    m_error = error;
    if (m_state == state && error.isEmpty() && state != State::SetUp)
        return;
    m_state = state;
    emit stateChanged();
}
