#include "FilesView.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMimeData>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "files/FileDropZone.h"
#include "files/FilePreview.h"
#include "files/FileRow.h"
#include "files/FilesListModel.h"
#include "files/FilesStore.h"
#include "ui/FileSymbols.h"
#include "ui/PanelAccessible.h"
#include "ui/PanelStyle.h"

namespace {
constexpr int HeaderIconSize = 12;

QList<QUrl> localFileUrls(const QMimeData* mime)
{
    QList<QUrl> urls;
    if (!mime || !mime->hasUrls())
        return urls;
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile())
            urls.append(url);
    }
    return urls;
}
} // namespace

FilesView::FilesView(FilesStore& store, WebEngineProvider* webEngines, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
{
    setObjectName(QStringLiteral("Files"));
    setAccessibleName(QStringLiteral("Files"));
    setAcceptDrops(true);

    m_header = new QuietStack(this);
    buildListHeader();
    buildPreviewHeader();
    m_divider = new QWidget(this);
    m_divider->setFixedHeight(1);

    m_model = new FilesListModel(m_store, this);
    m_rowLook = new FileRow(this);
    m_list = new QListView;
    m_list->setObjectName(QStringLiteral("FilesList"));
    m_list->setAccessibleName(QStringLiteral("Files"));
    m_list->setModel(m_model);
    m_list->setItemDelegate(m_rowLook);
    // Every row is as tall as the first: the view never measures the others.
    m_list->setUniformItemSizes(true);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Rows drag out to other programs and onto the Browser's page.
    m_list->setDragEnabled(true);
    m_list->setDragDropMode(QAbstractItemView::DragOnly);
    m_list->setDefaultDropAction(Qt::CopyAction);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->viewport()->setAutoFillBackground(false);
    // One focused object for a screen reader: the list, not its viewport too.
    m_list->viewport()->setFocusProxy(nullptr);
    m_list->installEventFilter(this);

    // The list and, over its current row, that row's delete button. The
    // button is the list's sibling, not a child of its viewport: a list's
    // accessible children are its rows only, and a screen reader would
    // never find it there.
    m_listPane = new QWidget;
    m_listPane->setObjectName(QStringLiteral("FilesListPane"));
    auto* paneLayout = new QVBoxLayout(m_listPane);
    paneLayout->setContentsMargins(0, 0, 0, 0);
    paneLayout->addWidget(m_list);
    m_list->viewport()->installEventFilter(this);

    m_delete = new QToolButton(m_listPane);
    m_delete->setAccessibleName(QStringLiteral("Delete"));
    m_delete->setToolTip(QStringLiteral("Delete"));
    m_delete->setAutoRaise(true);
    m_delete->setFocusPolicy(Qt::TabFocus);
    m_delete->setFixedSize(FileRow::TrashSize, FileRow::TrashSize);
    m_delete->hide();
    connect(m_delete, &QToolButton::clicked, this, &FilesView::deleteCurrent);

    m_send = new QToolButton(m_list->viewport());
    m_send->setObjectName(QStringLiteral("SendToChat"));
    m_send->setAccessibleName(QStringLiteral("Send to Chat"));
    m_send->setToolTip(QStringLiteral("Send to Chat (Ctrl+Return)"));
    m_send->setAutoRaise(true);
    m_send->setFixedSize(FileRow::TrashSize, FileRow::TrashSize);
    m_send->setFocusPolicy(Qt::TabFocus);
    m_send->hide();
    connect(m_send, &QToolButton::clicked, this, [this] {
        const QList<QUrl> files = selectedUrls();
        if (!files.isEmpty())
            emit sendToChatRequested(files);
    });

    m_importNotice = new QLabel(this);
    m_importNotice->setObjectName(QStringLiteral("FilesImportNotice"));
    m_importNotice->setTextFormat(Qt::PlainText);
    m_importNotice->setWordWrap(true);
    m_importNotice->setContentsMargins(8, 4, 8, 4);
    m_importNotice->hide();
    // A failed copy is otherwise only a line on the terminal the user may
    // never see.
    connect(&m_store, &FilesStore::importFailed, this, [this](const QString& message) { addNotice(message, QUrl()); });
    connect(&m_store, &FilesStore::deleteFailed, this, &FilesView::addNotice);

    m_progressRow = new QWidget(this);
    m_progressRow->setObjectName(QStringLiteral("FilesProgress"));
    m_progressText = new QLabel(m_progressRow);
    m_progressText->setTextFormat(Qt::PlainText);
    m_progressText->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_progressBar = new QProgressBar(m_progressRow);
    m_progressBar->setRange(0, 1000);
    m_progressBar->setTextVisible(false);
    m_progressBar->setFixedHeight(6);
    m_progressBar->setAccessibleName(QStringLiteral("Copy progress"));
    m_cancel = new QPushButton(QStringLiteral("Cancel"), m_progressRow);
    m_cancel->setAccessibleName(QStringLiteral("Cancel copy"));
    m_cancel->setAutoDefault(false);
    connect(m_cancel, &QPushButton::clicked, &m_store, &FilesStore::cancelImports);
    auto* progressColumn = new QVBoxLayout;
    progressColumn->setSpacing(3);
    progressColumn->addWidget(m_progressText);
    progressColumn->addWidget(m_progressBar);
    auto* progressLine = new QHBoxLayout(m_progressRow);
    progressLine->setContentsMargins(HeaderPadding, 4, HeaderPadding, 4);
    progressLine->addLayout(progressColumn, 1);
    progressLine->addWidget(m_cancel, 0, Qt::AlignVCenter);
    m_progressRow->hide();
    connect(&m_store, &FilesStore::importProgress, this, &FilesView::showProgress);
    connect(&m_store, &FilesStore::importsFinished, m_progressRow, &QWidget::hide);

    m_dropZone = new FileDropZone;
    m_preview = new FilePreview(webEngines, m_store.folderPath());
    m_content = new QuietStack(this);
    m_content->addWidget(m_listPane);
    m_content->addWidget(m_dropZone);
    m_content->addWidget(m_preview);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_header);
    column->addWidget(m_divider);
    column->addWidget(m_importNotice);
    column->addWidget(m_progressRow);
    column->addWidget(m_content, 1);

    // Queued: a row's click must not re-read the list under the view's own
    // mouse handling.
    connect(m_rowLook, &FileRow::openRequested, this, &FilesView::setPreviewingURL, Qt::QueuedConnection);
    connect(
        m_rowLook, &FileRow::deleteRequested, this,
        [this](const QUrl& url) {
            clearNotices();
            m_store.deleteFile(url);
        },
        Qt::QueuedConnection);
    connect(m_dropZone, &FileDropZone::chooseRequested, this, &FilesView::pick);
    connect(&m_store, &FilesStore::filesChanged, this, [this] {
        updateCount();
        updateContent();
        // A notice about an entry that has since gone is out of date.
        const qsizetype before = m_notices.size();
        m_notices.removeIf([this](const Notice& notice) {
            return !notice.entry.isEmpty() && !m_store.files().contains(notice.entry);
        });
        if (m_notices.size() != before)
            showNotices();
    });
    connect(m_model, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        const QModelIndex current = m_list->currentIndex();
        m_currentBeforeReset = current.isValid() ? m_model->url(current.row()) : QUrl();
        m_currentRowBeforeReset = current.isValid() ? current.row() : -1;
        m_scrollBeforeReset = m_list->verticalScrollBar()->value();
    });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        // The keyboard keeps its place: on the same entry, or on the one that
        // took the place of a deleted entry.
        int row = m_model->rowOf(m_currentBeforeReset);
        if (row < 0 && m_currentRowBeforeReset >= 0)
            row = std::min(m_currentRowBeforeReset, m_model->rowCount() - 1);
        if (row >= 0)
            m_list->selectionModel()->setCurrentIndex(m_model->index(row), QItemSelectionModel::NoUpdate);
        m_list->doItemsLayout();
        m_list->verticalScrollBar()->setValue(m_scrollBeforeReset);
        placeDeleteButton();
    });
    // With several rows choosable, the view would put the keyboard on the row
    // above a deleted one; it stays in the deleted row's place instead.
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, [this] {
        if (m_currentRowBeforeReset >= 0 && m_model->rowCount() > 0) {
            const int row = std::min(m_currentRowBeforeReset, m_model->rowCount() - 1);
            m_list->selectionModel()->setCurrentIndex(m_model->index(row), QItemSelectionModel::ClearAndSelect);
        }
        m_currentRowBeforeReset = -1;
    });
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &FilesView::placeDeleteButton, Qt::QueuedConnection);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &FilesView::placeDeleteButton, Qt::QueuedConnection);
    connect(m_list->selectionModel(), &QItemSelectionModel::currentChanged, this, &FilesView::placeDeleteButton);
    connect(m_list->verticalScrollBar(), &QScrollBar::valueChanged, this, &FilesView::placeDeleteButton);
    connect(m_list->selectionModel(), &QItemSelectionModel::currentChanged, this, &FilesView::placeSendButton);
    connect(m_list->verticalScrollBar(), &QScrollBar::valueChanged, this, &FilesView::placeSendButton);
    connect(m_model, &QAbstractItemModel::modelReset, this, &FilesView::placeSendButton, Qt::QueuedConnection);

    applyLooks();
    updateCount();
    updateContent();
}

