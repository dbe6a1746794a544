#include "KGlobalAccelHotkeyService.h"

#include <cstdio>

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QHash>

#include "base/Notices.h"
#include "keys/KeyCodeNames.h"

namespace {
// setShortcut's flags.
constexpr uint setPresent = 2;
constexpr uint noAutoloading = 4;

// Qt's modifier bits in a combined key code.
constexpr int shiftBit = 0x02000000;
constexpr int controlBit = 0x04000000;
constexpr int altBit = 0x08000000;
constexpr int metaBit = 0x10000000;
constexpr int keypadBit = 0x20000000;
constexpr int modifierBits = shiftBit | controlBit | altBit | metaBit | keypadBit;

// Keys whose name is a word, by the name KeyCodeNames::nativeName gives them.
const QHash<QString, int>& namedKeys()
{
    static const QHash<QString, int> keys = [] {
        QHash<QString, int> built {
            {QStringLiteral("Space"), Qt::Key_Space},
            {QStringLiteral("Return"), Qt::Key_Return},
            {QStringLiteral("Tab"), Qt::Key_Tab},
            {QStringLiteral("Esc"), Qt::Key_Escape},
            {QStringLiteral("Left"), Qt::Key_Left},
            {QStringLiteral("Right"), Qt::Key_Right},
            {QStringLiteral("Up"), Qt::Key_Up},
            {QStringLiteral("Down"), Qt::Key_Down},
            {QStringLiteral("Backspace"), Qt::Key_Backspace},
            {QStringLiteral("Delete"), Qt::Key_Delete},
            {QStringLiteral("Insert"), Qt::Key_Insert},
            {QStringLiteral("Menu"), Qt::Key_Menu},
            {QStringLiteral("Home"), Qt::Key_Home},
            {QStringLiteral("End"), Qt::Key_End},
            {QStringLiteral("Page Up"), Qt::Key_PageUp},
            {QStringLiteral("Page Down"), Qt::Key_PageDown},
            {QStringLiteral("Print"), Qt::Key_Print},
            {QStringLiteral("Scroll Lock"), Qt::Key_ScrollLock},
            {QStringLiteral("Pause"), Qt::Key_Pause},
            {QStringLiteral("Num Enter"), Qt::Key_Enter | keypadBit},
        };
        for (int n = 1; n <= 20; ++n)
            built.insert(QStringLiteral("F%1").arg(n), Qt::Key_F1 + n - 1);
        return built;
    }();
    return keys;
}

int keyFromName(const QString& name)
{
    if (const auto it = namedKeys().constFind(name); it != namedKeys().constEnd())
        return *it;
    // "Num 5", "Num +": the keypad's key with the keypad bit.
    if (name.startsWith(QLatin1String("Num ")) && name.size() == 5)
        return keypadBit | name.at(4).unicode();
    // One printable character: Qt's code for a Latin-1 key is its upper case.
    if (name.size() == 1 && name.at(0).unicode() > 0x20 && name.at(0).unicode() < 0x7F)
        return name.at(0).toUpper().unicode();
    return 0;
}

QDBusMessage call(const QString& method)
{
    return QDBusMessage::createMethodCall(QLatin1String(KGlobalAccelHotkeyService::Service),
                                          QLatin1String(KGlobalAccelHotkeyService::Path),
                                          QLatin1String(KGlobalAccelHotkeyService::Interface), method);
}
} // namespace

KGlobalAccelHotkeyService::KGlobalAccelHotkeyService(const QDBusConnection& bus, QObject* parent)
    : HotkeyService(parent)
    , m_bus(bus)
{
    qDBusRegisterMetaType<QList<int>>();
    m_bus.connect(QLatin1String(Service), QStringLiteral("/component/%1").arg(QLatin1String(ComponentId)),
                  QStringLiteral("org.kde.kglobalaccel.Component"), QStringLiteral("globalShortcutPressed"), this,
                  SLOT(onPressed(QString, QString, qlonglong)));
    // Older services send the keys as plain codes, newer ones as key
    // sequences (each a list of codes); one slot reads both.
    for (const auto* signal : {"yourShortcutGotChanged", "yourShortcutsChanged"})
        m_bus.connect(QLatin1String(Service), QLatin1String(Path), QLatin1String(Interface), QLatin1String(signal),
                      this, SLOT(onShortcutChanged(QDBusMessage)));
    // A service that starts again (after a crash, or restarted by the
    // session) holds no grab for us until we register once more.
    auto* watcher
        = new QDBusServiceWatcher(QLatin1String(Service), m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            &KGlobalAccelHotkeyService::onServiceOwnerChanged);
}

void KGlobalAccelHotkeyService::announce()
{
    QDBusMessage doRegister = call(QStringLiteral("doRegister"));
    doRegister << actionId();
    m_bus.call(doRegister, QDBus::NoBlock);
}

void KGlobalAccelHotkeyService::onServiceOwnerChanged(const QString&, const QString&, const QString& newOwner)
{
    if (newOwner.isEmpty() || !m_registered || !m_key)
        return;
    announce();
    // The combination we hold is the newest one: changes made in System
    // Settings reached us as they happened, while the service writes its
    // own store only a while later and may have died first.
    setShortcut(m_key, false);
}

QStringList KGlobalAccelHotkeyService::actionId()
{
    return {QLatin1String(ComponentId), QLatin1String(ActionId), QLatin1String(ComponentName),
            QLatin1String(ActionName)};
}

