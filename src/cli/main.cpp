// zentraq-cli: the program's conversions for build scripts and CI. Needs no
// display: a core application object only, for the image format plugins.
#include "cli.h"
#include "output.h"
#include "process.h"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
    zentraq::cli::openMissingStandardStreams();
    zentraq::cli::installInterruptCleanup();
    // The arguments as given, names that are not UTF-8 included: the
    // application's own list would replace their bytes.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << zentraq::cli::argumentText(argv[i]);
    QCoreApplication app(argc, argv);
    return zentraq::cli::run(args);
}
