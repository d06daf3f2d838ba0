// zentraq-cli for the interrupt tests: the tool itself, but it stops
// (SIGSTOP) after the step of writing its result file whose number is in
// ZENTRAQ_STOP_AFTER, so that a test can send a signal exactly there and let
// it go on.
#include "cli.h"
#include "output.h"
#include "process.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdlib>

namespace {

int g_stopAfter = -1;

void stopAt(zentraq::cli::OutputStep step) {
    if (int(step) == g_stopAfter)
        std::raise(SIGSTOP);
}

} // namespace

int main(int argc, char* argv[]) {
    zentraq::cli::openMissingStandardStreams();
    zentraq::cli::installInterruptCleanup();
    if (const char* step = std::getenv("ZENTRAQ_STOP_AFTER"))
        g_stopAfter = std::atoi(step);
    zentraq::cli::outputStepHook = stopAt;
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << zentraq::cli::argumentText(argv[i]);
    QCoreApplication app(argc, argv);
    return zentraq::cli::run(args);
}
