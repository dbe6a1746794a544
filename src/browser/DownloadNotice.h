#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class SymbolButton;

// One line under the address bar: a download's progress, its failure, or
// the file the browser saved, with a button that shows it in the file manager.
class DownloadNotice : public QWidget
{
    Q_OBJECT

public:
    explicit DownloadNotice(QWidget* parent = nullptr);

    // Shows the notice for `path`, replacing any earlier one.
    void showSaved(const QString& path);
    // `total` is 0 when the size is not known.
    void showProgress(const QString& fileName, qint64 received, qint64 total);
    void showFailed(const QString& fileName, const QString& reason);
    QString path() const { return m_path; }

    QLabel* label() const { return m_label; }
    QPushButton* revealButton() const { return m_reveal; }
    SymbolButton* closeButton() const { return m_close; }

signals:
    void revealRequested(const QString& path);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void showText();
    void showLine(const QString& text);

    QString m_path;
    // The line shown, before it is cut to the room there is.
    QString m_text;
    QLabel* m_label = nullptr;
    QPushButton* m_reveal = nullptr;
    SymbolButton* m_close = nullptr;
};
