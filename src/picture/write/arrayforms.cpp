#include "arrayforms.h"

#include "carray.h"
#include "checked.h"

#include <QRgb>

#include <stdexcept>

namespace zentraq::rgbqumo {
namespace {

QByteArray sizeDefines(const QByteArray& name, int width, int height) {
    return "#define " + name + "_width " + QByteArray::number(width) + "\r\n#define " + name +
           "_height " + QByteArray::number(height) + "\r\n";
}

} // namespace

qint64 writeWordArray(core::PixelSource& source, core::SampleEncoder& encoder, bool swapBytes,
                      const ArrayDeclaration& d, core::ByteSink& sink) {
    if (encoder.bits() != 16)
        throw std::invalid_argument("word arrays take 16-bit samples");
    const int width = source.width(), height = source.height();
    const qint64 words = checked::mul(qint64(width), qint64(height));
    core::TextBlock out(sink);
    out.append(core::textView(d.comment + "#include <stdint.h>\r\n\r\n" +
                              sizeDefines(d.name, width, height) + "\r\n"));
    out.append(core::declarationText(
        {"const", core::textView(d.attribute), "uint16_t", core::textView(d.name), words}, "\r\n"));
    core::ArrayWriter items(out, {"\r\n", {}, {}, core::ItemsPerLine, core::ItemForm::Hex16});
    std::vector<QRgb> pixels(static_cast<std::size_t>(width));
    std::vector<std::uint32_t> samples(static_cast<std::size_t>(width));
    for (int y = 0; y < height; ++y) {
        source.read(y, 0, width, pixels.data());
        encoder.encodeRow(pixels.data(), width, samples.data());
        for (std::uint32_t w : samples) {
            w &= 0xFFFF;
            items.item(swapBytes ? (w >> 8 | w << 8) & 0xFFFF : w);
        }
    }
    items.close();
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
    const QByteArray bits = d.name + "_bits";
    core::Formatter out(sink, core::DataForm::C, core::LinePolicy{core::ItemsPerLine, false});
    out.text(sizeDefines(d.name, width, height));
    out.text(core::declarationText(
        {"static", {}, "unsigned char", core::textView(bits), -1, core::textView(d.attribute)},
        "\r\n"));
    core::Pipeline(encoder, layout, width, height, &out).frame(source);
    out.finish();
    if (!d.comment.isEmpty()) {
        out.text("\r\n" + d.comment);
        out.flush();
    }
    return bytes;
}

} // namespace zentraq::rgbqumo
