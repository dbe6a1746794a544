#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "app/PanelGeometry.h"
#include "platform/IniPreferences.h"
#include "settings/PanelSettings.h"

class TestPanelSettings : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir.emplace();
        m_path = m_dir->filePath(QStringLiteral("Quillnook.conf"));
    }

    void readsTheStoredOpacity_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<double>("opacity");
        QTest::newRow("missing") << QString() << 1.0;
        QTest::newRow("stored") << QStringLiteral("0.6") << 0.6;
        QTest::newRow("lowest the slider offers") << QStringLiteral("0.3") << 0.3;
        QTest::newRow("opaque") << QStringLiteral("1") << 1.0;
        // Outside what the slider offers: an invisible panel would still take
        // the typing, and a huge value shows a nonsense percentage.
        QTest::newRow("below the slider") << QStringLiteral("0.2") << 1.0;
        QTest::newRow("zero") << QStringLiteral("0") << 1.0;
        QTest::newRow("negative") << QStringLiteral("-5") << 1.0;
        QTest::newRow("above opaque") << QStringLiteral("1.01") << 1.0;
        QTest::newRow("huge") << QStringLiteral("1e300") << 1.0;
        QTest::newRow("not a number") << QStringLiteral("abc") << 1.0;
        QTest::newRow("not finite") << QStringLiteral("nan") << 1.0;
        QTest::newRow("a list") << QStringLiteral("0.5,0.6") << 1.0;
    }
    void readsTheStoredOpacity()
    {
        QFETCH(QString, stored);
        QFETCH(double, opacity);
        if (!stored.isNull()) {
            // Written as a person would edit the file, so a comma stays a comma.
            QFile file(m_path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("[General]\npanelOpacity=" + stored.toUtf8() + "\n");
        }
        const QByteArray before = fileBytes();
        IniPreferences prefs(m_path);
        PanelSettings settings(prefs);
        QCOMPARE(settings.opacity(), opacity);
        QCOMPARE(fileBytes(), before);
    }

    void everyWriteIsStoredAndAnnounced()
    {
        {
            QFile file(m_path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("[General]\npanelOpacity=0.850\n");
        }
        IniPreferences prefs(m_path);
        PanelSettings settings(prefs);
        QSignalSpy changed(&settings, &PanelSettings::opacityChanged);
        QCOMPARE(settings.opacity(), 0.85);

        // The same value still rewrites the preference.
        settings.setOpacity(0.85);
        QCOMPARE(changed.count(), 1);
        QVERIFY(fileBytes().contains("panelOpacity=0.85\n"));

        settings.setOpacity(0.57);
        QCOMPARE(changed.count(), 2);
        QCOMPARE(changed.last().first().toDouble(), 0.57);
        IniPreferences reread(m_path);
        QCOMPARE(PanelSettings(reread).opacity(), 0.57);
    }

    void thePanelStartsAtTheRightOfTheVisibleArea_data()
    {
        QTest::addColumn<QRectF>("visible");
        QTest::addColumn<QRectF>("expected");
        QTest::newRow("1440x900, nothing reserved") << QRectF(0, 0, 1440, 900) << QRectF(1070, 135, 360, 630);
        // A visible frame with a 25-point bar reserved along one edge.
        QTest::newRow("1440x875 at (0, 25)") << QRectF(0, 25, 1440, 875) << QRectF(1070, 156.25, 360, 612.5);
        QTest::newRow("second screen to the right") << QRectF(1920, 0, 1280, 1024) << QRectF(2870, 153.6, 320, 716.8);
        // The minimum width counts before the place is chosen.
        QTest::newRow("800x600") << QRectF(0, 0, 800, 600) << QRectF(530, 90, 260, 420);
        QTest::newRow("1024x768") << QRectF(0, 0, 1024, 768) << QRectF(754, 115.2, 260, 537.6);
        // 1440 x 900 at a scale factor of 2.
        QTest::newRow("720x450") << QRectF(0, 0, 720, 450) << QRectF(450, 67.5, 260, 315);
        QTest::newRow("too short for the minimum height") << QRectF(0, 20, 640, 300) << QRectF(370, 50, 260, 240);
        QTest::newRow("smaller than the minimum") << QRectF(100, 50, 200, 150) << QRectF(100, 50, 200, 150);
    }
    void thePanelStartsAtTheRightOfTheVisibleArea()
    {
        QFETCH(QRectF, visible);
        QFETCH(QRectF, expected);
        const QRectF rect = PanelGeometry::initialRect(visible);
        QCOMPARE(rect.x(), expected.x());
        QCOMPARE(rect.y(), expected.y());
        QCOMPARE(rect.width(), expected.width());
        QCOMPARE(rect.height(), expected.height());
    }

    void aPanelOffTheAreaComesBackInside_data()
    {
        QTest::addColumn<QRect>("frame");
        QTest::addColumn<QRect>("area");
        QTest::addColumn<QRect>("expected");
        const QRect area(0, 0, 800, 600);
        QTest::newRow("inside stays") << QRect(530, 90, 260, 420) << area << QRect(530, 90, 260, 420);
        QTest::newRow("off the right edge") << QRect(1070, 135, 360, 630) << area << QRect(440, 0, 360, 600);
        QTest::newRow("off the top left") << QRect(-50, -20, 300, 300) << area << QRect(0, 0, 300, 300);
        QTest::newRow("wider than the area") << QRect(-100, 10, 1000, 200) << area << QRect(0, 10, 800, 200);
        QTest::newRow("on a removed monitor")
            << QRect(2000, 100, 300, 400) << QRect(0, 25, 1024, 743) << QRect(724, 100, 300, 400);
    }
    void aPanelOffTheAreaComesBackInside()
    {
        QFETCH(QRect, frame);
        QFETCH(QRect, area);
        QFETCH(QRect, expected);
        const QRect fitted = PanelGeometry::fitInside(frame, area);
        QCOMPARE(fitted, expected);
        QVERIFY(area.contains(fitted));
    }

private:
    QByteArray fileBytes() const
    {
        QFile file(m_path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    std::optional<QTemporaryDir> m_dir;
    QString m_path;
};

QTEST_GUILESS_MAIN(TestPanelSettings)
#include "tst_panelsettings.moc"
