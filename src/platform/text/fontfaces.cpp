// Which installed faces the glyph canvas draws with, asked of fontconfig once,
// and the exact lookup of an installed family.
#include "fontfaces.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <vector>

namespace zentraq::text {
namespace {

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

bool fcScalable(FcPattern* p) {
    FcBool scalable = FcFalse;
    return FcPatternGetBool(p, FC_SCALABLE, 0, &scalable) == FcResultMatch && scalable;
}

FaceChoice faceOf(FcPattern* p) {
    FaceChoice face;
    face.file = fcString(p, FC_FILE);
    face.index = fcInt(p, FC_INDEX, 0);
    face.family = fcString(p, FC_FAMILY);
    return face;
}

// A face fontconfig lists under a family, with what installedFace() chooses by.
struct Listed {
    FaceChoice face;
    int weight = FC_WEIGHT_REGULAR;
    int slant = FC_SLANT_ROMAN;
    int width = FC_WIDTH_NORMAL;
    bool ownName = false; // the family is the face's first family name
};

// Whether `a` is the better choice than `b`.
bool preferred(const Listed& a, const Listed& b, FacePreference preference) {
    const bool named = preference == FacePreference::OwnNameFirst;
    if (named && a.ownName != b.ownName)
        return a.ownName;
    const bool ar = a.slant == FC_SLANT_ROMAN, br = b.slant == FC_SLANT_ROMAN;
    if (ar != br)
        return ar;
    const int aw = std::abs(a.weight - FC_WEIGHT_REGULAR),
              bw = std::abs(b.weight - FC_WEIGHT_REGULAR);
    if (aw != bw)
        return aw < bw;
    if (named) {
        const int an = std::abs(a.width - FC_WIDTH_NORMAL),
                  bn = std::abs(b.width - FC_WIDTH_NORMAL);
        if (an != bn)
            return an < bn;
    }
    if (a.face.file != b.face.file)
        return a.face.file < b.face.file;
    return a.face.index < b.face.index;
}

struct Candidate {
    FaceChoice face;
    bool cjk = false;
    bool scalable = false;
};

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

// Every installed face in fontconfig's order of preference for Simplified
// Chinese text in `family`, bitmap-only faces included.
std::vector<Candidate> sortedForChinese(const QString& family) {
    std::vector<Candidate> out;
    FcPattern* pattern = FcPatternCreate();
    if (!family.isEmpty())
        FcPatternAddString(pattern, FC_FAMILY,
                           reinterpret_cast<const FcChar8*>(family.toUtf8().constData()));
    FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("zh-cn"));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    if (FcFontSet* set = FcFontSort(nullptr, pattern, FcFalse, nullptr, &result)) {
        for (int i = 0; i < set->nfont; ++i) {
            FcPattern* p = set->fonts[i];
            // Bitmap-only faces too: the renderer takes them only at the
            // sizes of their strikes.
            Candidate c{faceOf(p), coversCjk(p), fcScalable(p)};
            if (!c.face.file.isEmpty())
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

bool fontconfigReady() {
    return FcInit() != FcFalse;
}

std::optional<FaceChoice> installedFace(const QString& family, FacePreference preference) {
    if (!fontconfigReady())
        return std::nullopt;
    std::optional<Listed> best;
    FcPattern* pattern = FcPatternCreate();
    const QByteArray name = family.toUtf8();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.constData()));
    FcObjectSet* objects = FcObjectSetBuild(FC_FILE, FC_INDEX, FC_FAMILY, FC_SCALABLE, FC_WEIGHT,
                                            FC_SLANT, FC_WIDTH, static_cast<char*>(nullptr));
    if (FcFontSet* set = FcFontList(nullptr, pattern, objects)) {
        for (int i = 0; i < set->nfont; ++i) {
            FcPattern* p = set->fonts[i];
            Listed l;
            l.face = faceOf(p);
            l.weight = fcInt(p, FC_WEIGHT, FC_WEIGHT_REGULAR);
            l.slant = fcInt(p, FC_SLANT, FC_SLANT_ROMAN);
            l.width = fcInt(p, FC_WIDTH, FC_WIDTH_NORMAL);
            l.ownName = l.face.family.compare(family, Qt::CaseInsensitive) == 0;
            if (!l.face.file.isEmpty() && fcScalable(p) &&
                (!best || preferred(l, *best, preference)))
                best = std::move(l);
        }
        FcFontSetDestroy(set);
    }
    FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
    if (!best)
        return std::nullopt;
    // The family as asked for, not whichever of the face's names fontconfig
    // lists first.
    best->face.family = family;
    return best->face;
}

FaceChain resolveCanvasFaces() {
    FaceChain chain;
    if (!fontconfigReady())
        return chain;

    std::optional<FaceChoice> primary;
    for (const char* family : {"SimSun", "宋体", "NSimSun", "新宋体", "AR PL UMing CN"}) {
        primary = installedFace(QString::fromUtf8(family), FacePreference::UprightRegular);
        if (primary)
            break;
    }

    std::vector<Candidate> sorted = sortedForChinese(primary ? primary->family : QString());
    if (!primary) {
        // The canvas face scales: it draws at every size.
        const auto cjk = std::find_if(sorted.begin(), sorted.end(),
                                      [](const Candidate& c) { return c.cjk && c.scalable; });
        const auto any = std::find_if(sorted.begin(), sorted.end(),
                                      [](const Candidate& c) { return c.scalable; });
        if (cjk != sorted.end())
            primary = cjk->face;
        else if (any != sorted.end())
            primary = any->face;
        else
            return chain;
    }
    chain.primary = *primary;

    // Faces covering Chinese, Japanese or Korean first, in fontconfig's order,
    // then the rest as a last resort; each face once.
    std::stable_partition(sorted.begin(), sorted.end(), [](const Candidate& c) { return c.cjk; });
    for (const Candidate& c : sorted) {
        if (chain.fallbacks.size() >= MaxFallbacks)
            break;
        const auto same = [&c](const FaceChoice& s) {
            return s.file == c.face.file && s.index == c.face.index;
        };
        if (same(chain.primary) ||
            std::any_of(chain.fallbacks.begin(), chain.fallbacks.end(), same))
            continue;
        chain.fallbacks.push_back(c.face);
    }
    return chain;
}

} // namespace zentraq::text
