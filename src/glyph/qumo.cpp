#include "qumo.h"

#include "bytearraysink.h"
#include "formatter.h"
#include "runtime_error.h"
#include "scanglyph.h"

#include <limits>

namespace zentraq::glyph {

QString removeCrLf(QStringView text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            ++i;
            continue;
        }
        out.append(text[i]);
    }
    return out;
}

std::vector<char32_t> characters(QStringView text) {
    std::vector<char32_t> out;
    out.reserve(static_cast<std::size_t>(text.size()));
    for (qsizetype i = 0; i < text.size();)
        out.push_back(nextCharacter(text, i));
    return out;
}

GlyphData qumo(QStringView text, GlyphCanvas& canvas, qint16 width, qint16 height) {
    const int bytesPerGlyph = rgbqumo::glyphByteCount(width, height);
    const std::vector<char32_t> chars = characters(removeCrLf(text));

    // Each byte is five characters ("0xAB,"), each line ends in CR LF.
    const qsizetype lineLength = 5 * static_cast<qsizetype>(bytesPerGlyph) + 2;
    const auto count = static_cast<qsizetype>(chars.size());
    if (count > 0 && lineLength > std::numeric_limits<qsizetype>::max() / 4 / count)
        throw RuntimeError(RuntimeError::Other,
                           QStringLiteral("文本过长，字模数据超出可处理的大小"));

    // GlyphBytes of every character as data text, one line each.
    core::ByteArraySink lines;
    lines.bytes.reserve(count * lineLength);
    core::Formatter items(lines, core::DataForm::Text, core::LinePolicy{0, true});
    for (const char32_t c : chars) {
        canvas.clear();
        canvas.setCurrentX(0);
        canvas.setCurrentY(0);
        canvas.Print(c);
        rgbqumo::ScanGlyph(canvas.surface(), width, height);
        items.bytes(rgbqumo::GlyphBytes);
        items.endFrame();
    }
    items.finish();

    GlyphData result;
    result.text = QString::fromLatin1(lines.bytes);
    result.byteCount = items.byteCount();
    return result;
}

float presetFontSize(int width, bool square) {
    return square ? static_cast<float>(width) * 3.0f / 4.0f
                  : static_cast<float>(width) * 3.0f / 2.0f;
}

void prepareCanvas(GlyphCanvas& canvas, qint16 width, qint16 height, bool square) {
    canvas.setWidth(width);
    canvas.setHeight(height);
    canvas.setFontSize(presetFontSize(canvas.width(), square));
}

QString printableAscii() {
    QString s;
    for (char16_t c = 32; c <= 126; ++c)
        s.append(QChar(c));
    return s;
}

QString dataSizeCaption(qint64 byteCount) {
    return QStringLiteral("数据大小:") + QString::number(byteCount);
}

} // namespace zentraq::glyph
