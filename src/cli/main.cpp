// zentraq-cli's conversions, the part of the program that needs Qt: the
// small executable (launcher.cpp) loads this library and calls
// zentraq_cli_main() for everything but --version. Needs no display: a core
// application object only, for the image format plugins.
#include "cli.h"
#include "output.h"
#include "process.h"

#include <QCoreApplication>

extern "C" __attribute__((visibility("default"))) int zentraq_cli_main(int argc, char* argv[]) {
    zentraq::cli::openMissingStandardStreams();
    zentraq::cli::installInterruptCleanup();
    zentraq::cli::setRunsOnce();
    // The arguments as given, names that are not UTF-8 included: the
    // application's own list would replace their bytes.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << zentraq::cli::argumentText(argv[i]);
    QCoreApplication app(argc, argv);
    return zentraq::cli::run(args);
}
