// Screen capture through the desktop's screenshot portal, against a fake
// portal on a private session bus, with the real X11 clipboard.
#include <cstdio>

#include <QApplication>
#include <QClipboard>
#include <QDBusConnection>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include "base/Notices.h"
#include "platform/portal/PortalScreenCaptureService.h"
#include "support/EventLoopTurn.h"
#include "support/FakePortal.h"
#include "support/PrivateSessionBus.h"

namespace {
QString readAll(std::FILE* file)
{
    std::fflush(file);
    std::rewind(file);
    QByteArray bytes;
    char buffer[512];
    while (const size_t n = std::fread(buffer, 1, sizeof buffer, file))
        bytes.append(buffer, qsizetype(n));
    return QString::fromUtf8(bytes);
}
} // namespace

class TestPortalScreenCapture : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(!m_bus.address().isEmpty(), "needs dbus-daemon");
        m_portalBus = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("portal"));
        m_clientBus = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("client"));
        QVERIFY(m_portal.start(m_portalBus));
        m_window.setWindowTitle(QStringLiteral("Quillnook"));
        m_window.resize(200, 200);
        m_window.show();
        m_window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&m_window));
    }

    void init()
    {
        m_messages = std::tmpfile();
        QVERIFY(m_messages);
        Notices::setStream(m_messages);
        QGuiApplication::clipboard()->setText(QStringLiteral("before the capture"));
        QTRY_COMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("before the capture"));
    }

    void cleanup()
    {
        Notices::setStream(stdout);
        std::fclose(m_messages);
    }

    void theAnswerDecidesTheClipboard_data()
    {
        QTest::addColumn<uint>("response");
        QTest::addColumn<QByteArray>("fileKind");
        QTest::addColumn<bool>("imageOnClipboard");
        QTest::addColumn<QString>("message");
        QTest::newRow("a PNG") << 0U << QByteArray("png") << true << QString();
        QTest::newRow("a file that is no image")
            << 0U << QByteArray("text") << false
            << QStringLiteral("⚠️ Could not capture the screen: the desktop's screenshot could not be read from ");
        // A cancel is told only by the unchanged clipboard.
        QTest::newRow("the user cancels") << 1U << QByteArray() << false << QString();
        QTest::newRow("the desktop refuses")
            << 2U << QByteArray() << false
            << QStringLiteral("⚠️ Could not capture the screen: the desktop refused the screenshot\n");
    }
    void theAnswerDecidesTheClipboard()
    {
        QFETCH(uint, response);
        QFETCH(QByteArray, fileKind);
        QFETCH(bool, imageOnClipboard);
        QFETCH(QString, message);

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Screenshot.png"));
        QImage picture(37, 23, QImage::Format_RGB32);
        picture.fill(Qt::darkBlue);
        QPainter(&picture).fillRect(5, 5, 10, 10, Qt::yellow);
        if (fileKind == "png")
            QVERIFY(picture.save(path, "PNG"));
        if (fileKind == "text") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("not a picture") > 0);
        }
        m_portal.screenshotResponse = response;
        m_portal.screenshotUri = QUrl::fromLocalFile(path).toString();

        PortalScreenCaptureService service(m_clientBus);
        QSignalSpy clipboardChanges(QGuiApplication::clipboard(), &QClipboard::dataChanged);
        int ended = 0;
        QCOMPARE(service.startCapture([&ended] { ++ended; }), std::nullopt);
        QTRY_COMPARE(ended, 1);

        const QVariantMap options = m_portal.screenshotOptions.constLast();
        QCOMPARE(options.value(QStringLiteral("interactive")), QVariant(false));
        QVERIFY(!options.value(QStringLiteral("handle_token")).toString().isEmpty());
        QCOMPARE(m_portal.screenshotParents.constLast(),
                 QStringLiteral("x11:") + QString::number(m_window.windowHandle()->winId(), 16));

        if (imageOnClipboard) {
            const QImage pasted = QGuiApplication::clipboard()->image();
            QCOMPARE(pasted.size(), picture.size());
            QCOMPARE(pasted.pixelColor(7, 7), QColor(Qt::yellow));
            QCOMPARE(pasted.pixelColor(30, 20), QColor(Qt::darkBlue));
        } else {
            QCOMPARE(clipboardChanges.size(), 0);
            QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("before the capture"));
        }
        QVERIFY(!QFile::exists(path));
        QVERIFY2(readAll(m_messages).startsWith(message), qPrintable(readAll(m_messages)));
        if (message.isEmpty())
            QCOMPARE(readAll(m_messages), QString());
        QVERIFY(passEventLoop());
        QCOMPARE(ended, 1);
    }

    void onlyThePortalMayAnswer()
    {
        QTemporaryDir dir;
        const QString victim = dir.filePath(QStringLiteral("holiday.png"));
        QImage picture(8, 8, QImage::Format_RGB32);
        picture.fill(Qt::red);
        QVERIFY(picture.save(victim, "PNG"));
        m_portal.screenshotResponse = 1;
        m_portal.answerDelayMs = 300;

        PortalScreenCaptureService service(m_clientBus);
        QSignalSpy clipboardChanges(QGuiApplication::clipboard(), &QClipboard::dataChanged);
        int ended = 0;
        const int asked = int(m_portal.screenshotOptions.size());
        QCOMPARE(service.startCapture([&ended] { ++ended; }), std::nullopt);
        QTRY_COMPARE(int(m_portal.screenshotOptions.size()), asked + 1);

        // Another program on the bus answers first, naming a file of the user's.
        QDBusConnection stranger = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("stranger"));
        const QString request = QStringLiteral("/org/freedesktop/portal/desktop/request/")
            + m_clientBus.baseService().mid(1).replace(u'.', u'_') + u'/'
            + m_portal.screenshotOptions.constLast().value(QStringLiteral("handle_token")).toString();
        QDBusMessage forged = QDBusMessage::createSignal(request, QStringLiteral("org.freedesktop.portal.Request"),
                                                         QStringLiteral("Response"));
        forged << 0U << QVariantMap {{QStringLiteral("uri"), QUrl::fromLocalFile(victim).toString()}};
        QVERIFY(stranger.send(forged));

        // The portal's own answer (a cancel) is the one that counts.
        QTRY_COMPARE(ended, 1);
        QVERIFY(QFile::exists(victim));
        QCOMPARE(clipboardChanges.size(), 0);
        m_portal.answerDelayMs = 10;
        QDBusConnection::disconnectFromBus(QStringLiteral("stranger"));
    }

    void aPortalWithoutScreenshotsIsReportedAndEnds()
    {
        m_portal.offersScreenshot = false;
        PortalScreenCaptureService service(m_clientBus);
        int ended = 0;
        QCOMPARE(service.startCapture([&ended] { ++ended; }), std::nullopt);
        QTRY_COMPARE(ended, 1);
        QVERIFY(readAll(m_messages)
                    .startsWith(QStringLiteral(
                        "⚠️ Could not capture the screen: the desktop's screenshot portal did not take")));
        m_portal.offersScreenshot = true;
    }

    // Last: it takes the fake off the bus.
    void withoutAPortalTheCaptureDoesNotStart()
    {
        QVERIFY(m_portalBus.unregisterService(QStringLiteral("org.freedesktop.portal.Desktop")));
        PortalScreenCaptureService service(m_clientBus);
        int ended = 0;
        const auto reason = service.startCapture([&ended] { ++ended; });
        QCOMPARE(reason, std::optional<QString>(QStringLiteral("the desktop offers no screenshot portal")));
        QVERIFY(!PortalScreenCaptureService::create(m_clientBus));
        QVERIFY(passEventLoop());
        QCOMPARE(ended, 0);
        QCOMPARE(readAll(m_messages), QString());
    }

private:
    PrivateSessionBus m_bus;
    QDBusConnection m_portalBus {QString()};
    QDBusConnection m_clientBus {QString()};
    FakePortal m_portal;
    QWidget m_window;
    std::FILE* m_messages = nullptr;
};

QTEST_MAIN(TestPortalScreenCapture)
#include "tst_portalscreencapture.moc"
