#include "arrayforms.h"

#include "checked.h"

#include <QRgb>

#include <stdexcept>

namespace zentraq::rgbqumo {
namespace {

QByteArray sizeDefines(const QByteArray& name, int width, int height) {
    return "#define " + name + "_width " + QByteArray::number(width) + "\r\n#define " + name +
           "_height " + QByteArray::number(height) + "\r\n";
}

QByteArray withSpace(const QByteArray& attribute) {
    return attribute.isEmpty() ? attribute : attribute + ' ';
}

} // namespace

qint64 writeWordArray(core::PixelSource& source, core::SampleEncoder& encoder, bool swapBytes,
                      const ArrayDeclaration& d, core::ByteSink& sink) {
    if (encoder.bits() != 16)
        throw std::invalid_argument("word arrays take 16-bit samples");
    const int width = source.width(), height = source.height();
    const qint64 words = checked::mul(qint64(width), qint64(height));
    core::Formatter out(sink, core::DataForm::C);
    out.text(d.comment + "#include <stdint.h>\r\n\r\n" + sizeDefines(d.name, width, height) +
             "\r\nconst " + withSpace(d.attribute) + "uint16_t " + d.name + "[" +
             QByteArray::number(words) + "] = {\r\n");
    std::vector<QRgb> pixels(static_cast<std::size_t>(width));
    std::vector<std::uint32_t> samples(static_cast<std::size_t>(width));
    static constexpr char Digits[] = "0123456789ABCDEF";
    QByteArray text;
    qint64 written = 0;
    for (int y = 0; y < height; ++y) {
        source.read(y, 0, width, pixels.data());
        encoder.encodeRow(pixels.data(), width, samples.data());
        text.clear();
        for (int x = 0; x < width; ++x, ++written) {
            std::uint32_t w = samples[std::size_t(x)] & 0xFFFF;
            if (swapBytes)
                w = (w >> 8 | w << 8) & 0xFFFF;
            const char item[7] = {
                '0', 'x', Digits[w >> 12], Digits[w >> 8 & 15], Digits[w >> 4 & 15], Digits[w & 15],
                ','};
            text.append(item, 7);
            if (written % 16 == 15)
                text.append("\r\n");
        }
        out.text(text);
    }
    if (written % 16 != 0)
        out.text("\r\n");
    out.text("};\r\n");
    out.flush();
    return words * 2;
}

qint64 writeXbm(core::PixelSource& source, core::SampleEncoder& encoder, const ArrayDeclaration& d,
                core::ByteSink& sink) {
    if (encoder.bits() != 1)
        throw std::invalid_argument("an XBM takes 1-bit samples");
    const int width = source.width(), height = source.height();
    core::Layout layout;
    layout.bits = 1;
    layout.pad = true;
    const qint64 bytes = core::frameBytes(layout, width, height);
    // An XBM is also an image file: the readers (X11's XReadBitmapFile,
    // ImageMagick, Pillow, GIMP) want the #defines first and take
    // "static unsigned char NAME_bits[]", without const and without a size;
    // an attribute after the brackets they read past. The comment comes
    // after the data, where no reader looks.
    core::Formatter out(sink, core::DataForm::C, core::LinePolicy{16, false});
    out.text(sizeDefines(d.name, width, height) + "static unsigned char " + d.name + "_bits[]" +
             (d.attribute.isEmpty() ? QByteArray() : ' ' + d.attribute) + " = {\r\n");
    core::Pipeline(encoder, layout, width, height, &out).frame(source);
    out.finish();
    if (!d.comment.isEmpty()) {
        out.text("\r\n" + d.comment);
        out.flush();
    }
    return bytes;
}

} // namespace zentraq::rgbqumo
