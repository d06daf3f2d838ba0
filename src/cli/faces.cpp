#include "faces.h"

#include "options.h"

#include <QFile>
#include <QFileInfo>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace zentraq::cli {
namespace {

struct Listed {
    text::FaceSpec face;
    int weight = FC_WEIGHT_REGULAR;
    int slant = FC_SLANT_ROMAN;
    int width = FC_WIDTH_NORMAL;
    bool firstName = false; // the family is the face's first family name
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

struct FreeTypeLibrary {
    FT_Library lib = nullptr;
    FreeTypeLibrary() {
        if (FT_Init_FreeType(&lib) != 0)
            lib = nullptr;
    }
    ~FreeTypeLibrary() {
        if (lib)
            FT_Done_FreeType(lib);
    }
    FreeTypeLibrary(const FreeTypeLibrary&) = delete;
    FreeTypeLibrary& operator=(const FreeTypeLibrary&) = delete;
};

// A face is of use when it scales or has bitmap strikes, as the renderer
// requires.
bool usable(FT_Face face) {
    return FT_IS_SCALABLE(face) || face->num_fixed_sizes > 0;
}

} // namespace

text::FaceSpec installedFace(const QString& family) {
    if (!FcInit())
        failure(QStringLiteral("cannot ask fontconfig for the installed fonts"));
    std::vector<Listed> found;
    FcPattern* pattern = FcPatternCreate();
    const QByteArray name = family.toUtf8();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.constData()));
    FcObjectSet* objects = FcObjectSetBuild(FC_FILE, FC_INDEX, FC_FAMILY, FC_SCALABLE, FC_WEIGHT, FC_SLANT,
                                            FC_WIDTH, static_cast<char*>(nullptr));
    if (FcFontSet* set = FcFontList(nullptr, pattern, objects)) {
        for (int i = 0; i < set->nfont; ++i) {
            FcPattern* p = set->fonts[i];
            FcBool scalable = FcFalse;
            Listed l;
            l.face.file = fcString(p, FC_FILE);
            l.face.index = fcInt(p, FC_INDEX, 0);
            l.face.family = family;
            l.weight = fcInt(p, FC_WEIGHT, FC_WEIGHT_REGULAR);
            l.slant = fcInt(p, FC_SLANT, FC_SLANT_ROMAN);
            l.width = fcInt(p, FC_WIDTH, FC_WIDTH_NORMAL);
            l.firstName = fcString(p, FC_FAMILY).compare(family, Qt::CaseInsensitive) == 0;
            if (!l.face.file.isEmpty() && FcPatternGetBool(p, FC_SCALABLE, 0, &scalable) == FcResultMatch && scalable)
                found.push_back(std::move(l));
        }
        FcFontSetDestroy(set);
    }
    FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
    if (found.empty())
        failure(QStringLiteral("font family '%1' is not installed (fc-list : family shows the installed ones)")
                    .arg(family));
    // A face whose own name is the family, upright, regular weight and
    // width first (a family also lists its condensed and light faces); the
    // file settles ties, so the choice does not depend on the order of
    // fontconfig's cache.
    std::sort(found.begin(), found.end(), [](const Listed& a, const Listed& b) {
        if (a.firstName != b.firstName)
            return a.firstName;
        const bool ar = a.slant == FC_SLANT_ROMAN, br = b.slant == FC_SLANT_ROMAN;
        if (ar != br)
            return ar;
        const int aw = std::abs(a.weight - FC_WEIGHT_REGULAR), bw = std::abs(b.weight - FC_WEIGHT_REGULAR);
        if (aw != bw)
            return aw < bw;
        const int an = std::abs(a.width - FC_WIDTH_NORMAL), bn = std::abs(b.width - FC_WIDTH_NORMAL);
        if (an != bn)
            return an < bn;
        if (a.face.file != b.face.file)
            return a.face.file < b.face.file;
        return a.face.index < b.face.index;
    });
    return found.front().face;
}

text::FaceSpec fontFileFace(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        failure(QStringLiteral("cannot read font file '%1': it does not exist").arg(path));
    if (!info.isFile())
        failure(QStringLiteral("cannot read font file '%1': it is not a file").arg(path));
    QFile probe(path);
    if (!probe.open(QIODevice::ReadOnly))
        failure(QStringLiteral("cannot read font file '%1': %2").arg(path, probe.errorString()));
    probe.close();

    FreeTypeLibrary ft;
    FT_Face ftFace = nullptr;
    const QByteArray native = QFile::encodeName(info.absoluteFilePath());
    if (!ft.lib || FT_New_Face(ft.lib, native.constData(), 0, &ftFace) != 0)
        failure(QStringLiteral("'%1' is not a font file that can be read").arg(path));
    text::FaceSpec face;
    face.file = info.absoluteFilePath();
    face.index = 0;
    face.family = ftFace->family_name ? QString::fromUtf8(ftFace->family_name) : QString();
    const bool ok = usable(ftFace);
    FT_Done_Face(ftFace);
    if (!ok)
        failure(QStringLiteral("'%1' has neither outlines nor bitmaps to draw with").arg(path));
    return face;
}

text::FaceChain chainWith(const text::FaceSpec& primary, const text::FaceChain& canvas) {
    text::FaceChain chain;
    chain.primary = primary;
    const auto same = [&primary](const text::FaceSpec& s) { return s.file == primary.file && s.index == primary.index; };
    if (!canvas.empty() && !same(canvas.primary))
        chain.fallbacks.push_back(canvas.primary);
    for (const text::FaceSpec& s : canvas.fallbacks) {
        if (!same(s))
            chain.fallbacks.push_back(s);
    }
    return chain;
}

struct FaceCoverage::Impl {
    FreeTypeLibrary ft;
    std::vector<text::FaceSpec> chainFaces; // primary first
    std::vector<FT_Face> faces; // nullptr: not usable
    std::vector<bool> tried;

    ~Impl() {
        for (FT_Face f : faces) {
            if (f)
                FT_Done_Face(f);
        }
    }

    FT_Face open(std::size_t i) {
        if (!tried[i]) {
            tried[i] = true;
            FT_Face f = nullptr;
            const QByteArray path = QFile::encodeName(chainFaces[i].file);
            if (ft.lib && !path.isEmpty() && FT_New_Face(ft.lib, path.constData(), chainFaces[i].index, &f) == 0) {
                if (usable(f))
                    faces[i] = f;
                else
                    FT_Done_Face(f);
            }
        }
        return faces[i];
    }
};

FaceCoverage::FaceCoverage(text::FaceChain chain) : d(std::make_unique<Impl>()) {
    if (!chain.empty()) {
        d->chainFaces.push_back(chain.primary);
        for (text::FaceSpec& s : chain.fallbacks)
            d->chainFaces.push_back(std::move(s));
    }
    d->faces.assign(d->chainFaces.size(), nullptr);
    d->tried.assign(d->chainFaces.size(), false);
}

FaceCoverage::~FaceCoverage() = default;

bool FaceCoverage::has(char32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return false;
    for (std::size_t i = 0; i < d->chainFaces.size(); ++i) {
        FT_Face f = d->open(i);
        if (f && FT_Get_Char_Index(f, cp) != 0)
            return true;
    }
    return false;
}

} // namespace zentraq::cli
