#include "kerning.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <hb-ft.h>
#include <hb-ot.h>
#include <hb.h>

#include <memory>

namespace zentraq::font {
namespace {

template <class T, void (*Destroy)(T*)> struct HbDeleter {
    void operator()(T* p) const { Destroy(p); }
};
using HbFace = std::unique_ptr<hb_face_t, HbDeleter<hb_face_t, hb_face_destroy>>;
using HbFont = std::unique_ptr<hb_font_t, HbDeleter<hb_font_t, hb_font_destroy>>;
using HbBuffer = std::unique_ptr<hb_buffer_t, HbDeleter<hb_buffer_t, hb_buffer_destroy>>;
using HbSet = std::unique_ptr<hb_set_t, HbDeleter<hb_set_t, hb_set_destroy>>;
using HbPlan = std::unique_ptr<hb_shape_plan_t, HbDeleter<hb_shape_plan_t, hb_shape_plan_destroy>>;

constexpr hb_tag_t KernTag = HB_TAG('k', 'e', 'r', 'n');

// The lookups of the kern feature in the default language of DFLT, else of
// latn: the script a converter without text picks. Empty when there is none.
std::vector<unsigned> kernLookups(hb_face_t* face) {
    unsigned script = 0;
    if (!hb_ot_layout_table_find_script(face, HB_OT_TAG_GPOS, HB_OT_TAG_DEFAULT_SCRIPT, &script) &&
        !hb_ot_layout_table_find_script(face, HB_OT_TAG_GPOS, HB_TAG('l', 'a', 't', 'n'), &script))
        return {};
    unsigned feature = 0;
    if (!hb_ot_layout_language_find_feature(face, HB_OT_TAG_GPOS, script,
                                            HB_OT_LAYOUT_DEFAULT_LANGUAGE_INDEX, KernTag, &feature))
        return {};
    std::vector<unsigned> lookups(
        hb_ot_layout_feature_get_lookups(face, HB_OT_TAG_GPOS, feature, 0, nullptr, nullptr));
    unsigned count = static_cast<unsigned>(lookups.size());
    hb_ot_layout_feature_get_lookups(face, HB_OT_TAG_GPOS, feature, 0, &count, lookups.data());
    lookups.resize(count);
    return lookups;
}

// Every feature a shaper turns on by itself, off, and kern as asked: the
// pair is positioned by its kern lookups and nothing else.
std::vector<hb_feature_t> onlyKern(bool kern) {
    static const char* const others[] = {"abvm", "blwm", "ccmp", "locl", "mark", "mkmk", "rlig",
                                         "calt", "clig", "curs", "dist", "liga", "rclt", "rvrn",
                                         "frac", "numr", "dnom", "ltra", "ltrm", "rtla", "rtlm"};
    std::vector<hb_feature_t> features;
    for (const char* tag : others)
        features.push_back(
            {hb_tag_from_string(tag, 4), 0, HB_FEATURE_GLOBAL_START, HB_FEATURE_GLOBAL_END});
    features.push_back({KernTag, kern ? 1u : 0u, HB_FEATURE_GLOBAL_START, HB_FEATURE_GLOBAL_END});
    return features;
}

class PairShaper {
public:
    PairShaper(hb_face_t* face, hb_font_t* font) : m_font(font), m_buffer(hb_buffer_create()) {
        // Script Common: HarfBuzz then takes DFLT, else latn, as above.
        m_props.direction = HB_DIRECTION_LTR;
        m_props.script = HB_SCRIPT_COMMON;
        m_props.language = HB_LANGUAGE_INVALID;
        m_on = onlyKern(true);
        m_off = onlyKern(false);
        m_planOn.reset(hb_shape_plan_create_cached(face, &m_props, m_on.data(),
                                                   static_cast<unsigned>(m_on.size()), nullptr));
        m_planOff.reset(hb_shape_plan_create_cached(face, &m_props, m_off.data(),
                                                    static_cast<unsigned>(m_off.size()), nullptr));
    }

