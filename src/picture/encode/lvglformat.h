#pragma once

// The colour formats of LVGL images, of version 9 (lv_image_dsc_t) and of
// version 8.3 (lv_img_dsc_t), and what each pixel becomes in them.
//
// Pixels arrive unpremultiplied with their alpha. Formats with alpha keep it
// as it is; formats without alpha lay the pixel exactly onto the background
// colour first: (c * a + bg * (255 - a) + 127) / 255. Colour channels keep
// their top bits (565: r >> 3, g >> 2, b >> 3), or are dithered as the
// picture command's formats are. Sub-byte samples (a1..a4, i1..i4) fill each
// byte from bit 7 down; every row starts on a new byte and is padded with
// zeros to the stride.
//
// Version 9 (each row `stride` bytes, the default being the row's whole
// bytes, or a multiple of --stride-align):
//   rgb565 0x12            2 bytes, the 565 word low byte first
//   rgb565-swapped 0x1B    the same, high byte first
//   rgb565a8 0x14          a plane of 565 words (stride bytes a row), then a
//                          plane of alpha bytes (stride / 2 bytes a row)
//   argb8565 0x13          the 565 word low byte first, then alpha
//   rgb888 0x0F            B, G, R
//   xrgb8888 0x11          B, G, R, 0xFF
//   argb8888 0x10          B, G, R, A
//   argb8888-premultiplied 0x1A  B, G, R times A / 255 (truncated, as LVGL's
//                          own converter stores them), A
//   l8 0x06                the luma: sRGB channels made linear, weighed
//                          0.2126 R + 0.7152 G + 0.0722 B, made sRGB again
//                          and rounded to nearest (greys keep their value)
//   al88 0x15              the luma, then the alpha (the luma in linear
//                          light as for l8, but truncated to a level as
//                          LVGL's converter does, and not flattened)
//   a1, a2, a4, a8 0x0B-0x0E   the alpha's top 1, 2, 4 or 8 bits
//   i1, i2, i4, i8 0x07-0x0A   a palette of 2, 4, 16 or 256 colours (4 bytes
//                          each: B, G, R, A), then the indices
//   raw 0x01, raw-alpha 0x02   a picture file (PNG, JPEG, GIF, ...) as it is,
//                          for LVGL's own decoders; width, height and
//                          stride 0 (lvglraw.h)
// rgb565a8 and argb8565 may be premultiplied (the header's flag 0x01): each
// 5- or 6-bit colour level times A / 255, truncated.
// Version 8.3 (rows of whole bytes, no stride):
//   true-color 4           the 565 word low byte first (--color-depth 16),
//                          high byte first (16-swap), or B, G, R, 0xFF (32)
//   true-color-alpha 5     the same colour followed by the alpha byte; at 32
//                          bits B, G, R, A
//   i1..i8 7-10, a1..a8 11-14 as in version 9; raw 1, raw-alpha 2

#include "pixelformat.h"

#include <QRgb>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <optional>
#include <vector>