int KGlobalAccelHotkeyService::keyFromCombination(std::uint16_t keyCode, std::uint32_t modifiers)
{
    const int key = keyFromName(KeyCodeNames::nativeName(keyCode));
    if (!key)
        return 0;
    int combined = key;
    if (modifiers & ModifierFlags::Shift)
        combined |= shiftBit;
    if (modifiers & ModifierFlags::Ctrl)
        combined |= controlBit;
    if (modifiers & ModifierFlags::Alt)
        combined |= altBit;
    if (modifiers & ModifierFlags::Super)
        combined |= metaBit;
    return combined;
}

std::optional<std::pair<std::uint16_t, std::uint32_t>> KGlobalAccelHotkeyService::combinationFromKey(int key)
{
    const int bare = key & ~(modifierBits & ~keypadBit);
    std::uint32_t modifiers = 0;
    if (key & shiftBit)
        modifiers |= ModifierFlags::Shift;
    if (key & controlBit)
        modifiers |= ModifierFlags::Ctrl;
    if (key & altBit)
        modifiers |= ModifierFlags::Alt;
    if (key & metaBit)
        modifiers |= ModifierFlags::Super;
    // Every position's key, until one has this code.
    for (std::uint32_t keyCode = 0; keyCode <= 0xFF; ++keyCode) {
        if (keyFromName(KeyCodeNames::nativeName(static_cast<std::uint16_t>(keyCode))) == bare)
            return std::pair {static_cast<std::uint16_t>(keyCode), modifiers};
    }
    return std::nullopt;
}

std::optional<HotkeyService::Registration>
KGlobalAccelHotkeyService::registerHotkey(std::uint16_t keyCode, std::uint32_t modifiers, std::uint32_t id)
{
    const int key = keyFromCombination(keyCode, modifiers);
    if (!key)
        return std::nullopt;
    const bool first = !m_registered;
    if (first) {
        m_registered = true;
        announce();
    }
    m_key = key;
    // The first time in a run, a combination Plasma already keeps for us (the
    // user may have changed it in System Settings) wins over the one we ask.
    setShortcut(key, first);
    m_live = ++m_nextRegistration;
    m_liveId = id;
    return m_live;
}

void KGlobalAccelHotkeyService::unregisterHotkey(Registration registration)
{
    // The one action stays with Plasma, so System Settings keeps listing it;
    // its presses are simply no longer passed on.
    if (m_live == registration)
        m_live.reset();
}

void KGlobalAccelHotkeyService::setShortcut(int key, bool keepStored)
{
    QDBusMessage message = call(QStringLiteral("setShortcut"));
    message << actionId() << QVariant::fromValue(QList<int> {key})
            << (keepStored ? setPresent : setPresent | noAutoloading);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, key](QDBusPendingCallWatcher* finished) { onSetShortcutReply(finished, key); });
}

void KGlobalAccelHotkeyService::onSetShortcutReply(QDBusPendingCallWatcher* watcher, int asked)
{
    watcher->deleteLater();
    const QDBusPendingReply<QList<int>> reply = *watcher;
    if (reply.isError()) {
        Notices::report(QStringLiteral("Quillnook: Plasma's global-shortcut service did not take the shortcut: ")
                        + reply.error().message());
        emit registrationRefused();
        return;
    }
    const QList<int> keys = reply.value();
    const int given = keys.isEmpty() ? 0 : keys.first();
    if (!given) {
        // Another action holds the combination.
        emit registrationRefused();
        return;
    }
    // An answer to an older request says nothing about the combination asked
    // for since.
    if (given != asked && asked == m_key) {
        m_key = given;
        if (const auto combination = combinationFromKey(given))
            emit combinationChangedByDesktop(combination->first, combination->second);
    }
}

void KGlobalAccelHotkeyService::onPressed(const QString& component, const QString& action, qlonglong)
{
    if (component != QLatin1String(ComponentId) || action != QLatin1String(ActionId) || !m_live)
        return;
    emit hotkeyPressed(m_liveId);
}

void KGlobalAccelHotkeyService::onShortcutChanged(const QDBusMessage& message)
{
    const QVariantList arguments = message.arguments();
    if (arguments.size() < 2)
        return;
    const QStringList action = qdbus_cast<QStringList>(arguments.at(0));
    if (action.size() < 2 || action.at(0) != QLatin1String(ComponentId) || action.at(1) != QLatin1String(ActionId))
        return;
    int first = 0;
    const QDBusArgument keys = arguments.at(1).value<QDBusArgument>();
    if (keys.currentSignature() == QLatin1String("ai")) {
        const QList<int> codes = qdbus_cast<QList<int>>(keys);
        first = codes.isEmpty() ? 0 : codes.first();
    } else if (keys.currentSignature() == QLatin1String("a(ai)")) {
        // The first key of the first sequence: a shortcut of one key.
        keys.beginArray();
        if (!keys.atEnd()) {
            QList<int> sequence;
            keys.beginStructure();
            keys >> sequence;
            keys.endStructure();
            first = sequence.isEmpty() ? 0 : sequence.first();
        }
    }
    if (!first)
        return;
    m_key = first;
    if (const auto combination = combinationFromKey(first))
        emit combinationChangedByDesktop(combination->first, combination->second);
}
