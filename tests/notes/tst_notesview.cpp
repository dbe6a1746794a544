#include <memory>

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "notes/NotesBanner.h"
#include "notes/NotesStore.h"
#include "notes/NotesView.h"
#include "support/FileBytes.h"
#include "support/ManualClock.h"

class TestNotesView : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<NotesStore> m_store;
    std::unique_ptr<NotesView> m_view;

    QString notesPath() const { return m_dir->filePath(QStringLiteral("Quillnook.txt")); }
    QPlainTextEdit* editor() const { return m_view->editor(); }
    bool placeholderShown() const { return m_view->placeholder()->isVisible(); }

    // Starts the store from a notes file, as the application does.
    void open(const QByteArray& fileContent, const QString& folder = {}, Clock* clock = nullptr)
    {
        if (!fileContent.isNull()) {
            QFile file(notesPath());
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(fileContent);
        }
        m_store = std::make_unique<NotesStore>(folder.isEmpty() ? m_dir->path() : folder,
                                               m_dir->filePath(QStringLiteral("state")), nullptr, nullptr, clock);
        m_view = std::make_unique<NotesView>(*m_store);
        m_view->resize(360, 500);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowActive(m_view.get()));
        editor()->setFocus();
    }

    void type(int key, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::keyClick(m_view->windowHandle(), Qt::Key(key), modifiers);
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

    void placeholderShowsOnlyForEmptyText_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("shown");
        QTest::newRow("no file") << QByteArray() << true;
        QTest::newRow("empty file") << QByteArray("") << true;
        QTest::newRow("a single space") << QByteArray(" ") << false;
        QTest::newRow("a line break") << QByteArray("\n") << false;
        QTest::newRow("text") << QByteArray("milk") << false;
    }
    void placeholderShowsOnlyForEmptyText()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, shown);
        open(file);
        QCOMPARE(placeholderShown(), shown);
        QCOMPARE(m_view->placeholder()->text(), QStringLiteral("Jot something down…"));
        QCOMPARE(editor()->toPlainText(), QString::fromUtf8(file));
    }

    void placeholderFollowsTyping()
    {
        open(QByteArray());
        QVERIFY(placeholderShown());
        type(Qt::Key_Space);
        QVERIFY(!placeholderShown());
        type(Qt::Key_Backspace);
        QVERIFY(placeholderShown());
        type(Qt::Key_K);
        QVERIFY(!placeholderShown());
        // Behind the editor: what covers the hint is the editor.
        const QPoint onHint = m_view->placeholder()->geometry().center();
        QWidget* hit = m_view->childAt(onHint);
        QVERIFY(hit == editor() || editor()->isAncestorOf(hit));
    }

    void clickingThePlaceholderPlacesTheCaret()
    {
        open(QByteArray());
        editor()->clearFocus();
        QVERIFY(!editor()->hasFocus());
        QTest::mouseClick(m_view->windowHandle(), Qt::LeftButton, {}, m_view->placeholder()->geometry().center());
        QVERIFY(editor()->hasFocus());
        type(Qt::Key_H);
        type(Qt::Key_I);
        QCOMPARE(m_store->text(), QStringLiteral("hi"));
    }

    void typingReachesTheFileHalfASecondAfterTheLastKey()
    {
        ManualClock clock;
        open(QByteArray(), {}, &clock);
        QSignalSpy saved(m_store.get(), &NotesStore::saved);
        for (const int key : {Qt::Key_H, Qt::Key_E, Qt::Key_L, Qt::Key_L, Qt::Key_O}) {
            type(key);
            clock.advance(120);
        }
        // The pauses between keys were too short for a save.
        QVERIFY(!QFile::exists(notesPath()));
        clock.advance(NotesStore::SaveDelayMs - 120 - 1);
        QCOMPARE(saved.count(), 0);
        clock.advance(1);
        QCOMPARE(saved.count(), 1);
        QCOMPARE(readBytes(notesPath()), QByteArray("hello"));
        clock.advance(NotesStore::RetryDelayMs * 2);
        QCOMPARE(saved.count(), 1);
    }

    void selectAllAndDeleteSavesTheEmptyText()
    {
        open(QByteArray("buy stamps\ncall Ana"));
        QVERIFY(!placeholderShown());
        type(Qt::Key_A, Qt::ControlModifier);
        type(Qt::Key_Delete);
        QVERIFY(placeholderShown());
        QCOMPARE(m_store->text(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(readBytes(notesPath()), QByteArray(""), 3000);
    }

    void storeChangesReplaceTheEditorText()
    {
        open(QByteArray("first line\nsecond line"));
        QTextCursor caret = editor()->textCursor();
        caret.setPosition(5);
        editor()->setTextCursor(caret);

        m_store->setText(QStringLiteral("first line\nsecond line\nthird line"));
        QCOMPARE(editor()->toPlainText(), QStringLiteral("first line\nsecond line\nthird line"));
        // The caret stays where the user left it.
        QCOMPARE(editor()->textCursor().position(), 5);
        type(Qt::Key_X);
        QCOMPARE(m_store->text(), QStringLiteral("firstx line\nsecond line\nthird line"));

        m_store->setText(QString());
        QCOMPARE(editor()->toPlainText(), QString());
        QVERIFY(placeholderShown());
        // Undo must not bring back text the store no longer has behind its back.
        type(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(editor()->toPlainText(), m_store->text());
    }

    void typingInALargeNoteLandsAtTheCaret()
    {
        // About a megabyte: ten thousand lines of a hundred characters.
        QByteArray big;
        const QByteArray line = QByteArray(99, 'n') + '\n';
        for (int i = 0; i < 10000; ++i)
            big += line;
        open(big);
        QTRY_VERIFY(!m_view->isFilling());
        QTextCursor caret = editor()->textCursor();
        caret.setPosition(big.size() / 2);
        editor()->setTextCursor(caret);
        const int scroll = editor()->verticalScrollBar()->value();

        // How fast each key goes is measured by bench_notes_typing.
        for (int i = 0; i < 40; ++i)
            type(Qt::Key_W);
        QCOMPARE(m_store->text().size(), big.size() + 40);
        QCOMPARE(m_store->text().mid(big.size() / 2, 40), QString(40, QLatin1Char('w')));
        QCOMPARE(editor()->textCursor().position(), big.size() / 2 + 40);
        // Kept in view, not thrown back to the top.
        QVERIFY(qAbs(editor()->verticalScrollBar()->value() - scroll) <= 2);
    }

    void editsReachTheStoreExactly_data()
    {
        QTest::addColumn<QTestEventList>("events");
        QTest::addColumn<QString>("result");
        const QString start = QStringLiteral("one\ntwo\nthree");
        QTestEventList middle;
        middle.addKeyClick(Qt::Key_Down);
        middle.addKeyClick(Qt::Key_End);
        middle.addKeyClicks(QStringLiteral("!?"));
        QTest::newRow("typing in the middle") << middle << QStringLiteral("one\ntwo!?\nthree");
        QTestEventList lines;
        lines.addKeyClick(Qt::Key_End);
        lines.addKeyClick(Qt::Key_Return);
        lines.addKeyClick(Qt::Key_Return);
        lines.addKeyClick(Qt::Key_Backspace);
        lines.addKeyClick(Qt::Key_Down);
        lines.addKeyClick(Qt::Key_Home);
        lines.addKeyClick(Qt::Key_Backspace);
        QTest::newRow("line breaks added and joined") << lines << QStringLiteral("one\ntwo\nthree");
        QTestEventList across;
        across.addKeyClick(Qt::Key_Right);
        across.addKeyClick(Qt::Key_Down, Qt::ShiftModifier);
        across.addKeyClick(Qt::Key_Delete);
        QTest::newRow("deleting across lines") << across << QStringLiteral("owo\nthree");
        QTestEventList paste;
        paste.addKeyClick(Qt::Key_End, Qt::ControlModifier);
        paste.addKeyClick(Qt::Key_V, Qt::ControlModifier);
        QTest::newRow("pasting lines at the end") << paste << QStringLiteral("one\ntwo\nthreep1\np2\n");
        QTestEventList replaceAll;
        replaceAll.addKeyClick(Qt::Key_A, Qt::ControlModifier);
        replaceAll.addKeyClicks(QStringLiteral("x"));
        QTest::newRow("select all and type") << replaceAll << QStringLiteral("x");
        QTestEventList undo;
        undo.addKeyClick(Qt::Key_A, Qt::ControlModifier);
        undo.addKeyClick(Qt::Key_Delete);
        undo.addKeyClick(Qt::Key_Z, Qt::ControlModifier);
        undo.addKeyClick(Qt::Key_End, Qt::ControlModifier);
        undo.addKeyClicks(QStringLiteral("s"));
        undo.addKeyClick(Qt::Key_Z, Qt::ControlModifier);
        undo.addKeyClick(Qt::Key_Y, Qt::ControlModifier);
        QTest::newRow("undo and redo") << undo << QStringLiteral("one\ntwo\nthrees");
        Q_UNUSED(start);
    }
    void editsReachTheStoreExactly()
    {
        QFETCH(QTestEventList, events);
        QFETCH(QString, result);
        open(QByteArray("one\ntwo\nthree"));
        QGuiApplication::clipboard()->setText(QStringLiteral("p1\np2\n"));
        editor()->moveCursor(QTextCursor::Start);
        events.simulate(editor());
        QCOMPARE(editor()->toPlainText(), result);
        QCOMPARE(m_store->text(), result);
        QVERIFY(m_store->save());
        QCOMPARE(readBytes(notesPath()), result.toUtf8());
    }

    void lineEndsAndMarkStayOutOfSightAndOnDisk()
    {
        open(QByteArray("\xef\xbb\xbf"
                        "a\r\nb"));
        QCOMPARE(editor()->toPlainText(), QStringLiteral("a\nb"));
        editor()->moveCursor(QTextCursor::End);
        type(Qt::Key_C);
        type(Qt::Key_Return);
        type(Qt::Key_D);
        QVERIFY(m_store->save());
        QCOMPARE(readBytes(notesPath()),
                 QByteArray("\xef\xbb\xbf"
                            "a\r\nbc\r\nd"));
    }

    void theBannerShowsAFailedSaveUntilASaveSucceeds()
    {
        // A file where the folder should be: nothing can be written, even as root.
        const QString blocker = m_dir->filePath(QStringLiteral("blocker"));
        QFile(blocker).open(QIODevice::WriteOnly);
        open(QByteArray(), blocker + QStringLiteral("/docs"));
        NotesBanner* banner = m_view->banner();
        QVERIFY(banner->isHidden());
        type(Qt::Key_A);
        QTRY_VERIFY(banner->isVisible());
        QCOMPARE(banner->text(), QStringLiteral("Could not save notes: Not a directory"));
        QCOMPARE(banner->label()->accessibleName(), banner->text());
        QVERIFY(banner->dismissButton()->isHidden());
        QCOMPARE(editor()->toPlainText(), QStringLiteral("a"));

        QVERIFY(QFile::remove(blocker));
        type(Qt::Key_B);
        QTRY_VERIFY(banner->isHidden());
        QCOMPARE(readBytes(blocker + QStringLiteral("/docs/Quillnook.txt")), QByteArray("ab"));
    }

    void theBannerSaysWhereUnreadableBytesGo()
    {
        open(QByteArray("caf\xe9"));
        NotesBanner* banner = m_view->banner();
        QVERIFY(banner->isVisible());
        QVERIFY(banner->text().contains(QStringLiteral("could not be read as UTF-8 text")));
        QVERIFY(banner->text().contains(notesPath() + QStringLiteral(".unreadable")));
        // Until the bytes are moved aside the notice cannot be put away, so
        // no ✕ offers to.
        QVERIFY(banner->dismissButton()->isHidden());
        type(Qt::Key_N);
        QVERIFY(m_store->save());
        QCOMPARE(readBytes(notesPath() + QStringLiteral(".unreadable")), QByteArray("caf\xe9"));
        QVERIFY(banner->text().contains(QStringLiteral("are kept in")));
        QVERIFY(banner->dismissButton()->isVisible());
        QTest::mouseClick(banner->dismissButton(), Qt::LeftButton);
        QVERIFY(banner->isHidden());
    }

    void aLargeNoteArrivesInPiecesAndTakesNoTypingMeanwhile()
    {
        const QByteArray big = QByteArray(79, 'b').append('\n').repeated(50'000);
        open(big);
        QVERIFY(m_view->isFilling());
        QVERIFY(editor()->isReadOnly());
        QVERIFY(editor()->document()->characterCount() < big.size());
        type(Qt::Key_Z);
        QTRY_VERIFY(!m_view->isFilling());
        QVERIFY(!editor()->isReadOnly());
        QCOMPARE(editor()->toPlainText().size(), big.size());
        QCOMPARE(m_store->text().size(), big.size());
        QVERIFY(!m_store->hasUnsavedChanges());
        type(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(editor()->document()->characterCount() - 1, big.size());
    }

    void anOutsideChangeIsShownWithTheCaretKept()
    {
        open(QByteArray("line one\nline two"));
        QTextCursor caret = editor()->textCursor();
        caret.setPosition(6);
        editor()->setTextCursor(caret);
        QFile file(notesPath());
        QVERIFY(file.open(QIODevice::Append));
        file.write("\nline three");
        file.close();
        QTRY_COMPARE(editor()->toPlainText(), QStringLiteral("line one\nline two\nline three"));
        QCOMPARE(editor()->textCursor().position(), 6);
        QVERIFY(!m_store->hasUnsavedChanges());
    }

    void anOutsideChangeIsOneUndoStep()
    {
        open(QByteArray("mine\nline two"));
        editor()->moveCursor(QTextCursor::End);
        type(Qt::Key_X);
        QVERIFY(m_store->save());
        NotesBanner* banner = m_view->banner();
        for (const bool byButton : {false, true}) {
            // A sync tool puts its older copy back over the saved text.
            QFile copy(notesPath() + QStringLiteral(".sync"));
            QVERIFY(copy.open(QIODevice::WriteOnly));
            copy.write("mine\nline two");
            copy.close();
            QVERIFY(QFile::rename(copy.fileName(), notesPath())
                    || (QFile::remove(notesPath()) && copy.rename(notesPath())));
            QTRY_COMPARE(editor()->toPlainText(), QStringLiteral("mine\nline two"));
            QTRY_COMPARE(banner->text(), QStringLiteral("Quillnook.txt was changed by another program"));
            QVERIFY(banner->undoButton()->isVisible());
            QCOMPARE(banner->undoButton()->accessibleName(), QStringLiteral("Undo"));
            if (byButton)
                QTest::mouseClick(banner->undoButton(), Qt::LeftButton);
            else
                type(Qt::Key_Z, Qt::ControlModifier);
            QCOMPARE(editor()->toPlainText(), QStringLiteral("mine\nline twox"));
            QCOMPARE(m_store->text(), QStringLiteral("mine\nline twox"));
            QTRY_VERIFY(banner->isHidden());
            QVERIFY(m_store->save());
            QCOMPARE(readBytes(notesPath()), QByteArray("mine\nline twox"));
        }
    }

    void charactersShownDifferentlyGoBackAsRead()
    {
        // No-break space, line and paragraph separators, NUL and a lone CR,
        // in a file of mixed line ends.
        const QByteArray bytes("a\xc2\xa0"
                               "b\r\nc\xe2\x80\xa8"
                               "d\ne\xe2\x80\xa9"
                               "f\rg\x00h\r\nlast",
                               27);
        open(bytes);
        editor()->moveCursor(QTextCursor::End);
        type(Qt::Key_Y);
        QTRY_COMPARE(m_store->text().size(), editor()->document()->characterCount() - 1);
        QVERIFY(m_store->save());
        QCOMPARE(readBytes(notesPath()), bytes + "y");
        // Typed in the middle, too.
        editor()->moveCursor(QTextCursor::Start);
        editor()->moveCursor(QTextCursor::Down);
        type(Qt::Key_Z);
        QVERIFY(m_store->save());
        QCOMPARE(readBytes(notesPath()), QByteArray(bytes).insert(6, 'z') + "y");
    }

    void aNoteTooBigToEditIsShownReadOnly()
    {
        const QByteArray bytes = "first\n" + QByteArray(150'000, 'L') + "\nlast";
        open(bytes);
        QTRY_VERIFY(!m_view->isFilling());
        QVERIFY(editor()->isReadOnly());
        QVERIFY(m_view->banner()->isVisible());
        QVERIFY(m_view->banner()->openButton()->isVisible());
        QCOMPARE(m_view->banner()->openButton()->accessibleName(), QStringLiteral("Open in Text Editor"));
        QVERIFY(m_view->banner()->dismissButton()->isHidden());
        const QString shown = editor()->toPlainText();
        QVERIFY(shown.startsWith(QStringLiteral("first\nLLLL")));
        QVERIFY(shown.endsWith(QStringLiteral("(140000 more characters)\nlast")));
        type(Qt::Key_Q);
        QVERIFY(m_store->save());
        QCOMPARE(readBytes(notesPath()), bytes);

        // A huge note shows its beginning only, and becomes editable once
        // the file is of ordinary size again.
        const QByteArray huge = QByteArray(99, 'h').append('\n').repeated(210'000);
        QFile file(notesPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(huge);
        file.close();
        QTRY_VERIFY(m_view->banner()->text().startsWith(QStringLiteral("This note is 21 MB")));
        QTRY_VERIFY(!m_view->isFilling());
        QVERIFY(editor()->isReadOnly());
        QVERIFY(editor()->toPlainText().endsWith(QStringLiteral(" more characters in the file)")));
        QVERIFY(editor()->document()->characterCount() < NotesView::ShownNoteLength + 1000);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("small");
        file.close();
        QTRY_COMPARE(editor()->toPlainText(), QStringLiteral("small"));
        QTRY_VERIFY(!editor()->isReadOnly());
        QVERIFY(m_view->banner()->isHidden());
    }
};

QTEST_MAIN(TestNotesView)
#include "tst_notesview.moc"
