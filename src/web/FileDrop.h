#pragma once

#include <QList>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QUrl>

class QWidget;
class WebView;

// Files dropped onto a page from other programs reach it as a browser hands
// them over: dragenter and dragover at the drop point, then drop when the
// page asked for it, the events' dataTransfer holding the files. The page's
// widget takes the drag (the engine's window inside it never sees one).
class FileDrop : public QObject
{
    Q_OBJECT

public:
    // Files larger than this together are not handed over.
    static constexpr qint64 MaxBytes = 256 * 1024 * 1024;

    FileDrop(WebView& view, QWidget* target);
    ~FileDrop() override;

    // The page script for one drop of these local files at `point` (the
    // page's own coordinates). Evaluates to true when the page took the drop.
    // Empty when no file could be read or they are too large together.
    static QString dropScript(const QList<QUrl>& files, QPoint point);

Q_SIGNALS:
    // The page's answer to a drop: whether it took the files.
    void dropped(bool taken);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    WebView& m_view;
    QWidget* m_target;
};
