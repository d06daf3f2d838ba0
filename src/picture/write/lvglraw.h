#pragma once

// LVGL images of colour format raw and raw-alpha: a picture file (PNG, JPEG,
// GIF, ...) kept as it is, for LVGL's own decoders to open (its PNG and JPEG
// decoders through lv_image, lv_gif for a GIF). The descriptor is the one
// LVGL's converter writes for them: width, height and stride 0 (the decoder
// reads them from the file), no flags, the file's size as data_size and the
// file's bytes as data.
//
// As an image file (lvgl-bin) the same header and the file's bytes follow
// one another: LVGL 9's 12 bytes (0x19, the format, then zeros), or LVGL 8's
// 4 (the format in the low 5 bits, zeros above). LVGL's file system opens a
// PNG, JPEG or GIF by its own name; this form is for a program that reads the
// file into memory and makes a descriptor of its header and data.

#include "lvglimage.h"

#include <QByteArrayView>

namespace zentraq::lvgl {

// The line of a C header comment that says what the image is.
QString rawLine(const ImageOptions& options);

// The C source: the data array NAME_map with the file's bytes and the
// descriptor NAME. Returns the bytes of the array.
qint64 writeRawSource(QByteArrayView file, const ImageOptions& options,
                      const CDeclaration& declaration, core::ByteSink& sink);

// The image file: the header and the file's bytes. Returns the bytes after
// the header.
qint64 writeRawFile(QByteArrayView file, const ImageOptions& options, core::ByteSink& sink);

} // namespace zentraq::lvgl
