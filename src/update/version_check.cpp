#include "version_check.h"

#include "first_field.h"
#include "runtime_error.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <exception>
#include <new>

namespace zentraq::update {

QString newVersionMessage(const QString& serverVersion) {
    return QStringLiteral("检测到新版本:") + serverVersion +
           QStringLiteral(",点击确定进入新版本下载页面");
}

QString localVersionFile(const QString& programFolder) {
    if (programFolder.endsWith(QLatin1Char('/')))
        return programFolder + QStringLiteral("v.txt");
    return programFolder + QStringLiteral("/v.txt");
}

namespace {

// Deletes an earlier local copy. Only an ordinary file, or a symbolic link
// (the link itself, never what it names), is deleted: a directory of that
// name is left alone (the download then fails to write). A copy without write
// permission counts as write-protected: a read-only file is never deleted,
// and finding one is a failure of the check.
void deleteOldCopy(const QString& path) {
    const QFileInfo info(path);
    if (!info.isSymLink() && (!info.exists() || !info.isFile()))
        return;
    if (!info.isSymLink() && !(info.permissions() & QFileDevice::WriteOwner))
        throw RuntimeError(RuntimeError::PathFileAccessError,
                           QStringLiteral("路径/文件访问错误：%1 是只读文件，无法删除").arg(path));
    QFile file(path);
    if (!file.remove())
        throw RuntimeError(
            RuntimeError::PathFileAccessError,
            QStringLiteral("路径/文件访问错误：无法删除 %1：%2").arg(path, file.errorString()));
}

CheckOutcome checkSteps(const VersionCheck& check) {
    const QString local = localVersionFile(check.programFolder);
    deleteOldCopy(local);

    const QUrl source(check.updateBaseUrl + QStringLiteral("v.txt"));
    const platform::Downloader::Result download = check.downloader.download(source, local);
    if (!download.ok) {
        switch (download.failure) {
        case platform::Downloader::Failure::Interrupted:
            return CheckOutcome::Interrupted;
        case platform::Downloader::Failure::LocalFile:
            // The server answered: the user is told what kept the program
            // from keeping the answer, not that the check failed on-line.
            throw RuntimeError(RuntimeError::PathFileAccessError, download.error);
        case platform::Downloader::Failure::Download:
            break;
        }
        check.boxes.show(kDownloadFailedMessage);
        return CheckOutcome::DownloadFailed;
    }

    const QString serverVersion = readFirstField(local);
    if (serverVersion == check.currentVersion)
        return CheckOutcome::SameVersion;

    check.boxes.show(newVersionMessage(serverVersion));
    const QUrl page(check.updateBaseUrl + QStringLiteral("down.htm"));
    QString launchError;
    if (!check.shell.openUrl(page, &launchError))
        throw RuntimeError(RuntimeError::Other,
                           launchError.isEmpty()
                               ? QStringLiteral("无法启动浏览器打开 %1").arg(page.toString())
                               : launchError);
    check.exit.endNow();
    return CheckOutcome::NewVersion;
}

} // namespace

CheckOutcome runVersionCheck(const VersionCheck& check) {
    QString description;
    try {
        return checkSteps(check);
    } catch (const RuntimeError& e) {
        description = QString::fromUtf8(e.what());
    } catch (const std::bad_alloc&) {
        description = QStringLiteral("内存不足");
    } catch (const std::exception& e) {
        description = QString::fromLocal8Bit(e.what());
    } catch (...) {
        description = QStringLiteral("版本检测时出现未知错误");
    }
    // Showing the description is itself guarded: nothing leaves the check.
    try {
        check.boxes.show(description);
    } catch (...) {
    }
    return CheckOutcome::Failed;
}

} // namespace zentraq::update
