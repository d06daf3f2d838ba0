#include "faces.h"

#include "fontfaces.h"
#include "options.h"

#include <optional>

namespace zentraq::cli {
text::FaceSpec installedFace(const QString& family) {
    if (!text::fontconfigReady())
        failure(QStringLiteral("cannot ask fontconfig for the installed fonts"));
    const std::optional<text::FaceSpec> face =
        text::installedFace(family, text::FacePreference::OwnNameFirst);
    if (!face)
        failure(QStringLiteral(
                    "font family '%1' is not installed (fc-list : family shows the installed ones)")
                    .arg(family));
    return *face;
}

text::FaceChain chainWith(const text::FaceSpec& primary, const text::FaceChain& canvas) {
    text::FaceChain chain;
    chain.primary = primary;
    const auto same = [&primary](const text::FaceSpec& s) {
        return s.file == primary.file && s.index == primary.index;
    };
    if (!canvas.empty() && !same(canvas.primary))
        chain.fallbacks.push_back(canvas.primary);
    for (const text::FaceSpec& s : canvas.fallbacks) {
        if (!same(s))
            chain.fallbacks.push_back(s);
    }
    return chain;
}

} // namespace zentraq::cli
