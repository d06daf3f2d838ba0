// Writes the glyph golden text to standard output; the regeneration script
// stores it under tests/glyph/golden.
#include "support/golden.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QByteArray text = zentraq::testing::glyphGolden().toUtf8();
    std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stdout);
    return std::ferror(stdout) ? 1 : 0;
}
