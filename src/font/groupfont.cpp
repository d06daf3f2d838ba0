#include "groupfont.h"

#include <algorithm>

namespace zentraq::font {

GroupFont drawGroups(std::vector<FaceGroup> faces, std::vector<GroupDrawing> groups,
                     const FontWriter& writer, const RenderSettings& render,
                     const std::function<void(const QString&)>& note) {
    std::vector<DrawnGroup> drawn;
    std::uint64_t budget = render.sampleBudget;
    for (GroupDrawing& group : groups) {
        RenderSettings own = render;
        own.autohint = group.autohint;
        own.sampleBudget = budget;
        const std::vector<char32_t> codes = facesCodes(group.placed);
        GlyphSet set = renderGlyphs(*faces[group.face].face, own, codes);
        budget -= std::min<std::uint64_t>(budget, set.samples.size());
        if (!codes.empty())
            if (const QString left = leftOut(writer, set, codes.size()); !left.isEmpty())
                note(left);
        drawn.push_back({std::move(set), std::move(group.placed)});
    }
    GroupFont font;
    std::vector<std::vector<std::uint32_t>> positions;
    font.set = std::make_unique<GlyphSet>(mergeGroups(drawn, &positions));

    // One face of the source for each face read: the glyphs of every group
    // drawn from it (kerned together, as lv_font_conv kerns a file given
    // twice).
    font.source.set = font.set.get();
    for (std::size_t f = 0; f < faces.size(); ++f) {
        std::vector<std::uint32_t>& glyphs = faces[f].glyphs;
        glyphs.clear();
        for (std::size_t g = 0; g < groups.size(); ++g)
            if (groups[g].face == f)
                glyphs.insert(glyphs.end(), positions[g].begin(), positions[g].end());
        std::sort(glyphs.begin(), glyphs.end());
        if (f == 0 || !glyphs.empty())
            font.source.faces.push_back(std::move(faces[f]));
    }
    if (font.source.faces.size() == 1)
        font.source.faces.front().glyphs.clear(); // all of them
    return font;
}

std::vector<MissingList> groupsMissing(const std::vector<FaceGroup>& faces,
                                       const std::vector<GroupDrawing>& groups) {
    std::vector<MissingList> lists;
    for (const GroupDrawing& group : groups) {
        const std::vector<char32_t> codes = facesCodes(group.placed);
        if (!codes.empty() || groups.size() == 1)
            lists.push_back(missingList(*faces[group.face].face, codes));
    }
    return lists;
}

std::vector<char32_t> fontCharacters(const std::vector<std::vector<PlacedCode>>& placed) {
    std::vector<char32_t> codes;
    for (const std::vector<PlacedCode>& group : placed)
        for (const PlacedCode& p : group)
            codes.push_back(p.to);
    std::sort(codes.begin(), codes.end());
    return codes;
}

} // namespace zentraq::font
