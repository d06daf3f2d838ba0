#pragma once

// A picture in a shape that an embedded GUI library loads as it is: an LVGL
// image (C source or image file, lvglimage.h) or an Arduino array (16-bit
// words or an XBM, arrayforms.h). Beside the raw pixel data of PictureData,
// and fed the same way: the decoded picture, fitted to the display row by
// row, through one writer.
//
// LVGL images keep the picture's alpha (fitting included: the canvas around
// a contained picture is transparent) and lay it exactly onto the background
// in the formats that have none. The arrays are opaque, composited onto the
// background as the window's preview composites onto white.

#include "picturewriter.h"

#include <QImage>
#include <QStringList>

#include <memory>

namespace zentraq::rgbqumo {

// A picture read row by row from its decoded form, fitted when asked. The
// header comment's first line, the lines of the shape, then the background
// (the arrays), dithering and fitting.
class FormResult : public PictureResult {
public:
    // Takes the decoded picture; `keepAlpha` keeps its alpha, otherwise it is
    // made opaque (in place when it is fitted). Throws RuntimeError when a
    // picture's memory cannot be had.
    FormResult(PictureSource source, const PictureSettings& settings, bool keepAlpha);
    ~FormResult() override;

    QSize size() const override;
    QStringList describe() const final;
    QStringList details() const final;
    // The whole result, the C forms after their header comment.
    long long write(core::ByteSink& sink) final;
    qint64 writeFrame(core::ByteSink& sink, const QByteArray& comment, bool preamble) final;

protected:
    // The lines that say what the shape holds.
    virtual QStringList shapeLines() const = 0;
    // Writes the result, after `comment` (a complete C comment, or nothing),
    // an LVGL source without its includes unless `preamble`; returns the
    // bytes of its data.
    virtual qint64 writeShape(core::ByteSink& sink, const QByteArray& comment, bool preamble) = 0;

    PictureSettings m_settings;
    QString m_name;
    QImage m_picture;
    QSize m_original;
    std::unique_ptr<core::PixelSource> m_source;
    bool m_opaque;
    bool m_cForm = true; // the result is C (a header comment goes first)
};

// LVGL images: C source (lvgl) or the image file (lvgl-bin).
class LvglImageWriter : public PictureWriter {
public:
    explicit LvglImageWriter(bool file) : m_file(file) {}
    const char* name() const override;
    const char* summary() const override;
    bool binary() const override { return m_file; }
    // --cf raw and raw-alpha keep the picture file for LVGL's own decoders.
    bool keepsFile(const PictureSettings& settings) const override;
    bool filePerFrame() const override { return m_file; }
    QByteArray frameItem(const QByteArray& name) const override { return '&' + name; }
    QByteArray frameTableType() const override { return "const void * "; }
    bool takes(const char* option) const override;
    void check(PictureSettings& settings, const core::Options& options) const override;
    std::unique_ptr<PictureResult> make(PictureSource source,
                                        const PictureSettings& settings) const override;

private:
    bool m_file;
};

// const uint16_t NAME[] of rgb565 or bgr565 words (c16).
class WordArrayWriter : public PictureWriter {
public:
    const char* name() const override { return "c16"; }
    const char* summary() const override;
    QByteArray frameTableType() const override { return "const uint16_t * const "; }
    bool binary() const override { return false; }
    bool takes(const char* option) const override;
    void check(PictureSettings& settings, const core::Options& options) const override;
    std::unique_ptr<PictureResult> make(PictureSource source,
                                        const PictureSettings& settings) const override;
};

// An XBM of mono pixels: NAME_width, NAME_height, NAME_bits[].
class XbmWriter : public PictureWriter {
public:
    const char* name() const override { return "xbm"; }
    const char* summary() const override;
    bool binary() const override { return false; }
    PixelFormat defaultPixel() const override { return PixelFormat::Mono; }
    QByteArray frameItem(const QByteArray& name) const override { return name + "_bits"; }
    bool takes(const char* option) const override;
    void check(PictureSettings& settings, const core::Options& options) const override;
    std::unique_ptr<PictureResult> make(PictureSource source,
                                        const PictureSettings& settings) const override;
};

} // namespace zentraq::rgbqumo
