#include "kerning.h"

#include "fonterror.h"
#include "pairtables.h"

#include <hb-ft.h>
#include <hb-ot.h>
#include <hb.h>

#include <algorithm>
#include <map>
#include <memory>
#include <unordered_map>

namespace zentraq::font {
namespace {

// Steps (a coverage or pair look-up, a class compared) one face's kerning may
// take, and the class cells it may keep: a few tenths of a second and some
// tens of MiB at most, whatever the face holds.
constexpr std::uint64_t MaxSteps = std::uint64_t(1) << 24;
constexpr std::size_t MaxCells = std::size_t(1) << 22;

constexpr hb_tag_t KernTag = HB_TAG('k', 'e', 'r', 'n');

template <class T, void (*Destroy)(T*)> struct HbDeleter {
    void operator()(T* p) const { Destroy(p); }
};
using HbFace = std::unique_ptr<hb_face_t, HbDeleter<hb_face_t, hb_face_destroy>>;

QByteArray tableOf(hb_face_t* face, hb_tag_t tag) {
    hb_blob_t* blob = hb_face_reference_table(face, tag);
    unsigned length = 0;
    const char* data = hb_blob_get_data(blob, &length);
    QByteArray bytes(data, qsizetype(length));
    hb_blob_destroy(blob);
    return bytes;
}

// The characters text shaping hides (HarfBuzz's default ignorables).
bool defaultIgnorable(char32_t c) {
    return c == 0xAD || c == 0x34F || c == 0x61C || (c >= 0x115F && c <= 0x1160) ||
           (c >= 0x17B4 && c <= 0x17B5) || (c >= 0x180B && c <= 0x180F) ||
           (c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2060 && c <= 0x206F) || c == 0x3164 || (c >= 0xFE00 && c <= 0xFE0F) ||
           c == 0xFEFF || c == 0xFFA0 || (c >= 0xFFF0 && c <= 0xFFF8) ||
           (c >= 0x1BCA0 && c <= 0x1BCA3) || (c >= 0x1D173 && c <= 0x1D17A) ||
           (c >= 0xE0000 && c <= 0xE0FFF);
}

// Glyph properties as the lookup flags test them: base 0x02, ligature 0x04,
// mark 0x08 with its attachment class in the second byte.
constexpr unsigned BaseProps = 0x02, LigatureProps = 0x04, MarkProps = 0x08;

// Which pair adjustments one script gets: lookups (positions in
// Reader::m_lookups, in the order they apply) and whether the legacy kern
// table counts too.
struct LookupList {
    std::vector<unsigned> lookups;
    bool kernTable = false;
    bool operator<(const LookupList& o) const {
        return std::tie(lookups, kernTable) < std::tie(o.lookups, o.kernTable);
    }
};

// A left glyph's hit in a subtable: the subtable (its position in its
// lookup) and what it keys on.
struct Hit {
    unsigned subtable;
    std::uint32_t key;
};

// Signature entries: 16 bits of lookup (position in m_lookups), 16 of
// subtable, 32 of key.
constexpr std::uint64_t entry(std::uint64_t lookup, std::uint64_t subtable, std::uint64_t key) {
    return lookup << 48 | subtable << 32 | key;
}
constexpr std::uint64_t Skipped = 0xFFFF;   // subtable: the lookup skips the glyph
constexpr std::uint64_t KernRow = 0xFFFF;   // lookup: the kern table names the glyph
constexpr std::uint64_t Named = 0xFFFE;     // lookup: a format 1 pair set names the glyph
constexpr std::uint64_t ListEntry = 0xFFFD; // lookup: the list the glyph's script takes

struct VectorHash {
    std::size_t operator()(const std::vector<std::uint64_t>& v) const {
        std::uint64_t h = 1469598103934665603ull;
        for (const std::uint64_t x : v)
            h = (h ^ x) * 1099511628211ull;
        return std::size_t(h ^ (h >> 29));
    }
};

class Reader {
public:
    Reader(const FontFace& face, const GlyphSet& set, KerningRule rule)
        : m_face(face), m_set(set), m_rule(rule), m_hb(hb_ft_face_create_referenced(face.ft())),
          m_tables(tableOf(m_hb.get(), HB_OT_TAG_GPOS), tableOf(m_hb.get(), KernTag)) {}

