#pragma once

#include <memory>

#include <QUrl>
#include <QWidget>

#include "files/FileIconCache.h"

class QLabel;
class QStackedLayout;
class WebEngineProvider;
class WebView;

// One shelf file shown inside the panel. Types the web engine renders (PDF,
// images, text and source, audio and video) are shown by a web view made for
// previews: no scripts, no reach to other files. Anything else, or no engine,
// shows the file's icon, name, type and size.
class FilePreview : public QWidget
{
    Q_OBJECT

public:
    // `webEngines` may be null; the engine may also become ready later.
    // `folder` holds the files to be shown.
    FilePreview(WebEngineProvider* webEngines, const QString& folder, QWidget* parent = nullptr);
    ~FilePreview() override;

    // Shows the file. The same URL again changes nothing, so the page or the
    // playback position stays where the user left it.
    void setUrl(const QUrl& url);
    QUrl url() const { return m_url; }
    // Lets go of the file: a playing film stops, the next preview starts fresh.
    void clear();

    // Whether the engine can show this file's type.
    static bool engineRenders(const QMimeType& type);
    // Raster images over this many pixels are not handed to the engine,
    // which keeps every pixel of them, and more, while they are shown; they
    // are decoded here at the size they are shown at instead.
    static constexpr qint64 EngineBudget = 2'000'000;
    // Over this many pixels, only a decoder that can scale while it reads
    // (JPEG) is used; anything else shows the details page.
    static constexpr qint64 FullDecodeBudget = 24'000'000;
    // The size of a raster image over the engine's budget; invalid otherwise.
    static QSize largeImage(const QString& path, const QMimeType& type);

    // Shows a large image decoded at display size; null until one is shown.
    QLabel* picture() const { return m_picture; }
    bool isShowingPicture() const;

    bool isShowingWebView() const;
    // Null until the first file the engine renders.
    WebView* webView() const { return m_webView.get(); }
    QWidget* fallback() const { return m_fallback; }
    QLabel* fallbackName() const { return m_name; }
    QLabel* fallbackType() const { return m_type; }
    QLabel* fallbackSize() const { return m_size; }

private:
    void show(bool reload);
    void showFallback();
    void showLargeImage(const QSize& size);
    void unloadPage();

    WebEngineProvider* m_webEngines = nullptr;
    std::unique_ptr<WebView> m_webView;
    QString m_folder;
    QUrl m_url;
    QUrl m_loadedUrl;
    QSize m_tooLarge;
    QLabel* m_picture = nullptr;
    // Which decode is wanted; older ones that finish late are dropped.
    quint64 m_decode = 0;
    FileIconCache m_icons;
    QStackedLayout* m_stack = nullptr;
    QWidget* m_fallback = nullptr;
    QLabel* m_icon = nullptr;
    QLabel* m_name = nullptr;
    QLabel* m_type = nullptr;
    QLabel* m_size = nullptr;
};
