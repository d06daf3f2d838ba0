#pragma once

// PNG files made by the tests, byte by byte: every colour type, bit depth
// and interlacing at several sizes and filters, transparency, palettes
// shorter than their indices, the ancillary chunks, IDAT split every way,
// and files damaged the ways decoders meet them (signatures, checksums,
// headers, zlib streams, chunk order, files cut short, chunks that claim
// gigabytes). Equivalents of the PNG test suite and of libpng's own test
// pictures, made here so that no third-party file is needed.

#include <QByteArray>
#include <QList>
#include <QString>

namespace zentraq::testing {

struct PngCase {
    QString name;
    QByteArray file;
};

// Every case, in a fixed order; the same bytes on every machine.
QList<PngCase> pngCases();

} // namespace zentraq::testing
