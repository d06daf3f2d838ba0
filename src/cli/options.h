#pragma once

// The command line of zentraq-cli: which command, which input, which output
// form. Parsing only; nothing is read or written here.

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

enum class Command { Help, Version, Glyph, Picture, Preview };
enum class DataForm { Hex, C, Binary };
enum class TextSource { None, Argument, File, Ascii };

struct Options {
    Command command = Command::Help;
    QString helpTopic; // "glyph", "picture", "preview" or empty for all

    // Output (glyph, picture, preview). Empty: standard output.
    QString output;
    DataForm form = DataForm::Hex;
    QString name; // C array name
    bool quiet = false;

    // glyph
    int width = 0; // cell size; for preview also any other glyph size
    int height = 0;
    bool square = false; // one of the 汉字 cells
    QString fontFamily;
    QString fontFile;
    TextSource source = TextSource::None;
    QString text;      // the TEXT argument
    QString inputFile; // --input, "-" for standard input
    bool msbFirst = false;
    bool invert = false;
    bool missing = false;

    // picture
    QString picture;
    bool highByteFirst = false;

    // preview
    QString data; // "-" for standard input
    bool dataBinary = false;
    int pictureWidth = 0; // > 0: the data is picture data this many pixels wide
    int columns = 16;
    int scale = 1;
};

// Parses the arguments after the program name. Throws CliError (Usage) naming
// the first problem: an unknown option, a missing or repeated value, a size
// not in the list, options that contradict each other.
Options parseArguments(const QStringList& args);

// "8x16" (or "8*16") to one of the six cell sizes; false for anything else.
bool parsePresetSize(const QString& text, int& width, int& height, bool& square);

// The six cell sizes as the tool spells them: "12x12|16x16|...".
QString presetSizeList();

} // namespace zentraq::cli
