#include "WebFileDialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QWidget>

#include "web/WebView.h"

WebFileDialog::~WebFileDialog()
{
    // Its answer would reach a page whose tab is going.
    if (m_dialog)
        m_dialog->reject();
}

QStringList WebFileDialog::nameFilters(const WebFileChooserRequest& request)
{
    static const QMimeDatabase database;
    QStringList globs;
    auto add = [&globs](const QStringList& patterns) {
        for (const QString& pattern : patterns) {
            if (!globs.contains(pattern))
                globs.append(pattern);
        }
    };
    for (const QString& type : request.mimeTypes) {
        if (type.endsWith(QLatin1String("/*"))) {
            // "image/*": every type of that kind the desktop knows.
            const QString kind = type.chopped(1);
            const QList<QMimeType> all = database.allMimeTypes();
            for (const QMimeType& known : all) {
                if (known.name().startsWith(kind))
                    add(known.globPatterns());
            }
        } else {
            add(database.mimeTypeForName(type).globPatterns());
        }
    }
    add(request.patterns);
    if (globs.isEmpty())
        return {};
    return {QStringLiteral("Accepted files (%1)").arg(globs.join(u' ')), QStringLiteral("All files (*)")};
}

void WebFileDialog::webViewRunFileChooser(WebView& view, const WebFileChooserRequest& request,
                                          std::function<void(std::optional<QStringList>)> completion)
{
    // One at a time: a page asking again while one is open is told no.
    if (m_dialog) {
        completion(std::nullopt);
        return;
    }
    QWidget* panel = view.widget() ? view.widget()->window() : nullptr;
    auto* dialog = new QFileDialog(
        panel,
        request.directory ? QStringLiteral("Choose Folder")
                          : (request.multiple ? QStringLiteral("Choose Files") : QStringLiteral("Choose File")));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    // Above the panel, which floats above other windows.
    dialog->setWindowFlag(Qt::WindowStaysOnTopHint);
    if (request.directory) {
        dialog->setFileMode(QFileDialog::Directory);
        dialog->setOption(QFileDialog::ShowDirsOnly);
    } else {
        dialog->setFileMode(request.multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
        const QStringList filters = nameFilters(request);
        if (!filters.isEmpty())
            dialog->setNameFilters(filters);
    }
    if (!request.selected.isEmpty())
        dialog->setDirectory(QFileInfo(request.selected.first()).absolutePath());
    auto answer = std::make_shared<std::function<void(std::optional<QStringList>)>>(std::move(completion));
    connect(dialog, &QDialog::finished, this, [dialog, answer](int result) {
        if (!*answer)
            return;
        auto call = std::move(*answer);
        *answer = nullptr;
        if (result == QDialog::Accepted && !dialog->selectedFiles().isEmpty())
            call(dialog->selectedFiles());
        else
            call(std::nullopt);
    });
    m_dialog = dialog;
    if (panel)
        panel->activateWindow();
    // Modal for the panel; the page keeps running while it is open.
    dialog->open();
    Q_EMIT dialogShown(dialog);
}
