#include "TestFilesFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace Orvista
{

namespace
{

// Where the installation puts the catalogue, relative to the program's folder.
const QString InstalledFolder = QStringLiteral("../share/orvista/regression");

QString SourceTreeFolder()
{
#ifdef ORVISTA_SOURCE_TEST_FILES
    return QStringLiteral(ORVISTA_SOURCE_TEST_FILES);
#else
    return {};
#endif
}

} // namespace

TestFilesFolders FindTestFilesFolders()
{
    QString folder = QSettings().value(QString::fromLatin1(TestFilesFolderKey)).toString();
    if (folder.isEmpty())
    {
        const QString installed =
            QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(InstalledFolder);
        folder = QFileInfo(installed).isDir() ? QDir::cleanPath(installed) : SourceTreeFolder();
    }
    const QString userData = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    TestFilesFolders folders;
    folders.Folder = QDir::toNativeSeparators(folder).toStdString();
    if (!userData.isEmpty())
    {
        folders.WritableCopy =
            QDir::toNativeSeparators(QDir(userData).absoluteFilePath(QStringLiteral("regression")))
                .toStdString();
    }
    return folders;
}

} // namespace Orvista
