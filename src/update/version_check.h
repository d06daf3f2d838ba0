#pragma once

// The on-line version check: once per start the program fetches the version
// file from the update server, compares its first field with its own version
// and, when they differ, sends the user to the download page and ends.

#include "services.h"

#include <QString>

namespace zentraq::update {

// Shown when the version file could not be downloaded; the program goes on.
// (The commas after 失败 and 支持 are ASCII, the two after 最新版本 full-width.)
inline const QString kDownloadFailedMessage = QStringLiteral(
    "版本连网检测失败,你使用的版本可能不是最新版本，请及时关注Zentraq最新版本，谢谢你的支持,"
    "请按确定键继续进入软件");

// "检测到新版本:" + the server's version + ",点击确定进入新版本下载页面"
// (ASCII colon and comma, nothing added around the version).
QString newVersionMessage(const QString& serverVersion);

// The local copy of the version file: the program's folder + "/v.txt".
QString localVersionFile(const QString& programFolder);

// What the check needs from the window and the platform.
struct VersionCheck {
    QString updateBaseUrl;  // ends with "/"; "v.txt" and "down.htm" are appended
    QString currentVersion; // "V1.3"
    QString programFolder;
    platform::Downloader& downloader;
    platform::MessageBoxes& boxes;
    platform::DesktopShell& shell;
    platform::ProgramExit& exit;
};

enum class CheckOutcome {
    SameVersion,    // nothing shown
    NewVersion,     // message shown, download page opened, program ended
    DownloadFailed, // the download-failure message shown
    Failed,         // the description of some other failure shown
    Interrupted,    // the window was closed during the download: nothing shown
};

// Runs the check, step by step:
//  1. deletes an ordinary file or a link "v.txt" in the program's folder, if
//     there is one (a write-protected file is not deleted: that is a
//     failure);
//  2. downloads updateBaseUrl + "v.txt" into it; a failed download shows
//     kDownloadFailedMessage and the check ends; an answer that could not be
//     written into the local file is reported with its own cause, as other
//     failures below are; a download ended by closing the window ends the
//     check without a word;
//  3. reads the file's first field (firstField) and compares it with
//     currentVersion as whole strings, case-sensitive;
//  4. equal: nothing more; different in any way: shows newVersionMessage,
//     opens updateBaseUrl + "down.htm" in the desktop's browser and ends the
//     program through `exit`.
// Every other failure (deleting, reading, an empty file, a failed browser
// launch) shows its description alone and the program goes on. Nothing
// escapes: the function returns normally on every path except the new-version
// path, where `exit` does not return (a test's fake exit does, and then the
// function returns NewVersion at once without doing anything more).
CheckOutcome runVersionCheck(const VersionCheck& check);

} // namespace zentraq::update
