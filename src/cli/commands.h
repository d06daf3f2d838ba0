#pragma once

// The commands of zentraq-cli. Each lives in a file of its own: its options,
// how it reads them, and the one conversion it runs. A new command is such a
// file and one line in the table of cli.cpp.

#include "commandline.h"
#include "epaper.h"
#include "options.h"
#include "picturedata.h"
#include "pictureforms.h"

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
    rgbqumo::DataSettings data;
    // --format lvgl, lvgl-bin, c16, xbm (out.shape not empty): the shape and
    // its settings; form.attribute is --attribute for --format c too.
    rgbqumo::FormSettings form;
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

struct PreviewOptions {
    QString data; // "-" for standard input
    bool binary = false;
    QString output;
    ResultFiles files;
    int scale = 1;
    // Glyph data (--size): cells of this size in this layout.
    QSize cell;
    core::Layout layout;
    bool invert = false;
    int columns = 16;
    // Picture data (--width W > 0): rows of W pixels, --height of them when
    // given (0: as many as the data holds).
    int pictureWidth = 0;
    int pictureHeight = 0;
    rgbqumo::DataSettings picture;
    // An LVGL image (--format lvgl or lvgl-bin), its true colour at this
    // depth.
    QString lvgl;
    lvgl::ColourDepth depth = lvgl::ColourDepth::Depth16;
    // Panel data (--panel with --width): the panel or palette file, planes.
    QString panel;
    bool planes = false;
};
PreviewOptions parsePreview(const CommandLine& line);

enum class FontFormat { Lvgl, LvglBinary, LvglFlash, Gfx, Vlw, VlwC };

struct FontOptions {
    QString family; // --font
    QString file;   // --font-file
    int faceIndex = 0;
    FontFormat format = FontFormat::Lvgl;
    int size = 0;   // pixels (not gfx)
    int points = 0; // gfx
    int dpi = 141;  // gfx
    int bpp = 4;
    bool hinting = true;
    QStringList ranges, symbols, charsets; // the character set's parts
    int lvgl = 9;
    bool compress = true, prefilter = true, kerning = true;
    bool lvglKerning = false;       // --kerning lvgl-compatible
    bool processingMetrics = false; // --vlw-metrics processing
    QString include;                // --lv-include
    QString name;                   // empty: made from the output's or the font file's name
    QString sample, sampleOutput;
    QString output;
    ResultFiles files;
    bool quiet = false;
    bool missing = false;
};
FontOptions parseFont(const CommandLine& line);

} // namespace zentraq::cli