    Kerning read();

private:
    void spend(std::uint64_t steps);
    void chooseLists();
    LookupList scriptList(hb_script_t script);
    unsigned addLookup(unsigned index);
    void readKernTable();
    int kernTableValue(unsigned left, unsigned right) const;
    bool kernTableHasLeft(unsigned glyph) const;
    bool skips(std::size_t position, const PairLookup& lookup) const;
    std::vector<std::uint64_t> leftSignature(std::size_t i);
    std::vector<std::uint64_t> rightSignature(std::size_t j);
    int evaluate(const std::vector<std::vector<Hit>>& hits, const std::vector<bool>& skipped,
                 std::size_t i, std::size_t j, const LookupList& list);

    const FontFace& m_face;
    const GlyphSet& m_set;
    KerningRule m_rule;
    HbFace m_hb;
    PairTables m_tables;
    GlyphDefinitions m_gdef;
    std::uint64_t m_steps = 0;

    std::vector<PairLookup> m_lookups;
    std::map<unsigned, unsigned> m_lookupAt; // lookup index -> position in m_lookups
    std::vector<LookupList> m_lists;
    std::vector<int> m_leftList;  // per glyph: the list of its script, -1 for none
    std::vector<int> m_rightList; // per glyph: the list of a pair it ends after a weak glyph
    std::vector<bool> m_strong;   // per glyph: it has a script of its own
    std::vector<unsigned> m_props;
    std::vector<bool> m_excluded;
    std::vector<unsigned> m_weakLists; // lists a glyph without a script may take
    bool m_anyKernTable = false;
    // The kern table's pairs among the set's glyphs: (left << 16 | right, value).
    std::vector<std::pair<std::uint32_t, int>> m_kern;
    std::vector<std::vector<bool>> m_reachable; // format 2 subtables a first glyph meets
    std::vector<bool> m_named;                  // by glyph index: named by a format 1 pair set
    std::vector<bool> m_kernRight;              // by glyph index: the second of a kern table pair
};

void Reader::spend(std::uint64_t steps) {
    m_steps += steps;
    if (m_steps > MaxSteps)
        requestError(QStringLiteral("the kerning of %1 takes more than %2 steps to read for "
                                    "these characters; give --no-kerning")
                         .arg(m_face.name())
                         .arg(MaxSteps));
}

unsigned Reader::addLookup(unsigned index) {
    if (m_lookups.size() >= 0xFFF0)
        requestError(QStringLiteral("%1 has more kerning lookups than can be read; give "
                                    "--no-kerning")
                         .arg(m_face.name()));
    const auto [it, added] = m_lookupAt.emplace(index, unsigned(m_lookups.size()));
    if (added)
        m_lookups.push_back(m_tables.lookup(index, m_rule == KerningRule::Script));
    return it->second;
}

std::vector<unsigned> featureLookups(hb_face_t* face, unsigned feature) {
    std::vector<unsigned> lookups(
        hb_ot_layout_feature_get_lookups(face, HB_OT_TAG_GPOS, feature, 0, nullptr, nullptr));
    unsigned count = unsigned(lookups.size());
    hb_ot_layout_feature_get_lookups(face, HB_OT_TAG_GPOS, feature, 0, &count, lookups.data());
    lookups.resize(count);
    return lookups;
}

// HarfBuzz's choice for text in `script` with no language: the script's
// tags, else DFLT, dflt, latn; the default language system; its kern
// feature and its required feature. Without a kern feature there, the
// legacy kern table counts.
LookupList Reader::scriptList(hb_script_t script) {
    LookupList list;
    hb_face_t* face = m_hb.get();
    unsigned scriptIndex = HB_OT_LAYOUT_NO_SCRIPT_INDEX, language = 0, kern = 0;
    bool kerned = false;
    if (hb_ot_layout_has_positioning(face)) {
        hb_tag_t tags[HB_OT_MAX_TAGS_PER_SCRIPT];
        unsigned count = HB_OT_MAX_TAGS_PER_SCRIPT, languages = 0;
        hb_ot_tags_from_script_and_language(script, HB_LANGUAGE_INVALID, &count, tags, &languages,
                                            nullptr);
        hb_tag_t chosen = 0;
        hb_ot_layout_table_select_script(face, HB_OT_TAG_GPOS, count, tags, &scriptIndex, &chosen);
    }
    if (scriptIndex != HB_OT_LAYOUT_NO_SCRIPT_INDEX) {
        hb_ot_layout_script_select_language(face, HB_OT_TAG_GPOS, scriptIndex, 0, nullptr,
                                            &language);
        std::vector<unsigned> indices;
        kerned = hb_ot_layout_language_find_feature(face, HB_OT_TAG_GPOS, scriptIndex, language,
                                                    KernTag, &kern);
        if (kerned)
            indices = featureLookups(face, kern);
        unsigned required = 0;
        if (hb_ot_layout_language_get_required_feature(face, HB_OT_TAG_GPOS, scriptIndex, language,
                                                       &required, nullptr)) {
            const std::vector<unsigned> more = featureLookups(face, required);
            indices.insert(indices.end(), more.begin(), more.end());
        }
        std::sort(indices.begin(), indices.end());
        indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
        for (const unsigned index : indices) {
            const unsigned at = addLookup(index);
            if (!m_lookups[at].subtables.empty())
                list.lookups.push_back(at);
        }
    }
    list.kernTable = !kerned && m_tables.hasKern();
    return list;
}

void Reader::chooseLists() {
    const std::size_t n = m_set.glyphs.size();
    m_leftList.assign(n, -1);
    m_rightList.assign(n, -1);
    m_excluded.assign(n, false);
    m_strong.assign(n, true);
    m_props.assign(n, BaseProps);
    std::map<LookupList, int> lists;
    const auto listId = [&](LookupList list) {
        if (list.lookups.empty() && !list.kernTable)
            return -1;
        const auto [it, added] = lists.emplace(std::move(list), int(m_lists.size()));
        if (added)
            m_lists.push_back(it->first);
        return it->second;
    };

    if (m_rule == KerningRule::LvglCompatible) {
        LookupList list;
        if (m_tables.hasGpos()) {
            hb_face_t* face = m_hb.get();
            unsigned script = 0, kern = 0;
            if ((hb_ot_layout_table_find_script(face, HB_OT_TAG_GPOS, HB_OT_TAG_DEFAULT_SCRIPT,
                                                &script) ||
                 hb_ot_layout_table_find_script(face, HB_OT_TAG_GPOS, HB_TAG('l', 'a', 't', 'n'),
                                                &script)) &&
                hb_ot_layout_language_find_feature(face, HB_OT_TAG_GPOS, script,
                                                   HB_OT_LAYOUT_DEFAULT_LANGUAGE_INDEX, KernTag,
                                                   &kern)) {
                for (const unsigned index : featureLookups(face, kern)) {
                    const unsigned at = addLookup(index);
                    if (!m_lookups[at].subtables.empty())
                        list.lookups.push_back(at);
                }
            }
        } else {
            list.kernTable = m_tables.hasKern();
        }
        const int id = listId(std::move(list));
        std::fill(m_leftList.begin(), m_leftList.end(), id);
        return;
    }

    // One list a script, the same for every glyph of that script.
    m_gdef = GlyphDefinitions(tableOf(m_hb.get(), HB_OT_TAG_GDEF));
    hb_unicode_funcs_t* unicode = hb_unicode_funcs_get_default();
    std::map<hb_script_t, int> byScript;
    const auto listOf = [&](hb_script_t script) {
        const auto it = byScript.find(script);
        if (it != byScript.end())
            return it->second;
        const int id = listId(scriptList(script));
        byScript.emplace(script, id);
        return id;
    };
    const int weak = listOf(HB_SCRIPT_INVALID);
    bool anyWeak = false;
    for (std::size_t i = 0; i < n; ++i) {
        const Glyph& g = m_set.glyphs[i];
        if (defaultIgnorable(g.code)) {
            m_excluded[i] = true;
            continue;
        }
        const hb_script_t script = hb_unicode_script(unicode, g.code);
        const bool strong = script != HB_SCRIPT_COMMON && script != HB_SCRIPT_INHERITED &&
                            script != HB_SCRIPT_UNKNOWN;
        m_rightList[i] = strong ? listOf(script) : weak;
        m_strong[i] = strong;
        if (strong)
            m_leftList[i] = m_rightList[i];
        else
            anyWeak = true;
        if (m_gdef.hasGlyphClasses()) {
            switch (m_gdef.glyphClass(g.index)) {
            case 1:
                m_props[i] = BaseProps;
                break;
            case 2:
                m_props[i] = LigatureProps;
                break;
            case 3:
                m_props[i] = MarkProps | m_gdef.markAttachClass(g.index) << 8;
                break;
            default:
                m_props[i] = 0;
            }
        } else if (hb_unicode_general_category(unicode, g.code) ==
                   HB_UNICODE_GENERAL_CATEGORY_NON_SPACING_MARK) {
            m_props[i] = MarkProps;
        }
    }
    if (anyWeak) {
        for (std::size_t j = 0; j < n; ++j)
            if (m_rightList[j] >= 0)
                m_weakLists.push_back(unsigned(m_rightList[j]));
        std::sort(m_weakLists.begin(), m_weakLists.end());
        m_weakLists.erase(std::unique(m_weakLists.begin(), m_weakLists.end()), m_weakLists.end());
    }
}

void Reader::readKernTable() {
    for (const LookupList& l : m_lists)
        m_anyKernTable = m_anyKernTable || l.kernTable;
    if (!m_anyKernTable)
        return;
    std::vector<bool> inSet(65536, false);
    for (const Glyph& g : m_set.glyphs)
        if (g.index < 65536)
            inSet[g.index] = true;
    const bool lvgl = m_rule == KerningRule::LvglCompatible;
    std::vector<PairTables::KernEntry> entries = m_tables.kernPairs(lvgl);
    spend(entries.size());
    std::erase_if(
        entries, [&](const PairTables::KernEntry& e) { return !inSet[e.left] || !inSet[e.right]; });
    // Pairs in order; within one subtable the first of a pair counts for
    // HarfBuzz, and subtables add up; lv_font_conv keeps the last.
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return std::tie(a.left, a.right, a.subtable) < std::tie(b.left, b.right, b.subtable);
    });
    for (std::size_t k = 0; k < entries.size(); ++k) {
        const PairTables::KernEntry& e = entries[k];
        const std::uint32_t key = std::uint32_t(e.left) << 16 | e.right;
        const bool samePair = !m_kern.empty() && m_kern.back().first == key;
        if (lvgl) {
            if (samePair)
                m_kern.back().second = e.value;
            else
                m_kern.emplace_back(key, e.value);
            continue;
        }
        const bool sameSubtable = k > 0 && samePair && entries[k - 1].subtable == e.subtable;
        if (sameSubtable)
            continue;
        if (samePair)
            m_kern.back().second += e.value;
        else
            m_kern.emplace_back(key, e.value);
    }
    m_kernRight.assign(65536, false);
    for (const auto& [key, value] : m_kern)
        m_kernRight[key & 0xFFFF] = true;
}

