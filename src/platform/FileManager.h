#pragma once

#include <QString>
#include <QStringList>

// The desktop's file manager.
class FileManager
{
public:
    virtual ~FileManager() = default;

    // Shows the file selected in a file manager window; where no file
    // manager answers, opens the folder that holds it. Never waits.
    virtual void showItem(const QString& filePath) = 0;
};

// Shows nothing; keeps what it was asked to show. For tests, and where no
// desktop is at hand.
class NullFileManager : public FileManager
{
public:
    void showItem(const QString& filePath) override { shown.append(filePath); }

    QStringList shown;
};
