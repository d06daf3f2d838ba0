// zentraq-cli, the executable: answers --version itself and hands every
// other command line to the conversions in libzentraq-cli.so, which it loads
// from its place beside the executable. It links nothing but the C library,
// so that a build asking for the version does not wait for Qt and the
// libraries behind it to load (they take about ten times as long as the
// process itself).
#include "zentraq_project.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <unistd.h>

namespace {

int fail(const char* what, const char* detail) {
    std::fprintf(stderr, "zentraq-cli: %s: %s\n", what, detail);
    return 1;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc == 2 && (std::strcmp(argv[1], "--version") == 0 || std::strcmp(argv[1], "-V") == 0)) {
        // As the conversions' side answers: a closed output is no failure.
        std::signal(SIGPIPE, SIG_IGN);
        static const char text[] = "zentraq-cli " ZENTRAQ_VERSION "\n";
        const ssize_t written = ::write(STDOUT_FILENO, text, sizeof text - 1);
        static_cast<void>(written);
        return 0;
    }

    // The library's place, relative to this executable's own file.
    static const char relative[] = ZENTRAQ_CLI_LIBRARY_FROM_BINDIR;
    char path[PATH_MAX + sizeof relative];
    const ssize_t n = ::readlink("/proc/self/exe", path, PATH_MAX);
    if (n <= 0)
        return fail("cannot find its own file", std::strerror(errno));
    path[n] = '\0';
    char* slash = std::strrchr(path, '/');
    if (!slash)
        return fail("cannot find its own folder", path);
    std::memcpy(slash + 1, relative, sizeof relative);

    void* library = ::dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return fail("cannot load its conversions", ::dlerror());
    using Main = int (*)(int, char**);
    const auto run = reinterpret_cast<Main>(::dlsym(library, "zentraq_cli_main"));
    if (!run)
        return fail("cannot load its conversions", ::dlerror());
    return run(argc, argv);
}