FilesView::~FilesView() = default;

void FilesView::buildListHeader()
{
    m_listHeader = new QWidget;
    m_countIcon = new QLabel(m_listHeader);
    m_countIcon->setFixedSize(HeaderIconSize + 2, HeaderIconSize + 2);
    m_countText = new QLabel(m_listHeader);
    m_add = new QPushButton(QStringLiteral("Add"), m_listHeader);
    m_add->setAccessibleName(QStringLiteral("Add"));
    m_add->setAutoDefault(false);
    connect(m_add, &QPushButton::clicked, this, &FilesView::pick);

    auto* row = new QHBoxLayout(m_listHeader);
    row->setContentsMargins(HeaderPadding, HeaderPadding, HeaderPadding, HeaderPadding);
    row->setSpacing(5);
    row->addWidget(m_countIcon, 0, Qt::AlignVCenter);
    row->addWidget(m_countText, 0, Qt::AlignVCenter);
    row->addStretch(1);
    row->addWidget(m_add, 0, Qt::AlignVCenter);
    m_header->addWidget(m_listHeader);
}

void FilesView::buildPreviewHeader()
{
    m_previewHeader = new QWidget;
    m_back = new QPushButton(QStringLiteral("Files"), m_previewHeader);
    m_back->setAccessibleName(QStringLiteral("Back to Files"));
    m_back->setFlat(true);
    m_back->setAutoDefault(false);
    connect(m_back, &QPushButton::clicked, this, [this] { setPreviewingURL(QUrl()); });
    m_previewName = new QLabel(m_previewHeader);
    m_previewName->setAlignment(Qt::AlignCenter);
    m_previewName->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_previewName->installEventFilter(this);
    m_open = new QToolButton(m_previewHeader);
    m_open->setAccessibleName(QStringLiteral("Open in default app"));
    m_open->setToolTip(QStringLiteral("Open in default app"));
    m_open->setAutoRaise(true);
    m_open->setFocusPolicy(Qt::StrongFocus);
    connect(m_open, &QToolButton::clicked, this, [this] {
        if (!m_previewingURL.isEmpty())
            QDesktopServices::openUrl(m_previewingURL);
    });

    auto* row = new QHBoxLayout(m_previewHeader);
    row->setContentsMargins(HeaderPadding, HeaderPadding, HeaderPadding, HeaderPadding);
    row->setSpacing(6);
    row->addWidget(m_back, 0, Qt::AlignVCenter);
    row->addWidget(m_previewName, 1, Qt::AlignVCenter);
    row->addWidget(m_open, 0, Qt::AlignVCenter);
    m_header->addWidget(m_previewHeader);
}