int Reader::kernTableValue(unsigned left, unsigned right) const {
    const std::uint32_t key = std::uint32_t(left) << 16 | right;
    const auto it = std::lower_bound(m_kern.begin(), m_kern.end(), key,
                                     [](const auto& e, std::uint32_t k) { return e.first < k; });
    return it != m_kern.end() && it->first == key ? it->second : 0;
}

bool Reader::kernTableHasLeft(unsigned glyph) const {
    const std::uint32_t key = std::uint32_t(glyph) << 16;
    const auto it = std::lower_bound(m_kern.begin(), m_kern.end(), key,
                                     [](const auto& e, std::uint32_t k) { return e.first < k; });
    return it != m_kern.end() && (it->first >> 16) == glyph;
}

// Whether `lookup` passes over the glyph, as its flags say.
bool Reader::skips(std::size_t position, const PairLookup& lookup) const {
    if (m_rule != KerningRule::Script)
        return false;
    const unsigned props = m_props[position];
    if (props & lookup.flags & 0x0E)
        return true;
    if (props & MarkProps) {
        if (lookup.flags & 0x10)
            return !m_gdef.inMarkSet(lookup.markFilteringSet, m_set.glyphs[position].index);
        if (lookup.flags & 0xFF00)
            return (lookup.flags & 0xFF00) != (props & 0xFF00);
    }
    return false;
}

