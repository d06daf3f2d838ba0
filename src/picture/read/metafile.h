#pragma once

// Metafile pictures (WMF, placeable WMF, EMF) for the picture loader. The
// records are checked here; the drawing happens in the converter program
// zentraq-metafile, run as a process of its own under a deadline and memory
// and output limits, so that no fault in the metafile libraries can take the
// calling program down.

#include "boundedprocess.h"

#include <QImage>
#include <QSizeF>
#include <QString>

class QIODevice;

namespace zentraq::rgbqumo {

// Whether the picture in `device` starts like a metafile. Reads its first
// bytes from the start; the position is left at the start.
bool IsMetafile(QIODevice& device);

// The metafile in `device` drawn on white, without anti-aliasing, at its size
// at 96 dots per inch rounded to whole pixels (halves to even); `name` stands
// for the file in messages. The unrounded size is kept with the picture (see
// PictureExtent).
//
// Throws PictureError: with what went wrong as values in its `metafile`
// field, which each front end words, and `name` as its description,
// Incomplete when the file is shorter than its header says, NotAPicture when
// it is no metafile after all, and Metafile when its header's size, record
// count or largest record is not what the records bear out, it has no size,
// or the converter is missing, fails, runs out of its memory limit, or does
// not finish before its deadline; with the window's words as its
// description, TooLarge beyond the image reader's allocation limit and
// Unreadable when the file cannot be read. Throws std::bad_alloc when this
// process has no memory for the picture.
QImage LoadMetafile(QIODevice& device, const QString& name);

// The size a picture box takes for `picture`: for a metafile its size at 96
// dots per inch in single precision, fraction kept; for every other picture
// its size in pixels.
QSizeF PictureExtent(const QImage& picture);

// The converter program and the bounds it runs under.
struct MetafileConverter {
    QString program;
    ProcessBounds bounds;
};

// The installed converter (beside the program, in ../libexec/zentraq/) or,
// for a program run from its build folder, the one built there; a deadline
// of 10 s and, outside sanitizer builds, 512 MiB of address space, to which
// each load adds twice its picture's bytes.
MetafileConverter DefaultMetafileConverter();

// Replaces the converter and its bounds for the rest of the process (tests).
void SetMetafileConverter(const MetafileConverter& converter);

} // namespace zentraq::rgbqumo
