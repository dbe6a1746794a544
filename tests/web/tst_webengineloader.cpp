#include <QLibrary>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "web/WebEngineLoader.h"
#include "web/WebEngineModule.h"

// Every way the engine can fail to start ends in one line for the user and
// no engine; run on the offscreen platform, where the page cannot be shown.
class TestWebEngineLoader : public QObject
{
    Q_OBJECT

private slots:
    void unavailableEngineSaysWhy_data();
    void unavailableEngineSaysWhy();
    void moduleRefusesAProgramOfAnotherInterface();
};

void TestWebEngineLoader::unavailableEngineSaysWhy_data()
{
    QTest::addColumn<QString>("module");
    QTest::addColumn<QString>("reasonPart");
    QTest::newRow("no module") << "missing"
                               << "is not installed";
    QTest::newRow("not a library") << "text"
                                   << "is damaged";
    // Opened, a module cut short would end the process with a bus error.
    QTest::newRow("cut short") << "truncated"
                               << "is damaged";
    QTest::newRow("older interface") << "old"
                                     << "is not one this Quillnook can use";
    QTest::newRow("no X11 display") << "real"
                                    << "needs an X11 display";
    // Qt forced onto native Wayland in a Wayland session: nothing to embed in.
    QTest::newRow("native Wayland") << "wayland"
                                    << "The Browser needs XWayland";
}

void TestWebEngineLoader::unavailableEngineSaysWhy()
{
    QFETCH(QString, module);
    QFETCH(QString, reasonPart);
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("quillnook_webkit.so"));
    if (module == QLatin1String("text")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write("not a library") > 0);
    } else if (module == QLatin1String("truncated")) {
        QFile real(QStringLiteral(QUILLNOOK_WEB_MODULE_PATH));
        QVERIFY(real.open(QIODevice::ReadOnly));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        // Inside the code the loader maps.
        QVERIFY(file.write(real.read(64 * 1024)) == 64 * 1024);
    } else if (module == QLatin1String("old")) {
        path = QStringLiteral(QUILLNOOK_OLD_WEB_MODULE_PATH);
    } else if (module == QLatin1String("real") || module == QLatin1String("wayland")) {
        path = QStringLiteral(QUILLNOOK_WEB_MODULE_PATH);
    }
    const bool wayland = module == QLatin1String("wayland");
    if (wayland) {
        qputenv("WAYLAND_DISPLAY", "wayland-0");
        qputenv("QT_QPA_PLATFORM", "wayland");
    }
    const auto restore = qScopeGuard([wayland] {
        if (wayland) {
            qunsetenv("WAYLAND_DISPLAY");
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
    });
    WebEngineLoader loader({path});
    QSignalSpy ready(&loader, &WebEngineProvider::ready);
    QSignalSpy unavailable(&loader, &WebEngineProvider::unavailable);
    loader.startNow();
    QVERIFY(unavailable.wait(5000));
    QCOMPARE(unavailable.size(), 1);
    QVERIFY(ready.isEmpty());
    QVERIFY(!loader.engine());
    QVERIFY(loader.isUnavailable());
    const QString reason = unavailable.first().first().toString();
    QCOMPARE(loader.unavailableReason(), reason);
    QVERIFY2(reason.contains(reasonPart), qPrintable(reason));
    QVERIFY(!reason.contains(QLatin1Char('\n')));
}

// The module's own side of the check: a program that speaks another version
// of the interface gets no module to call into.
void TestWebEngineLoader::moduleRefusesAProgramOfAnotherInterface()
{
    QLibrary library(QStringLiteral(QUILLNOOK_WEB_MODULE_PATH));
    QVERIFY2(library.load(), qPrintable(library.errorString()));
    auto entry = reinterpret_cast<WebEngineModule::Entry>(library.resolve(WebEngineModule::EntryPoint));
    QVERIFY(entry);
    static QStringList notices;
    static const WebEngineModule::Host host {[](const QString& text) { notices.append(text); }};
    QCOMPARE(entry(WebEngineModule::InterfaceVersion + 1, &host), nullptr);
    QCOMPARE(entry(WebEngineModule::InterfaceVersion - 1, &host), nullptr);
    QCOMPARE(entry(WebEngineModule::InterfaceVersion, nullptr), nullptr);
    QVERIFY(entry(WebEngineModule::InterfaceVersion, &host));
    QVERIFY(notices.isEmpty());
}

QTEST_MAIN(TestWebEngineLoader)
#include "tst_webengineloader.moc"
