#include "FilePreview.h"

#include <thread>

#include <QCoreApplication>
#include <QImageReader>
#include <QLabel>
#include <QPointer>
#include <QStackedLayout>
#include <QVBoxLayout>

#include "files/FilesListModel.h"
#include "files/FilesStore.h"
#include "ui/PanelStyle.h"
#include "web/WebEngineProvider.h"
#include "web/WebView.h"

namespace {
constexpr int FallbackIconSize = 64;

// Image formats the engine decodes itself; other image types (camera raw,
// layered editor files) get the icon instead of a broken picture.
bool isWebImage(const QString& name)
{
    static const QStringList names {
        QStringLiteral("image/png"),    QStringLiteral("image/jpeg"),    QStringLiteral("image/gif"),
        QStringLiteral("image/webp"),   QStringLiteral("image/svg+xml"), QStringLiteral("image/bmp"),
        QStringLiteral("image/avif"),   QStringLiteral("image/apng"),    QStringLiteral("image/vnd.microsoft.icon"),
        QStringLiteral("image/x-icon"),
    };
    return names.contains(name);
}
} // namespace

FilePreview::FilePreview(WebEngineProvider* webEngines, const QString& folder, QWidget* parent)
    : QWidget(parent)
    , m_webEngines(webEngines)
    , m_folder(folder)
{
    m_fallback = new QWidget(this);
    m_icon = new QLabel(m_fallback);
    m_icon->setAlignment(Qt::AlignCenter);
    m_name = new QLabel(m_fallback);
    m_name->setAlignment(Qt::AlignCenter);
    m_name->setWordWrap(true);
    m_name->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont nameFont = font();
    nameFont.setPixelSize(14);
    nameFont.setWeight(QFont::DemiBold);
    m_name->setFont(nameFont);
    m_type = new QLabel(m_fallback);
    m_type->setAlignment(Qt::AlignCenter);
    m_type->setWordWrap(true);
    m_size = new QLabel(m_fallback);
    m_size->setAlignment(Qt::AlignCenter);
    for (QLabel* label : {m_type, m_size}) {
        QPalette pal = label->palette();
        pal.setColor(QPalette::WindowText, PanelStyle::secondary(palette()));
        label->setPalette(pal);
    }
    auto* column = new QVBoxLayout(m_fallback);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(6);
    column->addStretch(1);
    column->addWidget(m_icon);
    column->addSpacing(6);
    column->addWidget(m_name);
    column->addWidget(m_type);
    column->addWidget(m_size);
    column->addStretch(2);

    m_picture = new QLabel(this);
    m_picture->setAlignment(Qt::AlignCenter);
    m_picture->setAccessibleName(QStringLiteral("Picture"));

    m_stack = new QStackedLayout(this);
    m_stack->setContentsMargins(0, 0, 0, 0);
    m_stack->addWidget(m_fallback);
    m_stack->addWidget(m_picture);

    if (m_webEngines) {
        // A file waiting on the icon page gets its real preview once the
        // engine has started.
        connect(m_webEngines, &WebEngineProvider::ready, this, [this] {
            if (!m_url.isEmpty())
                show(false);
        });
    }
}

FilePreview::~FilePreview() = default;

bool FilePreview::engineRenders(const QMimeType& type)
{
    const QString name = type.name();
    if (name.startsWith(QLatin1String("image/")))
        return isWebImage(name);
    return name == QLatin1String("application/pdf") || name.startsWith(QLatin1String("audio/"))
        || name.startsWith(QLatin1String("video/")) || type.inherits(QStringLiteral("text/plain"));
}

bool FilePreview::isShowingWebView() const
{
    return m_webView && m_stack->currentWidget() == m_webView->widget();
}

void FilePreview::setUrl(const QUrl& url)
{
    if (url == m_url)
        return;
    m_url = url;
    show(true);
}

void FilePreview::clear()
{
    m_url = QUrl();
    ++m_decode;
    m_picture->clear();
    if (m_webView && !m_loadedUrl.isEmpty()) {
        m_webView->load(QUrl(QStringLiteral("about:blank")));
        m_loadedUrl = QUrl();
    }
    m_stack->setCurrentWidget(m_fallback);
}

QSize FilePreview::largeImage(const QString& path, const QMimeType& type)
{
    if (!type.name().startsWith(QLatin1String("image/")) || type.name() == QLatin1String("image/svg+xml"))
        return {};
    // The header alone: nothing is decoded.
    QImageReader reader(path);
    const QSize size = reader.size();
    if (size.isValid() && qint64(size.width()) * size.height() > EngineBudget)
        return size;
    return {};
}