// What decides a glyph's kerning as the first of a pair: its script's list,
// and for every lookup it may meet, the subtables that cover it and their
// keys; glyphs with the same signature kern alike. Empty: it kerns with
// nothing.
std::vector<std::uint64_t> Reader::leftSignature(std::size_t i) {
    std::vector<std::uint64_t> sig;
    if (m_excluded[i])
        return sig;
    std::vector<unsigned> lists;
    if (m_strong[i] && m_leftList[i] < 0)
        return sig;
    if (m_strong[i])
        lists.push_back(unsigned(m_leftList[i]));
    else
        lists = m_weakLists;
    std::vector<unsigned> lookups;
    bool kernTable = false;
    for (const unsigned l : lists) {
        lookups.insert(lookups.end(), m_lists[l].lookups.begin(), m_lists[l].lookups.end());
        kernTable = kernTable || m_lists[l].kernTable;
    }
    std::sort(lookups.begin(), lookups.end());
    lookups.erase(std::unique(lookups.begin(), lookups.end()), lookups.end());
    const unsigned glyph = m_set.glyphs[i].index;
    bool hit = false;
    for (const unsigned u : lookups) {
        const PairLookup& lookup = m_lookups[u];
        if (skips(i, lookup)) {
            sig.push_back(entry(u, Skipped, 0));
            continue;
        }
        for (std::size_t s = 0; s < lookup.subtables.size(); ++s) {
            spend(1);
            const PairSubtable& t = lookup.subtables[s];
            const FirstKey k = m_tables.firstKey(t, glyph);
            if (!k.covered)
                continue;
            sig.push_back(entry(u, s, k.key));
            hit = true;
            if (t.format == 2) {
                m_reachable[u][s] = true;
                // A class rule that applies to every second glyph ends the
                // lookup for this first one (for lv_font_conv, any class
                // rule that covers it ends the search).
                if (m_rule == KerningRule::LvglCompatible ||
                    (t.secondClassesInRange && k.key < t.class1Count))
                    break;
            }
        }
    }
    if (kernTable && kernTableHasLeft(glyph)) {
        sig.push_back(entry(KernRow, 0, glyph));
        hit = true;
    }
    if (!hit)
        return {};
    sig.push_back(entry(ListEntry, 0, m_strong[i] ? std::uint32_t(m_leftList[i] + 1) : 0));
    return sig;
}