void FilesView::applyLooks()
{
    const QPalette& pal = palette();
    const QColor muted = PanelStyle::secondary(pal);
    m_countIcon->setPixmap(FileSymbols::icon(FileSymbols::Symbol::Tray, muted, HeaderIconSize).pixmap(HeaderIconSize));
    QFont count = font();
    count.setPixelSize(12);
    count.setWeight(QFont::Medium);
    m_countText->setFont(count);
    QPalette countPalette = m_countText->palette();
    countPalette.setColor(QPalette::WindowText, muted);
    m_countText->setPalette(countPalette);

    const QColor text = pal.color(QPalette::ButtonText);
    QFont button = font();
    button.setPixelSize(12);
    button.setWeight(QFont::Medium);
    m_add->setFont(button);
    m_add->setIcon(FileSymbols::icon(FileSymbols::Symbol::Plus, text, 11));
    m_add->setIconSize(QSize(11, 11));

    QFont back = font();
    back.setPixelSize(12);
    m_back->setFont(back);
    m_back->setIcon(FileSymbols::icon(FileSymbols::Symbol::ChevronLeft, pal.color(QPalette::WindowText), 12));
    m_back->setIconSize(QSize(12, 12));
    QFont caption = font();
    caption.setPixelSize(11);
    m_previewName->setFont(caption);
    QPalette namePalette = m_previewName->palette();
    namePalette.setColor(QPalette::WindowText, muted);
    m_previewName->setPalette(namePalette);
    m_open->setIcon(FileSymbols::icon(FileSymbols::Symbol::OpenExternal, pal.color(QPalette::WindowText), 15));
    m_open->setIconSize(QSize(15, 15));
    m_delete->setIcon(FileSymbols::icon(FileSymbols::Symbol::Trash, muted, 14));
    m_delete->setIconSize(QSize(14, 14));
    m_send->setIcon(FileSymbols::icon(FileSymbols::Symbol::Send, pal.color(QPalette::Highlight), 14));
    m_send->setIconSize(QSize(14, 14));

    QPalette listPalette = m_list->palette();
    listPalette.setColor(QPalette::Base, Qt::transparent);
    m_list->setPalette(listPalette);
}

