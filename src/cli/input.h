#pragma once

// Every file the tool reads, from a name given on its command line: text,
// data and charset files, pictures and font files. Each file it opens is
// recorded, so that what a result was made from is known in one place.

#include "charset.h"
#include "textrenderer.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <string>
#include <vector>

namespace zentraq::cli {

// The most the tool reads of a text, data or charset file.
inline constexpr qint64 MaxInputBytes = qint64(256) << 20;

// Whether something exists under the name `path` ("-", standard input,
// always does).
bool exists(const QString& path);

// The whole content of the file at `path`, or of standard input for "-".
// Throws CliError (Failure) when it cannot be read or holds more than
// MaxInputBytes.
QByteArray readWhole(const QString& path);

// The picture in the file at `path`, decoded (see rgbqumo::LoadPicture).
// Throws CliError (Failure) naming the file and, in English, what is wrong
// with it, with the decoder's own words when it had any.
QImage readPicture(const QString& path);

// The first face of the font file at `path`. Throws CliError (Failure) when
// the file cannot be read or is not a font that can draw.
text::FaceChoice fontFileFace(const QString& path);

// The files of a font's character sets, read as readWhole() reads them.
class FontFiles : public font::SourceFiles {
public:
    bool exists(const QString& name) const override;
    QByteArray read(const QString& name) const override;
    QString shown(const QString& name) const override;
};

// Records a file the tool reads that was not named on its command line (the
// file of an installed font family).
void recordInput(const QString& path);

// The files read so far, as named (the bytes of the names, see
// nativeName()), each once, in the order they were first opened; standard
// input is not among them.
const std::vector<std::string>& inputFiles();

} // namespace zentraq::cli
