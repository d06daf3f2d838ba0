// zentraq-cli: the program's conversions for build scripts and CI. Needs no
// display: a core application object only, for the arguments and the image
// format plugins.
#include "cli.h"
#include "files.h"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
    zentraq::cli::installInterruptCleanup();
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    return zentraq::cli::run(args);
}
