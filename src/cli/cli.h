#pragma once

// zentraq-cli: the glyph and picture conversions of the window, their other
// byte layouts and font libraries, for build scripts and CI, without a
// display.

#include <QString>
#include <QStringList>

namespace zentraq::cli {

struct Options;

// Runs the tool with `args` (the arguments after the program name). Results
// go to standard output or the -o file, messages to standard error. Returns
// the exit code: 0 done, 1 failed (or --missing found characters without a
// face), 2 the command line is wrong.
int run(const QStringList& args);

// One line on standard error.
void note(const QString& line);

// The commands; they throw CliError or RuntimeError on failure. The
// --missing forms return the exit code.
void runGlyph(const Options& options);
int runGlyphMissing(const Options& options);
void runPicture(const Options& options);
void runPreview(const Options& options);
void runLibrary(const Options& options);
int runLibraryMissing(const Options& options);

} // namespace zentraq::cli
