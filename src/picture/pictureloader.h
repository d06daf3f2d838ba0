#pragma once

// Reading picture files for the preview and the conversion.

#include "metafileformat.h"
#include "picturebounds.h"
#include "runtime_error.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

namespace zentraq::rgbqumo {

// Why a picture could not be read, for a caller that words it itself.
enum class PictureProblem {
    Unreadable,  // the file could not be read (or not opened)
    NotAPicture, // no picture format that a reader knows
    Damaged,     // the decoder failed on the data, or reported it as damaged
    Incomplete,  // shorter than its headers say
    TooLarge,    // more pixels than the reader's memory limit allows
    Overclaim,   // its headers claim more than its decoder may be trusted with
    Metafile,    // a metafile whose records are wrong, or that its converter failed on
};

// The failure of loading a picture: a RuntimeError whose description is the
// window's message, with the reason as a value beside it.
class PictureError : public RuntimeError {
public:
    PictureError(Code code, QString description, PictureProblem problem)
        : RuntimeError(code, std::move(description)), m_problem(problem) {}
    PictureProblem problem() const noexcept { return m_problem; }

    // What the decoder itself said about the data while it read it (its
    // warnings and, when the picture was read from a descriptor, what it
    // wrote to standard error), as one line; may be empty.
    QString decoderWords;
    // Incomplete: the file's size and the size its headers call for.
    qint64 fileBytes = 0;
    qint64 neededBytes = 0;
    // Overclaim: what the headers claim.
    DecoderClaim claim;
    // TooLarge: the picture's size and the limit in MiB.
    QSize size;
    int limitMb = 0;
    // Metafile, and Incomplete for a metafile: what is wrong with it.
    metafile::Problem metafile;

private:
    PictureProblem m_problem;
};

// Reads the picture in `path` with the image readers available to the
// program (BMP, GIF, JPEG, PNG, ICO, CUR and whatever else is installed); the
// format is taken from the file name and, failing that, from the content.
// Metafiles (WMF, EMF), known by their content, are drawn on white at their
// size at 96 dots per inch (see LoadMetafile and PictureExtent). A
// file with several images (an icon, an animated GIF) gives its first one.
// The picture keeps its transparency: the picture box that receives it
// composites it onto its own background. An icon or cursor of 1 to 24 bits
// per pixel is transparent where its AND mask says so.
//
// Throws RuntimeError when the file is missing, may not be read
// (PermissionDenied) or cannot be opened; PictureError when it cannot be
// read, is not a picture in a readable format, or is incomplete: shorter than
// its headers say, or reported by the decoder as cut short or damaged. Throws
// std::bad_alloc when there is no memory for the picture.
QImage LoadPicture(const QString& path);

// The same for the file open for reading at the descriptor `fd` (it stays
// open, and the caller's); `name` stands for the file, for its format and in
// messages. What the decoders write to standard error while they read is
// kept from it and becomes the error's decoderWords.
QImage LoadPicture(int fd, const QString& name);

// The same for a picture held in memory; `name` stands for the file in
// messages. The format is taken from the content.
QImage LoadPictureData(const QByteArray& data, const QString& name);

} // namespace zentraq::rgbqumo
