#include "cli.h"

#include "options.h"
#include "runtime_error.h"
#include "zentraq_project.h"

#include <cstdio>
#include <new>

namespace zentraq::cli {
namespace {

const char* const Overview = R"(zentraq-cli: glyph and picture data for microcontroller displays, without a window.

Commands:
  glyph    text -> monochrome glyph bytes, one line per character
  picture  picture file -> RGB565 data, two bytes per pixel
  preview  data text -> PNG, to see what the bytes draw

Run 'zentraq-cli help COMMAND' for the options of one command.
Exit status: 0 done, 1 failed, 2 wrong command line.
)";

const char* const GlyphHelp = R"(zentraq-cli glyph --size SIZE [--font FAMILY | --font-file PATH]
                  (TEXT | --input FILE | --ascii) [options]

  Draws every character of the text alone in a SIZE cell and writes its
  pixels, one bit per pixel, as a line of "0xHH," items ending in CR LF:
  by default exactly the text the window puts into its data area for the
  same text and size (CR LF pairs in the text are removed; a lone CR or LF
  is converted like any other character). The byte count goes to standard
  error in the window's words, "数据大小:N".

  --size SIZE        12x12, 16x16, 32x32 (汉字 cells) or 6x12, 8x16, 16x32
                     (字母 cells); 8*16 is the same as 8x16
  --font FAMILY      draw with this installed font family instead of the
                     window's face; characters it lacks come from the
                     window's faces
  --font-file PATH   the same with the first face of a font file
  TEXT               the text itself (after -- when it starts with '-')
  --input FILE       the text from a UTF-8 file, '-' for standard input
  --ascii            the 95 printable ASCII characters, space to '~'
  -o, --output OUT   write OUT (only once complete) instead of standard output
  --format hex|c     hex: the data text (default); c: a C array
                     'const unsigned char NAME[]' with a header comment that
                     records the settings and a comment naming the character
                     of each line
  --name NAME        the C array's name (default glyph_data)
  --binary           the bytes themselves instead of text
  --msb-first        the first pixel of each group of eight in the most
                     significant bit (default: least significant)
  --invert           ink 0 and background 1 (default: ink 1)
  --missing          only list the characters that no face has, with their
                     code points; exit status 1 if there are any
  -q, --quiet        no byte count on standard error

  Example:
    zentraq-cli glyph --size 16x16 --input menu.txt --format c --name menu_font -o menu_font.h
)";

const char* const PictureHelp = R"(zentraq-cli picture IN [options]

  Converts the picture file IN (BMP, GIF, JPEG, PNG, ICO, ... whatever the
  window loads) into RGB565 data: rows from the top, each row from the left,
  one "0xLL,0xHH," item per pixel, low byte first, CR LF after every 8th
  item. By default exactly the bytes the window writes into temp.txt;
  transparent parts are white, as in the window's preview. The byte count
  goes to standard error in the window's words, "数据大小:N字节".

  -o, --output OUT   write OUT (only once complete) instead of standard output
  --format hex|c     hex: the data text (default); c: a byte array
                     'const unsigned char NAME[]' in the byte order below,
                     with a header comment recording the picture and settings
  --name NAME        the C array's name (default picture_data)
  --binary           the bytes themselves instead of text
  --byte-order low-first|high-first
                     which byte of each 16-bit word comes first
                     (default low-first)
  -q, --quiet        no byte count on standard error

  Example:
    zentraq-cli picture logo.png --byte-order high-first --format c --name logo -o logo.h
)";

const char* const PreviewHelp = R"(zentraq-cli preview DATA (--size WxH | --width W) -o OUT.png [options]

  Reads data back into a picture, to see what the bytes draw before they
  go into a device. DATA is a file ('-' for standard input) in any of the
  tool's text forms (hex or C; comments are skipped) or, with --binary, the
  bytes themselves.

  --size WxH         glyph data of W x H pixels per character (any size up
                     to 32767 pixels): the characters side by side, ink
                     black on white
  --columns N        characters per row of the picture (default 16)
  --msb-first        the data was made with --msb-first
  --invert           the data was made with --invert
  --width W          RGB565 picture data of a picture W pixels wide
  --byte-order low-first|high-first
                     the byte order the picture data was made with
  --scale N          every data pixel as N x N pixels (default 1)
  --binary           DATA holds the bytes themselves
  -o, --output OUT   the PNG file to write ('-' for standard output)

  Examples:
    zentraq-cli glyph --size 8x16 "Hello" -o hello.txt
    zentraq-cli preview hello.txt --size 8x16 --scale 4 -o hello.png
    zentraq-cli preview logo.txt --width 120 -o logo-check.png
)";

void writeStdout(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

} // namespace

QString helpText(const QString& topic) {
    if (topic == QLatin1String("glyph"))
        return QString::fromUtf8(GlyphHelp);
    if (topic == QLatin1String("picture"))
        return QString::fromUtf8(PictureHelp);
    if (topic == QLatin1String("preview"))
        return QString::fromUtf8(PreviewHelp);
    return QString::fromUtf8(Overview) + u'\n' + QString::fromUtf8(GlyphHelp) + u'\n' +
           QString::fromUtf8(PictureHelp) + u'\n' + QString::fromUtf8(PreviewHelp);
}

void note(const QString& line) {
    // One line, whatever the message holds.
    QString oneLine = line;
    oneLine.replace(u'\r', u' ').replace(u'\n', u' ');
    const QByteArray bytes = oneLine.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

int run(const QStringList& args) {
    try {
        const Options options = parseArguments(args);
        switch (options.command) {
        case Command::Help:
            writeStdout(helpText(options.helpTopic));
            return 0;
        case Command::Version:
            writeStdout(QStringLiteral("zentraq-cli " ZENTRAQ_VERSION "\n"));
            return 0;
        case Command::Glyph:
            if (options.missing)
                return runGlyphMissing(options);
            runGlyph(options);
            return 0;
        case Command::Picture:
            runPicture(options);
            return 0;
        case Command::Preview:
            runPreview(options);
            return 0;
        }
    } catch (const CliError& e) {
        note(QStringLiteral("zentraq-cli: ") + e.message());
        return e.exitCode();
    } catch (const RuntimeError& e) {
        note(QStringLiteral("zentraq-cli: ") + e.description());
        return 1;
    } catch (const std::bad_alloc&) {
        note(QStringLiteral("zentraq-cli: out of memory"));
        return 1;
    }
    return 1;
}

} // namespace zentraq::cli
