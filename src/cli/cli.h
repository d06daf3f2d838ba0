#pragma once

// zentraq-cli: the glyph and picture conversions of the window, their other
// byte layouts and font libraries, for build scripts and CI, without a
// display.

#include "commandline.h"
#include "runtime_error.h"

#include <QString>
#include <QStringList>

#include <span>

namespace zentraq::cli {

// Runs the tool with `args` (the arguments after the program name). Results
// go to standard output or the -o file, messages to standard error. Returns
// the exit code: 0 done, 1 failed (or --missing found characters without a
// face), 2 the command line is wrong.
int run(const QStringList& args);

// A failure of the conversion code in the tool's words, from its code: the
// window's wording in its description shows only where the code has no
// words of its own.
QString runtimeProblem(const RuntimeError& e);

// Every command, in the order the help lists them.
std::span<const CommandDef* const> commands();

// The --help text: everything, or one command's.
QString helpText(const QString& topic = {});

} // namespace zentraq::cli