    // The first character's advance when followed by `second` (kern on), or
    // alone (kern off; second = 0); -1 in `glyph0` when the characters did
    // not stay two glyphs.
    hb_position_t advance(char32_t first, char32_t second, bool kern, unsigned* glyph0) {
        hb_buffer_t* b = m_buffer.get();
        hb_buffer_clear_contents(b);
        hb_buffer_set_segment_properties(b, &m_props);
        hb_buffer_set_flags(b, HB_BUFFER_FLAG_PRESERVE_DEFAULT_IGNORABLES);
        const hb_codepoint_t text[2] = {first, second};
        const unsigned length = second ? 2 : 1;
        hb_buffer_add_codepoints(b, text, int(length), 0, int(length));
        const std::vector<hb_feature_t>& features = kern ? m_on : m_off;
        hb_shape_plan_execute(kern ? m_planOn.get() : m_planOff.get(), m_font, b, features.data(),
                              static_cast<unsigned>(features.size()));
        unsigned count = 0;
        const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(b, &count);
        const hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(b, &count);
        if (count != length) {
            *glyph0 = ~0u;
            return 0;
        }
        *glyph0 = info[0].codepoint;
        return pos[0].x_advance;
    }

private:
    hb_font_t* m_font;
    HbBuffer m_buffer;
    hb_segment_properties_t m_props = HB_SEGMENT_PROPERTIES_DEFAULT;
    std::vector<hb_feature_t> m_on, m_off;
    HbPlan m_planOn, m_planOff;
};

std::vector<KernPair> gposPairs(const FontFace& face, const GlyphSet& set) {
    const HbFace hbFace(hb_ft_face_create_referenced(face.ft()));
    const std::vector<unsigned> lookups = kernLookups(hbFace.get());
    if (lookups.empty())
        return {};
    const HbSet covered(hb_set_create());
    for (const unsigned lookup : lookups)
        hb_ot_layout_lookup_collect_glyphs(hbFace.get(), HB_OT_TAG_GPOS, lookup, nullptr,
                                           covered.get(), nullptr, nullptr);
    std::vector<std::uint32_t> paired; // positions of the characters the lookups name
    for (std::uint32_t i = 0; i < set.glyphs.size(); ++i) {
        if (hb_set_has(covered.get(), set.glyphs[i].index))
            paired.push_back(i);
    }
    if (paired.empty())
        return {};

    // Positions in font units: a font at the face's own scale.
    const HbFont font(hb_font_create(hbFace.get()));
    hb_font_set_scale(font.get(), face.unitsPerEm(), face.unitsPerEm());
    PairShaper shaper(hbFace.get(), font.get());
    std::vector<KernPair> pairs;
    for (const std::uint32_t l : paired) {
        const Glyph& left = set.glyphs[l];
        unsigned glyph = 0;
        const hb_position_t alone = shaper.advance(left.code, 0, false, &glyph);
        if (glyph != left.index)
            continue;
        for (const std::uint32_t r : paired) {
            const hb_position_t kerned =
                shaper.advance(left.code, set.glyphs[r].code, true, &glyph);
            if (glyph == left.index && kerned != alone)
                pairs.push_back({l, r, int(kerned - alone)});
        }
    }
    return pairs;
}

std::vector<KernPair> kernTablePairs(const FontFace& face, const GlyphSet& set) {
    FT_Face f = face.ft();
    std::vector<KernPair> pairs;
    for (std::uint32_t l = 0; l < set.glyphs.size(); ++l) {
        for (std::uint32_t r = 0; r < set.glyphs.size(); ++r) {
            FT_Vector v{0, 0};
            if (FT_Get_Kerning(f, set.glyphs[l].index, set.glyphs[r].index, FT_KERNING_UNSCALED,
                               &v) == 0 &&
                v.x != 0)
                pairs.push_back({l, r, int(v.x)});
        }
    }
    return pairs;
}

} // namespace

std::vector<KernPair> kerningPairs(const FontFace& face, const GlyphSet& set) {
    if (!face.scalable() || set.glyphs.empty())
        return {};
    const HbFace hbFace(hb_ft_face_create_referenced(face.ft()));
    if (hb_ot_layout_has_positioning(hbFace.get()))
        return gposPairs(face, set);
    if (FT_HAS_KERNING(face.ft()))
        return kernTablePairs(face, set);
    return {};
}

} // namespace zentraq::font
