#pragma once

// Data as C source: a byte array with a comment that records how the data
// was made. Lines end in CR LF like the data text itself.

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <vector>

namespace zentraq::cli {

// `text` made safe for the inside of a C block comment on one line: nothing
// in it can end the comment early, open another one, continue it onto the
// next line or break the line. Backslashes are doubled, a "/" after a "*" and
// a "*" after a "/" get a backslash in front, control characters become
// \t \n \r or \xHH, and characters that show nothing or rearrange the line
// (format, line and paragraph separators, private-use, unassigned, unpaired
// surrogates) become \uHHHH or \UHHHHHHHH.
QString commentText(QStringView text);

// How a glyph line's comment names its character: "U+0041 'A'", the
// character escaped as for commentText (a quote as \').
QString characterLabel(char32_t cp);

// What the header of a glyph array records.
struct GlyphArrayInfo {
    QString name;
    int width = 0;
    int height = 0;
    QString sizeCaption; // the window's name of the size, "8*16字母"
    QString fontFamily;
    QString fontFile;
    float points = 0;
    int pixels = 0;
    bool msbFirst = false;
    bool invert = false;
};

// The glyph array: header comment, declaration, one line per character with
// a comment naming it, closing brace. `dataText` is the conversion's data
// text (one line per character, each ending in CR LF), already reshaped by
// the bit options; `chars` the characters of the lines, in order.
QByteArray glyphArray(const GlyphArrayInfo& info, const QByteArray& dataText, const std::vector<char32_t>& chars);

// What the header of a picture array records.
struct PictureArrayInfo {
    QString name;
    QString source; // the picture file as given
    int width = 0;
    int height = 0;
    qint64 bytes = 0;
    bool highByteFirst = false;
};

// The picture array up to its opening brace and line end; the data lines
// follow as the conversion wrote them.
QByteArray pictureArrayHead(const PictureArrayInfo& info);
// The closing brace; `lineOpen` when the data did not end with a line end.
QByteArray pictureArrayTail(bool lineOpen);

} // namespace zentraq::cli
