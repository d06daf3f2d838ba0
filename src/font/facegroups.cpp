#include "facegroups.h"

#include "fonterror.h"
#include "sourcechars.h"

#include <algorithm>
#include <tuple>

namespace zentraq::font {
namespace {

// One character as one selection of one group chooses it.
struct Chosen {
    char32_t to;
    std::uint32_t group;
    char32_t code;
    std::uint32_t selection; // in the labels of placeCharacters
};

bool moved(const Chosen& c) {
    return c.code != c.to;
}

// What the message of a collision says of one side: "--range 0xF001=>0xE000
// (FontAwesome) moves U+F001 there".
QString side(const Chosen& c, const QStringList& labels) {
    return moved(c)
               ? QStringLiteral("%1 moves %2 there").arg(labels[int(c.selection)], codeName(c.code))
               : QStringLiteral("%1 chooses it").arg(labels[int(c.selection)]);
}

} // namespace

std::vector<std::vector<PlacedCode>> placeCharacters(const std::vector<GroupRequest>& groups,
                                                     const SourceFiles& files, bool allowEmpty) {
    std::vector<Chosen> all;
    QStringList labels;
    for (std::uint32_t g = 0; g < groups.size(); ++g) {
        const CharacterRequest& r = groups[g].characters;
        const std::size_t before = all.size();
        const auto label = [&](const char* option, const QString& value) {
            labels
                << QStringLiteral("--%1 %2 (%3)").arg(QLatin1String(option), value, groups[g].face);
            return std::uint32_t(labels.size() - 1);
        };
        for (const QString& text : r.ranges) {
            QString problem;
            const auto choices = parseCodeChoices(text, &problem);
            if (!choices)
                requestError(QStringLiteral("--range: ") + problem);
            const std::uint32_t s = label("range", text);
            for (const CodeChoice& c : *choices)
                for (char32_t cp = c.range.first; cp <= c.range.last; ++cp)
                    if (cp < 0xD800 || cp > 0xDFFF)
                        all.push_back({c.to + (cp - c.range.first), g, cp, s});
        }
        for (const QString& text : r.symbols) {
            CharacterSet set;
            set.addText(text);
            const std::uint32_t s = label("symbols", text);
            for (const char32_t cp : set.characters())
                all.push_back({cp, g, cp, s});
        }
        for (const QString& name : r.charsets) {
            const std::vector<char32_t> codes = charsetCharacters(name, files);
            const std::uint32_t s = label("charset", files.shown(name));
            for (const char32_t cp : codes)
                all.push_back({cp, g, cp, s});
        }
        for (const QString& name : r.sources) {
            CharacterSet set;
            set.addText(sourceCharacters(name, r.sourceKind, r.sourceEncoding, files));
            const std::uint32_t s = label("chars-from", files.shown(name));
            for (const char32_t cp : set.characters())
                all.push_back({cp, g, cp, s});
        }
        if (all.size() == before && !(allowEmpty && !r.sources.isEmpty()))
            requestError(groups.size() == 1
                             ? QStringLiteral("the character set is empty: give --range, "
                                              "--symbols, --charset or --chars-from")
                             : QStringLiteral("%1 has no characters: give --range, --symbols, "
                                              "--charset or --chars-from after it")
                                   .arg(groups[g].face));
    }

    // By place, then group and code; the same character of the same group
    // chosen twice is one.
    std::sort(all.begin(), all.end(), [](const Chosen& a, const Chosen& b) {
        return std::tie(a.to, a.group, a.code, a.selection) <
               std::tie(b.to, b.group, b.code, b.selection);
    });
    std::vector<std::vector<PlacedCode>> placed(groups.size());
    for (std::size_t i = 0; i < all.size();) {
        std::size_t end = i + 1;
        while (end < all.size() && all[end].to == all[i].to)
            ++end;
        // The distinct (group, code) of this place; a move among several is
        // refused.
        const Chosen* last = &all[i];
        const Chosen* other = nullptr;
        bool anyMoved = moved(all[i]);
        for (std::size_t j = i + 1; j < end; ++j) {
            anyMoved = anyMoved || moved(all[j]);
            if (all[j].group != last->group || all[j].code != last->code) {
                other = last;
                last = &all[j];
            }
        }
        if (other && anyMoved) {
            // A moved one first, in the order given.
            const Chosen& a = moved(*other) ? *other : *last;
            const Chosen& b = &a == last ? *other : *last;
            requestError(QStringLiteral("%1 is chosen twice: %2, and %3")
                             .arg(codeName(a.to), side(a, labels), side(b, labels)));
        }
        placed[last->group].push_back({last->code, last->to});
        i = end;
    }
    for (std::vector<PlacedCode>& p : placed)
        std::sort(p.begin(), p.end(), [](const PlacedCode& a, const PlacedCode& b) {
            return std::tie(a.code, a.to) < std::tie(b.code, b.to);
        });
    return placed;
}

std::vector<char32_t> facesCodes(const std::vector<PlacedCode>& placed) {
    std::vector<char32_t> codes;
    codes.reserve(placed.size());
    for (const PlacedCode& p : placed)
        if (codes.empty() || codes.back() != p.code)
            codes.push_back(p.code);
    return codes;
}

GlyphSet mergeGroups(std::vector<DrawnGroup>& groups,
                     std::vector<std::vector<std::uint32_t>>* positions) {
    GlyphSet out;
    const GlyphSet& first = groups.front().set;
    out.settings = first.settings;
    out.faceName = first.faceName;
    out.metrics = first.metrics;

    // Each glyph at its place: (place, group, its glyph in the group's set).
    struct At {
        char32_t to;
        std::uint32_t group;
        const Glyph* glyph;
    };
    std::vector<At> glyphs, notdefs;
    std::size_t samples = 0;
    for (std::uint32_t g = 0; g < groups.size(); ++g) {
        const GlyphSet& set = groups[g].set;
        samples += set.samples.size();
        for (const PlacedCode& p : groups[g].placed) {
            if (const Glyph* glyph = set.find(p.code)) {
                glyphs.push_back({p.to, g, glyph});
                continue;
            }
            out.missing.push_back(p.to);
            const auto notdef =
                std::lower_bound(set.notdefs.begin(), set.notdefs.end(), p.code,
                                 [](const Glyph& n, char32_t c) { return n.code < c; });
            if (notdef != set.notdefs.end() && notdef->code == p.code)
                notdefs.push_back({p.to, g, &*notdef});
        }
    }
    const auto byPlace = [](const At& a, const At& b) { return a.to < b.to; };
    std::sort(glyphs.begin(), glyphs.end(), byPlace);
    std::sort(notdefs.begin(), notdefs.end(), byPlace);
    std::sort(out.missing.begin(), out.missing.end());

    // The samples one group after another.
    std::vector<std::size_t> base(groups.size(), 0);
    out.samples.reserve(samples);
    for (std::size_t g = 0; g < groups.size(); ++g) {
        base[g] = out.samples.size();
        std::vector<std::uint8_t>& own = groups[g].set.samples;
        out.samples.insert(out.samples.end(), own.begin(), own.end());
        std::vector<std::uint8_t>().swap(own);
    }
    positions->assign(groups.size(), {});
    const auto placedGlyph = [&](const At& a) {
        Glyph g = *a.glyph;
        g.code = a.to;
        g.offset += base[a.group];
        return g;
    };
    out.glyphs.reserve(glyphs.size());
    for (const At& a : glyphs) {
        (*positions)[a.group].push_back(std::uint32_t(out.glyphs.size()));
        out.glyphs.push_back(placedGlyph(a));
    }
    for (const At& a : notdefs)
        out.notdefs.push_back(placedGlyph(a));
    return out;
}

} // namespace zentraq::font