bool FilePreview::isShowingPicture() const
{
    return m_stack->currentWidget() == m_picture;
}

void FilePreview::unloadPage()
{
    // A page still loaded behind another page would keep playing.
    if (m_webView && !m_loadedUrl.isEmpty()) {
        m_webView->load(QUrl(QStringLiteral("about:blank")));
        m_loadedUrl = QUrl();
    }
}

void FilePreview::showLargeImage(const QSize& size)
{
    // Blank until decoded.
    m_stack->setCurrentWidget(m_picture);
    unloadPage();
    const QString path = m_url.toLocalFile();
    const QSize area = this->size().expandedTo(QSize(200, 200)) * devicePixelRatioF();
    const quint64 decode = ++m_decode;
    QPointer<FilePreview> self(this);
    std::thread([self, decode, path, size, area] {
        QImageReader reader(path);
        QImage image;
        const bool scalesWhileReading
            = reader.supportsOption(QImageIOHandler::ScaledSize) && reader.format() == QByteArrayLiteral("jpeg");
        if (qint64(size.width()) * size.height() <= FullDecodeBudget || scalesWhileReading) {
            reader.setScaledSize(size.scaled(area, Qt::KeepAspectRatio).boundedTo(size));
            image = reader.read();
        }
        QMetaObject::invokeMethod(
            qApp,
            [self, decode, image, size] {
                if (!self || self->m_decode != decode)
                    return;
                if (image.isNull()) {
                    self->m_tooLarge = size;
                    self->showFallback();
                    return;
                }
                QPixmap pixmap = QPixmap::fromImage(image);
                pixmap.setDevicePixelRatio(self->devicePixelRatioF());
                self->m_picture->setPixmap(pixmap);
                self->m_stack->setCurrentWidget(self->m_picture);
            },
            Qt::QueuedConnection);
    }).detach();
}

void FilePreview::show(bool reload)
{
    const QMimeType type = m_icons.mimeType(m_url.toLocalFile());
    WebEngine* engine = m_webEngines ? m_webEngines->engine() : nullptr;
    ++m_decode;
    m_picture->clear();
    m_tooLarge = QSize();
    const QSize large = engineRenders(type) ? largeImage(m_url.toLocalFile(), type) : QSize();
    if (large.isValid()) {
        showLargeImage(large);
        return;
    }
    // The engine cannot open a file whose name is not UTF-8; its details
    // page can.
    const QByteArray path = FilesStore::pathBytes(m_url);
    const bool textName = QString::fromUtf8(path).toUtf8() == path;
    if (!engineRenders(type) || (!engine && !m_webView) || !textName) {
        showFallback();
        return;
    }
    if (!m_webView) {
        WebViewOptions options;
        options.purpose = WebViewOptions::Purpose::FilePreview;
        options.previewFolder = m_folder;
        m_webView = engine->createView(options);
        if (!m_webView) {
            showFallback();
            return;
        }
        QWidget* page = m_webView->widget();
        // A window container takes drops for the window inside it, which
        // ignores them; files dropped on the preview are for the shelf.
        page->setAcceptDrops(false);
        for (QWidget* inner : page->findChildren<QWidget*>())
            inner->setAcceptDrops(false);
        m_stack->addWidget(page);
    }
    if (reload || m_loadedUrl != m_url) {
        m_loadedUrl = m_url;
        m_webView->load(m_url);
    }
    m_stack->setCurrentWidget(m_webView->widget());
}

void FilePreview::showFallback()
{
    const QString path = m_url.toLocalFile();
    const QMimeType type = m_icons.mimeType(path);
    m_icon->setPixmap(m_icons.iconFor(type).pixmap(FallbackIconSize, FallbackIconSize));
    m_name->setText(FilesStore::displayName(m_url));
    QString kind = type.comment().isEmpty() ? type.name() : type.comment();
    // Too large to decode whole, and not in a format that scales as it reads.
    if (m_tooLarge.isValid())
        kind += QStringLiteral("\n%1 × %2 pixels, too large to preview here")
                    .arg(m_tooLarge.width())
                    .arg(m_tooLarge.height());
    m_type->setText(kind);
    m_size->setText(FilesListModel::sizeText(m_url));
    m_stack->setCurrentWidget(m_fallback);
    unloadPage();
}
