#include "fontwriter.h"

#include "csource.h"
#include "fonterror.h"
#include "sample.h"

#include <QBuffer>
#include <QFileInfo>

#include <algorithm>

namespace zentraq::font {
namespace {

// A sink that counts what goes through it.
class CountingSink : public core::ByteSink {
public:
    explicit CountingSink(core::ByteSink& to) : m_to(to) {}
    void write(const char* data, long long size) override {
        m_to.write(data, size);
        count += size;
    }
    long long count = 0;

private:
    core::ByteSink& m_to;
};

// "16 px", or for a size in points "12 pt at 141 dpi".
QString sizeText(const RenderSettings& r) {
    return r.rendering == Rendering::Bytecode
               ? QStringLiteral("%1 pt at %2 dpi").arg(r.points).arg(r.dpi)
               : QStringLiteral("%1 px").arg(r.pixelSize);
}

QString depthText(int bits) {
    return bits == 1 ? QStringLiteral("1 bit a pixel")
                     : QStringLiteral("%1 bits a pixel").arg(bits);
}

} // namespace

std::vector<KernPair> sourceKerning(const FontSource& source) {
    const GlyphSet& set = *source.set;
    std::vector<KernPair> all;
    for (const FaceGroup& group : source.faces) {
        if (group.glyphs.empty()) {
            const std::vector<KernPair> pairs = kerningPairs(*group.face, set);
            all.insert(all.end(), pairs.begin(), pairs.end());
            continue;
        }
        // The face's own glyphs as a set of their own, its pairs put back
        // in the positions of the whole set.
        GlyphSet part;
        part.settings = set.settings;
        part.faceName = set.faceName;
        part.metrics = set.metrics;
        part.samples = set.samples;
        for (const std::uint32_t i : group.glyphs)
            part.glyphs.push_back(set.glyphs[i]);
        for (KernPair p : kerningPairs(*group.face, part)) {
            p.left = group.glyphs[p.left];
            p.right = group.glyphs[p.right];
            all.push_back(p);
        }
    }
    std::sort(all.begin(), all.end(), [](const KernPair& a, const KernPair& b) {
        return a.left != b.left ? a.left < b.left : a.right < b.right;
    });
    return all;
}

FontResult::FontResult(FontSource source, const FontSettings& settings)
    : m_source(std::move(source)), m_set(*m_source.set), m_settings(settings) {}

QStringList FontResult::describe() const {
    const FaceGroup& face = m_source.faces.front();
    const RenderSettings& r = m_settings.render;
    return {QStringLiteral("made by zentraq-cli font from %1 (%2, face %3)")
                .arg(m_set.faceName, QFileInfo(face.shown).fileName())
                .arg(face.face->index()),
            QStringLiteral("%1, %2, %3 characters%4")
                .arg(sizeText(r), depthText(r.bits))
                .arg(m_set.glyphs.size())
                .arg(r.hinting ? QString() : QStringLiteral(", not hinted"))};
}

QString FontResult::summary() const {
    const RenderSettings& r = m_settings.render;
    return QStringLiteral("%1 characters of %2 at %3, %4")
        .arg(m_set.glyphs.size())
        .arg(m_set.faceName, sizeText(r), depthText(r.bits));
}

long long FontResult::write(core::ByteSink& sink) {
    CountingSink counted(sink);
    writeTo(counted);
    return counted.count;
}

QByteArray FontResult::cName() const {
    if (!m_settings.name.isEmpty())
        return m_settings.name;
    // Letters, digits and '_' of the output's name.
    const QString& path = m_source.output;
    QString n = path.isEmpty() || path == QLatin1String("-") ? QStringLiteral("font")
                                                             : QFileInfo(path).completeBaseName();
    for (QChar& c : n)
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80))
            c = u'_';
    if (n.isEmpty() || n[0].isDigit())
        n.prepend(u'_');
    return (core::isCKeyword(n) ? n + u'_' : n).toUtf8();
}

void refuseOtherFormatsOptions(const FontWriter& writer, const core::Options& options) {
    for (const char* option : FontOptionNames) {
        if (!options.isSet(option) || writer.takes(option))
            continue;
        QString formats = core::listed(core::writerNames(
            fontWriters(), [option](const FontWriter& w) { return w.takes(option); }));
        if (QLatin1String(option) == QLatin1String("bpp") && writer.fixedBits() > 0)
            formats += QStringLiteral(" (%1 is %2)")
                           .arg(QLatin1String(writer.name()))
                           .arg(writer.fixedBits());
        options.refuse(QStringLiteral("--%1 is for %2 fonts").arg(QLatin1String(option), formats));
    }
}

void readPixelSize(FontSettings& s, const core::Options& options, int defaultBits) {
    if (!options.isSet("size"))
        options.refuse(QStringLiteral("font needs --size PX (gfx: --points PT)"));
    s.render.rendering = Rendering::Autohinted;
    s.render.pixelSize = options.count("size", 1, 1024);
    s.render.bits = defaultBits;
    if (options.isSet("bpp")) {
        s.render.bits = options.count("bpp", 1, 8);
        if (s.render.bits != 1 && s.render.bits != 2 && s.render.bits != 4 && s.render.bits != 8)
            options.refuseValue("bpp", QStringLiteral("1, 2, 4 or 8"));
    }
}

QByteArray missingList(const GlyphSet& set) {
    QByteArray listing;
    for (const char32_t c : set.missing)
        listing += core::characterLabel(c).toUtf8() + '\n';
    return listing;
}

QString missingCount(const GlyphSet& set, std::size_t asked) {
    return QStringLiteral("%1 of %2 characters are not in %3")
        .arg(set.missing.size())
        .arg(asked)
        .arg(set.faceName);
}

QString leftOut(const GlyphSet& set, std::size_t asked) {
    if (set.glyphs.empty())
        fontFailure(
            QStringLiteral("none of the %1 characters is in %2").arg(asked).arg(set.faceName));
    if (set.missing.empty())
        return {};
    QStringList shown;
    for (std::size_t i = 0; i < set.missing.size() && i < 5; ++i)
        shown << core::characterLabel(set.missing[i]);
    if (set.missing.size() > 5)
        shown << QStringLiteral("%1 more").arg(set.missing.size() - 5);
    return QStringLiteral("%1 of the %2 characters are not in %3 and are left out: %4")
        .arg(set.missing.size())
        .arg(asked)
        .arg(set.faceName, core::listed(shown));
}

QByteArray samplePicture(const FontResult& font, QStringView text, int* missing) {
    const Sample sample = drawSample(font.glyphs(), text, [&font](std::size_t i, long next) {
        return font.penAdvance(i, next);
    });
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!sample.picture.save(&buffer, "PNG"))
        fontFailure(QStringLiteral("the sample cannot be made a PNG picture"));
    *missing = sample.missing;
    return png;
}

const FontWriter* fontWriterNamed(QStringView name) {
    return core::writerNamed(fontWriters(), name);
}

} // namespace zentraq::font
