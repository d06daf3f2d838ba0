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
    std::string why;
    std::string w = makeWord(name, &why);
    if (w.empty())
        failure("cannot name '" + shown + "' in the depfile: " + why);
    return w;
}

bool isControl(char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
}

// Signs at which Ninja 1.11 ends a name in a depfile, escaped or not.
bool endsNinjaName(char c) {
    return std::string_view("\"&';<>?^`|*").find(c) != std::string_view::npos;
}

} // namespace

std::string makeWord(std::string_view name, std::string* why) {
    const auto refuse = [why](std::string reason) {
        if (why)
            *why = std::move(reason);
        return std::string();
    };
    std::string w;
    w.reserve(name.size() + 8);
    std::size_t backslashes = 0; // the run of backslashes just written
    for (const char c : name) {
        if (c == '\n' || c == '\r')
            return refuse("a Make rule cannot hold a name with a line break");
        if (c == '\t')
            return refuse("Ninja cannot read a name with a tab");
        if (isControl(c))
            return refuse("Ninja cannot read a name with a control character");
        if (endsNinjaName(c))
            return refuse(std::string("Ninja cannot read a name with '") + c + "'");
        if (backslashes > 0 && (c == '#' || c == ':' || c == '$'))
            return refuse(std::string("Make and Ninja read a backslash before '") + c +
                          "' differently");
        switch (c) {
        case ' ':
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
    if (name.empty())
        return refuse("the name is empty");
    if (backslashes > 0)
        return refuse("a Make rule cannot hold a name with a backslash at its end");
    if (name.back() == ':')
        return refuse("Ninja takes a ':' at a name's end for the end of a target");
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
