#pragma once

// The command line of zentraq-cli: which command, which input, which output
// form and byte layout. Parsing only; nothing is read or written here. Each
// command has its own parser over its own option definitions, and the help
// texts are made from the same definitions.

#include "formatter.h"
#include "packer.h"
#include "pixelformat.h"
#include "transform.h"

#include <QString>
#include <QStringList>

#include <stdexcept>

namespace zentraq::cli {

// A failure that ends the tool with one line on standard error: exit code 2
// for a command line that cannot be carried out as written, 1 for anything
// that went wrong while carrying it out.
class CliError : public std::exception {
public:
    enum Kind { Usage = 2, Failure = 1 };
    CliError(Kind kind, QString message)
        : m_kind(kind), m_message(std::move(message)), m_what(m_message.toUtf8()) {}
    Kind kind() const noexcept { return m_kind; }
    int exitCode() const noexcept { return m_kind; }
    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_what.constData(); }

private:
    Kind m_kind;
    QString m_message;
    QByteArray m_what;
};

[[noreturn]] inline void usageError(const QString& message) {
    throw CliError(CliError::Usage, message);
}
[[noreturn]] inline void failure(const QString& message) {
    throw CliError(CliError::Failure, message);
}

enum class Command { Help, Version, Glyph, Picture, Preview, Library };
enum class TextSource { None, Argument, File, Ascii };

// The largest glyph cell side.
inline constexpr int MaxCellSide = 256;

struct Options {
    Command command = Command::Help;
    QString helpTopic; // a command's name, or empty for all

    // Output (every command). Empty: standard output.
    QString output;
    core::DataForm form = core::DataForm::Text;
    QString name; // C array name
    bool quiet = false;

    // glyph, library; preview reads glyph data of this cell size
    int width = 0;
    int height = 0;
    int pixelSize = 0;   // the face's pixel size; 0: the cell height
    bool preset = false; // one of the window's six sizes
    bool square = false; // one of the 汉字 cells
    QString fontFamily;
    QString fontFile;
    core::Layout layout; // scan, bit order, padding; one bit per glyph sample
    bool invert = false; // glyph ink 0; grey picture data 0 white, mono ink light
    bool missing = false;

    // glyph
    TextSource source = TextSource::None;
    QString text;      // the TEXT argument
    QString inputFile; // --input, "-" for standard input

    // library: "gb2312", "gbk", "ascii" or a charset file
    QString charset;

    // picture; preview reads picture data (--width) in this pixel format
    QString picture;
    rgbqumo::PixelFormat pixel = rgbqumo::PixelFormat::Rgb565;
    bool highByteFirst = false;
    rgbqumo::DitherMode dither = rgbqumo::DitherMode::None;
    int threshold = rgbqumo::DefaultThreshold;
    rgbqumo::Fitting fitting;

    // preview
    QString data; // "-" for standard input
    bool dataBinary = false;
    int pictureWidth = 0; // > 0: the data is picture data this many pixels wide
    int columns = 16;
    int scale = 1;
};

// The byte order of picture samples: --byte-order for 16-bit words; a 3-byte
// sample (0xB1B2B3, see RowQuantiser) always has its first byte high.
inline core::ByteOrder pictureByteOrder(const Options& o) {
    return o.highByteFirst || rgbqumo::bitsPerSample(o.pixel) == 24 ? core::ByteOrder::HighFirst
                                                                    : core::ByteOrder::LowFirst;
}

// Parses the arguments after the program name. Throws CliError (Usage) naming
// the first problem: an unknown option, a missing or repeated value, a size
// out of range, options that contradict each other.
Options parseArguments(const QStringList& args);

// The --help text: everything, or one command ("glyph", "picture",
// "preview", "library"), made from the option definitions.
QString helpText(const QString& topic = {});

} // namespace zentraq::cli
