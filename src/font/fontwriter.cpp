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

Kerning sourceKerning(const FontSource& source, KerningRule rule) {
    const GlyphSet& set = *source.set;
    if (source.faces.size() == 1 && source.faces.front().glyphs.empty())
        return kerningOf(*source.faces.front().face, set, rule);
    Kerning all;
    all.leftClass.assign(set.glyphs.size(), 0);
    all.rightClass.assign(set.glyphs.size(), 0);
    for (const FaceGroup& group : source.faces) {
        // The face's own glyphs as a set of their own; its classes follow
        // those of the faces before it, so no cell pairs two faces.
        std::vector<std::uint32_t> positions = group.glyphs;
        if (positions.empty() && source.faces.size() > 1)
            continue; // (a face all of whose characters other faces give)
        if (positions.empty())
            for (std::uint32_t i = 0; i < set.glyphs.size(); ++i)
                positions.push_back(i);
        GlyphSet part;
        part.settings = set.settings;
        part.faceName = set.faceName;
        part.metrics = set.metrics;
        part.samples = set.samples;
        for (const std::uint32_t i : positions)
            part.glyphs.push_back(set.glyphs[i]);
        const Kerning k = kerningOf(*group.face, part, rule);
        if (k.empty())
            continue; // (its class lists may be left empty then)
        for (std::size_t j = 0; j < positions.size(); ++j) {
            if (k.leftClass[j])
                all.leftClass[positions[j]] = k.leftClass[j] + all.leftClasses;
            if (k.rightClass[j])
                all.rightClass[positions[j]] = k.rightClass[j] + all.rightClasses;
        }
        for (const Kerning::Cell& c : k.cells)
            all.cells.push_back({c.left + all.leftClasses, c.right + all.rightClasses, c.value});
        all.leftClasses += k.leftClasses;
        all.rightClasses += k.rightClasses;
    }
    return all;
}

FontResult::FontResult(FontSource source, const FontSettings& settings)
    : m_source(std::move(source)), m_set(*m_source.set), m_settings(settings) {}

QStringList FontResult::describe() const {
    const FaceGroup& face = m_source.faces.front();
    const RenderSettings& r = m_settings.render;
    QStringList lines{QStringLiteral("made by zentraq-cli font from %1 (%2, face %3)")
                          .arg(m_set.faceName, QFileInfo(face.shown).fileName())
                          .arg(face.face->index())};
    for (std::size_t i = 1; i < m_source.faces.size(); ++i) {
        const FaceGroup& more = m_source.faces[i];
        lines << QStringLiteral("and %1 (%2, face %3): %4 characters")
                     .arg(more.face->name(), QFileInfo(more.shown).fileName())
                     .arg(more.face->index())
                     .arg(more.glyphs.size());
    }
    return lines << QStringLiteral("%1, %2, %3 characters%4")
                        .arg(sizeText(r), depthText(r.bits))
                        .arg(m_set.glyphs.size())
                        .arg(r.hinting ? QString() : QStringLiteral(", not hinted"));
}

QString FontResult::summary() const {
    const RenderSettings& r = m_settings.render;
    QStringList faces;
    for (const FaceGroup& f : m_source.faces)
        faces << f.face->name();
    return QStringLiteral("%1 characters of %2 at %3, %4")
        .arg(m_set.glyphs.size())
        .arg(faces.size() > 1 ? core::listed(faces) : m_set.faceName, sizeText(r),
             depthText(r.bits));
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

void readLvglSettings(FontSettings& s, const core::Options& options) {
    readPixelSize(s, options, 4);
    if (options.isSet("lvgl")) {
        const QString v = options.value("lvgl");
        if (v != QLatin1String("9") && v != QLatin1String("8"))
            options.refuseValue("lvgl", QStringLiteral("9 or 8"));
        s.lvglVersion = v.toInt();
    }
    if (options.isSet("kerning")) {
        const QString v = options.value("kerning");
        if (v != QLatin1String("script") && v != QLatin1String("lvgl-compatible"))
            options.refuseValue("kerning", QStringLiteral("script or lvgl-compatible"));
        if (options.isSet("no-kerning"))
            options.refuse(QStringLiteral("--kerning and --no-kerning contradict each other"));
        s.kerningRule = v == QLatin1String("lvgl-compatible") ? KerningRule::LvglCompatible
                                                              : KerningRule::Script;
    }
}

MissingList missingList(const FontFace& face, const std::vector<char32_t>& chars) {
    MissingList list;
    std::size_t missing = 0;
    for (const char32_t c : chars)
        if (face.glyphIndex(c) == 0) {
            list.lines += core::characterLabel(c).toUtf8() + '\n';
            ++missing;
        }
    list.any = missing > 0;
    list.count = QStringLiteral("%1 of %2 characters are not in %3")
                     .arg(missing)
                     .arg(chars.size())
                     .arg(face.name());
    return list;
}

QString leftOut(const FontWriter& writer, const GlyphSet& set, std::size_t asked) {
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
    return writer.missingNote(set.missing.size(), asked, set.faceName, core::listed(shown));
}

QString FontWriter::missingNote(std::size_t missing, std::size_t asked, const QString& face,
                                const QString& list) const {
    return QStringLiteral("%1 of the %2 characters are not in %3 and are left out: %4")
        .arg(missing)
        .arg(asked)
        .arg(face, list);
}

Sample FontResult::sample(QStringView text) const {
    return drawSample(m_set, text,
                      [this](std::size_t i, long next) { return penAdvance(i, next); });
}

QByteArray samplePicture(const FontResult& font, QStringView text, int* missing) {
    const Sample sample = font.sample(text);
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
