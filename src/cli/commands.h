#pragma once

// The commands of zentraq-cli. Each lives in a file of its own: its options,
// how it reads them, and the one conversion it runs. A new command is such a
// file and one line in the table of cli.cpp.

#include "charset.h"
#include "commandline.h"
#include "fontwriter.h"
#include "options.h"
#include "picturedata.h"
#include "picturewriter.h"
#include "preview.h"

#include <QString>

namespace zentraq::cli {

extern const CommandDef GlyphCommand;
extern const CommandDef PictureCommand;
extern const CommandDef PreviewCommand;
extern const CommandDef LibraryCommand;
extern const CommandDef FontCommand;

// What each command reads from its command line; its parse function throws
// CliError (Usage) naming the first problem.

enum class TextSource { Argument, File, Ascii };

struct GlyphOptions {
    CellOptions cell;
    OutputOptions out;
    bool missing = false;
    TextSource source = TextSource::Argument;
    QString text;      // the TEXT argument
    QString inputFile; // --input, "-" for standard input
};
GlyphOptions parseGlyph(const CommandLine& line);

struct LibraryOptions {
    CellOptions cell;
    OutputOptions out;
    bool missing = false;
    QString charset; // "gb2312", "gbk", "ascii" or a charset file
};
LibraryOptions parseLibrary(const CommandLine& line);

struct PictureOptions {
    QString picture;
    OutputOptions out;
    const rgbqumo::PictureWriter* writer = nullptr; // --format, --binary
    rgbqumo::PictureSettings settings;
};
PictureOptions parsePicture(const CommandLine& line);

// The data and how it is shown (rgbqumo::Preview), and where the picture
// goes.
struct PreviewOptions : rgbqumo::Preview {
    QString data; // "-" for standard input
    QString output;
    ResultFiles files;
};
PreviewOptions parsePreview(const CommandLine& line);

struct FontOptions {
    QString family; // --font
    QString file;   // --font-file
    int faceIndex = 0;
    const font::FontWriter* writer = nullptr; // --format
    font::FontSettings settings;
    font::CharacterRequest characters;
    QString sample, sampleOutput;
    QString output;
    ResultFiles files;
    bool quiet = false;
    bool missing = false;
};
FontOptions parseFont(const CommandLine& line);

} // namespace zentraq::cli