// What decides a glyph's kerning as the second of a pair: the list a pair
// takes after a glyph without a script, whether each lookup passes over it,
// its class in every format 2 subtable, and the glyph itself where a pair
// set or the kern table names it.
std::vector<std::uint64_t> Reader::rightSignature(std::size_t j) {
    std::vector<std::uint64_t> sig;
    if (m_excluded[j])
        return sig;
    const unsigned glyph = m_set.glyphs[j].index;
    if (!m_weakLists.empty())
        sig.push_back(entry(ListEntry, 0, std::uint32_t(m_rightList[j] + 1)));
    for (unsigned u = 0; u < m_lookups.size(); ++u) {
        const PairLookup& lookup = m_lookups[u];
        if (skips(j, lookup)) {
            sig.push_back(entry(u, Skipped, 0));
            continue;
        }
        for (std::size_t s = 0; s < lookup.subtables.size(); ++s) {
            const PairSubtable& t = lookup.subtables[s];
            if (t.format == 2 && m_reachable[u][s]) {
                spend(1);
                sig.push_back(entry(u, s, m_tables.secondClass(t, glyph)));
            }
        }
    }
    if (glyph < m_named.size() && m_named[glyph])
        sig.push_back(entry(Named, 0, glyph));
    if (glyph < m_kernRight.size() && m_kernRight[glyph])
        sig.push_back(entry(KernRow, 0, glyph));
    if (m_anyKernTable && (m_props[j] & MarkProps))
        sig.push_back(entry(KernRow, Skipped, 0));
    sig.push_back(entry(ListEntry, 1, 0)); // never empty: every glyph has a class
    return sig;
}