void FilesView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        applyLooks();
}

QString FilesView::countText(qsizetype count)
{
    return QString::number(count) + QStringLiteral(" file") + (count == 1 ? QString() : QStringLiteral("s"));
}

void FilesView::updateCount()
{
    m_countText->setText(countText(m_store.files().size()));
}

QWidget* FilesView::currentContent() const
{
    QWidget* content = m_content->currentWidget();
    return content == m_listPane ? m_list : content;
}

void FilesView::updateContent()
{
    const bool previewing = !m_previewingURL.isEmpty();
    m_header->setCurrentWidget(previewing ? m_previewHeader : m_listHeader);
    QWidget* content = previewing   ? static_cast<QWidget*>(m_preview)
        : m_store.files().isEmpty() ? static_cast<QWidget*>(m_dropZone)
                                    : static_cast<QWidget*>(m_listPane);
    QWidget* focusTarget = previewing ? static_cast<QWidget*>(m_back) : content == m_listPane ? m_list : content;
    const bool hadFocus = isAncestorOf(QApplication::focusWidget()) || hasFocus();
    const bool switched = m_content->currentWidget() != content;
    m_content->setCurrentWidget(content);
    setFocusProxy(focusTarget);
    // The keyboard follows a switch of mode; an import that only adds a row
    // leaves it where it was.
    if (hadFocus && switched)
        focusTarget->setFocus(Qt::OtherFocusReason);
    if (content == m_listPane && !m_list->currentIndex().isValid() && m_model->rowCount() > 0)
        m_list->selectionModel()->setCurrentIndex(m_model->index(0), QItemSelectionModel::NoUpdate);
    placeDeleteButton();
    placeSendButton();
}

