#pragma once

// The picture writers: every structure a decoded picture is written in (the
// data text, its C array and its bytes; LVGL images as C and as image files;
// the Arduino arrays of 16-bit words and XBM) as one class implementing the
// writer interface of core/writer.h, found in pictureWriters() by name.
//
// Adding a picture format: a class deriving from PictureWriter, and its
// result from PictureResult (FormResult in pictureforms.h for a picture
// fitted and read row by row), in files of their own; one line in
// pictureWriters() (picturewriters.cpp). The options only some formats take
// are the pixel options (PixelOptionNames), the C ones (name, attribute)
// and the LVGL ones (LvglOptionNames).

#include "lvglformat.h"
#include "picturedata.h"
#include "writer.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <memory>
#include <span>

namespace zentraq::rgbqumo {

struct PictureSettings {
    // Fitting, dithering, the background; for the raw forms and the arrays
    // the pixel format, byte order, threshold, inversion and layout.
    DataSettings data;
    lvgl::ImageOptions image; // LVGL images: version, format, depth, stride, compression
    QByteArray name;          // the C names
    QByteArray attribute;     // in every C declaration; empty for none
};

struct PictureSource {
    QImage picture;  // decoded
    QString name;    // the file as the command line names it, for the header comment
    QByteArray file; // the file's bytes, for a writer that keepsFile()
};

// A picture made for one format.
class PictureResult : public core::Result {
public:
    // Its size, fitted.
    virtual QSize size() const = 0;
    // The bytes of its data (an LVGL image's before compression).
    virtual qint64 bytes() const = 0;

    // One frame of several (picture --frames): describe() without its first
    // line, and the result written after `comment` (a complete C comment, or
    // nothing), a C source without its includes unless `preamble`.
    virtual QStringList details() const = 0;
    virtual qint64 writeFrame(core::ByteSink& sink, const QByteArray& comment, bool preamble) = 0;
};

class PictureWriter : public core::Writer<PictureSettings, PictureSource, PictureResult> {
public:
    // The pixel format without --pixel (XBM: mono).
    virtual PixelFormat defaultPixel() const { return PixelFormat::Rgb565; }
    // Whether the result keeps the picture file as it is (its bytes go into
    // the source too).
    virtual bool keepsFile(const PictureSettings&) const { return false; }
    // Frames (picture --frames): one result file a frame; and in C, how the
    // table of the frames names the frame declared as `name`, and its type.
    virtual bool filePerFrame() const { return false; }
    virtual QByteArray frameItem(const QByteArray& name) const { return name; }
    virtual QByteArray frameTableType() const { return "const unsigned char * const "; }
};

// Every picture writer: the data forms hex (the default), c and binary, then
// the shapes. --format picks all but binary, which --binary picks.
std::span<const PictureWriter* const> pictureWriters();
// Those --format picks, in the order the help lists them.
std::span<const PictureWriter* const> pictureFormats();
const PictureWriter* pictureWriterNamed(QStringView name);

// The options of the raw pixel data, in the order they are checked.
inline constexpr const char* PixelOptionNames[] = {"pixel",     "byte-order", "scan",     "pad",
                                                   "msb-first", "invert",     "threshold"};
// The options of LVGL images, in the order they are checked.
inline constexpr const char* LvglOptionNames[] = {"lvgl",         "cf",       "color-depth",
                                                  "stride-align", "compress", "premultiply"};

// Refuses the first LVGL option given to `writer` that it does not take,
// naming the formats that take it: "--cf is for --format lvgl and lvgl-bin".
void refuseOtherFormatsOptions(const PictureWriter& writer, const core::Options& options);

// The colour formats of both LVGL versions, for the help of --cf.
QString lvglFormatHelp();

} // namespace zentraq::rgbqumo
