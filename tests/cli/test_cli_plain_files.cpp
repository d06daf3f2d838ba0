// The files the tool writes, through the library that has no Qt: a result
// and its depfile under names that are not UTF-8, byte for byte, a
// failure that names such a file by its bytes, and not one Qt library in
// the process.
#include "depfile.h"
#include "error.h"
#include "output.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <link.h>
#include <set>
#include <string>
#include <unistd.h>

using namespace zentraq::cli;

namespace {

int g_failures = 0;

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "FAIL: %s\n", what);
        ++g_failures;
    }
}

std::string readAll(const std::string& path) {
    std::string bytes;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return "<unreadable>";
    char buffer[65536];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, std::size_t(n));
    ::close(fd);
    return bytes;
}

std::set<std::string> listing(const std::string& folder) {
    std::set<std::string> names;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                names.insert(e->d_name);
        }
        ::closedir(d);
    }
    return names;
}

int countQt(dl_phdr_info* info, std::size_t, void* count) {
    if (info->dlpi_name && std::strstr(info->dlpi_name, "libQt"))
        ++*static_cast<int*>(count);
    return 0;
}

} // namespace

int main() {
    char made[] = "/tmp/zentraq-plain-files.XXXXXX";
    if (!::mkdtemp(made) || ::chdir(made) != 0) {
        std::perror("cannot make a folder to work in");
        return 1;
    }
    // The folder as getcwd() names it, as the depfile does.
    char cwd[4096];
    const std::string dir = ::getcwd(cwd, sizeof cwd) ? cwd : made;

    // The depfile names OUT and each input once: relative names joined to
    // the current folder, "./" dropped, Make's characters escaped.
    const std::string result = dir + "/res\xfe $.bin";
    {
        Destination destination(result, true, {dir + "/deps\xff.d", false});
        destination.sink().write(std::string("data"));
        destination.commit({"in\xff.png", dir + "/in\xff.png", "./b c#.png"});
    }
    check(readAll(result) == "data", "the result goes to OUT");
    check(readAll(dir + "/deps\xff.d") == dir + "/res\xfe\\ $$.bin: \\\n  " + dir +
                                              "/in\xff.png \\\n  " + dir + "/b\\ c\\#.png\n",
          "the depfile holds the rule");
    check(listing(dir) == std::set<std::string>{"res\xfe $.bin", "deps\xff.d"},
          "nothing but the results is left");

    // A failure names the file by its bytes.
    try {
        OutputFile file(dir + "/none\xff/out");
        check(false, "a result in a missing folder is refused");
    } catch (const CliError& e) {
        check(e.exitCode() == 1 && e.message() == "cannot write '" + dir +
                                                      "/none\xff/out': the folder '" + dir +
                                                      "/none\xff' does not exist",
              "the failure names the file and its folder by their bytes");
    }

    int qt = 0;
    dl_iterate_phdr(countQt, &qt);
    check(qt == 0, "no Qt library is loaded");

    for (const std::string& name : listing(dir))
        ::unlink((dir + '/' + name).c_str());
    check(::chdir("/") == 0 && ::rmdir(dir.c_str()) == 0, "the folder is removed");
    return g_failures == 0 ? 0 : 1;
}