void FilesView::setPreviewingURL(const QUrl& url)
{
    if (url == m_previewingURL)
        return;
    m_previewingURL = url;
    if (url.isEmpty())
        m_preview->clear();
    else
        m_preview->setUrl(url);
    updatePreviewName();
    updateContent();
    emit previewingURLChanged(url);
}

void FilesView::updatePreviewName()
{
    const QString name = FilesStore::displayName(m_previewingURL);
    m_previewName->setAccessibleName(name);
    m_previewName->setToolTip(name);
    const int width = std::max(0, m_previewName->width());
    m_previewName->setText(m_previewName->fontMetrics().elidedText(FileRow::oneLineName(name), Qt::ElideRight, width));
}

void FilesView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeDeleteButton();
    placeSendButton();
}

void FilesView::placeSendButton()
{
    const QModelIndex current = m_list->currentIndex();
    const QRect row = current.isValid() ? m_list->visualRect(current) : QRect();
    if (!current.isValid() || !row.intersects(m_list->viewport()->rect()) || m_content->currentWidget() != m_listPane) {
        if (m_send->hasFocus())
            m_list->setFocus(Qt::OtherFocusReason);
        m_send->hide();
        return;
    }
    // Left of the trash.
    m_send->setGeometry(FileRow::trashRect(row).translated(-FileRow::TrashSize - 2, 0));
    m_send->show();
}

QList<QUrl> FilesView::selectedUrls() const
{
    QList<QUrl> urls;
    QModelIndexList rows = m_list->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    for (const QModelIndex& index : std::as_const(rows))
        urls.append(m_model->url(index.row()));
    if (urls.isEmpty() && m_list->currentIndex().isValid())
        urls.append(m_model->url(m_list->currentIndex().row()));
    return urls;
}

void FilesView::showNotice(const QString& message)
{
    addNotice(message, QUrl());
}

void FilesView::placeDeleteButton()
{
    const QModelIndex current = m_list->currentIndex();
    const QRect row = current.isValid() ? m_list->visualRect(current) : QRect();
    const QRect trash = FileRow::trashRect(row);
    // Only over a row wholly in sight: the button is not clipped by the list.
    if (!current.isValid() || m_content->currentWidget() != m_listPane || !m_list->viewport()->rect().contains(trash)) {
        // Keep the keyboard on the list if the button had it.
        if (m_delete->hasFocus())
            m_list->setFocus(Qt::OtherFocusReason);
        m_delete->hide();
        m_rowLook->setCoveredRow(-1);
        m_list->viewport()->update();
        return;
    }
    m_delete->setGeometry(QRect(m_list->viewport()->mapTo(m_listPane, trash.topLeft()), trash.size()));
    m_delete->show();
    m_delete->raise();
    // The button is that row's trash symbol; the row does not draw a second.
    m_rowLook->setCoveredRow(current.row());
    m_list->viewport()->update();
    QWidget::setTabOrder(m_list, m_delete);
}

void FilesView::addNotice(const QString& message, const QUrl& entry)
{
    m_notices.append({message, entry});
    showNotices();
}

void FilesView::clearNotices()
{
    m_notices.clear();
    showNotices();
}

void FilesView::showNotices()
{
    QStringList lines;
    for (const Notice& notice : std::as_const(m_notices))
        lines.append(notice.message);
    m_importNotice->setText(lines.join(QLatin1Char('\n')));
    m_importNotice->setVisible(!lines.isEmpty());
}

