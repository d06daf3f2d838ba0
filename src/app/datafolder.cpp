#include "datafolder.h"

#include "zentraq_project.h"

#include <QDir>
#include <QFileInfo>

namespace zentraq {

bool isInstalledCopy(const QString& programFolder) {
    const QString entry = QStringLiteral("%1/%2/applications/%3.desktop")
                              .arg(programFolder, QStringLiteral(ZENTRAQ_DATADIR_FROM_BINDIR),
                                   QStringLiteral(ZENTRAQ_APP_ID));
    return QFileInfo(QDir::cleanPath(entry)).isFile();
}

QString chooseDataFolder(const QString& programFolder, const QString& perUserFolder) {
    // A system-wide installation keeps its bin folder free of data files even
    // for an administrator, who could write there.
    const QFileInfo folder(programFolder);
    if (folder.isDir() && folder.isWritable() && !isInstalledCopy(programFolder))
        return programFolder;
    QDir().mkpath(perUserFolder);
    return perUserFolder;
}

} // namespace zentraq