// The value of glyph i followed by glyph j, with i's hits by lookup.
int Reader::evaluate(const std::vector<std::vector<Hit>>& hits, const std::vector<bool>& skipped,
                     std::size_t i, std::size_t j, const LookupList& list) {
    const unsigned right = m_set.glyphs[j].index;
    int total = 0;
    const bool lvgl = m_rule == KerningRule::LvglCompatible;
    // Shaping zeroes a mark's advance after positioning: a mark's own
    // advance change does not count, only where it puts the glyph after it.
    const bool markFirst = !lvgl && (m_props[i] & MarkProps);
    std::uint64_t steps = 1;
    for (const unsigned u : list.lookups) {
        const PairLookup& lookup = m_lookups[u];
        if (skipped[u] || skips(j, lookup))
            continue;
        for (const Hit& h : hits[u]) {
            ++steps;
            const PairSubtable& t = lookup.subtables[h.subtable];
            std::size_t record = 0;
            if (t.format == 1) {
                record = m_tables.pairRecord(t, h.key, right);
                if (record == 0)
                    continue;
            } else {
                record = m_tables.classRecord(t, h.key, m_tables.secondClass(t, right));
                if (record == 0 && !lvgl)
                    continue;
            }
            const PairValue v = m_tables.value(t, record);
            if (lvgl) {
                spend(steps);
                return v.firstAdvance;
            }
            total += (markFirst ? 0 : v.firstAdvance) + v.secondPlacement;
            break;
        }
    }
    // HarfBuzz gives the first glyph half of a kern table value (rounded
    // down), the second glyph's advance and position the rest; marks are
    // passed over as the second glyph.
    if (list.kernTable && !(m_rule == KerningRule::Script && (m_props[j] & MarkProps))) {
        const int v = kernTableValue(m_set.glyphs[i].index, right);
        total += markFirst ? v - (v >> 1) : v;
    }
    spend(steps);
    return total;
}

