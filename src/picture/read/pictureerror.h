#pragma once

// Why a picture file could not be read: the failure every reader of picture
// files throws (the loader, the metafile converter's client), for callers
// that word it themselves.

#include "metafileformat.h"
#include "picturebounds.h"
#include "runtime_error.h"

#include <QSize>
#include <QString>

#include <optional>

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
// window's message (for a metafile's problem, the file's name), with the
// reason as a value beside it.
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
    // What is wrong with a metafile (Metafile, and Incomplete or
    // NotAPicture for one), for the front ends to word; the description is
    // then only the file's name.
    std::optional<metafile::Problem> metafile;

private:
    PictureProblem m_problem;
};

} // namespace zentraq::rgbqumo
