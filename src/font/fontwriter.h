#pragma once

// The font writers: each font format (LVGL C and binary, Adafruit GFX,
// TFT_eSPI vlw and its C array, ...) as one class implementing the writer
// interface of core/writer.h, found in fontWriters() by its --format name.
//
// Adding a font format: a class deriving from FontWriter, and its result
// from FontResult, in files of their own; one line in fontWriters()
// (fontwriters.cpp). The options only some formats take are FontOptionNames
// below: takes() says which of them it takes (a new one goes into that list
// and the command's table of options). check() gives the settings the
// format's defaults and rendering; make() builds the result from a source
// of one or more face groups.

#include "fontface.h"
#include "glyphsource.h"
#include "kerning.h"
#include "sample.h"
#include "vlwfont.h"
#include "writer.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <span>
#include <vector>

namespace zentraq::font {

// How a font is made, as the front end reads it and the writer completes
// it.
struct FontSettings {
    RenderSettings render; // size (or points and dpi), bits, hinting, how the library renders
    int lvglVersion = 9;   // LVGL: 9 or 8
    bool compress = true, prefilter = true, kerning = true;
    KerningRule kerningRule = KerningRule::Script;       // LVGL
    VlwConvention vlwConvention = VlwConvention::Glyphs; // vlw: the header's ascent and descent
    int u8g2Mode = 0;   // u8g2: bdfconv's build mode, 0 to 3 (U8g2Mode: t, h, m, 8)
    QByteArray include; // LVGL C: the header to include; empty: lvgl/lvgl.h
    QByteArray name;    // the C name; empty: the format's default
};

// One face of a font and the glyphs of the set drawn from it.
struct FaceGroup {
    const FontFace* face = nullptr;
    QString file;  // the face's file as read
    QString shown; // the same as messages and comments show it
    // Positions in the set's glyphs drawn from this face, ascending; empty:
    // all of them when it is the only face, none otherwise.
    std::vector<std::uint32_t> glyphs;
};

// What a font is made from: the glyph set, rendered from one face or merged
// from the groups of several (each face's characters, in code order), and
// the faces. The first face names the font and gives its metrics.
struct FontSource {
    const GlyphSet* set = nullptr;
    std::vector<FaceGroup> faces;
    QString output;      // the result's file name, for a default C name ("" or "-": none)
    QByteArray fallback; // LVGL C: the font LVGL asks for the characters this one lacks
};

// Kerning between the glyphs of the source by `rule`: each face's own,
// between two glyphs drawn from it, its classes after those of the faces
// before it.
Kerning sourceKerning(const FontSource& source, KerningRule rule);

// A font made for one format.
class FontResult : public core::Result {
public:
    FontResult(FontSource source, const FontSettings& settings);

    // "made by zentraq-cli font from FACE (FILE, face N)", and the size,
    // depth and characters.
    QStringList describe() const override;
    // Writes it (writeTo) and returns the bytes written.
    long long write(core::ByteSink& sink) final;
    // "95 characters of DejaVu Sans Book at 16 px, 4 bits a pixel", and what
    // the format adds.
    virtual QString summary() const;
    // The pixels the library moves the pen after glyph `glyph` of the set
    // when glyph `next` (-1: none) follows.
    virtual int penAdvance(std::size_t glyph, long next) const = 0;
    // `text` drawn as the library draws it with the font (by default: the
    // pen as penAdvance() moves it, missing characters left out), and what
    // becomes of the characters the font lacks: "left out".
    virtual Sample sample(QStringView text) const;
    virtual QString sampleMissing() const { return QStringLiteral("left out"); }
    const GlyphSet& glyphs() const { return m_set; }

protected:
    virtual void writeTo(core::ByteSink& sink) = 0;
    // The C name: the settings' or, without one, one made from the output's
    // file name ("font" for standard output).
    QByteArray cName() const;

    const FontSource m_source;
    const GlyphSet& m_set;
    FontSettings m_settings;
};

class FontWriter : public core::Writer<FontSettings, FontSource, FontResult> {
public:
    // Refuses (FontError, Request) characters the format cannot hold, before
    // anything is drawn (u8g2: codes above U+FFFF); by default none.
    virtual void checkCharacters(const std::vector<char32_t>& characters) const {
        (void)characters;
    }
    // The bits a pixel of a format that has one depth only (GFX: 1); 0 where
    // --bpp chooses.
    virtual int fixedBits() const { return 0; }
    // The note on the set's characters that the face lacks: `missing` of
    // the `asked` characters are not in `face`, `list` names the first ones.
    virtual QString missingNote(std::size_t missing, std::size_t asked, const QString& face,
                                const QString& list) const;
};

// Every font writer, in the order the help lists them; the first is the
// default.
std::span<const FontWriter* const> fontWriters();
const FontWriter* fontWriterNamed(QStringView name);

// The options that some font formats take and others do not, in the order
// they are checked.
inline constexpr const char* FontOptionNames[] = {
    "points",          "dpi",         "size",        "bpp",          "no-hinting", "autohint-off",
    "autohint-strong", "lvgl",        "no-compress", "no-prefilter", "kerning",    "no-kerning",
    "lv-include",      "lv-fallback", "name",        "vlw-metrics",  "u8g2-mode"};

// Refuses the first option of FontOptionNames that was given and that
// `writer` does not take, naming the formats that take it: "--points is for
// gfx fonts".
void refuseOtherFormatsOptions(const FontWriter& writer, const core::Options& options);

// --missing: the characters of `chars` that the face's character map lacks
// (nothing is drawn), each one a line ("U+0378 '\u0378'"), and how many:
// "3 of 95 characters are not in FACE".
struct MissingList {
    QByteArray lines;
    QString count;
    bool any = false;
};
MissingList missingList(const FontFace& face, const std::vector<char32_t>& chars);

// What the front end says of the characters of a set that the face lacks,
// out of `asked`: "2 of the 95 characters are not in FACE and are left out:
// U+4E2D '中' and U+6587 '文'" (empty when none is). Throws FontError
// (Failure) when the face has none of them.
QString leftOut(const FontWriter& writer, const GlyphSet& set, std::size_t asked);

// The font's sample as a PNG picture; `missing` gets the characters of the
// text it lacks. Throws FontError when the picture cannot be made.
QByteArray samplePicture(const FontResult& font, QStringView text, int* missing);

// For the writers of a size in pixels: --size, and --bpp (default
// `defaultBits`).
void readPixelSize(FontSettings& settings, const core::Options& options, int defaultBits);
// For LVGL's fonts: --size and --bpp (default 4), --lvgl 9|8 and --kerning
// script|lvgl-compatible.
void readLvglSettings(FontSettings& settings, const core::Options& options);

} // namespace zentraq::font
