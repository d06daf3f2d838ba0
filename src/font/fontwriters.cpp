// The font writers of LVGL (C and binary), Adafruit GFX and TFT_eSPI (vlw
// and its C array), and the table the font command looks them up in, with
// the flash image's (lvglflash.h), u8g2's and BDF's (u8g2writers.h).
#include "fontwriter.h"

#include "fonterror.h"
#include "gfxfont.h"
#include "lvglflash.h"
#include "lvglfont.h"
#include "textout.h"
#include "u8g2writers.h"
#include "vlwfont.h"

#include <cstring>

namespace zentraq::font {
namespace {

bool among(const char* option, std::initializer_list<const char*> names) {
    for (const char* n : names)
        if (std::strcmp(option, n) == 0)
            return true;
    return false;
}

// LVGL's text fonts: the C source (lvgl) or the binary font (lvgl-bin).
class LvglResult : public FontResult {
public:
    LvglResult(FontSource source, const FontSettings& s, bool binary)
        : FontResult(std::move(source), s), m_binary(binary),
          m_font(m_set, s.kerning ? sourceKerning(m_source, s.kerningRule) : Kerning{}, options()) {
    }

    int penAdvance(std::size_t glyph, long next) const override {
        return m_font.penAdvance(glyph, next);
    }
    QString summary() const override {
        QString line =
            FontResult::summary() + QStringLiteral(", %1 pixels a line, %2 kerning pairs")
                                        .arg(m_font.lineHeight())
                                        .arg(m_font.kernPairCount());
        if (m_font.needsLargeFormat())
            line += QStringLiteral(", needs LV_FONT_FMT_TXT_LARGE 1 in lv_conf.h");
        return line;
    }

private:
    LvglOptions options() const {
        const FontSettings& s = m_settings;
        LvglOptions o;
        o.version = s.lvglVersion;
        o.compress = s.compress;
        o.prefilter = s.prefilter;
        o.name = cName();
        o.include = s.include;
        o.comment = describe();
        o.fallback = m_source.fallback;
        // LVGL would follow a font that falls back to itself for ever.
        if (!o.fallback.isEmpty() && o.fallback == o.name)
            requestError(QStringLiteral("--lv-fallback names the font itself (%1)")
                             .arg(QString::fromUtf8(o.name)));
        return o;
    }
    void writeTo(core::ByteSink& sink) override {
        if (m_binary)
            m_font.writeBinary(sink);
        else
            m_font.writeC(sink);
    }

