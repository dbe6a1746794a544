#include <QBuffer>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include "platform/x11/X11ClipboardService.h"
#include "support/X11TestClient.h"

// The change count as the paster reads it: right after a change, with no
// turn of the event loop in between, whichever X client made the change.
class TestX11ClipboardService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void readRightAfterAnotherClientTookTheClipboard();
    void ownerThatGoesAwayIsAChange();
    void copiesByAnotherProgramCount_data();
    void copiesByAnotherProgramCount();
    void ourOwnImageCountsAndReadsBack();
    void quietClipboardKeepsItsCount();

private:
    std::unique_ptr<X11ClipboardService> m_service;
    QTemporaryDir m_dir;
};

void TestX11ClipboardService::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QVERIFY2(QProcess::execute(QStringLiteral("xclip"), {QStringLiteral("-version")}) == 0, "xclip is needed");
    QVERIFY(m_dir.isValid());
}

void TestX11ClipboardService::init()
{
    m_service = X11ClipboardService::create();
    QVERIFY(m_service);
}

void TestX11ClipboardService::cleanup()
{
    m_service.reset();
    // An xclip left serving the clipboard quits once it loses it. Qt takes
    // the clipboard with the time of the last X event it handled, so it has
    // to see this change before it can take the clipboard back.
    QSignalSpy qtSawIt(QGuiApplication::clipboard(), &QClipboard::changed);
    QVERIFY(X11TestClient().takeClipboard());
    QTRY_VERIFY(!qtSawIt.isEmpty());
}

void TestX11ClipboardService::readRightAfterAnotherClientTookTheClipboard()
{
    X11TestClient client;
    QVERIFY(client.isConnected());
    const std::uint64_t before = m_service->changeCount();
    for (std::uint64_t taken = 1; taken <= 3; ++taken) {
        QVERIFY(client.takeClipboard());
        // No event processing here: the read itself must catch up.
        QCOMPARE(m_service->changeCount(), before + taken);
    }
}

void TestX11ClipboardService::ownerThatGoesAwayIsAChange()
{
    auto client = std::make_unique<X11TestClient>();
    QVERIFY(client->takeClipboard());
    const std::uint64_t owned = m_service->changeCount();
    // The server learns of the closed connection in its own time.
    client.reset();
    QTRY_COMPARE(m_service->changeCount(), owned + 1);
}

void TestX11ClipboardService::copiesByAnotherProgramCount_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QByteArray>("content");

    QImage image(32, 16, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
    }
    QTest::newRow("text") << QStringLiteral("UTF8_STRING") << QByteArrayLiteral("copied elsewhere");
    QTest::newRow("image") << QStringLiteral("image/png") << png;
}

void TestX11ClipboardService::copiesByAnotherProgramCount()
{
    QFETCH(QString, type);
    QFETCH(QByteArray, content);
    const QString path = m_dir.filePath(QStringLiteral("content"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), content.size());
    file.close();

    const std::uint64_t before = m_service->changeCount();
    // xclip leaves a copy of itself serving the clipboard in the background.
    QCOMPARE(QProcess::execute(QStringLiteral("xclip"),
                               {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-t"), type,
                                QStringLiteral("-i"), path}),
             0);
    QTRY_VERIFY_WITH_TIMEOUT(m_service->changeCount() > before, 5000);
    if (type == QLatin1String("image/png"))
        QTRY_COMPARE(m_service->image().size(), QSize(32, 16));
}

void TestX11ClipboardService::ourOwnImageCountsAndReadsBack()
{
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    // Another program copies first, and our claim follows before Qt's event
    // loop has seen that copy: the claim must still win.
    const QString text = m_dir.filePath(QStringLiteral("text"));
    QFile file(text);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write("copied just before"), 18);
    file.close();
    const std::uint64_t beforeCopy = m_service->changeCount();
    QCOMPARE(QProcess::execute(QStringLiteral("xclip"),
                               {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-i"), text}),
             0);
    // xclip claims from the copy it leaves in the background; wait for that
    // claim without running Qt's event loop.
    QDeadlineTimer claimed(5000);
    while (m_service->changeCount() == beforeCopy && !claimed.hasExpired())
        QThread::msleep(5);
    const std::uint64_t before = m_service->changeCount();
    QVERIFY(before > beforeCopy);
    m_service->setImage(image);
    QCOMPARE(m_service->changeCount(), before + 1);
    QCOMPARE(m_service->image().pixel(5, 5), QColor(Qt::magenta).rgb());

    // Another program reads it as a PNG file.
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"),
                {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-t"),
                 QStringLiteral("image/png")});
    QTRY_COMPARE_WITH_TIMEOUT(xclip.state(), QProcess::NotRunning, 10000);
    QCOMPARE(QImage::fromData(xclip.readAllStandardOutput(), "PNG").size(), QSize(40, 30));
}

void TestX11ClipboardService::quietClipboardKeepsItsCount()
{
    const std::uint64_t count = m_service->changeCount();
    // Reading the clipboard is no change.
    m_service->image();
    // A change that must not come gives nothing to wait for: a moment for one.
    QTest::qWait(50);
    QCOMPARE(m_service->changeCount(), count);
}

QTEST_MAIN(TestX11ClipboardService)
#include "tst_x11clipboardservice.moc"
