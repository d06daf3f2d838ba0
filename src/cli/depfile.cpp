#include "depfile.h"

#include "error.h"
#include "process.h"

#include <QSet>

#include <cerrno>
#include <climits>
#include <unistd.h>

namespace zentraq::cli {
namespace {

QByteArray currentFolder() {
    QByteArray folder(PATH_MAX, Qt::Uninitialized);
    while (!::getcwd(folder.data(), std::size_t(folder.size()))) {
        if (errno != ERANGE)
            failure(QStringLiteral("cannot write the depfile: the current folder cannot be "
                                   "named: %1")
                        .arg(errnoText(errno)));
        folder.resize(folder.size() * 2);
    }
    folder.truncate(qsizetype(qstrlen(folder.constData())));
    return folder;
}

QByteArray word(const QByteArray& name, const QString& shown) {
    const QByteArray w = makeWord(name);
    if (w.isEmpty())
        failure(QStringLiteral("cannot name '%1' in the depfile: a Make rule cannot hold a name "
                               "with a line break or a backslash at its end")
                    .arg(shown));
    return w;
}

} // namespace

QByteArray makeWord(const QByteArray& name) {
    QByteArray w;
    w.reserve(name.size() + 8);
    qsizetype backslashes = 0; // the run of backslashes just written
    for (const char c : name) {
        switch (c) {
        case '\n':
        case '\r':
        case '\0':
            return {};
        case ' ':
        case '\t':
        case '#':
        case ':':
            // 2N+1 backslashes before these stand for N backslashes and the
            // character itself.
            w.append(backslashes, '\\');
            w += '\\';
            w += c;
            break;
        case '$':
            w += "$$";
            break;
        default:
            w += c;
            break;
        }
        backslashes = c == '\\' ? backslashes + 1 : 0;
    }
    if (name.isEmpty() || backslashes > 0)
        return {};
    return w;
}

QByteArray makeRule(const QString& target, const QStringList& prerequisites) {
    QByteArray rule = word(nativeName(target), target) + ':';
    QByteArray folder;
    QSet<QByteArray> seen;
    for (const QString& p : prerequisites) {
        QByteArray name = nativeName(p);
        if (!name.startsWith('/')) {
            if (folder.isEmpty())
                folder = currentFolder();
            if (name.startsWith("./"))
                name.remove(0, 2);
            name = folder + (folder.endsWith('/') ? "" : "/") + name;
        }
        if (!seen.contains(name)) {
            seen.insert(name);
            rule += " \\\n  " + word(name, p);
        }
    }
    return rule + '\n';
}

} // namespace zentraq::cli
