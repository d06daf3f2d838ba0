#pragma once

// PNG files made by the tests, byte by byte: every colour type, bit depth
// and interlacing, transparency, palettes shorter than their indices, and
// files damaged the ways decoders meet them (headers, zlib streams, files cut
// short, chunks that claim gigabytes), made here so that no third-party file
// is needed.

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
