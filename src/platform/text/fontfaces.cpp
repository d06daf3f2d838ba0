// Which installed faces the glyph canvas draws with, asked of fontconfig once.
#include "textrenderer.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cstdlib>
#include <optional>

namespace zentraq::text {
namespace {

struct Candidate {
    FaceSpec spec;
    bool scalable = false;
    bool cjk = false;
    int weight = FC_WEIGHT_REGULAR;
    int slant = FC_SLANT_ROMAN;
};

QString fcString(FcPattern* p, const char* object) {
    FcChar8* s = nullptr;
    if (FcPatternGetString(p, object, 0, &s) == FcResultMatch && s)
        return QString::fromUtf8(reinterpret_cast<const char*>(s));
    return {};
}

int fcInt(FcPattern* p, const char* object, int fallback) {
    int v = 0;
    return FcPatternGetInteger(p, object, 0, &v) == FcResultMatch ? v : fallback;
}

bool coversCjk(FcPattern* p) {
    FcLangSet* langs = nullptr;
    if (FcPatternGetLangSet(p, FC_LANG, 0, &langs) != FcResultMatch || !langs)
        return false;
    for (const char* lang : {"zh-cn", "zh-tw", "zh-hk", "ja", "ko"}) {
        if (FcLangSetHasLang(langs, reinterpret_cast<const FcChar8*>(lang)) != FcLangDifferentLang)
            return true;
    }
    return false;
}

Candidate candidateOf(FcPattern* p) {
    Candidate c;
    c.spec.file = fcString(p, FC_FILE);
    c.spec.index = fcInt(p, FC_INDEX, 0);
    c.spec.family = fcString(p, FC_FAMILY);
    FcBool scalable = FcFalse;
    c.scalable = FcPatternGetBool(p, FC_SCALABLE, 0, &scalable) == FcResultMatch && scalable;
    c.cjk = coversCjk(p);
    c.weight = fcInt(p, FC_WEIGHT, FC_WEIGHT_REGULAR);
    c.slant = fcInt(p, FC_SLANT, FC_SLANT_ROMAN);
    return c;
}

// The installed faces whose family is exactly `family`: fontconfig's listing,
// not its closest match, which would answer with any face at all.
std::vector<Candidate> installedFamily(const char* family) {
    std::vector<Candidate> out;
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
    FcObjectSet* objects = FcObjectSetBuild(FC_FILE, FC_INDEX, FC_FAMILY, FC_SCALABLE, FC_WEIGHT,
                                            FC_SLANT, FC_LANG, static_cast<char*>(nullptr));
    if (FcFontSet* set = FcFontList(nullptr, pattern, objects)) {
        for (int i = 0; i < set->nfont; ++i) {
            Candidate c = candidateOf(set->fonts[i]);
            if (!c.spec.file.isEmpty() && c.scalable)
                out.push_back(std::move(c));
        }
        FcFontSetDestroy(set);
    }
    FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
    // Upright regular weight first; file order settles ties so the choice does
    // not depend on the order fontconfig lists its cache in.
    std::sort(out.begin(), out.end(), [](const Candidate& a, const Candidate& b) {
        const bool ar = a.slant == FC_SLANT_ROMAN, br = b.slant == FC_SLANT_ROMAN;
        if (ar != br)
            return ar;
        const int aw = std::abs(a.weight - FC_WEIGHT_REGULAR), bw = std::abs(b.weight - FC_WEIGHT_REGULAR);
        if (aw != bw)
            return aw < bw;
        if (a.spec.file != b.spec.file)
            return a.spec.file < b.spec.file;
        return a.spec.index < b.spec.index;
    });
    return out;
}

// Every installed face in fontconfig's order of preference for Simplified
// Chinese text in `family`.
std::vector<Candidate> sortedForChinese(const QString& family) {
    std::vector<Candidate> out;
    FcPattern* pattern = FcPatternCreate();
    if (!family.isEmpty())
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.toUtf8().constData()));
    FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("zh-cn"));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    if (FcFontSet* set = FcFontSort(nullptr, pattern, FcFalse, nullptr, &result)) {
        for (int i = 0; i < set->nfont; ++i) {
            Candidate c = candidateOf(set->fonts[i]);
            if (!c.spec.file.isEmpty() && c.scalable)
                out.push_back(std::move(c));
        }
        FcFontSetDestroy(set);
    }
    FcPatternDestroy(pattern);
    return out;
}

// A character the canvas face lacks is looked up in at most this many other
// faces.
constexpr std::size_t MaxFallbacks = 48;

} // namespace

FaceChain resolveCanvasFaces() {
    FaceChain chain;
    if (!FcInit())
        return chain;

    std::optional<Candidate> primary;
    for (const char* family : {"SimSun", "宋体", "NSimSun", "新宋体", "AR PL UMing CN"}) {
        std::vector<Candidate> found = installedFamily(family);
        if (!found.empty()) {
            primary = found.front();
            // The family as asked for, not whichever of the face's names
            // fontconfig lists first.
            primary->spec.family = QString::fromUtf8(family);
            break;
        }
    }

    std::vector<Candidate> sorted = sortedForChinese(primary ? primary->spec.family : QString());
    if (!primary) {
        const auto cjk = std::find_if(sorted.begin(), sorted.end(), [](const Candidate& c) { return c.cjk; });
        if (cjk != sorted.end())
            primary = *cjk;
        else if (!sorted.empty())
            primary = sorted.front();
        else
            return chain;
    }
    chain.primary = primary->spec;

    // Faces covering Chinese, Japanese or Korean first, in fontconfig's order,
    // then the rest as a last resort; each face once.
    std::stable_partition(sorted.begin(), sorted.end(), [](const Candidate& c) { return c.cjk; });
    for (const Candidate& c : sorted) {
        if (chain.fallbacks.size() >= MaxFallbacks)
            break;
        const auto same = [&c](const FaceSpec& s) { return s.file == c.spec.file && s.index == c.spec.index; };
        if (same(chain.primary) || std::any_of(chain.fallbacks.begin(), chain.fallbacks.end(), same))
            continue;
        chain.fallbacks.push_back(c.spec);
    }
    return chain;
}

} // namespace zentraq::text
