#pragma once

// Colour e-paper panels: each pixel becomes one of the panel's few colours,
// and the data is what the panels' drivers send to the controller.
//
// The panels and their colours, in the order of the controllers' codes (a
// colour's index is its code):
//   bw      black 0, white 1
//   bwr     black 0, white 1, red 2        (#FF0000)
//   bwy     black 0, white 1, yellow 2     (#FFFF00)
//   bwry    black 0, white 1, yellow 2, red 3
//   7color  black 0, white 1, green 2 (#00FF00), blue 3 (#0000FF),
//           red 4 (#FF0000), yellow 5 (#FFFF00), orange 6 (#FF8000)
// The values are the ones the panel maker's own conversion maps pictures to
// (Waveshare's e-Paper library, the palettes its getbuffer() gives Pillow's
// quantize(): epd7in3f.py and epd5in65f.py for 7color, epd4in37g.py and
// epd2in13g.py for bwry, whose red and yellow bwr and bwy share). A palette
// file gives any other panel: one colour a line, "#RRGGBB" and optionally a
// name after a space (letters, digits, '_'); blank lines are skipped.
//
// A pixel takes the colour nearest to it as Pillow's quantize(palette=...,
// dither=NONE) picks it, so that the two agree on every pixel: the smallest
// squared distance in RGB from the pixel with the low two bits of each
// channel cleared (Pillow looks colours up in a table of 64 levels a
// channel), the lowest index on a tie. Transparent parts are laid onto the
// background first, as for the other formats. Dithering:
//  - floyd-steinberg: each channel's error (the value plus the error spread
//    to it, less the chosen colour's value) goes right 7/16, below-left 3/16,
//    below 5/16, below-right 1/16, in sixteenths; every row from the left;
//  - bayer4: for each colour a plan of 16 palette entries whose mean is the
//    colour (each the entry nearest to the colour plus the error of those
//    before it), sorted by luma; the pixel takes the entry the 4x4 matrix
//    names at its place. Flat areas keep their mean within a sixteenth of
//    the distance between the colours they are mixed from.
//
// The data, rows from the top, every row starting on a new byte, the first
// pixel of each byte in its highest bits:
//  - packed indices (the default): 1 bit a pixel for 2 colours, 2 for 3 or
//    4, 4 for up to 16, 8 for more (7color: the high nibble first, as the
//    7-colour controllers take it; bwry: 4 pixels a byte);
//  - planes (--planes): one 1-bit plane per colour other than white, in the
//    palette's order, one after the other; a plane's bit is 0 where the pixel
//    has that colour and 1 elsewhere, so white is 1 in every plane and an
//    all-0xFF plane is blank. That is the buffer of Waveshare's library (its
//    getbuffer() gives Pillow's '1' images, white 1) and of GxEPD2's
//    3-colour displays: bwr's black plane goes to the controller's black and
//    white memory, its red plane to the red memory.

#include "picturedata.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QRgb>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace zentraq::epaper {

struct Panel {
    QString name;              // "bwr", or the palette file as named
    std::vector<QRgb> colours; // opaque, the index is the controller's code
    QList<QByteArray> names;   // each colour's name in C: "black", "red", "c2", ...

    // The entry that is white (#FFFFFF): the planes' background; -1 when the
    // palette has none.
    int white() const;
    // Bits of a packed index: 1, 2, 4 or 8.
    int indexBits() const;
    // Planes: one per colour but white, in the palette's order.
    QList<int> planeColours() const;
};

QStringList builtInPanelNames();
std::optional<Panel> builtInPanel(QStringView name);

// A palette file's text as a panel named `name`. On a bad line, nothing and
// `problem` saying which line and why: not "#RRGGBB [name]", a colour
// named twice, fewer than 2 or more than 256 colours.
std::optional<Panel> readPalette(const QByteArray& text, const QString& name, QString* problem);

// The index of each pixel of a row of opaque pixels, in panel order, as
// samples of panel.indexBits() bits; rows whole, top to bottom.
class PanelEncoder : public core::SampleEncoder {
public:
    PanelEncoder(const Panel& panel, rgbqumo::DitherMode dither, int width);
    ~PanelEncoder() override;
    int bits() const override { return m_bits; }
    void encodeRow(const QRgb* pixels, int width, std::uint32_t* samples) override;
    void restart() override;

    // The entry nearest to an opaque colour, without dithering.
    int nearest(QRgb pixel);

private:
    struct Plan;
    const Plan& planOf(QRgb pixel);

    std::vector<std::array<int, 3>> m_colours;
    std::vector<int> m_lumaRank; // each entry's place by luma, for the Bayer plans
    rgbqumo::DitherMode m_dither;
    int m_width;
    int m_bits;
    int m_row = 0;
    std::vector<std::int16_t> m_nearest; // by the 6-bit colour, -1 not yet known
    std::vector<int> m_errThis;          // Floyd-Steinberg, 3 a pixel, one pixel either side
    std::vector<int> m_errNext;
    std::unique_ptr<Plan[]> m_plans; // Bayer: a small cache by colour
};

// How a picture goes to a panel.
struct PanelSettings {
    Panel panel;
    bool planes = false;
};

// A picture as a panel's data, fitted and laid onto the background as
// PictureData does (`data` gives the fitting, the dithering and the
// background; its pixel format and layout are not used).
class PanelData {
public:
    PanelData(QImage picture, const rgbqumo::DataSettings& data, const PanelSettings& panel);
    ~PanelData();
    PanelData(const PanelData&) = delete;
    PanelData& operator=(const PanelData&) = delete;

    QSize originalSize() const { return m_original; }
    QSize size() const { return QSize(m_source->width(), m_source->height()); }
    qint64 bytes() const; // every plane
    QStringList describe() const;

    // Text and binary: the data into `out`, the planes one after another.
    void write(core::Formatter& out);
    // C: the array NAME of packed indices, or one array a plane,
    // NAME_<colour>; each "const ATTRIBUTE unsigned char".
    void writeArrays(core::Formatter& out, const QByteArray& name, const QByteArray& attribute);

private:
    void writePlane(core::Formatter& out, int plane);

    rgbqumo::DataSettings m_data;
    PanelSettings m_panel;
    QImage m_picture;
    QSize m_original;
    std::unique_ptr<core::PixelSource> m_source;
};

// The layout of one packed frame or one plane of `panel`.
core::Layout panelLayout(const PanelSettings& panel);
// The bytes of a picture of width x height: every plane.
qint64 panelBytes(const PanelSettings& panel, int width, int height);

// Panel data read back: the picture of `size` in the panel's colours.
// `bytes` holds exactly panelBytes() of it. An index past the palette shows
// as magenta #FF00FF; a pixel set in no plane is white, in several the
// first plane's colour. A null picture when there is no memory for it.
QImage panelPicture(const QByteArray& bytes, const PanelSettings& panel, QSize size);

} // namespace zentraq::epaper