namespace zentraq::lvgl {

enum class Version { V8 = 8, V9 = 9 };

enum class ColourFormat {
    Rgb565,
    Rgb565Swapped,
    Rgb565A8,
    Argb8565,
    Rgb888,
    Xrgb8888,
    Argb8888,
    Argb8888Premultiplied,
    L8,
    A1,
    A2,
    A4,
    A8,
    I1,
    I2,
    I4,
    I8,
    TrueColor,      // version 8 only
    TrueColorAlpha, // version 8 only
    Al88,           // version 9 only
    Raw,            // a picture file as it is
    RawAlpha,       // the same, for a picture with alpha
};

// The colour depth of a version 8 build: LV_COLOR_DEPTH 16 (with or without
// LV_COLOR_16_SWAP) or 32. Only the true-colour formats depend on it.
enum class ColourDepth { Depth16, Depth16Swapped, Depth32 };

enum class Compression { None, Rle, Lz4 };

// The names on the command line: "rgb565", ..., "true-color-alpha"; "16",
// "16-swap", "32"; "none", "rle", "lz4".
QString formatName(ColourFormat format);
std::optional<ColourFormat> parseFormat(QStringView name);
// The formats of one version, in the order of the table above.
QList<ColourFormat> formatsOf(Version version);
QStringList formatNames(Version version);
bool belongsTo(ColourFormat format, Version version);
QString depthName(ColourDepth depth);
std::optional<ColourDepth> parseDepth(QStringView name);
QString compressionName(Compression compression);
std::optional<Compression> parseCompression(QStringView name);

// The colour format's number in the image header of `version`.
int formatId(ColourFormat format, Version version);
// The enumerator that names it in C: "LV_COLOR_FORMAT_RGB565A8",
// "LV_IMG_CF_TRUE_COLOR_ALPHA", ...
QByteArray formatEnum(ColourFormat format, Version version);
// A one-line description for headers and help.
QString formatDescription(ColourFormat format, ColourDepth depth = ColourDepth::Depth16);

// Bits per pixel of the main plane (rgb565a8: 16, its colour plane).
int bitsPerPixel(ColourFormat format, ColourDepth depth = ColourDepth::Depth16);
bool isIndexed(ColourFormat format);
bool isAlphaOnly(ColourFormat format);
// Formats that keep the pixels' alpha (all but those flattened onto the
// background).
bool keepsAlpha(ColourFormat format);
// Palette entries of an indexed format (2, 4, 16, 256), else 0.
int paletteSize(ColourFormat format);
// Formats whose colour is an RGB565 word (LVGL 8's true colour at 16 bits).
bool has565Colour(ColourFormat format, ColourDepth depth = ColourDepth::Depth16);
// Formats whose colour can be dithered: fewer than 8 bits a channel.
bool acceptsDither(ColourFormat format, ColourDepth depth = ColourDepth::Depth16);
// raw and raw-alpha: the input file's bytes, not its pixels.
bool isRaw(ColourFormat format);
// Formats that may be stored premultiplied (--premultiply): rgb565a8,
// argb8565.
bool acceptsPremultiply(ColourFormat format);

// "white", "black", "#RRGGBB" or "0xRRGGBB" as an opaque colour.
std::optional<QRgb> parseColour(QStringView text);

// The luma of l8 (see above), 0..255.
int lumaOf(int r, int g, int b);
// The luma of al88, 0..255: the same weights in linear light, the result
// made sRGB again and truncated, in doubles as LVGL's converter computes it.
int truncatedLumaOf(int r, int g, int b);

struct ImageOptions {
    Version version = Version::V9;
    ColourFormat format = ColourFormat::Argb8888;
    ColourDepth depth = ColourDepth::Depth16;
    QRgb background = qRgb(255, 255, 255);
    int strideAlign = 1;
    Compression compression = Compression::None;
    rgbqumo::DitherMode dither = rgbqumo::DitherMode::None;
    bool premultiply = false; // rgb565a8, argb8565: colour levels times alpha
};

// Why `options` cannot make an image, in English for the command-line tool
// (a format of the other version, compression or a stride with version 8, a
// stride alignment that is not a power of two from 1 to 256, dithering of a
// format that has nothing to dither, premultiplying a format other than
// rgb565a8 and argb8565, raw with compression or a stride); empty when they
// can.
QString optionsProblem(const ImageOptions& options);

// The sizes of an image of width x height pixels.
struct ImageLayout {
    int width = 0;
    int height = 0;
    int stride = 0;        // bytes of a row of the main plane
    int paletteBytes = 0;  // 4 per entry
    qint64 planeBytes = 0; // stride * height
    qint64 alphaBytes = 0; // rgb565a8: (stride / 2) * height
    qint64 rawBytes() const { return paletteBytes + planeBytes + alphaBytes; }
};

// Throws RuntimeError when the image does not fit the header: a side above
// 65535 or a stride above 65535 bytes (version 9), a side above 2047
// (version 8), or no pixels at all. Not for raw formats, whose data is the
// file.
ImageLayout layoutOf(const ImageOptions& options, int width, int height);

} // namespace zentraq::lvgl
