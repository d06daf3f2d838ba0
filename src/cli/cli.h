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

// One line on standard error; bytes of names that are not UTF-8 are shown
// as \xHH.
void note(const QString& line);

// While run() works, whatever the libraries write to standard error
// themselves (a decoder's complaint, a font configuration warning, Qt's own
// messages) is kept rather than shown, so that the tool's message is the one
// line there. What was kept since the last call, as one line (empty if
// nothing): for a message that wants the library's own words.
QString takeLibraryMessages();

// The descriptor of the real standard error.
int messageDescriptor();

// The commands; they throw CliError or RuntimeError on failure. The
// --missing forms return the exit code.
void runGlyph(const Options& options);
int runGlyphMissing(const Options& options);
void runPicture(const Options& options);
void runPreview(const Options& options);
void runLibrary(const Options& options);
int runLibraryMissing(const Options& options);

} // namespace zentraq::cli
