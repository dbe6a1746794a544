// Another program the user drags files from: a window that starts a drag of
// the files named on its command line when pressed, and prints "copied" or
// "cancelled" when the drag ends. It keeps running after that, as a real
// program does: the drop target asks the source for the files only once it
// has the drop, so a source gone by then leaves it nothing.
#include <cstdio>

#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <QWidget>

class Source : public QWidget
{
public:
    explicit Source(QList<QUrl> files)
        : m_files(std::move(files))
    {
        setWindowTitle(QStringLiteral("Drag source"));
        setStyleSheet(QStringLiteral("background:#2a2"));
    }

protected:
    void mousePressEvent(QMouseEvent*) override
    {
        auto* drag = new QDrag(this);
        auto* mime = new QMimeData;
        mime->setUrls(m_files);
        drag->setMimeData(mime);
        const Qt::DropAction action = drag->exec(Qt::CopyAction);
        std::printf("%s\n", action == Qt::CopyAction ? "copied" : "cancelled");
        std::fflush(stdout);
    }

private:
    QList<QUrl> m_files;
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QList<QUrl> files;
    for (const QString& path : app.arguments().mid(1))
        files.append(QUrl::fromLocalFile(path));
    Source source(files);
    source.setGeometry(40, 200, 200, 200);
    source.show();
    return app.exec();
}
