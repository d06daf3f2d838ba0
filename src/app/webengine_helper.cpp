// zentraq-webengine: the helper process of the web engine that shows the home
// page. It runs the engine's own helper code with one addition: the zygote,
// the process that the sandboxed renderers are forked from, loads the font
// configuration before the sandbox closes the file system to it. A renderer
// then inherits the loaded configuration. Without it, the first renderer to
// lay out text tries to read /etc/fonts itself, which its sandbox forbids, and
// prints "Fontconfig error: Cannot load default config file" on every start of
// the window by a user other than root (root runs the engine unsandboxed).
//
// The entry point below belongs to the engine's library, which exports it for
// its own helper program; it has kept its signature since the engine's first
// Qt 6 releases.

#include <QCoreApplication>

#include <fontconfig/fontconfig.h>

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace QtWebEngineCore {
int processMain(int argc, const char** argv);
} // namespace QtWebEngineCore

// The sandbox answers the time zone questions of the processes it confines,
// which cannot read the zone files. The engine's helper routes the C library's
// local time calls to it, and so does this one; outside the sandbox the
// engine passes them on to the C library.
namespace sandbox {
struct tm* localtime_override(const time_t* timep);
struct tm* localtime_r_override(const time_t* timep, struct tm* result);
} // namespace sandbox

extern "C" {
__attribute__((visibility("default"))) struct tm* localtime(const time_t* timep) noexcept {
    return sandbox::localtime_override(timep);
}
__attribute__((visibility("default"))) struct tm* localtime_r(const time_t* timep,
                                                              struct tm* result) noexcept {
    return sandbox::localtime_r_override(timep, result);
}
}

int main(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]) == "--type=zygote")
            FcInit();

    // The engine writes the process title over its arguments; the application
    // object keeps copies, so that what it read as the program's path stays.
    std::vector<std::string> copies(argv, argv + argc);
    std::vector<char*> qtArgv;
    for (std::string& arg : copies)
        qtArgv.push_back(arg.data());
    qtArgv.push_back(nullptr);
    int qtArgc = argc;
    QCoreApplication app(qtArgc, qtArgv.data());
    return QtWebEngineCore::processMain(argc, const_cast<const char**>(argv));
}
