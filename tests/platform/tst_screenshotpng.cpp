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

    void nullGivesNothing() { QVERIFY(ScreenshotPng::encode(QImage()).isEmpty()); }
};

QTEST_GUILESS_MAIN(TestScreenshotPng)
#include "tst_screenshotpng.moc"
