#include "PortalTrigger.h"

#include <QHash>

#include "keys/KeyCodeNames.h"
#include "platform/HotkeyService.h"

namespace {
struct Entry
{
    std::uint16_t keyCode;
    const char* keysym;
};

// Keys whose keysym is not simply their lower-cased short name.
constexpr Entry keysyms[] = {
    {0x18, "equal"},
    {0x1B, "minus"},
    {0x1E, "bracketright"},
    {0x21, "bracketleft"},
    {0x27, "apostrophe"},
    {0x29, "semicolon"},
    {0x2A, "backslash"},
    {0x2B, "comma"},
    {0x2C, "slash"},
    {0x2F, "period"},
    {0x32, "grave"},
    {0x0A, "less"},
    {0x24, "Return"},
    {0x30, "Tab"},
    {0x31, "space"},
    {0x33, "BackSpace"},
    {0x35, "Escape"},
    {0x75, "Delete"},
    {0x72, "Insert"},
    {0x6E, "Menu"},
    {0x73, "Home"},
    {0x77, "End"},
    {0x74, "Page_Up"},
    {0x79, "Page_Down"},
    {0x7B, "Left"},
    {0x7C, "Right"},
    {0x7D, "Down"},
    {0x7E, "Up"},
    {0x7A, "F1"},
    {0x78, "F2"},
    {0x63, "F3"},
    {0x76, "F4"},
    {0x60, "F5"},
    {0x61, "F6"},
    {0x62, "F7"},
    {0x64, "F8"},
    {0x65, "F9"},
    {0x6D, "F10"},
    {0x67, "F11"},
    {0x6F, "F12"},
    {0x69, "F13"},
    {0x6B, "F14"},
    {0x71, "F15"},
    {0x6A, "F16"},
    {0x40, "F17"},
    {0x4F, "F18"},
    {0x50, "F19"},
    {0x5A, "F20"},
    {0x52, "KP_0"},
    {0x53, "KP_1"},
    {0x54, "KP_2"},
    {0x55, "KP_3"},
    {0x56, "KP_4"},
    {0x57, "KP_5"},
    {0x58, "KP_6"},
    {0x59, "KP_7"},
    {0x5B, "KP_8"},
    {0x5C, "KP_9"},
    {0x41, "KP_Decimal"},
    {0x43, "KP_Multiply"},
    {0x45, "KP_Add"},
    {0x4B, "KP_Divide"},
    {0x4E, "KP_Subtract"},
    {0x51, "KP_Equal"},
    {0x4C, "KP_Enter"},
    {0x47, "Num_Lock"},
    {0x5F, "KP_Separator"},
    {0x48, "XF86AudioRaiseVolume"},
    {0x49, "XF86AudioLowerVolume"},
    {0x4A, "XF86AudioMute"},
    {0x5D, "yen"},
    {0x5E, "underscore"},
    {0x66, "Muhenkan"},
    {0x68, "Henkan"},
    {0xF0, "Print"},
    {0xF1, "Scroll_Lock"},
    {0xF2, "Pause"},
};

} // namespace

QString PortalTrigger::keysymName(std::uint16_t keyCode)
{
    static const QHash<std::uint16_t, QString> map = [] {
        QHash<std::uint16_t, QString> built;
        for (const auto& entry : keysyms)
            built.insert(entry.keyCode, QString::fromLatin1(entry.keysym));
        return built;
    }();
    if (const auto it = map.constFind(keyCode); it != map.constEnd())
        return *it;
    // Letters and digits: their short name, lower-cased ("x", "7").
    const QString name = KeyCodeNames::name(keyCode);
    if (name.size() == 1 && name.at(0).isLetterOrNumber() && name.at(0).unicode() < 0x80)
        return name.toLower();
    return {};
}

QString PortalTrigger::fromCombination(std::uint16_t keyCode, std::uint32_t modifiers)
{
    const QString key = keysymName(keyCode);
    if (key.isEmpty())
        return {};
    QString trigger;
    if (modifiers & ModifierFlags::Ctrl)
        trigger += QStringLiteral("CTRL+");
    if (modifiers & ModifierFlags::Alt)
        trigger += QStringLiteral("ALT+");
    if (modifiers & ModifierFlags::Shift)
        trigger += QStringLiteral("SHIFT+");
    if (modifiers & ModifierFlags::Super)
        trigger += QStringLiteral("LOGO+");
    return trigger + key;
}

QString PortalTrigger::gtkAccelerator(std::uint16_t keyCode, std::uint32_t modifiers)
{
    const QString key = keysymName(keyCode);
    if (key.isEmpty())
        return {};
    QString accelerator;
    if (modifiers & ModifierFlags::Shift)
        accelerator += QStringLiteral("<Shift>");
    if (modifiers & ModifierFlags::Ctrl)
        accelerator += QStringLiteral("<Control>");
    if (modifiers & ModifierFlags::Alt)
        accelerator += QStringLiteral("<Alt>");
    if (modifiers & ModifierFlags::Super)
        accelerator += QStringLiteral("<Super>");
    return accelerator + key;
}

std::optional<std::pair<std::uint16_t, std::uint32_t>>
PortalTrigger::combinationFromGtkAccelerator(const QString& accelerator)
{
    std::uint32_t modifiers = 0;
    QString rest = accelerator.trimmed();
    while (rest.startsWith(u'<')) {
        const qsizetype end = rest.indexOf(u'>');
        if (end < 0)
            return std::nullopt;
        const QString name = rest.mid(1, end - 1).toLower();
        rest = rest.mid(end + 1);
        if (name == QLatin1String("shift"))
            modifiers |= ModifierFlags::Shift;
        else if (name == QLatin1String("control") || name == QLatin1String("ctrl") || name == QLatin1String("ctl")
                 || name == QLatin1String("primary"))
            modifiers |= ModifierFlags::Ctrl;
        else if (name == QLatin1String("alt") || name == QLatin1String("mod1"))
            modifiers |= ModifierFlags::Alt;
        else if (name == QLatin1String("super") || name == QLatin1String("mod4"))
            modifiers |= ModifierFlags::Super;
        else
            return std::nullopt;
    }
    if (rest.isEmpty())
        return std::nullopt;
    // GTK writes a shifted letter as its capital ("<Shift>X").
    const QString key = rest.size() == 1 ? rest.toLower() : rest;
    static const QHash<QString, std::uint16_t> codes = [] {
        QHash<QString, std::uint16_t> built;
        for (std::uint16_t code = 0; code <= 0xFF; ++code) {
            const QString name = keysymName(code);
            if (!name.isEmpty() && !built.contains(name))
                built.insert(name, code);
        }
        return built;
    }();
    const auto it = codes.constFind(key);
    if (it == codes.constEnd())
        return std::nullopt;
    return std::make_pair(*it, modifiers);
}
