#pragma once

// The pair adjustments a face's own tables hold, read from the table bytes:
// GPOS pair positioning lookups (formats 1 and 2, also behind Extension
// lookups), the glyph classes of GDEF that lookup flags test, and the legacy
// kern table (format 0). Every offset is checked against the table's end; a
// read past it gives 0, so a damaged table gives fewer pairs, never a fault.
//
// Nothing here enumerates glyph pairs: each question (is this glyph covered,
// what is the value for these two) is a binary search in the table, and the
// caller asks only about the glyphs it has.

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace zentraq::font {

// Big-endian reads in one table; out of range gives 0.
class TableBytes {
public:
    TableBytes() = default;
    explicit TableBytes(QByteArray bytes) : m_bytes(std::move(bytes)) {}
    std::size_t size() const { return std::size_t(m_bytes.size()); }
    bool empty() const { return m_bytes.isEmpty(); }
    unsigned u16(std::size_t at) const;
    int s16(std::size_t at) const { return std::int16_t(std::uint16_t(u16(at))); }
    std::uint32_t u32(std::size_t at) const;
    // The position of a 16-bit offset stored at `at`, counted from `base`; 0
    // for a null offset.
    std::size_t offset16(std::size_t base, std::size_t at) const;

    // A Coverage table's index of `glyph`, -1 when it does not cover it.
    long coverageIndex(std::size_t table, unsigned glyph) const;
    // A ClassDef table's class of `glyph`; 0 when it names none (or there is
    // no table: `table` 0).
    unsigned glyphClass(std::size_t table, unsigned glyph) const;

private:
    QByteArray m_bytes;
};

// A value record's parts that move glyphs along the line.
struct PairValue {
    int firstAdvance = 0;    // XAdvance of the first glyph
    int secondPlacement = 0; // XPlacement of the second
};

// One pair positioning subtable (PosFormat 1 or 2).
struct PairSubtable {
    int format = 0;
    std::size_t base = 0; // in the GPOS table
    std::size_t coverage = 0;
    unsigned valueFormat1 = 0, valueFormat2 = 0;
    // format 1
    unsigned pairSetCount = 0;
    // format 2
    std::size_t classDef1 = 0, classDef2 = 0;
    unsigned class1Count = 0, class2Count = 0;
    // Every class ClassDef2 gives is below class2Count: the subtable applies
    // to any second glyph once it covers the first (and its class 1 is in
    // range), and no later subtable of the lookup is reached.
    bool secondClassesInRange = false;

    unsigned recordSize() const; // bytes of the two value records
};

// What a subtable keys on for its first glyph: the pair set (format 1) or the
// class (format 2) it gives the glyph. A glyph the subtable does not cover has
// none.
struct FirstKey {
    bool covered = false;
    std::uint32_t key = 0; // format 1: the pair set's position; format 2: class 1
};

struct PairLookup {
    unsigned index = 0;
    unsigned flags = 0;            // LookupFlag
    unsigned markFilteringSet = 0; // with UseMarkFilteringSet
    std::vector<PairSubtable> subtables;
};

// GDEF's answers for the lookup flags.
class GlyphDefinitions {
public:
    GlyphDefinitions() = default;
    explicit GlyphDefinitions(QByteArray gdef);
    bool hasGlyphClasses() const { return m_glyphClassDef != 0; }
    unsigned glyphClass(unsigned glyph) const; // 1 base, 2 ligature, 3 mark, 4 component
    unsigned markAttachClass(unsigned glyph) const;
    bool inMarkSet(unsigned set, unsigned glyph) const;

private:
    TableBytes m_table;
    std::size_t m_glyphClassDef = 0, m_markAttachClassDef = 0, m_markGlyphSets = 0;
};

class PairTables {
public:
    // `gpos` and `kern` as the face holds them (empty when it has none).
    PairTables(QByteArray gpos, QByteArray kern);

    bool hasGpos() const { return !m_gpos.empty(); }
    // The pair adjustment subtables of lookup `index`; `extensions` false
    // takes only lookups of type 2 themselves, true also those behind type 9
    // Extension lookups. Empty for any other type or a lookup past the list.
    PairLookup lookup(unsigned index, bool extensions) const;

    FirstKey firstKey(const PairSubtable& s, unsigned first) const;
    // The class a format 2 subtable gives `second`, or class2Count when it
    // is out of its range (the subtable then does not apply).
    unsigned secondClass(const PairSubtable& s, unsigned second) const;
    // Format 1: the pair record of `second` in pair set `key`; 0 when there
    // is none. Format 2: the record of classes `key` x `secondClass`.
    std::size_t pairRecord(const PairSubtable& s, std::uint32_t key, unsigned second) const;
    std::size_t classRecord(const PairSubtable& s, std::uint32_t key, unsigned secondClass) const;
    PairValue value(const PairSubtable& s, std::size_t record) const;
    // Format 1: calls `f(secondGlyph)` for every record of pair set `key`;
    // returns how many there were.
    template <class F>
    std::size_t forEachSecond(const PairSubtable& s, std::uint32_t key, F f) const;

    // The legacy kern table's format 0 pairs, each (left, right, value), in
    // the table's order. `firstOnly`: only its first subtable, whatever its
    // coverage says; otherwise every horizontal one that is not cross-stream.
    struct KernEntry {
        std::uint16_t left, right;
        std::int16_t value;
        std::uint16_t subtable;
    };
    std::vector<KernEntry> kernPairs(bool firstOnly) const;
    bool hasKern() const { return !m_kern.empty(); }

private:
    std::size_t pairSet(const PairSubtable& s, std::uint32_t key) const;
    unsigned largestClass(std::size_t classDef) const;

    TableBytes m_gpos, m_kern;
    mutable std::map<std::size_t, unsigned> m_largestClass; // by ClassDef
};

template <class F>
std::size_t PairTables::forEachSecond(const PairSubtable& s, std::uint32_t key, F f) const {
    const std::size_t set = pairSet(s, key);
    if (set == 0)
        return 0;
    const unsigned count = m_gpos.u16(set);
    const std::size_t step = 2 + s.recordSize();
    for (unsigned i = 0; i < count; ++i)
        f(m_gpos.u16(set + 2 + i * step));
    return count;
}

} // namespace zentraq::font
