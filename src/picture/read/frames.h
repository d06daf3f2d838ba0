#pragma once

// The frames of an animated picture, each composed as a viewer shows it: the
// whole canvas at the moment the frame is on screen.
//
// GIF (read here, not by Qt's reader, whose composing differs from
// ImageMagick's and the browsers'): the canvas is the logical screen; before
// the first frame it holds the background colour (the global colour table's
// entry, black without a table) at alpha 0. A frame paints the pixels of its
// rectangle that are not its transparent index, opaque, and nothing outside
// the canvas. Before each later frame the last one is disposed of: disposal
// 2 clears its rectangle to alpha 0 (the colours stay), disposal 3 restores
// the canvas as it was before it was drawn, anything else leaves it. This is
// what ImageMagick's -coalesce makes. A frame lasts its delay: the Graphic
// Control Extension's hundredths of a second, times 10 ms (0 stays 0; viewers
// often show such a frame for 100 ms).
//
// APNG (read here: Qt reads a PNG's default picture only): the canvas is the
// PNG's size, transparent black at first. Each frame of the animation
// control is decoded as a PNG of its own and drawn at its offset, replacing
// its rectangle (blend source) or over it (blend over: unpremultiplied,
// alpha a = as + ad (255 - as) / 255, each channel (cs as 255 + cd ad (255 -
// as)) / (a 255), rounded); then disposed of: none, cleared to transparent
// black, or restored to what was there before it (the first frame's
// "previous" clears). Its duration is the fraction of a second it gives,
// rounded to ms (a denominator of 0 is 100).
//
// Everything else with several pictures (animated WebP, MNG, ...) is read by
// Qt's readers, which compose WebP as libwebp's own decoder does; their
// frames must share one size. A file of one picture has one frame.
//
// Before anything is decoded the file's structure is read: how many frames,
// the canvas, where each frame lies. A canvas larger than the picture limit
// (2^25 pixels), frames that together would make more than that many pixels,
// more than 65536 frames, a frame that claims more data than follows, or
// one outside an APNG's canvas, or frames that claim more than 2^28 pixels
// together (what reading them all would decode) are refused then.

#include "runtime_error.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

#include <memory>

namespace zentraq::rgbqumo {

// The most pixels the frames of one conversion may make together, and the
// most frames a file may have.
inline constexpr qint64 MaxFramePixels = qint64(1) << 25;
inline constexpr int MaxFrames = 65536;
// The most pixels all the frames of a file may claim together: what reading
// up to its last frame decodes.
inline constexpr qint64 MaxDecodedPixels = qint64(1) << 28;

// Why frames could not be read: InvalidPicture, with what is wrong in
// English (the command-line tool's words), or the picture loader's
// PictureError for a picture that cannot be read at all.
class FramesError : public RuntimeError {
public:
    using RuntimeError::RuntimeError;
};

struct Frame {
    QImage picture; // Format_ARGB32, the canvas's size
    int durationMs = 0;
};

class FrameSource {
public:
    virtual ~FrameSource() = default;
    virtual QSize size() const = 0;
    virtual int count() const = 0;
    // The next frame, composed; frames come in order, each once. Throws
    // FramesError when its data is damaged.
    virtual Frame next() = 0;
};

// The frames of the picture file `bytes`; `name` stands for the file in
// messages. Throws FramesError when the file's structure is wrong or its
// canvas too large, PictureError when it is no picture that can be read.
std::unique_ptr<FrameSource> openFrames(const QByteArray& bytes, const QString& name);

// The frames' pixels together must stay under the limit: throws FramesError
// saying so when `frames` frames of `size` would not.
void checkFramePixels(QSize size, qint64 frames);

// Readers of the formats composed here; null when `bytes` is not one.
std::unique_ptr<FrameSource> openGifFrames(const QByteArray& bytes);
std::unique_ptr<FrameSource> openApngFrames(const QByteArray& bytes, const QString& name);

} // namespace zentraq::rgbqumo
