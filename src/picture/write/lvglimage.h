#pragma once

// LVGL images: the data of a picture in one of LVGL's colour formats (see
// lvglformat.h), as a C source with its image descriptor or as the image
// file LVGL loads from a file system, and the same read back.
//
// The data: the palette of an indexed format (4 bytes B, G, R, A per entry,
// all 2^bits entries), then the rows of the main plane (stride bytes each),
// then for rgb565a8 the rows of the alpha plane (stride / 2 bytes each).
//
// Version 9 files start with a 12-byte header: 0x19, the colour format, the
// flags (16 bits), width, height, stride (16 bits each) and two zero bytes,
// all little-endian. Compressed data (flag 0x08) is preceded by three 32-bit
// words: the method (1 RLE, 2 LZ4), the compressed size and the size of the
// data before compression. RLE works on blocks of one pixel's bytes (1 for
// sub-byte formats, 2 for rgb565a8): a control byte c below 0x80 repeats the
// next block c times, c = 0x80 + n copies the next n blocks; repeats of fewer
// than 16 blocks go into copies, and neither runs longer than 127 blocks.
// The data is padded to whole blocks before it is compressed. LZ4 is one
// raw LZ4 block.
//
// Version 8 files start with a 32-bit header: the colour format in bits
// 0-4, the width in bits 10-20, the height in bits 21-31.

#include "lvglformat.h"
#include "pipeline.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QList>

#include <optional>

namespace zentraq::lvgl {

// The palette and planes of `source`, whose pixels keep their alpha, into
// `out`: layout.rawBytes() bytes, written a row at a time. The source is read
// once, or twice for indexed formats (their colours first) and rgb565a8 (the
// alpha plane after the colour plane). Throws what the source and the sink
// throw.
void encodeData(core::PixelSource& source, const ImageOptions& options, const ImageLayout& layout,
                core::ByteSink& out);

// The bytes of one RLE block: a pixel's whole bytes, 2 for rgb565a8, 1 for
// sub-byte formats.
int rleBlockBytes(const ImageOptions& options);
QByteArray rleCompress(QByteArrayView data, int blockBytes);
// The data back from RLE, exactly `size` bytes; nothing when the stream is
// damaged or gives another size. Likewise from LZ4, held to the rules of
// liblz4's safe decoder.
std::optional<QByteArray> rleDecompress(QByteArrayView stream, int blockBytes, qint64 size);
QByteArray lz4Compress(QByteArrayView data);
std::optional<QByteArray> lz4Decompress(QByteArrayView block, qint64 size);

// The three 32-bit words and the compressed data.
QByteArray compressedData(const ImageOptions& options, QByteArrayView raw);

// The file header of the image's version.
QByteArray fileHeader(const ImageOptions& options, const ImageLayout& layout);

// What a C source declares besides the data: the descriptor's name (the data
// array is NAME_map), text for every declaration (e.g. PROGMEM or
// LV_ATTRIBUTE_LARGE_CONST; empty for none) and a comment to put first
// (complete, with its line ends; may be empty).
struct CDeclaration {
    QByteArray name;
    QByteArray attribute;
    QByteArray comment;
    // The includes and build checks before the declarations; left out for
    // an image that follows another in one source.
    bool preamble = true;
};

// The image as LVGL loads it from a file. Returns the bytes of the data
// written after the header (compressed or not).
qint64 writeImageFile(core::PixelSource& source, const ImageOptions& options, core::ByteSink& sink);

// The image as a C source: the data array and the descriptor
// (lv_image_dsc_t for version 9, lv_img_dsc_t for version 8, whose true-colour
// formats refuse to compile in a build of another colour depth). Returns the
// bytes of the data array.
qint64 writeImageSource(core::PixelSource& source, const ImageOptions& options,
                        const CDeclaration& declaration, core::ByteSink& sink);

// What an LVGL image read back says of itself.
struct ImageHeader {
    ImageOptions options; // version, format, depth (as given), compression
    int width = 0;
    int height = 0;
    int stride = 0;
    bool premultiplied = false; // the header's flag
};

// Takes the rows of an image as they are read back, top to bottom.
class RowReceiver {
public:
    virtual ~RowReceiver() = default;
    // Once, when the header has passed its checks, before any row.
    virtual void begin(const ImageHeader& header) = 0;
    // Row `y`: header.width pixels, ARGB unpremultiplied.
    virtual void row(int y, const QRgb* pixels) = 0;
};

// An image file: version 9 when it starts with 0x19, else version 8, whose
// true-colour formats are read at `depth`. A C source: the descriptor it
// declares (the first lv_image_dsc_t or lv_img_dsc_t) with its data array,
// read in one pass over the text. The rows go to `receiver` as they are
// decoded; compressed data is unpacked as they are, keeping no more than
// the 64 KiB an LZ4 match reaches back (rgb565a8 unpacks its stream twice,
// once for each plane). Throws RuntimeError (InvalidPicture) saying what is
// wrong when the file is not such an image, is cut short or damaged (found
// perhaps only after some rows went out), or holds more than 64 Mi pixels
// or (compressed) 256 MiB of data; and what the receiver throws.
void readImageFile(QByteArrayView bytes, ColourDepth depth, RowReceiver& receiver);
void readImageSource(QByteArrayView text, ColourDepth depth, RowReceiver& receiver);

// An LVGL image read back whole.
struct ReadImage {
    ImageOptions options;       // version, format, depth (as given), compression
    int stride = 0;             // raw: of the decoded picture, 4 bytes a pixel
    bool premultiplied = false; // the header's flag
    QImage picture;             // Format_ARGB32, unpremultiplied
};

// The same into one picture.
ReadImage readImageFile(QByteArrayView bytes, ColourDepth depth = ColourDepth::Depth16);
ReadImage readImageSource(QByteArrayView text, ColourDepth depth = ColourDepth::Depth16);
// How many image descriptors a C source declares.
int declaredImages(QByteArrayView text);
// Every image a C source declares (a frame table's), in order, each read as
// readImageSource reads the first; at least one.
QList<ReadImage> readImageSources(QByteArrayView text, ColourDepth depth = ColourDepth::Depth16);

} // namespace zentraq::lvgl
