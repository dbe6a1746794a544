#include <QImage>
#include <QRandomGenerator>
#include <QTest>

#include "platform/ScreenshotPng.h"

// The screenshot's own PNG encoder, checked against Qt's decoder.
class TestScreenshotPng : public QObject
{
    Q_OBJECT

private slots:
    void decodesToTheSamePixels_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("noise");
        QTest::newRow("one pixel") << QSize(1, 1) << false;
        // Fewer rows than a part needs, and rows that split unevenly.
        QTest::newRow("narrow and tall") << QSize(7, 301) << true;
        QTest::newRow("flat screen") << QSize(1280, 720) << false;
        QTest::newRow("busy screen") << QSize(640, 480) << true;
    }
    void decodesToTheSamePixels()
    {
        QFETCH(QSize, size);
        QFETCH(bool, noise);
        QImage image(size, QImage::Format_RGB32);
        image.fill(QColor(30, 120, 200));
        for (int y = 0; noise && y < image.height(); ++y) {
            auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                line[x] = 0xff000000u | QRandomGenerator::global()->generate();
        }
        const QByteArray png = ScreenshotPng::encode(image);
        QVERIFY(png.startsWith("\x89PNG\r\n\x1a\n"));
        const QImage decoded = QImage::fromData(png, "PNG");
        QCOMPARE(decoded.size(), size);
        QCOMPARE(decoded.convertToFormat(QImage::Format_RGB32), image);
        if (!noise)
            QVERIFY2(png.size() < size.width() * size.height() / 10 + 100, qPrintable(QString::number(png.size())));
    }

    // Busy and calm bands side by side, cut at rows that fall inside the
    // encoder's bands and across its parts: every row comes back, calm bands
    // still shrink, and busy ones cost little more than their raw size.
    void busyAndCalmBands()
    {
        QImage image(1000, 997, QImage::Format_RGB32);
        image.fill(QColor(250, 250, 250));
        qint64 busyBytes = 0;
        for (int y = 0; y < image.height(); ++y) {
            const bool busy = (y / 37) % 3 == 1 || y > 900;
            auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
            for (int x = 0; busy && x < image.width(); ++x)
                line[x] = 0xff000000u | QRandomGenerator::global()->generate();
            // A line of "text" in the calm rows.
            for (int x = 0; !busy && y % 7 == 0 && x < image.width(); x += 5)
                line[x] = 0xff202020u;
            busyBytes += busy ? qint64(image.width()) * 3 + 1 : 0;
        }
        const QByteArray png = ScreenshotPng::encode(image);
        QCOMPARE(QImage::fromData(png, "PNG").convertToFormat(QImage::Format_RGB32), image);
        const qint64 raw = (qint64(image.width()) * 3 + 1) * image.height();
        QVERIFY2(png.size() < busyBytes + (raw - busyBytes) / 10, qPrintable(QString::number(png.size())));
        QVERIFY2(png.size() > busyBytes, qPrintable(QString::number(png.size())));
    }

    // Converted first: what the screen gives at depth 16, and pictures with
    // an alpha channel, lose none of their colours.
    void otherPixelFormats()
    {
        QImage image(333, 129, QImage::Format_RGB16);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                image.setPixelColor(x, y, QColor::fromRgb(QRandomGenerator::global()->generate()));
        }
        const QImage decoded = QImage::fromData(ScreenshotPng::encode(image), "PNG");
        QCOMPARE(decoded.convertToFormat(QImage::Format_RGB32), image.convertToFormat(QImage::Format_RGB32));
    }

    void nullGivesNothing() { QVERIFY(ScreenshotPng::encode(QImage()).isEmpty()); }
};

QTEST_GUILESS_MAIN(TestScreenshotPng)
#include "tst_screenshotpng.moc"