Kerning Reader::read() {
    const std::size_t n = m_set.glyphs.size();
    Kerning result;
    chooseLists();
    if (m_lists.empty())
        return result;
    readKernTable();

    m_reachable.resize(m_lookups.size());
    for (std::size_t u = 0; u < m_lookups.size(); ++u)
        m_reachable[u].assign(m_lookups[u].subtables.size(), false);

    // Glyphs a format 1 pair set names as the second of a pair.
    for (const PairLookup& lookup : m_lookups) {
        for (const PairSubtable& t : lookup.subtables) {
            if (t.format != 1)
                continue;
            if (m_named.empty())
                m_named.assign(65536, false);
            for (unsigned k = 0; k < t.pairSetCount; ++k)
                spend(1 + m_tables.forEachSecond(t, k, [&](unsigned g) { m_named[g] = true; }));
        }
    }

    // Classes: glyphs with equal signatures.
    std::unordered_map<std::vector<std::uint64_t>, std::uint32_t, VectorHash> leftIds, rightIds;
    std::vector<const std::vector<std::uint64_t>*> leftSigs;
    std::vector<std::size_t> leftRep, rightRep;
    result.leftClass.assign(n, 0);
    result.rightClass.assign(n, 0);
    for (std::size_t i = 0; i < n; ++i) {
        std::vector<std::uint64_t> sig = leftSignature(i);
        if (sig.empty())
            continue;
        spend(sig.size());
        const auto [it, added] = leftIds.emplace(std::move(sig), std::uint32_t(leftRep.size()));
        if (added) {
            leftRep.push_back(i);
            leftSigs.push_back(&it->first);
        }
        result.leftClass[i] = it->second + 1;
    }
    if (leftRep.empty())
        return {};
    for (std::size_t j = 0; j < n; ++j) {
        std::vector<std::uint64_t> sig = rightSignature(j);
        if (sig.empty())
            continue;
        spend(sig.size());
        const auto [it, added] = rightIds.emplace(std::move(sig), std::uint32_t(rightRep.size()));
        if (added)
            rightRep.push_back(j);
        result.rightClass[j] = it->second + 1;
    }

    // The positions of each glyph, for the pairs a pair set names.
    std::vector<std::pair<unsigned, std::uint32_t>> byGlyph;
    byGlyph.reserve(n);
    for (std::size_t j = 0; j < n; ++j)
        if (result.rightClass[j])
            byGlyph.emplace_back(m_set.glyphs[j].index, std::uint32_t(j));
    std::sort(byGlyph.begin(), byGlyph.end());

    std::vector<std::uint32_t> seen(rightRep.size(), 0);
    std::vector<std::uint32_t> candidates;
    for (std::uint32_t lc = 0; lc < leftRep.size(); ++lc) {
        const std::size_t i = leftRep[lc];
        spend(m_lookups.size());
        std::vector<std::vector<Hit>> hits(m_lookups.size());
        std::vector<bool> skipped(m_lookups.size(), false);
        bool dense = false;
        bool kernRow = false;
        for (const std::uint64_t e : *leftSigs[lc]) {
            const unsigned u = unsigned(e >> 48), s = unsigned((e >> 32) & 0xFFFF);
            if (u == ListEntry)
                continue;
            if (u == KernRow) {
                kernRow = true;
                continue;
            }
            if (s == Skipped) {
                skipped[u] = true;
                continue;
            }
            hits[u].push_back({s, std::uint32_t(e)});
            dense = dense || m_lookups[u].subtables[s].format == 2;
        }
        // A glyph that only pair sets and the kern table name kerns with
        // the glyphs they name; one in a class rule, with any.
        candidates.clear();
        const auto candidate = [&](unsigned glyph) {
            auto it = std::lower_bound(byGlyph.begin(), byGlyph.end(),
                                       std::make_pair(glyph, std::uint32_t(0)));
            for (; it != byGlyph.end() && it->first == glyph; ++it) {
                const std::uint32_t rc = result.rightClass[it->second] - 1;
                if (seen[rc] != lc + 1) {
                    seen[rc] = lc + 1;
                    candidates.push_back(rc);
                }
            }
        };
        if (dense) {
            candidates.resize(rightRep.size());
            for (std::uint32_t rc = 0; rc < rightRep.size(); ++rc)
                candidates[rc] = rc;
        } else {
            for (std::size_t u = 0; u < hits.size(); ++u)
                for (const Hit& h : hits[u])
                    spend(m_tables.forEachSecond(m_lookups[u].subtables[h.subtable], h.key,
                                                 candidate));
            if (kernRow) {
                const std::uint32_t glyph = m_set.glyphs[i].index;
                auto it =
                    std::lower_bound(m_kern.begin(), m_kern.end(), glyph << 16,
                                     [](const auto& e, std::uint32_t k) { return e.first < k; });
                for (; it != m_kern.end() && (it->first >> 16) == glyph; ++it)
                    candidate(it->first & 0xFFFF);
            }
            std::sort(candidates.begin(), candidates.end());
        }
        for (const std::uint32_t rc : candidates) {
            const std::size_t j = rightRep[rc];
            const int list = m_strong[i] ? m_leftList[i] : m_rightList[j];
            if (list < 0)
                continue;
            const int v = evaluate(hits, skipped, i, j, m_lists[std::size_t(list)]);
            if (v == 0)
                continue;
            if (result.cells.size() >= MaxCells)
                requestError(QStringLiteral("the kerning of %1 has more than %2 classes of pairs "
                                            "for these characters; give --no-kerning")
                                 .arg(m_face.name())
                                 .arg(MaxCells));
            result.cells.push_back({lc + 1, rc + 1, v});
        }
    }

    // Only the classes that kern, numbered in the order of their first glyph.
    std::vector<std::uint32_t> leftNew(leftRep.size() + 1, 0), rightNew(rightRep.size() + 1, 0);
    for (const Kerning::Cell& c : result.cells) {
        leftNew[c.left] = 1;
        rightNew[c.right] = 1;
    }
    const auto renumber = [n](std::vector<std::uint32_t>& classes, std::vector<std::uint32_t>& to,
                              std::uint32_t& count) {
        std::vector<std::uint32_t> order(to.size(), 0);
        count = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint32_t c = classes[i];
            if (c && to[c] && !order[c])
                order[c] = ++count;
            classes[i] = c ? order[c] : 0;
        }
        to = std::move(order);
    };
    renumber(result.leftClass, leftNew, result.leftClasses);
    renumber(result.rightClass, rightNew, result.rightClasses);
    for (Kerning::Cell& c : result.cells) {
        c.left = leftNew[c.left];
        c.right = rightNew[c.right];
    }
    std::sort(result.cells.begin(), result.cells.end(), [](const auto& a, const auto& b) {
        return std::tie(a.left, a.right) < std::tie(b.left, b.right);
    });
    return result;
}

} // namespace

