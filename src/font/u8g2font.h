#pragma once

// A u8g2 font, byte for byte as u8g2's own converter bdfconv makes it from a
// BDF file holding the same glyphs (bdfconv -f 1 -b MODE): the C string
// literal with its header comment, or the same bytes raw.
//
// The font: a 23-byte header (the glyph count modulo 256, the build mode,
// the bits a run of 0s and of 1s takes, the bits of each glyph field, the
// box of all glyphs, the ascent of 'A', the descent of 'g', the ascent and
// descent of '(', where 'A', 'a' and the codes above U+00FF start); a record
// [code][size][bits] for each code up to U+00FF and 0, 0; a look-up table of
// one 4-byte entry (bytes to skip, last code) per 101 glyphs above U+00FF,
// then their records [code high][code low][size][bits] and 0, 0. A glyph's
// bits, least significant first: width and height, x, y and the pen's
// advance offset by half their range, then its pixels row by row from the
// top as pairs of runs (0s, 1s), a 1 bit repeating the pair before, and a
// closing 0 bit.
//
// Like bdfconv, the glyphs are first cut to their ink; the build modes then
// place them in boxes:
//   t  Proportional   each glyph its ink box, the pen moved by its advance
//   h  CommonHeight   every glyph as high as the font's box, from the pen
//                     on, as wide as its ink reaches or its advance
//   m  Monospace      every glyph the font's box (at least the widest
//                     advance wide), the pen moved by that width
//   8  Tiles          every glyph 8 x 8 pixels from the pen on
// The run widths are those of the smallest font (0s: 2 to 8 bits, 1s: 2 to
// 6), the first found in bdfconv's order; the runs are counted once, each
// different pair of runs priced once in all 35 ways, and the glyphs priced
// from those. Large fonts are worked on by a few threads.

#include "bdfnames.h"
#include "fonterror.h"
#include "formatter.h"
#include "glyphsource.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

namespace zentraq::font {

enum class U8g2Mode { Proportional = 0, CommonHeight = 1, Monospace = 2, Tiles = 3 };

struct U8g2Options {
    U8g2Mode mode = U8g2Mode::Proportional;
    QByteArray name; // the C array's name, a C identifier
};

// A glyph u8g2 cannot hold at this size: its record would reach 255 bytes,
// or a field of it would take more than 8 bits. `code` names it (0: the
// font's box as a whole).
class U8g2TooLarge : public FontError {
public:
    U8g2TooLarge(char32_t code, const QString& message)
        : FontError(FontError::Request, message), m_code(code) {}
    char32_t code() const { return m_code; }

private:
    char32_t m_code;
};

// Throws FontError (Request) for a code above U+FFFF: u8g2 looks glyphs up
// by 16-bit codes.
void checkU8g2Codes(const std::vector<char32_t>& codes);

// The largest size below `settings`' at which a u8g2 font of `characters`
// in `mode` fits, a glyph's record under 255 bytes and every field in 8
// bits: for an outline face a size in points, for a bitmap face one of its
// strikes. 0 when none does.
int largestU8g2Size(const FontFace& face, RenderSettings settings,
                    const std::vector<char32_t>& characters, U8g2Mode mode);

class U8g2Font {
public:
    // The font of `set` (one bit a sample), as bdfconv makes it from a BDF
    // file whose other glyphs are `references`: the header's ascents and
    // descents come from the glyphs of 'A', '1', 'g' and '(' in `set`, cut
    // to their ink, or else as they are in `references`. `names` gives the
    // header comment's font name, copyright and count of the file's glyphs.
    // Throws FontError (Request) for a code above U+FFFF and U8g2TooLarge.
    U8g2Font(const GlyphSet& set, const GlyphSet& references, const BdfNames& names,
             U8g2Options options);

    const std::vector<std::uint8_t>& bytes() const { return m_font; }
    void writeC(core::ByteSink& sink) const;
    void writeBinary(core::ByteSink& sink) const;

    int zeroBits() const { return m_font[2]; }
    int oneBits() const { return m_font[3]; }
    U8g2Mode mode() const { return m_options.mode; }
    // The pixels u8g2 moves the pen after glyph `i` of the set.
    int penAdvance(std::size_t i) const { return int(m_placed[i].dx); }
    // "t", "h", "m" or "8".
    static const char* modeName(U8g2Mode mode);

    // The glyphs of `set`, the set the font was made of, as u8g2 draws them:
    // their boxes as the mode places them, their pixels, the pen's advance
    // in whole pixels. For the sample.
    GlyphSet drawn(const GlyphSet& set) const;

private:
    struct Place {
        long x, y, w, h; // the box u8g2 draws
        long shift;      // columns the glyph is moved right by in it
        long dx;         // the pen's advance
    };
    U8g2Options m_options;
    BdfNames m_names;
    std::size_t m_glyphs = 0;
    std::vector<std::uint8_t> m_font;
    std::vector<Place> m_placed;
};

} // namespace zentraq::font
