#pragma once

// The commands of zentraq-cli. Each lives in a file of its own: its options,
// how it reads them, and the one conversion it runs (a large one beside files
// named after it: picture_frames.cpp, font_options.cpp). A new command is
// such a file and one line in the table of cli.cpp.

#include "charset.h"
#include "commandline.h"
#include "epaper.h"
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

enum class TextSource { Argument, File, Ascii, Sources };

struct GlyphOptions {
    CellOptions cell;
    OutputOptions out;
    bool missing = false;
    TextSource source = TextSource::Argument;
    QString text;      // the TEXT argument
    QString inputFile; // --input, "-" for standard input
    SourceOptions sources;
};
GlyphOptions parseGlyph(const CommandLine& line);

struct LibraryOptions {
    CellOptions cell;
    OutputOptions out;
    bool missing = false;
    QString charset;       // "gb2312", "gbk", "ascii" or a charset file
    SourceOptions sources; // instead of --charset
};
LibraryOptions parseLibrary(const CommandLine& line);

struct PictureOptions {
    QString picture;
    OutputOptions out;
    const rgbqumo::PictureWriter* writer = nullptr; // --format, --binary
    rgbqumo::PictureSettings settings;
    // --panel: a built-in panel's name or a palette file (empty: none), and
    // --planes.
    QString panel;
    bool planes = false;
    // --frames: the frames to convert, from the first to the last (-1: the
    // file's last); unset: the picture as the window reads it.
    bool frames = false;
    int firstFrame = 0;
    int lastFrame = -1;
};
PictureOptions parsePicture(const CommandLine& line);

// picture_frames.cpp: --frames into `o`, and the frames in the form the
// other options give, one after another, with a table of them.
void parseFrames(const CommandLine& line, PictureOptions& o);
int runFrames(const PictureOptions& o);

// picture_panel.cpp: --panel and --planes into `o`, and the picture as the
// panel's data.
void parsePanel(const CommandLine& line, PictureOptions& o);
int runPanel(const PictureOptions& o, Destination& destination);
// The panel of --panel: built in, or read from its palette file; with
// `planes` it must have white.
epaper::Panel panelNamed(const QString& panel, bool planes);
epaper::Panel panelOf(const PictureOptions& o);

// The data and how it is shown (rgbqumo::Preview), and where the picture
// goes.
struct PreviewOptions : rgbqumo::Preview {
    QString data; // "-" for standard input
    // Panel data (--panel with --width): the panel or palette file, planes.
    QString panelName;
    QString output;
    ResultFiles files;
};
PreviewOptions parsePreview(const CommandLine& line);

// One face group of a font: its face and the characters it gives.
struct FontFaceOptions {
    QString family; // --font
    QString file;   // --font-file
    int faceIndex = 0;
    font::Autohint autohint = font::Autohint::Light;
    font::CharacterRequest characters;

    // How messages name the face: the family, or the file as given.
    QString shown() const;
};

struct FontOptions {
    std::vector<FontFaceOptions> faces;       // in the order given
    const font::FontWriter* writer = nullptr; // --format
    font::FontSettings settings;
    QByteArray fallback; // --lv-fallback
    QString sample, sampleOutput;
    QString output;
    ResultFiles files;
    bool quiet = false;
    bool missing = false;
    bool listChars = false; // --list-chars
};
FontOptions parseFont(const CommandLine& line);

} // namespace zentraq::cli