int Kerning::value(std::size_t left, std::size_t right) const {
    if (left >= leftClass.size() || right >= rightClass.size())
        return 0;
    const std::uint32_t l = leftClass[left], r = rightClass[right];
    if (l == 0 || r == 0)
        return 0;
    const auto it =
        std::lower_bound(cells.begin(), cells.end(), std::make_pair(l, r),
                         [](const Cell& c, const std::pair<std::uint32_t, std::uint32_t>& k) {
                             return std::make_pair(c.left, c.right) < k;
                         });
    return it != cells.end() && it->left == l && it->right == r ? it->value : 0;
}

std::uint64_t Kerning::pairCount() const {
    std::vector<std::uint64_t> left(leftClasses + 1, 0), right(rightClasses + 1, 0);
    for (const std::uint32_t c : leftClass)
        ++left[c];
    for (const std::uint32_t c : rightClass)
        ++right[c];
    std::uint64_t pairs = 0;
    for (const Cell& c : cells)
        pairs += left[c.left] * right[c.right];
    return pairs;
}

Kerning kerningOf(const FontFace& face, const GlyphSet& set, KerningRule rule) {
    if (!face.scalable() || set.glyphs.empty())
        return {};
    return Reader(face, set, rule).read();
}

std::vector<KernPair> kernPairs(const Kerning& k) {
    std::vector<std::vector<std::uint32_t>> members(k.rightClasses + 1);
    for (std::size_t j = 0; j < k.rightClass.size(); ++j)
        members[k.rightClass[j]].push_back(std::uint32_t(j));
    std::vector<KernPair> pairs;
    std::vector<KernPair> row;
    for (std::size_t i = 0; i < k.leftClass.size(); ++i) {
        const std::uint32_t l = k.leftClass[i];
        if (l == 0)
            continue;
        row.clear();
        auto it =
            std::lower_bound(k.cells.begin(), k.cells.end(), l,
                             [](const Kerning::Cell& c, std::uint32_t v) { return c.left < v; });
        for (; it != k.cells.end() && it->left == l; ++it)
            for (const std::uint32_t j : members[it->right])
                row.push_back({std::uint32_t(i), j, it->value});
        std::sort(row.begin(), row.end(),
                  [](const KernPair& a, const KernPair& b) { return a.right < b.right; });
        pairs.insert(pairs.end(), row.begin(), row.end());
    }
    return pairs;
}

} // namespace zentraq::font
