// zentraq-cli, the executable: answers --version itself and hands every
// other command line to the conversions in libzentraq-cli.so, which it loads
// from its place beside the executable. It links nothing but the C library,
// so that a build asking for the version does not wait for Qt and the
// libraries behind it to load (they take about ten times as long as the
// process itself). A picture command line goes to the quick picture path in
// libzentraq-cli-quick.so first, which needs no Qt; what that leaves goes to
// the conversions as any other command line.
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

    // The libraries' place, relative to this executable's own file.
    static const char relative[] = ZENTRAQ_CLI_LIBRARY_FROM_BINDIR;
    static const char quickRelative[] = ZENTRAQ_CLI_QUICK_LIBRARY_FROM_BINDIR;
    static_assert(sizeof quickRelative >= sizeof relative);
    char path[PATH_MAX + sizeof quickRelative];
    const ssize_t n = ::readlink("/proc/self/exe", path, PATH_MAX);
    if (n <= 0)
        return fail("cannot find its own file", std::strerror(errno));
    path[n] = '\0';
    char* slash = std::strrchr(path, '/');
    if (!slash)
        return fail("cannot find its own folder", path);

    if (argc > 1 && std::strcmp(argv[1], "picture") == 0) {
        // Without the quick path (not installed, or it cannot load) the
        // conversions do the same work, only later.
        std::memcpy(slash + 1, quickRelative, sizeof quickRelative);
        if (void* quick = ::dlopen(path, RTLD_NOW | RTLD_LOCAL)) {
            using Quick = int (*)(int, char**);
            const auto tryQuick = reinterpret_cast<Quick>(::dlsym(quick, "zentraq_cli_quick"));
            const int done = tryQuick ? tryQuick(argc, argv) : -1;
            if (done >= 0)
                return done;
            // The library stays loaded: the handlers it installed for
            // interrupts stay valid until the conversions install theirs.
        }
    }
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
