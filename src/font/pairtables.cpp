#include "pairtables.h"

#include <algorithm>
#include <bit>

namespace zentraq::font {
namespace {

// Bytes of a value record of `format` (one 16-bit field a bit of the low
// eight).
unsigned valueSize(unsigned format) {
    return 2 * unsigned(std::popcount(format & 0xFFu));
}

} // namespace

unsigned TableBytes::u16(std::size_t at) const {
    if (at > size() || size() - at < 2)
        return 0;
    const auto* b = reinterpret_cast<const unsigned char*>(m_bytes.constData()) + at;
    return unsigned(b[0]) << 8 | b[1];
}

std::uint32_t TableBytes::u32(std::size_t at) const {
    if (at > size() || size() - at < 4)
        return 0;
    const auto* b = reinterpret_cast<const unsigned char*>(m_bytes.constData()) + at;
    return std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 | b[3];
}

std::size_t TableBytes::offset16(std::size_t base, std::size_t at) const {
    const unsigned o = u16(at);
    return o == 0 || base + o >= size() ? 0 : base + o;
}

long TableBytes::coverageIndex(std::size_t table, unsigned glyph) const {
    if (table == 0)
        return -1;
    const unsigned format = u16(table), count = u16(table + 2);
    std::size_t lo = 0, hi = count;
    while (lo < hi) {
        const std::size_t mid = (lo + hi) / 2;
        if (format == 1) {
            const unsigned g = u16(table + 4 + 2 * mid);
            if (glyph < g)
                hi = mid;
            else if (glyph > g)
                lo = mid + 1;
            else
                return long(mid);
        } else if (format == 2) {
            const std::size_t r = table + 4 + 6 * mid;
            if (glyph < u16(r))
                hi = mid;
            else if (glyph > u16(r + 2))
                lo = mid + 1;
            else
                return long(u16(r + 4)) + long(glyph - u16(r));
        } else {
            return -1;
        }
    }
    return -1;
}

unsigned TableBytes::glyphClass(std::size_t table, unsigned glyph) const {
    if (table == 0)
        return 0;
    const unsigned format = u16(table);
    if (format == 1) {
        const unsigned start = u16(table + 2), count = u16(table + 4);
        return glyph >= start && glyph - start < count ? u16(table + 6 + 2 * (glyph - start)) : 0;
    }
    if (format != 2)
        return 0;
    std::size_t lo = 0, hi = u16(table + 2);
    while (lo < hi) {
        const std::size_t mid = (lo + hi) / 2;
        const std::size_t r = table + 4 + 6 * mid;
        if (glyph < u16(r))
            hi = mid;
        else if (glyph > u16(r + 2))
            lo = mid + 1;
        else
            return u16(r + 4);
    }
    return 0;
}

unsigned PairSubtable::recordSize() const {
    return valueSize(valueFormat1) + valueSize(valueFormat2);
}

GlyphDefinitions::GlyphDefinitions(QByteArray gdef) : m_table(std::move(gdef)) {
    if (m_table.u16(0) != 1)
        return;
    m_glyphClassDef = m_table.offset16(0, 4);
    m_markAttachClassDef = m_table.offset16(0, 10);
    if (m_table.u16(2) >= 2)
        m_markGlyphSets = m_table.offset16(0, 12);
}

unsigned GlyphDefinitions::glyphClass(unsigned glyph) const {
    return m_table.glyphClass(m_glyphClassDef, glyph);
}

unsigned GlyphDefinitions::markAttachClass(unsigned glyph) const {
    return m_table.glyphClass(m_markAttachClassDef, glyph);
}

bool GlyphDefinitions::inMarkSet(unsigned set, unsigned glyph) const {
    if (m_markGlyphSets == 0 || m_table.u16(m_markGlyphSets) != 1 ||
        set >= m_table.u16(m_markGlyphSets + 2))
        return false;
    const std::uint32_t o = m_table.u32(m_markGlyphSets + 4 + 4 * std::size_t(set));
    if (o == 0 || m_markGlyphSets + o >= m_table.size())
        return false;
    return m_table.coverageIndex(m_markGlyphSets + o, glyph) >= 0;
}

PairTables::PairTables(QByteArray gpos, QByteArray kern)
    : m_gpos(std::move(gpos)), m_kern(std::move(kern)) {
    if (m_gpos.u16(0) != 1)
        m_gpos = TableBytes();
}

PairLookup PairTables::lookup(unsigned index, bool extensions) const {
    PairLookup result;
    result.index = index;
    const std::size_t list = m_gpos.offset16(0, 8);
    if (list == 0 || index >= m_gpos.u16(list))
        return result;
    const std::size_t at = m_gpos.offset16(list, list + 2 + 2 * std::size_t(index));
    if (at == 0)
        return result;
    const unsigned type = m_gpos.u16(at);
    if (type != 2 && !(type == 9 && extensions))
        return result;
    result.flags = m_gpos.u16(at + 2);
    const unsigned count = m_gpos.u16(at + 4);
    if (result.flags & 0x10)
        result.markFilteringSet = m_gpos.u16(at + 6 + 2 * std::size_t(count));
    for (unsigned i = 0; i < count; ++i) {
        std::size_t s = m_gpos.offset16(at, at + 6 + 2 * std::size_t(i));
        if (s == 0)
            continue;
        if (type == 9) {
            const std::uint32_t o = m_gpos.u32(s + 4);
            if (m_gpos.u16(s) != 1 || m_gpos.u16(s + 2) != 2 || o == 0 || o >= m_gpos.size() - s)
                continue;
            s += o;
        }
        PairSubtable t;
        t.format = int(m_gpos.u16(s));
        t.base = s;
        t.coverage = m_gpos.offset16(s, s + 2);
        t.valueFormat1 = m_gpos.u16(s + 4);
        t.valueFormat2 = m_gpos.u16(s + 6);
        if (t.format == 1) {
            t.pairSetCount = m_gpos.u16(s + 8);
        } else if (t.format == 2) {
            t.classDef1 = m_gpos.offset16(s, s + 8);
            t.classDef2 = m_gpos.offset16(s, s + 10);
            t.class1Count = m_gpos.u16(s + 12);
            t.class2Count = m_gpos.u16(s + 14);
            t.secondClassesInRange = largestClass(t.classDef2) < t.class2Count;
        } else {
            continue;
        }
        if (t.coverage != 0)
            result.subtables.push_back(t);
    }
    return result;
}

// The largest class a ClassDef gives (0 for none), once a table.
unsigned PairTables::largestClass(std::size_t classDef) const {
    if (classDef == 0)
        return 0;
    const auto it = m_largestClass.find(classDef);
    if (it != m_largestClass.end())
        return it->second;
    unsigned largest = 0;
    const unsigned format = m_gpos.u16(classDef);
    if (format == 1) {
        const unsigned count = m_gpos.u16(classDef + 4);
        for (unsigned i = 0; i < count; ++i)
            largest = std::max(largest, m_gpos.u16(classDef + 6 + 2 * std::size_t(i)));
    } else if (format == 2) {
        const unsigned count = m_gpos.u16(classDef + 2);
        for (unsigned i = 0; i < count; ++i)
            largest = std::max(largest, m_gpos.u16(classDef + 8 + 6 * std::size_t(i)));
    }
    m_largestClass.emplace(classDef, largest);
    return largest;
}

FirstKey PairTables::firstKey(const PairSubtable& s, unsigned first) const {
    const long index = m_gpos.coverageIndex(s.coverage, first);
    if (index < 0)
        return {};
    if (s.format == 1)
        return {true, std::uint32_t(index)};
    return {true, m_gpos.glyphClass(s.classDef1, first)};
}

unsigned PairTables::secondClass(const PairSubtable& s, unsigned second) const {
    const unsigned c = m_gpos.glyphClass(s.classDef2, second);
    return c < s.class2Count ? c : s.class2Count;
}

std::size_t PairTables::pairSet(const PairSubtable& s, std::uint32_t key) const {
    if (key >= s.pairSetCount)
        return 0;
    return m_gpos.offset16(s.base, s.base + 10 + 2 * std::size_t(key));
}

std::size_t PairTables::pairRecord(const PairSubtable& s, std::uint32_t key,
                                   unsigned second) const {
    const std::size_t set = pairSet(s, key);
    if (set == 0)
        return 0;
    const std::size_t step = 2 + s.recordSize();
    std::size_t lo = 0, hi = m_gpos.u16(set);
    while (lo < hi) {
        const std::size_t mid = (lo + hi) / 2;
        const std::size_t r = set + 2 + mid * step;
        const unsigned g = m_gpos.u16(r);
        if (second < g)
            hi = mid;
        else if (second > g)
            lo = mid + 1;
        else
            return r + 2;
    }
    return 0;
}

std::size_t PairTables::classRecord(const PairSubtable& s, std::uint32_t key,
                                    unsigned secondClass) const {
    if (key >= s.class1Count || secondClass >= s.class2Count)
        return 0;
    return s.base + 16 +
           (std::size_t(key) * s.class2Count + secondClass) * std::size_t(s.recordSize());
}

PairValue PairTables::value(const PairSubtable& s, std::size_t record) const {
    PairValue v;
    if (record == 0)
        return v;
    if (s.valueFormat1 & 0x4)
        v.firstAdvance = m_gpos.s16(record + valueSize(s.valueFormat1 & 0x3));
    if (s.valueFormat2 & 0x1)
        v.secondPlacement = m_gpos.s16(record + valueSize(s.valueFormat1));
    return v;
}

std::vector<PairTables::KernEntry> PairTables::kernPairs(bool firstOnly) const {
    std::vector<KernEntry> out;
    const TableBytes& k = m_kern;
    const auto pairs = [&](std::size_t at, unsigned subtable) {
        const unsigned count = k.u16(at);
        for (unsigned i = 0; i < count; ++i) {
            const std::size_t p = at + 8 + 6 * std::size_t(i);
            if (p + 6 > k.size())
                break;
            out.push_back({std::uint16_t(k.u16(p)), std::uint16_t(k.u16(p + 2)),
                           std::int16_t(k.s16(p + 4)), std::uint16_t(subtable)});
        }
    };
    if (k.u16(0) == 0) {
        // The OpenType table: 16-bit counts and lengths, the format in the
        // coverage's high byte.
        const unsigned tables = k.u16(2);
        std::size_t at = 4;
        for (unsigned i = 0; i < tables && at + 6 <= k.size(); ++i) {
            const unsigned length = k.u16(at + 2), coverage = k.u16(at + 4);
            if (firstOnly) {
                if (k.u16(at) == 0)
                    pairs(at + 6, i);
                break;
            }
            if ((coverage >> 8) == 0 && (coverage & 0x1) && !(coverage & 0x4))
                pairs(at + 6, i);
            if (length < 14)
                break;
            at += length;
        }
    } else if (k.u32(0) == 0x00010000) {
        // The older Apple table: 32-bit counts and lengths, the format in the
        // coverage's low byte, vertical, cross-stream and variation in its
        // high bits.
        const std::uint32_t tables = k.u32(4);
        std::size_t at = 8;
        for (std::uint32_t i = 0; i < tables && at + 8 <= k.size(); ++i) {
            const std::uint32_t length = k.u32(at);
            const unsigned coverage = k.u16(at + 4);
            if (firstOnly) {
                if ((coverage & 0xFF) == 0)
                    pairs(at + 8, i);
                break;
            }
            if ((coverage & 0xFF) == 0 && !(coverage & 0xE000))
                pairs(at + 8, i);
            if (length < 16 || length > k.size() - at)
                break;
            at += length;
        }
    }
    return out;
}

} // namespace zentraq::font
