// The Files tool's drawn symbols, pixel for pixel: every symbol in a row, at
// the sizes and line widths the views use, against sheets kept beside this
// test. A change to the drawing that moves a pixel shows here; a change meant
// to move pixels writes new sheets with QUILLNOOK_WRITE_SYMBOL_SHEETS=1.
#include <QDir>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QTest>

#include "ui/FileSymbols.h"

namespace {
using FileSymbols::Symbol;

constexpr Symbol All[] = {Symbol::Tray,  Symbol::Plus,        Symbol::ChevronLeft,   Symbol::OpenExternal,
                          Symbol::Trash, Symbol::DocumentAdd, Symbol::TrayArrowDown, Symbol::Send};

// Every symbol through paint() into boxes of `side`, one after the other.
QImage paintedRow(int side, qreal lineWidth)
{
    QImage row(side * int(std::size(All)), side, QImage::Format_ARGB32_Premultiplied);
    row.fill(Qt::transparent);
    QPainter painter(&row);
    for (std::size_t i = 0; i < std::size(All); ++i)
        FileSymbols::paint(painter, All[i], QRectF(int(i) * side, 0, side, side), QColor(0x20, 0x60, 0xC0), lineWidth);
    return row;
}

// Every symbol's icon at `size` and the device pixel `ratio`, one after the other.
QImage iconRow(int size, qreal ratio)
{
    const int side = int(size * ratio);
    QImage row(side * int(std::size(All)), side, QImage::Format_ARGB32_Premultiplied);
    row.fill(Qt::transparent);
    QPainter painter(&row);
    for (std::size_t i = 0; i < std::size(All); ++i) {
        const QIcon icon = FileSymbols::icon(All[i], QColor(0x55, 0x55, 0x55), size);
        const QPixmap pixmap = icon.pixmap(QSize(size, size), ratio);
        painter.drawImage(QPoint(int(i) * side, 0), pixmap.toImage());
    }
    return row;
}
} // namespace

class TestFileSymbols : public QObject
{
    Q_OBJECT

private slots:
    void symbolsAreDrawnAsKept_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QImage>("drawn");
        // The sizes the Files tool draws at: icons of 11 to 16 pixels on
        // ordinary and doubled screens, the row's trash, the drop zone.
        QTest::newRow("icons 11") << "icons-11" << iconRow(11, 1);
        QTest::newRow("icons 14") << "icons-14" << iconRow(14, 1);
        QTest::newRow("icons 16 doubled") << "icons-16x2" << iconRow(16, 2);
        QTest::newRow("painted 18") << "painted-18" << paintedRow(18, 1.4);
        QTest::newRow("painted 48") << "painted-48" << paintedRow(48, 1.2);
    }

    void symbolsAreDrawnAsKept()
    {
        QFETCH(QString, name);
        QFETCH(QImage, drawn);
        const QString path = QStringLiteral(QUILLNOOK_SYMBOL_SHEETS "/%1.png").arg(name);
        if (qEnvironmentVariableIntValue("QUILLNOOK_WRITE_SYMBOL_SHEETS")) {
            QVERIFY(QDir().mkpath(QStringLiteral(QUILLNOOK_SYMBOL_SHEETS)));
            QVERIFY2(drawn.save(path, "PNG"), qPrintable(path));
            return;
        }
        const QImage kept = QImage(path).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QVERIFY2(!kept.isNull(), qPrintable(path));
        QCOMPARE(drawn.size(), kept.size());
        // Sheets of nothing would match each other too.
        QImage empty(drawn.size(), drawn.format());
        empty.fill(Qt::transparent);
        QVERIFY(drawn != empty);
        if (drawn != kept) {
            const QString where = QDir::temp().filePath(name + QStringLiteral("-drawn.png"));
            drawn.save(where, "PNG");
            QFAIL(qPrintable(QStringLiteral("%1 differs from the kept sheet; drawn now: %2").arg(name, where)));
        }
    }
};

QTEST_MAIN(TestFileSymbols)
#include "tst_filesymbols.moc"
