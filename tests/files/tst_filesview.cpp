#include <memory>
#include <utility>

#include <QAccessible>
#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "app/PanelFixture.h"
#include "files/FileCopy.h"
#include "files/FileDropZone.h"
#include "files/FilePreview.h"
#include "files/FileRow.h"
#include "files/FilesListModel.h"
#include "files/FilesStore.h"
#include "files/FilesView.h"
#include "support/FileBytes.h"
#include "support/StdoutCapture.h"

namespace {
// Imports run on a worker thread; this waits for the one asked for.
void importNow(FilesStore& store, const QUrl& url)
{
    QSignalSpy finished(&store, &FilesStore::importsFinished);
    store.importFile(url);
    if (store.isImporting())
        QVERIFY(finished.wait(20000));
}

QStringList names(const FilesStore& store)
{
    QStringList result;
    for (const QUrl& url : store.files())
        result.append(url.fileName());
    return result;
}

// Receives what "Open in default app" hands to the desktop.
class OpenedUrls : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl& url) { urls.append(url); }
};

// Answers the next modal file dialog once it is up.
void answerFileDialog(std::function<void(QFileDialog*)> answer)
{
    auto* poll = new QTimer;
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, answer] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        answer(dialog);
    });
    poll->start();
}
} // namespace

class TestFilesView : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FilesStore> m_store;
    std::unique_ptr<FilesView> m_view;

    QString shelf() const { return m_store->folderPath(); }
    QString outside(const QString& name) const { return m_dir->filePath(QStringLiteral("outside/") + name); }

    void makeView(const QStringList& onShelf = {})
    {
        for (const QString& name : onShelf)
            writeBytes(m_dir->filePath(QStringLiteral("Documents/QuillnookFiles/") + name), "on the shelf");
        m_store = std::make_unique<FilesStore>(m_dir->filePath(QStringLiteral("Documents")));
        m_view = std::make_unique<FilesView>(*m_store);
        m_view->resize(360, 520);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    }

    QPoint rowPoint(int row, bool onTrash = false) const
    {
        const QRect rect = m_view->listView()->visualRect(m_view->model()->index(row));
        return onTrash ? FileRow::trashRect(rect).center() : QPoint(rect.left() + 60, rect.center().y());
    }

    // The delete button's place, in the list's viewport.
    QRect trashPlace() const
    {
        QToolButton* trash = m_view->deleteButton();
        return QRect(m_view->listView()->viewport()->mapFromGlobal(trash->mapToGlobal(QPoint())), trash->size());
    }

    void sendDrop(const QList<QUrl>& urls, QWidget* over)
    {
        QMimeData mime;
        mime.setUrls(urls);
        const QPoint at = over->mapTo(m_view.get(), over->rect().center());
        QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(m_view.get(), &enter);
        QVERIFY(enter.isAccepted());
        QCOMPARE(enter.dropAction(), Qt::CopyAction);
        QVERIFY(m_view->isDropTargeted());
        QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(m_view.get(), &drop);
        QVERIFY(drop.isAccepted());
        QVERIFY(!m_view->isDropTargeted());
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }
    void cleanup()
    {
        m_view.reset();
        m_store.reset();
        m_dir.reset();
    }

    void countLabelAndContent_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("count");
        QTest::newRow("empty") << QStringList() << u"0 files"_qs;
        QTest::newRow("one") << QStringList {u"a.txt"_qs} << u"1 file"_qs;
        QTest::newRow("two") << QStringList {u"a.txt"_qs, u"b.txt"_qs} << u"2 files"_qs;
        QTest::newRow("eleven") << QStringList {u"1"_qs, u"2"_qs, u"3"_qs, u"4"_qs,  u"5"_qs, u"6"_qs,
                                                u"7"_qs, u"8"_qs, u"9"_qs, u"10"_qs, u"11"_qs}
                                << u"11 files"_qs;
    }
    void countLabelAndContent()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, count);
        makeView(files);
        QCOMPARE(m_view->countLabel()->text(), count);
        QVERIFY(m_view->addButton()->isVisible());
        QCOMPARE(m_view->currentContent(),
                 files.isEmpty() ? static_cast<QWidget*>(m_view->dropZone())
                                 : static_cast<QWidget*>(m_view->listView()));
        QCOMPARE(m_view->model()->rowCount(), files.size());
    }

    void oddNamesShowOnOneLine_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain") << u"with spaces.txt"_qs << u"with spaces.txt"_qs;
        QTest::newRow("emoji") << u"😀 notes.png"_qs << u"😀 notes.png"_qs;
        QTest::newRow("newline") << u"new\nline.txt"_qs << u"new↵line.txt"_qs;
        QTest::newRow("carriage return and tab") << u"a\rb\tc"_qs << u"a↵b�c"_qs;
    }
    void oddNamesShowOnOneLine()
    {
        QFETCH(QString, name);
        QFETCH(QString, shown);
        QCOMPARE(FileRow::oneLineName(name), shown);

        writeBytes(outside(name), "x");
        makeView();
        importNow(*m_store, QUrl::fromLocalFile(outside(name)));
        QCOMPARE(m_view->model()->index(0).data().toString(), name);
        m_view->setPreviewingURL(m_store->files().constFirst());
        QVERIFY(!m_view->previewNameLabel()->text().contains(QLatin1Char('\n')));
        QCOMPARE(m_view->previewNameLabel()->accessibleName(), name);
    }

    void rowsShowNameSizeAndIcon()
    {
        writeBytes(outside(QStringLiteral("empty.txt")), QByteArray());
        writeBytes(outside(QStringLiteral("data.bin")), QByteArray(1500, 'x'));
        makeView();
        importNow(*m_store, QUrl::fromLocalFile(outside(QStringLiteral("empty.txt"))));
        importNow(*m_store, QUrl::fromLocalFile(outside(QStringLiteral("data.bin"))));
        const FilesListModel* model = m_view->model();
        QCOMPARE(model->rowCount(), 2);
        const QLocale locale;
        QCOMPARE(model->index(0).data().toString(), u"data.bin"_qs);
        QCOMPARE(model->index(0).data(FilesListModel::SizeTextRole).toString(),
                 locale.formattedDataSize(1500, 1, QLocale::DataSizeSIFormat));
        QVERIFY(model->index(0).data(FilesListModel::SizeTextRole).toString().contains(u"1.5"_qs));
        // Zero bytes still says so.
        QCOMPARE(model->index(1).data(FilesListModel::SizeTextRole).toString(),
                 locale.formattedDataSize(0, 1, QLocale::DataSizeSIFormat));
        QVERIFY(!model->index(1).data(FilesListModel::SizeTextRole).toString().isEmpty());
        QVERIFY(!model->index(1).data(Qt::DecorationRole).value<QIcon>().isNull());
        // Removed behind the shelf's back: no size until the row goes.
        QVERIFY(QFile::remove(shelf() + QStringLiteral("/empty.txt")));
        QCOMPARE(model->index(1).data(FilesListModel::SizeTextRole).toString(), QString());

        // Screen readers meet one list item per entry, named by the file.
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(m_view->listView());
        QVERIFY(list);
        QAccessibleInterface* first = nullptr;
        for (int i = 0; i < list->childCount() && !first; ++i) {
            if (list->child(i)->role() == QAccessible::ListItem)
                first = list->child(i);
        }
        QVERIFY(first);
        QCOMPARE(first->text(QAccessible::Name), u"data.bin"_qs);
        const auto named = [](QWidget* w) { return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name); };
        QCOMPARE(named(m_view->deleteButton()), u"Delete"_qs);
        QCOMPARE(named(m_view->addButton()), u"Add"_qs);
        QCOMPARE(named(m_view->backButton()), u"Back to Files"_qs);
        QCOMPARE(named(m_view->openButton()), u"Open in default app"_qs);
    }

    void dropImportsEveryFileAndFolder_data()
    {
        QTest::addColumn<bool>("previewing");
        QTest::newRow("list") << false;
        QTest::newRow("while previewing") << true;
    }
    void dropImportsEveryFileAndFolder()
    {
        QFETCH(bool, previewing);
        writeBytes(outside(QStringLiteral("b.pdf")), "%PDF");
        writeBytes(outside(QStringLiteral("A.txt")), "a");
        writeBytes(outside(QStringLiteral("Folder/inner.png")), "png");
        makeView({u"shelved.txt"_qs});
        const QUrl shelved = m_store->files().constFirst();
        if (previewing)
            m_view->setPreviewingURL(shelved);

        sendDrop({QUrl::fromLocalFile(outside(QStringLiteral("b.pdf"))), QUrl(QStringLiteral("https://example.com/x")),
                  QUrl::fromLocalFile(outside(QStringLiteral("A.txt"))),
                  QUrl::fromLocalFile(outside(QStringLiteral("Folder")))},
                 m_view->currentContent());
        QTRY_COMPARE(names(*m_store), (QStringList {u"A.txt"_qs, u"b.pdf"_qs, u"Folder"_qs, u"shelved.txt"_qs}));
        QVERIFY(QFileInfo::exists(shelf() + QStringLiteral("/Folder/inner.png")));
        QCOMPARE(m_view->countLabel()->text(), u"4 files"_qs);
        QCOMPARE(m_view->previewingURL(), previewing ? shelved : QUrl());
        QCOMPARE(m_view->currentContent(),
                 previewing ? static_cast<QWidget*>(m_view->preview()) : static_cast<QWidget*>(m_view->listView()));
    }

    void failedImportsAreNamedInThePanelUntilTheNextDrop()
    {
        writeBytes(outside(QStringLiteral("good.txt")), "good");
        makeView({});
        QVERIFY(m_view->importNotice()->isHidden());

        StdoutCapture out;
        sendDrop({QUrl::fromLocalFile(outside(QStringLiteral("ghost one.txt"))),
                  QUrl::fromLocalFile(outside(QStringLiteral("good.txt"))),
                  QUrl::fromLocalFile(outside(QStringLiteral("ghost two.txt")))},
                 m_view->currentContent());
        QTRY_COMPARE(names(*m_store), QStringList {u"good.txt"_qs});
        QTRY_VERIFY(m_view->importNotice()->isVisible());
        const QStringList lines = m_view->importNotice()->text().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines.at(0).startsWith(u"Could not import ghost one.txt: "_qs), qPrintable(lines.at(0)));
        QVERIFY2(lines.at(1).startsWith(u"Could not import ghost two.txt: "_qs), qPrintable(lines.at(1)));

        sendDrop({QUrl::fromLocalFile(outside(QStringLiteral("good.txt")))}, m_view->currentContent());
        QVERIFY(m_view->importNotice()->isHidden());
    }

    void dragLooksFollowTheDrag()
    {
        writeBytes(outside(QStringLiteral("a.txt")), "a");
        makeView();
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(outside(QStringLiteral("a.txt")))});
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(m_view.get(), &enter);
        QVERIFY(m_view->isDropTargeted());
        QVERIFY(m_view->dropZone()->isTargeted());
        QTRY_COMPARE(m_view->dropZone()->accentProgress(), 1.0);
        QDragLeaveEvent leave;
        QApplication::sendEvent(m_view.get(), &leave);
        QVERIFY(!m_view->isDropTargeted());
        QTRY_COMPARE(m_view->dropZone()->accentProgress(), 0.0);
        QVERIFY(m_store->files().isEmpty());

        // Text without file URLs is no drop for the shelf.
        QMimeData text;
        text.setText(u"just words"_qs);
        QDragEnterEvent words(QPoint(50, 50), Qt::CopyAction, &text, Qt::LeftButton, {});
        QApplication::sendEvent(m_view.get(), &words);
        QVERIFY(!words.isAccepted());
        QVERIFY(!m_view->isDropTargeted());
    }

    void filePickerImportsOnlyWhenConfirmed()
    {
        writeBytes(outside(QStringLiteral("one.txt")), "1");
        writeBytes(outside(QStringLiteral("two.txt")), "2");
        makeView();
        QString acceptLabel;
        QFileDialog::FileMode mode = QFileDialog::AnyFile;
        answerFileDialog([&](QFileDialog* dialog) {
            acceptLabel = dialog->labelText(QFileDialog::Accept);
            mode = dialog->fileMode();
            dialog->reject();
        });
        QTest::mouseClick(m_view->dropZone()->chooseButton(), Qt::LeftButton);
        QCOMPARE(acceptLabel, u"Add"_qs);
        QCOMPARE(mode, QFileDialog::ExistingFiles);
        QVERIFY(m_store->files().isEmpty());

        answerFileDialog([&](QFileDialog* dialog) {
            dialog->setDirectory(outside(QString()));
            // Typed as a person would, both names in the name field.
            auto* names = dialog->findChild<QLineEdit*>(u"fileNameEdit"_qs);
            if (!names) {
                dialog->reject();
                return;
            }
            names->setText(u"\"one.txt\" \"two.txt\""_qs);
            static_cast<QDialog*>(dialog)->accept();
        });
        QTest::mouseClick(m_view->addButton(), Qt::LeftButton);
        QTRY_COMPARE(names(*m_store), (QStringList {u"one.txt"_qs, u"two.txt"_qs}));
    }

    void filePickerStartsWhereTheLastPickWas()
    {
        makeView();
        QCOMPARE(m_view->pickFolder(), QDir::homePath());
        writeBytes(outside(QStringLiteral("one.txt")), "1");
        QString opened;
        answerFileDialog([&](QFileDialog* dialog) {
            opened = dialog->directory().absolutePath();
            dialog->setDirectory(outside(QString()));
            auto* names = dialog->findChild<QLineEdit*>(u"fileNameEdit"_qs);
            if (!names) {
                dialog->reject();
                return;
            }
            names->setText(u"one.txt"_qs);
            static_cast<QDialog*>(dialog)->accept();
        });
        QTest::mouseClick(m_view->addButton(), Qt::LeftButton);
        QCOMPARE(opened, QDir::homePath());
        QTRY_COMPARE(names(*m_store), QStringList {u"one.txt"_qs});
        answerFileDialog([&](QFileDialog* dialog) {
            opened = dialog->directory().absolutePath();
            dialog->reject();
        });
        QTest::mouseClick(m_view->addButton(), Qt::LeftButton);
        QCOMPARE(opened, m_dir->filePath(QStringLiteral("outside")));
    }

    void aRunningCopyShowsProgressAndCancels()
    {
        makeView({u"big.bin"_qs});
        writeBytes(outside(QStringLiteral("big.bin")), QByteArray(32 << 20, 'n'));
        QSignalSpy finished(m_store.get(), &FilesStore::importsFinished);
        m_store->importFile(QUrl::fromLocalFile(outside(QStringLiteral("big.bin"))));
        QVERIFY(m_store->isImporting());
        // As the store reports it every tenth of a second.
        emit m_store->importProgress(u"big.bin"_qs, 8 << 20, 32 << 20);
        QVERIFY(m_view->progressRow()->isVisible());
        QCOMPARE(m_view->progressText()->text(), u"Copying big.bin… 25%"_qs);
        QCOMPARE(m_view->cancelButton()->accessibleName(), u"Cancel copy"_qs);
        QTest::mouseClick(m_view->cancelButton(), Qt::LeftButton);
        QVERIFY(finished.wait(20000));
        QVERIFY(m_view->progressRow()->isHidden());
        QFile kept(shelf() + QStringLiteral("/big.bin"));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("on the shelf"));
        QVERIFY(m_view->importNotice()->isHidden());
    }

    void aDeleteNoticeGoesWithItsFile()
    {
        writeBytes(m_dir->filePath(QStringLiteral("elsewhere/keep.txt")), "keep");
        makeView({u"Proj/a.txt"_qs, u"Proj/b.txt"_qs, u"one.txt"_qs});
        QCOMPARE(FilesListModel::byteCountText(1), u"1 byte"_qs);
        QCOMPARE(m_view->model()->index(0).data(FilesListModel::SizeTextRole).toString(), u"12 bytes"_qs);
        // Another program swaps the folder for a link while it is deleted.
        bool swapped = false;
        FileCopy::setRemoveHook([&](const QByteArray&) {
            if (!std::exchange(swapped, true)) {
                QFile::rename(shelf() + QStringLiteral("/Proj"), m_dir->filePath(QStringLiteral("away")));
                QFile::link(m_dir->filePath(QStringLiteral("elsewhere")), shelf() + QStringLiteral("/Proj"));
            }
        });
        StdoutCapture out;
        QTest::mouseClick(m_view->listView()->viewport(), Qt::LeftButton, {}, rowPoint(1, true));
        QTRY_VERIFY(m_view->importNotice()->isVisible());
        FileCopy::setRemoveHook({});
        QVERIFY(QFileInfo(shelf() + QStringLiteral("/Proj")).isSymLink());
        QVERIFY2(m_view->importNotice()->text().startsWith(u"Could not delete Proj: another program replaced it"_qs),
                 qPrintable(m_view->importNotice()->text()));
        QVERIFY(QFile::remove(shelf() + QStringLiteral("/Proj")));
        QTRY_VERIFY_WITH_TIMEOUT(m_view->importNotice()->isHidden(), 1000);
        QVERIFY(QFile::exists(m_dir->filePath(QStringLiteral("elsewhere/keep.txt"))));
    }

    void clickPreviewsAndTrashDeletes()
    {
        writeBytes(outside(QStringLiteral("report.zz9")), QByteArray(2500, 'r'));
        makeView({u"keep.txt"_qs, u"remove.txt"_qs});
        importNow(*m_store, QUrl::fromLocalFile(outside(QStringLiteral("report.zz9"))));
        QListView* list = m_view->listView();
        QCOMPARE(names(*m_store), (QStringList {u"keep.txt"_qs, u"remove.txt"_qs, u"report.zz9"_qs}));

        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowPoint(1, true));
        QTRY_COMPARE(names(*m_store), (QStringList {u"keep.txt"_qs, u"report.zz9"_qs}));
        QVERIFY(m_view->previewingURL().isEmpty());

        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowPoint(1));
        const QUrl report = QUrl::fromLocalFile(shelf() + QStringLiteral("/report.zz9"));
        QTRY_COMPARE(m_view->previewingURL(), report);
        QVERIFY(m_view->backButton()->isVisible());
        QCOMPARE(m_view->backButton()->text(), u"Files"_qs);
        QVERIFY(!m_view->backButton()->icon().isNull());
        QCOMPARE(m_view->previewNameLabel()->accessibleName(), u"report.zz9"_qs);
        QVERIFY(!m_view->addButton()->isVisible());
        // No engine here: the file's icon, name, type and size.
        FilePreview* preview = m_view->preview();
        QCOMPARE(m_view->currentContent(), preview);
        QVERIFY(preview->fallback()->isVisible());
        QCOMPARE(preview->fallbackName()->text(), u"report.zz9"_qs);
        QVERIFY(!preview->fallbackType()->text().isEmpty());
        QCOMPARE(preview->fallbackSize()->text(), QLocale().formattedDataSize(2500, 1, QLocale::DataSizeSIFormat));

        OpenedUrls opened;
        QDesktopServices::setUrlHandler(u"file"_qs, &opened, "open");
        QTest::mouseClick(m_view->openButton(), Qt::LeftButton);
        QDesktopServices::unsetUrlHandler(u"file"_qs);
        QCOMPARE(opened.urls, QList<QUrl> {report});
        QCOMPARE(m_view->previewingURL(), report);

        QTest::mouseClick(m_view->backButton(), Qt::LeftButton);
        QVERIFY(m_view->previewingURL().isEmpty());
        QCOMPARE(m_view->currentContent(), list);
        QVERIFY(m_view->addButton()->isVisible());
        QCOMPARE(preview->url(), QUrl());
    }

    void keyboardPreviewsAndDeletes()
    {
        makeView({u"a.txt"_qs, u"b.txt"_qs, u"c.txt"_qs});
        QListView* list = m_view->listView();
        m_view->setFocus();
        QVERIFY(list->hasFocus());
        QCOMPARE(list->currentIndex().row(), 0);
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(names(*m_store), (QStringList {u"a.txt"_qs, u"c.txt"_qs}));
        // The keyboard stays where the deleted row was.
        QCOMPARE(list->currentIndex().row(), 1);
        QVERIFY(m_view->deleteButton()->isVisible());
        QCOMPARE(trashPlace(), FileRow::trashRect(list->visualRect(list->currentIndex())));
        // Tab from the list reaches the row's own delete button.
        QTest::keyClick(list, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), m_view->deleteButton());
        QTest::keyClick(m_view->deleteButton(), Qt::Key_Backtab);
        QVERIFY(list->hasFocus());
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(m_view->previewingURL(), QUrl::fromLocalFile(shelf() + QStringLiteral("/c.txt")));
        QVERIFY(m_view->backButton()->hasFocus());
        QTest::keyClick(m_view->backButton(), Qt::Key_Space);
        QVERIFY(m_view->previewingURL().isEmpty());
        QVERIFY(list->hasFocus());
        // The last entry gone: the drop zone takes its place and the focus.
        m_view->deleteButton()->click();
        QTest::keyClick(list, Qt::Key_Delete);
        QVERIFY(m_store->files().isEmpty());
        QCOMPARE(m_view->currentContent(), m_view->dropZone());
        QVERIFY(m_view->dropZone()->chooseButton()->hasFocus());
    }

    void theDeleteButtonIsInTheTreeAndFollowsAResizeBehindAnotherTool()
    {
        for (const QString& name : {u"a.txt"_qs, u"b.txt"_qs})
            writeBytes(m_dir->filePath(QStringLiteral("Documents/QuillnookFiles/") + name), "on the shelf");
        m_store = std::make_unique<FilesStore>(m_dir->filePath(QStringLiteral("Documents")));
        // As in the panel: one tool of several, the others shown in turn.
        QStackedWidget tools;
        auto* view = new FilesView(*m_store);
        auto* other = new QWidget;
        tools.addWidget(view);
        tools.addWidget(other);
        tools.resize(300, 500);
        tools.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tools));
        QListView* list = view->listView();
        view->setFocus();
        QTest::keyClick(list, Qt::Key_Down);
        QToolButton* trash = view->deleteButton();
        const auto place
            = [&] { return QRect(list->viewport()->mapFromGlobal(trash->mapToGlobal(QPoint())), trash->size()); };
        QTRY_COMPARE(place(), FileRow::trashRect(list->visualRect(list->currentIndex())));

        // A screen reader finds it: a push button "Delete" among the view's controls.
        QAccessibleInterface* found = nullptr;
        QList<QAccessibleInterface*> pending {QAccessible::queryAccessibleInterface(view)};
        while (!pending.isEmpty() && !found) {
            QAccessibleInterface* node = pending.takeFirst();
            if (node->object() == trash)
                found = node;
            for (int i = 0; i < node->childCount(); ++i)
                pending << node->child(i);
        }
        QVERIFY(found);
        QCOMPARE(found->role(), QAccessible::Button);
        QCOMPARE(found->text(QAccessible::Name), u"Delete"_qs);

        // The panel grows while another tool shows; back on Files, the button
        // sits at the row's right edge, the only trash symbol of that row.
        tools.setCurrentWidget(other);
        tools.resize(520, 500);
        tools.setCurrentWidget(view);
        QTRY_COMPARE(place(), FileRow::trashRect(list->visualRect(list->currentIndex())));
        QVERIFY(trash->isVisible());
        QTest::mouseClick(trash, Qt::LeftButton);
        QTRY_COMPARE(names(*m_store), QStringList {u"a.txt"_qs});
    }

    void longListKeepsItsPlaceAcrossChanges()
    {
        QStringList many;
        for (int i = 0; i < 60; ++i)
            many.append(QStringLiteral("file %1.txt").arg(i, 2, 10, QLatin1Char('0')));
        makeView(many);
        QListView* list = m_view->listView();
        list->setFocus();
        list->setCurrentIndex(m_view->model()->index(40));
        list->scrollTo(list->currentIndex(), QAbstractItemView::PositionAtCenter);
        const int scroll = list->verticalScrollBar()->value();
        QVERIFY(scroll > 0);

        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(m_store->files().size(), 59);
        QCOMPARE(list->verticalScrollBar()->value(), scroll);
        QCOMPARE(list->currentIndex().data().toString(), u"file 41.txt"_qs);

        // Another program adds one and renames another: rows follow, place kept.
        writeBytes(shelf() + u"/file 00a.txt"_qs, "new");
        QTRY_COMPARE(m_view->model()->rowCount(), 60);
        QVERIFY(QFile::rename(shelf() + u"/file 50.txt"_qs, shelf() + u"/zz.txt"_qs));
        QTRY_COMPARE(m_view->model()->url(59).fileName(), u"zz.txt"_qs);
        QCOMPARE(list->currentIndex().data().toString(), u"file 41.txt"_qs);
        QVERIFY(qAbs(list->verticalScrollBar()->value() - scroll) <= list->visualRect(list->currentIndex()).height());
        QCOMPARE(m_view->countLabel()->text(), u"60 files"_qs);
    }

    void previewChoosesTheEngineForItsTypes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("rendered");
        QTest::newRow("pdf") << u"a.pdf"_qs << true;
        QTest::newRow("png") << u"a.png"_qs << true;
        QTest::newRow("svg") << u"a.svg"_qs << true;
        QTest::newRow("text") << u"a.txt"_qs << true;
        QTest::newRow("source") << u"a.cpp"_qs << true;
        QTest::newRow("html") << u"a.html"_qs << true;
        QTest::newRow("audio") << u"a.ogg"_qs << true;
        QTest::newRow("video") << u"a.mp4"_qs << true;
        QTest::newRow("archive") << u"a.zip"_qs << false;
        QTest::newRow("layered image") << u"a.psd"_qs << false;
        QTest::newRow("slides") << u"a.pptx"_qs << false;
    }
    void previewChoosesTheEngineForItsTypes()
    {
        QFETCH(QString, name);
        QFETCH(bool, rendered);
        QCOMPARE(FilePreview::engineRenders(QMimeDatabase().mimeTypeForFile(name, QMimeDatabase::MatchExtension)),
                 rendered);
    }

    void filesToolSitsInThePanel()
    {
        PanelFixture fixture(QRect(300, 0, 360, 580));
        FilesView* files = fixture.view->filesView();
        QVERIFY(files);
        QCOMPARE(fixture.view->toolView(ContentView::Files), files);
        QCOMPARE(fixture.view->filesStore()->folderPath(), fixture.dir.filePath(u"QuillnookFiles"_qs));
        QVERIFY(QFileInfo(fixture.dir.filePath(u"QuillnookFiles"_qs)).isDir());
        fixture.view->setSelectedTab(ContentView::Files);
        fixture.panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&fixture.panel));
        QVERIFY(files->isVisible());
        QCOMPARE(files->countLabel()->text(), u"0 files"_qs);
    }
};

QTEST_MAIN(TestFilesView)
#include "tst_filesview.moc"
