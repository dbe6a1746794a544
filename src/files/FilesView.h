#pragma once

#include <QUrl>
#include <QWidget>

class FileDropZone;
class FilePreview;
class FileRow;
class FilesListModel;
class FilesStore;
class QLabel;
class QListView;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QToolButton;
class WebEngineProvider;

// The Files tool: a header (the count and "Add", or in preview mode the way
// back, the file's name and "Open in default app"), a divider, and the list
// of shelf entries, the empty drop zone, or the preview of one file. Files
// dropped anywhere on it, or chosen with "Add", are copied onto the shelf.
class FilesView : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QUrl previewingURL READ previewingURL WRITE setPreviewingURL NOTIFY previewingURLChanged)
    Q_PROPERTY(bool dropTargeted READ isDropTargeted NOTIFY dropTargetedChanged)

public:
    static constexpr int HeaderPadding = 10;

    explicit FilesView(FilesStore& store, WebEngineProvider* webEngines = nullptr, QWidget* parent = nullptr);
    ~FilesView() override;

    // Empty in list mode.
    QUrl previewingURL() const { return m_previewingURL; }
    void setPreviewingURL(const QUrl& url);
    bool isDropTargeted() const { return m_dropTargeted; }

    // "0 files", "1 file", "2 files".
    static QString countText(qsizetype count);

    // Opens the file picker and copies every chosen file onto the shelf.
    void pick();

    QLabel* countLabel() const { return m_countText; }
    QPushButton* addButton() const { return m_add; }
    QPushButton* backButton() const { return m_back; }
    QLabel* previewNameLabel() const { return m_previewName; }
    QToolButton* openButton() const { return m_open; }
    QListView* listView() const { return m_list; }
    QToolButton* deleteButton() const { return m_delete; }
    // On the current row: sends the chosen rows' files to the chat.
    QToolButton* sendButton() const { return m_send; }
    // The chosen rows' files, the current row's when none is chosen.
    QList<QUrl> selectedUrls() const;
    // One line under the header that tells why something was not done.
    void showNotice(const QString& message);
    FileDropZone* dropZone() const { return m_dropZone; }
    FilePreview* preview() const { return m_preview; }
    // Names the imports of the latest drop or pick that failed.
    QLabel* importNotice() const { return m_importNotice; }
    // Shown while copies run: what is being copied, how far, and Cancel.
    QWidget* progressRow() const { return m_progressRow; }
    QLabel* progressText() const { return m_progressText; }
    QPushButton* cancelButton() const { return m_cancel; }
    // Where "Choose Files…" opens: the folder last chosen from, else home.
    QString pickFolder() const;
    FilesListModel* model() const { return m_model; }
    QWidget* currentContent() const;

signals:
    void previewingURLChanged(const QUrl& url);
    void dropTargetedChanged(bool targeted);
    // "Send to Chat" or Ctrl+Return on the list.
    void sendToChatRequested(const QList<QUrl>& files);

protected:
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildListHeader();
    void buildPreviewHeader();
    void updateContent();
    void updateCount();
    void updatePreviewName();
    void placeDeleteButton();
    void placeSendButton();
    void setDropTargeted(bool targeted);
    void deleteCurrent();
    void openCurrent();
    void applyLooks();
    void addNotice(const QString& message, const QUrl& file);
    void clearNotices();
    void showNotices();
    void showProgress(const QString& name, qint64 done, qint64 total);

    FilesStore& m_store;
    FilesListModel* m_model = nullptr;
    FileRow* m_rowLook = nullptr;
    QUrl m_previewingURL;
    bool m_dropTargeted = false;
    // The entry that had the keyboard before the list was re-read.
    QUrl m_currentBeforeReset;
    int m_currentRowBeforeReset = -1;
    int m_scrollBeforeReset = 0;

    QStackedWidget* m_header = nullptr;
    QWidget* m_listHeader = nullptr;
    QLabel* m_countIcon = nullptr;
    QLabel* m_countText = nullptr;
    QPushButton* m_add = nullptr;
    QWidget* m_previewHeader = nullptr;
    QPushButton* m_back = nullptr;
    QLabel* m_previewName = nullptr;
    QToolButton* m_open = nullptr;
    QWidget* m_divider = nullptr;
    QLabel* m_importNotice = nullptr;
    struct Notice
    {
        QString message;
        // A delete's notice goes once its entry has gone; empty otherwise.
        QUrl entry;
    };
    QList<Notice> m_notices;
    QWidget* m_progressRow = nullptr;
    QLabel* m_progressText = nullptr;
    QProgressBar* m_progressBar = nullptr;
    QPushButton* m_cancel = nullptr;
    QString m_lastPickFolder;
    QStackedWidget* m_content = nullptr;
    QListView* m_list = nullptr;
    QWidget* m_listPane = nullptr;
    QToolButton* m_delete = nullptr;
    QToolButton* m_send = nullptr;
    FileDropZone* m_dropZone = nullptr;
    FilePreview* m_preview = nullptr;
};
