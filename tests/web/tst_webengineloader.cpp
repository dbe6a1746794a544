// Where the web engine cannot work, the loader says why in one line for the
// Browser tool, and never touches the module.
#include <QApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "platform/SessionEnvironment.h"
#include "web/WebEngineLoader.h"

class TestWebEngineLoader : public QObject
{
    Q_OBJECT

private slots:
    void reasonsAreOneLineForTheUser_data()
    {
        QTest::addColumn<QByteArray>("qtPlatform");
        QTest::addColumn<bool>("moduleExists");
        QTest::addColumn<QString>("reason");
        QTest::newRow("Qt forced onto native Wayland")
            << QByteArray("wayland") << true
            << QStringLiteral("The Browser needs XWayland: start Quillnook without QT_QPA_PLATFORM=wayland.");
        QTest::newRow("no module installed")
            << QByteArray("xcb") << false
            << QStringLiteral("The web engine module (quillnook_webkit.so) is not installed.");
    }
    void reasonsAreOneLineForTheUser()
    {
        QFETCH(QByteArray, qtPlatform);
        QFETCH(bool, moduleExists);
        QFETCH(QString, reason);
        qputenv("WAYLAND_DISPLAY", "wayland-0");
        qputenv("QT_QPA_PLATFORM", qtPlatform);

        // A file that is no module: loading it would fail with another reason.
        QTemporaryDir dir;
        const QString module = dir.filePath(QStringLiteral("quillnook_webkit.so"));
        if (moduleExists) {
            QFile file(module);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("not a library") > 0);
        }
        WebEngineLoader loader({module});
        QSignalSpy unavailable(&loader, &WebEngineProvider::unavailable);
        loader.startNow();
        QTRY_COMPARE(unavailable.size(), 1);
        QCOMPARE(loader.unavailableReason(), reason);
        QVERIFY(!loader.engine());
    }
};

QTEST_MAIN(TestWebEngineLoader)
#include "tst_webengineloader.moc"
