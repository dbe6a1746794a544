// Another program the user drags files from: a window that starts a drag of
// the files named on its command line when pressed, and exits when the drag
// ends (0: dropped and taken, 1: not).
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
        QCoreApplication::exit(action == Qt::CopyAction ? 0 : 1);
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
