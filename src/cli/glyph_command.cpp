// zentraq-cli glyph: the window's text-to-glyph-data conversion (the same
// canvas, faces, sizes and data text), with optional other shapes of the
// same bytes.
#include "cformat.h"
#include "cli.h"
#include "datatext.h"
#include "faces.h"
#include "glyphcanvas.h"
#include "options.h"
#include "output.h"
#include "qumo.h"

#include <QStringDecoder>

#include <memory>
#include <set>

namespace zentraq::cli {
namespace {

// The text to convert. A file is UTF-8 (a byte-order mark at its start is
// dropped); its line breaks are kept as they are, so CR LF pairs go away in
// the conversion as they do in the window and a lone LF is a character.
QString textOf(const Options& o) {
    switch (o.source) {
    case TextSource::Argument:
        return o.text;
    case TextSource::Ascii:
        return glyph::printableAscii();
    case TextSource::File: {
        const QByteArray bytes = readWhole(o.inputFile);
        QStringDecoder decoder(QStringDecoder::Utf8);
        QString text = decoder(bytes);
        if (decoder.hasError())
            failure(QStringLiteral("'%1' is not UTF-8 text").arg(o.inputFile));
        return text;
    }
    case TextSource::None:
        break;
    }
    return {};
}

// The renderer for --font or --font-file; nullptr for the window's faces.
std::unique_ptr<text::TextRenderer> chosenRenderer(const Options& o) {
    if (o.fontFamily.isEmpty() && o.fontFile.isEmpty())
        return nullptr;
    const text::FaceSpec face = o.fontFile.isEmpty() ? installedFace(o.fontFamily) : fontFileFace(o.fontFile);
    return std::make_unique<text::TextRenderer>(chainWith(face, text::resolveCanvasFaces()));
}

bool isControl(char32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp < 0xA0);
}

const glyph::SizePreset& presetOf(const Options& o) {
    for (const glyph::SizePreset& p : glyph::SizePresets) {
        if (p.width == o.width && p.height == o.height)
            return p;
    }
    return glyph::SizePresets.front(); // not reached: the size was checked
}

} // namespace

void runGlyph(const Options& o) {
    const QString text = textOf(o);
    const std::unique_ptr<text::TextRenderer> own = chosenRenderer(o);
    Destination destination(o.output, o.form == DataForm::Binary);

    // What a size button does: the canvas sized, its font size set from the
    // width, then the conversion.
    GlyphCanvas canvas(own.get());
    const auto width = static_cast<qint16>(o.width);
    const auto height = static_cast<qint16>(o.height);
    glyph::prepareCanvas(canvas, width, height, o.square);
    const glyph::GlyphData data = glyph::qumo(text, canvas, width, height);

    // Every other shape is made from the window's own data text.
    QByteArray dataText = data.text.toLatin1();
    if (o.msbFirst || o.invert)
        mapItems(dataText.data(), dataText.size(), glyphByteMap(o.msbFirst, o.invert));

    switch (o.form) {
    case DataForm::Hex:
        destination.sink().write(dataText);
        break;
    case DataForm::Binary:
        destination.sink().write(itemBytes(dataText.constData(), dataText.size()));
        break;
    case DataForm::C: {
        const std::vector<char32_t> chars = glyph::characters(glyph::removeCrLf(text));
        if (chars.empty())
            failure(QStringLiteral("the text has no characters to convert (CR LF pairs are removed), "
                                   "and C has no empty arrays"));
        const text::FaceSpec& face = canvas.renderer().faces().primary;
        GlyphArrayInfo info;
        info.name = o.name;
        info.width = o.width;
        info.height = o.height;
        info.sizeCaption = QString::fromUtf16(presetOf(o).caption);
        info.fontFamily = face.family;
        info.fontFile = face.file;
        info.points = canvas.fontSize();
        info.pixels = canvas.pixelSize();
        info.msbFirst = o.msbFirst;
        info.invert = o.invert;
        destination.sink().write(glyphArray(info, dataText, chars));
        break;
    }
    }
    destination.commit();
    if (!o.quiet)
        note(glyph::dataSizeCaption(data.byteCount));
}

int runGlyphMissing(const Options& o) {
    const QString text = textOf(o);
    const std::unique_ptr<text::TextRenderer> own = chosenRenderer(o);
    text::TextRenderer& renderer = own ? *own : text::TextRenderer::shared();

    // Control characters are never drawn from a face (they draw nothing), so
    // they are not missing from one.
    std::set<char32_t> seen;
    QByteArray listing;
    int missing = 0;
    int checked = 0;
    for (const char32_t c : glyph::characters(glyph::removeCrLf(text))) {
        if (isControl(c) || !seen.insert(c).second)
            continue;
        ++checked;
        if (!renderer.hasCharacter(c)) {
            ++missing;
            listing += characterLabel(c).toUtf8() + '\n';
        }
    }
    StdoutSink().write(listing);
    if (!o.quiet) {
        note(missing == 0 ? QStringLiteral("all %1 different characters have a face").arg(checked)
                          : QStringLiteral("%1 of %2 different characters have no face and would be drawn "
                                           "as the missing-character shape")
                                .arg(missing)
                                .arg(checked));
    }
    return missing == 0 ? 0 : 1;
}

} // namespace zentraq::cli
