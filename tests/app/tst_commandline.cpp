#include <QTest>

#include "app/CommandLine.h"

using Action = CommandLine::Action;
Q_DECLARE_METATYPE(CommandLine::Action)

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void argumentsChooseOneAction_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<Action>("action");
        QTest::addColumn<QString>("error");
        QTest::newRow("nothing") << QStringList {} << Action::Run << QString();
        QTest::newRow("--toggle") << QStringList {QStringLiteral("--toggle")} << Action::Toggle << QString();
        QTest::newRow("-h") << QStringList {QStringLiteral("-h")} << Action::Help << QString();
        QTest::newRow("help wins over toggle")
            << QStringList {QStringLiteral("--toggle"), QStringLiteral("--help")} << Action::Help << QString();
        QTest::newRow("-v") << QStringList {QStringLiteral("-v")} << Action::Version << QString();
        QTest::newRow("Qt's own options pass")
            << QStringList {QStringLiteral("-platform"), QStringLiteral("xcb"), QStringLiteral("--style=Fusion"),
                            QStringLiteral("-reverse"), QStringLiteral("--toggle")}
            << Action::Toggle << QString();
        QTest::newRow("a Qt option without its value") << QStringList {QStringLiteral("-platform")} << Action::Invalid
                                                       << QStringLiteral("option '-platform' needs a value");
        QTest::newRow("unknown option") << QStringList {QStringLiteral("--show")} << Action::Invalid
                                        << QStringLiteral("unknown option '--show'");
        QTest::newRow("single-dash look-alike")
            << QStringList {QStringLiteral("-toggle")} << Action::Invalid << QStringLiteral("unknown option '-toggle'");
        QTest::newRow("a file name") << QStringList {QStringLiteral("notes.txt")} << Action::Invalid
                                     << QStringLiteral("unexpected argument 'notes.txt'");
        QTest::newRow("an error wins over help") << QStringList {QStringLiteral("--help"), QStringLiteral("--bogus")}
                                                 << Action::Invalid << QStringLiteral("unknown option '--bogus'");
    }
    void argumentsChooseOneAction()
    {
        QFETCH(QStringList, arguments);
        QFETCH(Action, action);
        QFETCH(QString, error);
        arguments.prepend(QStringLiteral("/usr/bin/quillnook"));
        const CommandLine::Parsed parsed = CommandLine::parse(arguments);
        QCOMPARE(parsed.action, action);
        QCOMPARE(parsed.error, error);
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
