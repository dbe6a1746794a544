#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include "platform/x11/X11ClipboardService.h"
#include "platform/x11/X11ScreenCaptureService.h"
#include "support/EventLoopTurn.h"
#include "support/Poll.h"
#include "support/X11Tools.h"

// A capture of the real X screen, checked against what xdpyinfo reports and
// against a window of a known colour on it.
class TestX11ScreenCapture : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void capturesTheWholeScreenOntoTheClipboard();
    void otherProgramsReadTheCapture();
    void capturesOverlapAndEachEndsOnce();
    void withoutAnXServerSaysWhy();

private:
    static QSize screenSize();
    // Starts a capture and waits for its end; the clipboard's change count
    // grew by then.
    bool captureAndWait();

    std::unique_ptr<X11ClipboardService> m_clipboard;
    std::unique_ptr<X11ScreenCaptureService> m_capture;
};

QSize TestX11ScreenCapture::screenSize()
{
    const QString info = X11Tools::run(QStringLiteral("xdpyinfo"), {});
    const auto match = QRegularExpression(QStringLiteral("dimensions:\\s+(\\d+)x(\\d+) pixels")).match(info);
    return match.hasMatch() ? QSize(match.captured(1).toInt(), match.captured(2).toInt()) : QSize();
}

void TestX11ScreenCapture::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QVERIFY(screenSize().isValid());
}

void TestX11ScreenCapture::init()
{
    m_clipboard = X11ClipboardService::create();
    QVERIFY(m_clipboard);
    m_capture = std::make_unique<X11ScreenCaptureService>(*m_clipboard);
}

void TestX11ScreenCapture::cleanup()
{
    m_capture.reset();
    m_clipboard.reset();
}

bool TestX11ScreenCapture::captureAndWait()
{
    const std::uint64_t before = m_clipboard->changeCount();
    int ended = 0;
    if (const auto failure = m_capture->startCapture([&ended] { ++ended; })) {
        qWarning() << "capture did not start:" << *failure;
        return false;
    }
    if (ended != 0)
        return false; // never within the call
    if (!QTest::qWaitFor([&ended] { return ended > 0; }, 5000))
        return false;
    if (!passEventLoop())
        return false;
    return ended == 1 && m_clipboard->changeCount() > before;
}

void TestX11ScreenCapture::capturesTheWholeScreenOntoTheClipboard()
{
    QWidget marker;
    marker.setWindowFlags(Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint);
    marker.setAutoFillBackground(true);
    QPalette palette = marker.palette();
    palette.setColor(QPalette::Window, QColor(0x12, 0xC4, 0x7E));
    marker.setPalette(palette);
    marker.setGeometry(300, 200, 120, 80);
    marker.show();
    QVERIFY(QTest::qWaitForWindowExposed(&marker));
    // Exposed is not yet drawn on the screen: read the screen back until the
    // marker is on it.
    QScreen* screen = QGuiApplication::primaryScreen();
    QVERIFY(screen);
    QVERIFY(pollUntil(
        [screen] {
            return QColor(screen->grabWindow(0, 350, 230, 20, 20).toImage().pixel(10, 10)) == QColor(0x12, 0xC4, 0x7E);
        },
        10000, 20));

    // A picture whose every row differs, across the places where the capture
    // reads the screen in separate pieces.
    QImage rows(640, 600, QImage::Format_RGB32);
    for (int y = 0; y < rows.height(); ++y) {
        for (int x = 0; x < rows.width(); ++x)
            rows.setPixel(x, y, qRgb(y & 0xFF, (y >> 8) * 60 + (x & 0x3F), x >> 2));
    }
    QLabel stripes;
    stripes.setWindowFlags(Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint);
    stripes.setPixmap(QPixmap::fromImage(rows));
    stripes.setGeometry(500, 250, rows.width(), rows.height());
    stripes.show();
    QVERIFY(QTest::qWaitForWindowExposed(&stripes));
    QVERIFY(pollUntil(
        [screen, &rows] {
            return screen->grabWindow(0, 500, 250, 640, 600).toImage().convertToFormat(QImage::Format_RGB32) == rows;
        },
        10000, 20));

    QVERIFY(captureAndWait());
    const QImage image = m_clipboard->image();
    QCOMPARE(image.size(), screenSize());
    // Right way up, right colours, right place.
    QCOMPARE(QColor(image.pixel(360, 240)), QColor(0x12, 0xC4, 0x7E));
    QVERIFY(QColor(image.pixel(290, 240)) != QColor(0x12, 0xC4, 0x7E));
    // Every pixel as the screen has it, the rows in their order.
    QCOMPARE(image.copy(500, 250, 640, 600).convertToFormat(QImage::Format_RGB32), rows);
    QCOMPARE(image.convertToFormat(QImage::Format_RGB32),
             screen->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32));
}

void TestX11ScreenCapture::otherProgramsReadTheCapture()
{
    QVERIFY(captureAndWait());
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"),
                {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-t"),
                 QStringLiteral("image/png")});
    QTRY_COMPARE_WITH_TIMEOUT(xclip.state(), QProcess::NotRunning, 10000);
    QCOMPARE(QImage::fromData(xclip.readAllStandardOutput(), "PNG").size(), screenSize());
}

void TestX11ScreenCapture::capturesOverlapAndEachEndsOnce()
{
    int first = 0, second = 0;
    const std::uint64_t before = m_clipboard->changeCount();
    QVERIFY(!m_capture->startCapture([&first] { ++first; }));
    QVERIFY(!m_capture->startCapture([&second] { ++second; }));
    QTRY_VERIFY(first == 1 && second == 1);
    QVERIFY(passEventLoop());
    QCOMPARE(first, 1);
    QCOMPARE(second, 1);
    QCOMPARE(m_clipboard->changeCount(), before + 2);
}

void TestX11ScreenCapture::withoutAnXServerSaysWhy()
{
    const QByteArray display = qgetenv("DISPLAY");
    qputenv("DISPLAY", ":4242");
    X11ScreenCaptureService capture(*m_clipboard);
    bool ended = false;
    const auto failure = capture.startCapture([&ended] { ended = true; });
    qputenv("DISPLAY", display);
    QVERIFY(failure);
    QVERIFY2(failure->contains(QLatin1String(":4242")), qPrintable(*failure));
    QVERIFY(passEventLoop());
    QVERIFY(!ended);
}

QTEST_MAIN(TestX11ScreenCapture)
#include "tst_x11screencapture.moc"
