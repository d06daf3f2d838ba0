#include "u8g2writers.h"

#include "bdffont.h"
#include "bdfnames.h"
#include "fonterror.h"
#include "u8g2font.h"

#include <cstring>

namespace zentraq::font {
namespace {

bool among(const char* option, std::initializer_list<const char*> names) {
    for (const char* n : names)
        if (std::strcmp(option, n) == 0)
            return true;
    return false;
}

// --size PX or --points PT, one of the two: at 72 dpi a point is a pixel.
void readSize(FontSettings& s, const core::Options& options) {
    if (options.isSet("size") == options.isSet("points"))
        options.refuse(QStringLiteral("u8g2, u8g2-bin and bdf fonts need one size: --size PX or "
                                      "--points PT (the same at 72 dpi)"));
    RenderSettings& r = s.render;
    r.rendering = Rendering::Otf2bdf;
    r.points = r.pixelSize = options.count(options.isSet("size") ? "size" : "points", 1, 1024);
    r.dpi = 72;
    r.bits = 1;
}

// The u8g2 font of the source. bdfconv reads the header's ascents from the
// face's 'A', '1', 'g' and '(' also when the font leaves them out; a glyph
// too large is refused with the largest size at which every glyph fits.
U8g2Font u8g2Font(const FontSource& source, const FontSettings& s, const BdfNames& names,
                  const QByteArray& name) {
    const GlyphSet& set = *source.set;
    const FontFace& face = *source.faces.front().face;
    std::vector<char32_t> others;
    for (const char32_t c : {U'(', U'1', U'A', U'g'})
        if (!set.find(c))
            others.push_back(c);
    const GlyphSet references = renderGlyphs(face, s.render, others);
    const U8g2Options options{U8g2Mode(s.u8g2Mode), name};
    try {
        return U8g2Font(set, references, names, options);
    } catch (const U8g2TooLarge& e) {
        std::vector<char32_t> codes;
        for (const Glyph& g : set.glyphs)
            codes.push_back(g.code);
        const int fits = largestU8g2Size(face, s.render, codes, options.mode);
        requestError(e.message() +
                     (fits > 0 ? QStringLiteral("; %1 px is the largest size at which every glyph "
                                                "fits")
                                     .arg(fits)
                               : QStringLiteral("; no smaller size of the face fits")));
    }
}

class U8g2Result : public FontResult {
public:
    U8g2Result(FontSource source, const FontSettings& s, bool binary)
        : FontResult(std::move(source), s), m_binary(binary),
          m_names(bdfNames(*m_source.faces.front().face, s.render)),
          m_font(u8g2Font(m_source, s, m_names, cName())) {}

    int penAdvance(std::size_t glyph, long) const override { return m_font.penAdvance(glyph); }
    // With u8g2's boxes and advances, where u8g2 draws them.
    Sample sample(QStringView text) const override {
        const GlyphSet drawn = m_font.drawn(m_set);
        return drawSample(drawn, text, [this](std::size_t i, long) { return penAdvance(i, -1); });
    }
    QString summary() const override {
        QString line =
            FontResult::summary() + QStringLiteral(", mode %1, runs of %2 and %3 bits")
                                        .arg(QLatin1String(U8g2Font::modeName(m_font.mode())))
                                        .arg(m_font.zeroBits())
                                        .arg(m_font.oneBits());
        if (m_font.bytes().size() - 1 > 32760)
            line += QStringLiteral(", needs U8G2_USE_LARGE_FONTS");
        return line;
    }

private:
    void writeTo(core::ByteSink& sink) override {
        if (m_binary)
            m_font.writeBinary(sink);
        else
            m_font.writeC(sink);
    }

    bool m_binary;
    BdfNames m_names;
    U8g2Font m_font;
};

class U8g2Writer : public FontWriter {
public:
    explicit U8g2Writer(bool binary) : m_binary(binary) {}
    const char* name() const override { return m_binary ? "u8g2-bin" : "u8g2"; }
    const char* summary() const override {
        return m_binary ? "the same font's bytes" : "a u8g2 font as C, as bdfconv writes it";
    }
    bool binary() const override { return m_binary; }
    int fixedBits() const override { return 1; }
    // Also those the face lacks: u8g2 could not look them up in any face.
    void checkCharacters(const std::vector<char32_t>& characters) const override {
        checkU8g2Codes(characters);
    }
    bool takes(const char* option) const override {
        return among(option, {"size", "points", "u8g2-mode"}) ||
               (!m_binary && among(option, {"name"}));
    }
    void check(FontSettings& s, const core::Options& options) const override {
        readSize(s, options);
        if (options.isSet("u8g2-mode")) {
            const QString v = options.value("u8g2-mode");
            bool known = false;
            for (const int mode : {0, 1, 2, 3})
                if (v == QLatin1String(U8g2Font::modeName(U8g2Mode(mode)))) {
                    s.u8g2Mode = mode;
                    known = true;
                }
            if (!known)
                options.refuseValue("u8g2-mode", QStringLiteral("t, h, m or 8"));
        }
    }
    std::unique_ptr<FontResult> make(FontSource source, const FontSettings& s) const override {
        return std::make_unique<U8g2Result>(std::move(source), s, m_binary);
    }

private:
    bool m_binary;
};

class BdfResult : public FontResult {
public:
    BdfResult(FontSource source, const FontSettings& s)
        : FontResult(std::move(source), s),
          m_names(bdfNames(*m_source.faces.front().face, s.render)) {}
    int penAdvance(std::size_t glyph, long) const override {
        return m_set.glyphs[glyph].advance >> 6;
    }

private:
    void writeTo(core::ByteSink& sink) override { writeBdf(m_set, m_names, describe(), sink); }

    BdfNames m_names;
};

class BdfWriter : public FontWriter {
public:
    const char* name() const override { return "bdf"; }
    const char* summary() const override { return "a BDF 2.1 font file"; }
    bool binary() const override { return false; }
    int fixedBits() const override { return 1; }
    bool takes(const char* option) const override { return among(option, {"size", "points"}); }
    void check(FontSettings& s, const core::Options& options) const override {
        readSize(s, options);
    }
    std::unique_ptr<FontResult> make(FontSource source, const FontSettings& s) const override {
        return std::make_unique<BdfResult>(std::move(source), s);
    }
};

} // namespace

const FontWriter* u8g2Writer(bool binary) {
    static const U8g2Writer c(false), bin(true);
    return binary ? &bin : &c;
}

const FontWriter* bdfWriter() {
    static const BdfWriter writer;
    return &writer;
}

} // namespace zentraq::font