    bool m_binary;
    LvglFont m_font;
};

class LvglWriter : public FontWriter {
public:
    explicit LvglWriter(bool binary) : m_binary(binary) {}
    const char* name() const override { return m_binary ? "lvgl-bin" : "lvgl"; }
    const char* summary() const override {
        return m_binary ? "LVGL's binary font" : "C source of an LVGL font";
    }
    bool binary() const override { return m_binary; }
    bool takes(const char* option) const override {
        return among(option, {"size", "bpp", "no-hinting", "autohint-off", "autohint-strong",
                              "lvgl", "no-compress", "no-prefilter", "kerning", "no-kerning"}) ||
               (!m_binary && among(option, {"lv-include", "lv-fallback", "name"}));
    }
    void check(FontSettings& s, const core::Options& options) const override {
        readLvglSettings(s, options);
    }
    std::unique_ptr<FontResult> make(FontSource source, const FontSettings& s) const override {
        return std::make_unique<LvglResult>(std::move(source), s, m_binary);
    }

private:
    bool m_binary;
};

// Adafruit GFX: one span of 16-bit codes, 1-bit bitmaps, whole-pixel
// advances; rendered with the face's own hinting at a size in points.
class GfxResult : public FontResult {
public:
    using FontResult::FontResult;
    int penAdvance(std::size_t glyph, long) const override {
        return gfxAdvance(m_set.glyphs[glyph]);
    }

private:
    void writeTo(core::ByteSink& sink) override {
        const QByteArray name =
            m_settings.name.isEmpty()
                ? gfxDefaultName(m_source.faces.front().file, m_settings.render.points,
                                 m_set.glyphs.back().code)
                : m_settings.name;
        writeGfx(m_set, name, sink);
    }
};

class GfxWriter : public FontWriter {
public:
    const char* name() const override { return "gfx"; }
    const char* summary() const override { return "an Adafruit GFX header"; }
    bool binary() const override { return false; }
    int fixedBits() const override { return 1; }
    QString missingNote(std::size_t missing, std::size_t asked, const QString& face,
                        const QString& list) const override {
        return QStringLiteral("%1 of the %2 characters are not in %3: %4; within the font's span "
                              "they get its .notdef glyph, as fontconvert gives them, the others "
                              "are left out")
            .arg(missing)
            .arg(asked)
            .arg(face, list);
    }
    bool takes(const char* option) const override {
        return among(option, {"points", "dpi", "name"});
    }
    void check(FontSettings& s, const core::Options& options) const override {
        RenderSettings& r = s.render;
        r.rendering = Rendering::Bytecode;
        r.pixelSize = 0;
        r.bound = gfxGlyphBound();
        r.dpi = options.isSet("dpi") ? options.count("dpi", 1, 1200) : 141;
        if (!options.isSet("points"))
            options.refuse(QStringLiteral("gfx fonts need --points PT"));
        r.points = options.count("points", 1, 1024);
        if (qint64(r.points) * r.dpi > 1024 * 72)
            options.refuse(QStringLiteral("%1 pt at %2 dpi is more than 1024 pixels")
                               .arg(r.points)
                               .arg(r.dpi));
        r.bits = 1;
    }
    std::unique_ptr<FontResult> make(FontSource source, const FontSettings& s) const override {
        return std::make_unique<GfxResult>(std::move(source), s);
    }
};

// TFT_eSPI's smooth fonts: the vlw file, or the same bytes as a C array.
class VlwResult : public FontResult {
public:
    VlwResult(FontSource source, const FontSettings& s, bool array)
        : FontResult(std::move(source), s), m_array(array),
          m_metrics(vlwMetrics(*m_source.faces.front().face, m_set, s.vlwConvention)) {}
    int penAdvance(std::size_t glyph, long) const override {
        return vlwAdvance(m_set.glyphs[glyph]);
    }
    // As TFT_eSPI draws it, missing characters as its box.
    Sample sample(QStringView text) const override {
        return drawVlwSample(m_set, m_metrics.ascent, m_metrics.descent, text);
    }
    QString sampleMissing() const override { return QStringLiteral("drawn as TFT_eSPI's box"); }

private:
    void writeTo(core::ByteSink& sink) override {
        const QByteArray bytes =
            vlwBytes(m_set, m_metrics, m_source.faces.front().face->postscriptName());
        if (m_array)
            writeVlwC(bytes, cName(), describe(), sink);
        else
            sink.write(bytes.constData(), bytes.size());
    }

    bool m_array;
    VlwMetrics m_metrics;
};

class VlwWriter : public FontWriter {
public:
    explicit VlwWriter(bool array) : m_array(array) {}
    const char* name() const override { return m_array ? "vlw-c" : "vlw"; }
    const char* summary() const override {
        return m_array ? "the same as a C array" : "a TFT_eSPI smooth font";
    }
    bool binary() const override { return !m_array; }
    bool takes(const char* option) const override {
        return among(option, {"size", "bpp", "no-hinting", "autohint-off", "autohint-strong",
                              "vlw-metrics"}) ||
               (m_array && among(option, {"name"}));
    }
    void check(FontSettings& s, const core::Options& options) const override {
        if (options.isSet("vlw-metrics")) {
            const QString v = options.value("vlw-metrics");
            if (v != QLatin1String("glyphs") && v != QLatin1String("processing"))
                options.refuseValue("vlw-metrics", QStringLiteral("glyphs or processing"));
            s.vlwConvention = v == QLatin1String("processing") ? VlwConvention::Processing
                                                               : VlwConvention::Glyphs;
        }
        readPixelSize(s, options, 8);
        s.render.bound = vlwGlyphBound();
    }
    std::unique_ptr<FontResult> make(FontSource source, const FontSettings& s) const override {
        return std::make_unique<VlwResult>(std::move(source), s, m_array);
    }

private:
    bool m_array;
};

template <class W, auto... Args> const FontWriter* instance() {
    static const W writer(Args...);
    return &writer;
}

} // namespace

std::span<const FontWriter* const> fontWriters() {
    // One line a format, in the order the help lists them; the first is the
    // default.
    static const FontWriter* const table[] = {
        instance<LvglWriter, false>(),
        instance<LvglWriter, true>(),
        lvglFlashWriter(),
        instance<GfxWriter>(),
        instance<VlwWriter, false>(),
        instance<VlwWriter, true>(),
        u8g2Writer(false),
        u8g2Writer(true),
        bdfWriter(),
    };
    return table;
}

} // namespace zentraq::font
