#pragma once

// Where the program keeps temp.txt (the picture data) and v.txt (the copy of
// the server's version file).

#include <QString>

namespace zentraq {

// True when `programFolder` is the bin folder of an installation: the
// program's desktop entry lies in the applications folder of the data
// folder beside it (/usr/bin and /usr/share/applications, also inside a
// staging DESTDIR).
bool isInstalledCopy(const QString& programFolder);

// The program folder itself when it is writable and not an installation (the
// build tree, a portable copy); otherwise `perUserFolder`, created with its
// parents when missing. A per-user folder that cannot be created is returned
// all the same: writing into it then fails with a message naming the path.
QString chooseDataFolder(const QString& programFolder, const QString& perUserFolder);

} // namespace zentraq