void FilesView::showProgress(const QString& name, qint64 done, qint64 total)
{
    const int permille = total > 0 ? int(std::min<qint64>(1000, done * 1000 / total)) : 0;
    m_progressText->setText(QStringLiteral("Copying %1… %2%").arg(name).arg(permille / 10));
    m_progressBar->setValue(permille);
    m_progressRow->show();
}

void FilesView::deleteCurrent()
{
    const QModelIndex current = m_list->currentIndex();
    if (current.isValid())
        clearNotices();
    m_currentRowBeforeReset = current.row();
    m_store.deleteFile(m_model->url(current.row()));
}

void FilesView::openCurrent()
{
    const QModelIndex current = m_list->currentIndex();
    if (current.isValid())
        setPreviewingURL(m_model->url(current.row()));
}

bool FilesView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_previewName && event->type() == QEvent::Resize)
        updatePreviewName();
    // The list is laid out anew when it is shown after the panel changed
    // size behind another tool; the button follows its row's new place.
    if (watched == m_list->viewport() && (event->type() == QEvent::Resize || event->type() == QEvent::Show))
        placeDeleteButton();
    // The list lays its rows out late: the row buttons follow once it has.
    if (watched == m_list && (event->type() == QEvent::Resize || event->type() == QEvent::Show))
        QTimer::singleShot(0, this, [this] {
            placeDeleteButton();
            placeSendButton();
        });
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (enter && (key->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier) {
            const QList<QUrl> files = selectedUrls();
            if (!files.isEmpty())
                emit sendToChatRequested(files);
            return true;
        }
        if (key->modifiers() & ~Qt::KeypadModifier)
            return QWidget::eventFilter(watched, event);
        switch (key->key()) {
        case Qt::Key_Delete:
            deleteCurrent();
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            openCurrent();
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

QString FilesView::pickFolder() const
{
    if (!m_lastPickFolder.isEmpty() && QFileInfo(m_lastPickFolder).isDir())
        return m_lastPickFolder;
    return QDir::homePath();
}

void FilesView::pick()
{
    QFileDialog dialog(this, QStringLiteral("Add Files"), pickFolder());
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Add"));
    window()->activateWindow();
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QList<QUrl> chosen = dialog.selectedUrls();
    if (!chosen.isEmpty() && chosen.constFirst().isLocalFile())
        m_lastPickFolder = QFileInfo(chosen.constFirst().toLocalFile()).path();
    clearNotices();
    for (const QUrl& url : chosen)
        m_store.importFile(url);
}

void FilesView::setDropTargeted(bool targeted)
{
    if (targeted == m_dropTargeted)
        return;
    m_dropTargeted = targeted;
    m_dropZone->setTargeted(targeted);
    update();
    emit dropTargetedChanged(targeted);
}

void FilesView::dragEnterEvent(QDragEnterEvent* event)
{
    // A row dragged out of the list is already on the shelf.
    if (event->source() == m_list || localFileUrls(event->mimeData()).isEmpty())
        return;
    event->setDropAction(Qt::CopyAction);
    event->accept();
    setDropTargeted(true);
}

void FilesView::dragMoveEvent(QDragMoveEvent* event)
{
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void FilesView::dragLeaveEvent(QDragLeaveEvent* event)
{
    setDropTargeted(false);
    QWidget::dragLeaveEvent(event);
}

void FilesView::dropEvent(QDropEvent* event)
{
    setDropTargeted(false);
    event->setDropAction(Qt::CopyAction);
    event->accept();
    // The drag's source waits for the drop to be answered; the copies run
    // after, one at a time, each listed as it lands.
    const QList<QUrl> urls = localFileUrls(event->mimeData());
    clearNotices();
    for (const QUrl& url : urls)
        m_store.importFile(url);
}

void FilesView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (m_dropTargeted) {
        QColor tint = palette().color(QPalette::Highlight);
        tint.setAlphaF(0.06);
        p.fillRect(rect(), tint);
    }
    p.fillRect(m_divider->geometry(), PanelStyle::divider(palette()));
}
