#include "depfile.h"

#include "error.h"
#include "streams.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <unistd.h>
#include <unordered_set>

namespace zentraq::cli {
namespace {

std::string currentFolder() {
    std::string folder(PATH_MAX, '\0');
    while (!::getcwd(folder.data(), folder.size())) {
        if (errno != ERANGE)
            failure("cannot write the depfile: the current folder cannot be named: " +
                    errnoString(errno));
        folder.resize(folder.size() * 2);
    }
    folder.resize(std::strlen(folder.c_str()));
    return folder;
}

std::string word(std::string_view name, const std::string& shown) {
    std::string w = makeWord(name);
    if (w.empty())
        failure("cannot name '" + shown +
                "' in the depfile: a Make rule cannot hold a name with a line break or a "
                "backslash at its end");
    return w;
}

} // namespace

std::string makeWord(std::string_view name) {
    std::string w;
    w.reserve(name.size() + 8);
    std::size_t backslashes = 0; // the run of backslashes just written
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
    if (name.empty() || backslashes > 0)
        return {};
    return w;
}

std::string makeRule(const std::string& target, const std::vector<std::string>& prerequisites) {
    std::string rule = word(target, target) + ':';
    std::string folder;
    std::unordered_set<std::string> seen;
    for (const std::string& p : prerequisites) {
        std::string name = p;
        if (!name.starts_with('/')) {
            if (folder.empty())
                folder = currentFolder();
            if (name.starts_with("./"))
                name.erase(0, 2);
            name = folder + (folder.ends_with('/') ? "" : "/") + name;
        }
        if (seen.insert(name).second)
            rule += " \\\n  " + word(name, p);
    }
    return rule + '\n';
}

} // namespace zentraq::cli
