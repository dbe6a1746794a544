#include "CommandLine.h"

#include <QCoreApplication>

namespace {
// Qt's own options that take a value in the next argument, and those that take none.
const QStringList qtValueOptions = {
    QStringLiteral("platform"),      QStringLiteral("platformpluginpath"),
    QStringLiteral("platformtheme"), QStringLiteral("plugin"),
    QStringLiteral("display"),       QStringLiteral("style"),
    QStringLiteral("stylesheet"),    QStringLiteral("qwindowgeometry"),
    QStringLiteral("qwindowtitle"),  QStringLiteral("qwindowicon"),
    QStringLiteral("session"),       QStringLiteral("name"),
    QStringLiteral("title"),
};
const QStringList qtFlagOptions = {QStringLiteral("reverse"), QStringLiteral("widgetcount"), QStringLiteral("nograb"),
                                   QStringLiteral("dograb"), QStringLiteral("sync")};
} // namespace

CommandLine::Parsed CommandLine::parse(const QStringList& arguments)
{
    Parsed parsed;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        Action action = Action::Invalid;
        if (argument == QLatin1String("--toggle")) {
            action = Action::Toggle;
        } else if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            action = Action::Help;
        } else if (argument == QLatin1String("--version") || argument == QLatin1String("-v")) {
            action = Action::Version;
        } else if (argument.startsWith(u'-')) {
            // Qt reads "-style x", "--style x" and "-style=x" alike.
            QString name = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
            const bool inlineValue = name.contains(u'=');
            name = name.section(u'=', 0, 0);
            if (qtFlagOptions.contains(name))
                continue;
            if (qtValueOptions.contains(name)) {
                if (!inlineValue && ++i >= arguments.size())
                    return {Action::Invalid, QStringLiteral("option '%1' needs a value").arg(argument)};
                continue;
            }
            return {Action::Invalid, QStringLiteral("unknown option '%1'").arg(argument)};
        } else {
            return {Action::Invalid, QStringLiteral("unexpected argument '%1'").arg(argument)};
        }
        // Help and version win over everything; two different actions are a mistake.
        if (action == Action::Help || parsed.action == Action::Help)
            parsed.action = Action::Help;
        else if (action == Action::Version || parsed.action == Action::Version)
            parsed.action = Action::Version;
        else
            parsed.action = action;
    }
    return parsed;
}

QString CommandLine::helpText()
{
    return QStringLiteral("Usage: quillnook [--toggle]\n"
                          "\n"
                          "Quillnook lives in the system tray and shows one floating panel with notes,\n"
                          "a small browser and a file shelf. Only one Quillnook runs per user: starting\n"
                          "it again shows the running panel.\n"
                          "\n"
                          "Options:\n"
                          "  --toggle       Show or hide the running Quillnook's panel and exit; start\n"
                          "                 Quillnook if none runs. Bind it to a key in your desktop's\n"
                          "                 keyboard settings where the global shortcut cannot work.\n"
                          "  -h, --help     Show this help and exit.\n"
                          "  -v, --version  Show the version and exit.\n");
}

QString CommandLine::versionText()
{
    return QStringLiteral("Quillnook %1\n").arg(QStringLiteral(QUILLNOOK_VERSION));
}
