#pragma once

// zentraq-cli's quick picture path: `picture IN.png -o OUT` with nothing but
// -q, --depfile and --keep-unchanged, converted without Qt. Plain C++: the
// executable tries it before it loads the Qt library of the tool's other
// conversions, so a build that converts many small pictures does not wait
// for Qt to load each time.
//
// It reads the command line with the tool's own reader and option
// definitions (optiondef.h), and takes it only when it makes exactly what
// the tool makes of it: the window's RGB565 data text of a PNG that the PNG
// reader of every route decodes (see PngRows), written through the tool's
// own output files. For anything else
// (another option, another format, a file name or a value it is not sure to
// read as the tool does, a PNG it does not take, an output it cannot write)
// it has done nothing visible and leaves the command line to the tool, whose
// messages then say what is wrong.

namespace zentraq::cli {

// Whether the quick path was taken: 0 when it made the result, -1 when it
// leaves the command line (argv[0] the program, argv[1] "picture") to the
// tool.
int quickPicture(int argc, char** argv);

} // namespace zentraq::cli
