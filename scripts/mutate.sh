#!/usr/bin/env bash
# Hand-made mutants of the packer, the pixel formats and the fitting: each
# one changes an operator, a constant or a condition of one source file. For
# each, the script builds the suites that cover that file, runs them, and
# says whether a test failed (killed) or every test passed (survived). Usage:
#
#   scripts/mutate.sh [REGEX]     only the mutants whose "FILE: OLD => NEW"
#                                 matches the extended regular expression
#
# Builds in build/mutation (release, warnings not fatal, no benchmarks and no
# web view), two jobs at a time. Every file is put back after its mutant, also
# when the script is interrupted. Takes about a minute a mutant.
set -euo pipefail
cd "$(dirname "$0")/.."
only=${1:-}
build=build/mutation
log=$build/mutation.log

# A section header names the file and the suites that cover it; each mutant
# below it is "OLD => NEW", OLD appearing exactly once in the file (\n stands
# for a line break).
mutants() {
    cat <<'EOF'
== src/core/packer.cpp : test_pipeline test_scanglyph test_glyph_layouts test_qumo test_csource test_cli_glyph test_cli_picture test_tool_identity test_window_identity
    return bits == 1 || bits == 2 || bits == 4; => return bits == 1 || bits == 2;
    return (a + b - 1) / b; => return (a + b) / b;
    return {static_cast<long long>(y) * ceilDiv(width, k) + x / k, x % k}; => return {static_cast<long long>(y) * (width / k) + x / k, x % k};
    return {static_cast<long long>(x) * ceilDiv(height, k) + y / k, y % k}; => return {static_cast<long long>(x) * (height / k) + y / k, y % k};
    return {static_cast<long long>(y / k) * width + x, y % k}; => return {static_cast<long long>(y / k) * width + x, k - 1 - y % k};
    return {static_cast<long long>(x / k) * height + y, x % k}; => return {static_cast<long long>(x / k) * width + y, x % k};
    return l.msbFirst ? 8 - l.bits * (slot + 1) : l.bits * slot; => return l.msbFirst ? 8 - l.bits * slot : l.bits * slot;
    if (!subByte(l.bits) && l.bits != 8 && l.bits != 16 && l.bits != 24) => if (!subByte(l.bits) && l.bits != 8 && l.bits != 16)
    if (!subByte(l.bits) && (l.scan == Scan::Page || l.scan == Scan::Band)) => if (!subByte(l.bits) && l.scan == Scan::Page)
    if (l.pad && l.scan != Scan::Row && l.scan != Scan::Column) => if (l.pad && l.scan != Scan::Row)
    if (l.pad && !subByte(l.bits)) => if (false && l.pad && !subByte(l.bits))
        return checked::mul(checked::mul(w, h), static_cast<long long>(l.bits / 8)); => return checked::mul(checked::mul(w, h), static_cast<long long>(2));
        return l.pad ? checked::mul(h, ceilDiv(w, k)) => return l.pad ? checked::mul(h, w / k)
        return checked::mul(ceilDiv(h, k), w); => return checked::mul(h / k, w);
        return checked::mul(ceilDiv(w, k), h); => return checked::mul(w / k, h);
    if (width < 1 || height < 1) => if (width < 0 || height < 0)
        m_window = std::min(m_frameBytes, std::max<long long>(windowBytes / unit, 1) * unit); => m_window = std::min(m_frameBytes, std::max<long long>(windowBytes / unit, 1));
    m_windowEnd = std::min(m_windowFirst + m_window, m_frameBytes); => m_windowEnd = m_windowFirst + m_window;
                storeField(out, samples[i], 2, ByteOrder::LowFirst); => storeField(out, samples[i], 2, ByteOrder::HighFirst);
        if (at >= m_windowFirst && at < m_windowEnd) { => if (at > m_windowFirst && at < m_windowEnd) {
    if (m_x != 0 || m_y != m_height) => if (m_y > m_height)
        m_bits.alignToByte();\n    } else { => (void)0;\n    } else {
        if (++m_pass == m_passes)\n            m_pass = 0; => if (++m_pass == m_passes)\n            m_pass = 1;
    const std::uint32_t mask = (1u << (subByte(l.bits) ? l.bits : 0)) - 1; => const std::uint32_t mask = (1u << (subByte(l.bits) ? l.bits - 1 : 0)) - 1;
      m_mask(layout.bits >= 32 ? ~0u : (1u << layout.bits) - 1), => m_mask(~0u),
        if (m_ready.empty()) {\n            // The window => if (true) {\n            // The window
== src/core/bytefields.h : test_emit test_pipeline test_qumo test_csource test_cli_picture test_tool_identity test_window_identity
        const int shift = order == ByteOrder::LowFirst ? 8 * i : 8 * (bytes - 1 - i);\n        at[i] => const int shift = order == ByteOrder::LowFirst ? 8 * i : 8 * (bytes - i);\n        at[i]
        const int shift = order == ByteOrder::LowFirst ? 8 * i : 8 * (bytes - 1 - i);\n        v |= => const int shift = order == ByteOrder::LowFirst ? 8 * (bytes - 1 - i) : 8 * i;\n        v |=
== src/core/bitwriter.h : test_emit test_pipeline test_scanglyph test_glyph_layouts test_cli_glyph test_tool_identity test_window_identity
        if (m_pending == 0)\n            return; => if (m_pending <= 1)\n            return;
== src/cli/commandline.cpp : test_cli_commandline test_cli_glyph test_tool_identity
    for (const QChar c : {u'x', u'X', u'*'}) { => for (const QChar c : {u'x', u'X'}) {
    if (text.isEmpty() || text.size() > 9) => if (text.isEmpty() || text.size() > 10)
    if (w * h > maxPixels) => if (w * h >= maxPixels)
    if (w < 1 || h < 1 || w > maxSide || h > maxSide) => if (h < 1 || w > maxSide || h > maxSide)
    if (n < low || n > high) => if (n <= low || n > high)
            if (hasOption(*other, text(name))) => if (false)
        if (!lineStart && column + 1 + word.size() > width) { => if (!lineStart && column + word.size() > width) {
== src/core/encode.h : test_pixelformat test_pipeline test_picture_file test_lvgl_image test_epaper test_cli_picture test_tool_identity test_window_identity
    for (int pos = 8 - n; pos > -n; pos -= n) => for (int pos = 8 - n; pos > 0; pos -= n)
    return (here[slot] + right + 8) >> 4; => return (here[slot] + right) >> 4;
    right = 7 * e; => right = 5 * e;
    next[slot - step] += 3 * e; => next[slot - step] += 5 * e;
    next[slot] += 5 * e; => next[slot] += 3 * e;
    next[slot + step] = e; => next[slot + step] += e;
        {12, 4, 14, 6}, => {12, 4, 6, 14},
    return (c * a + bg * (255 - a) + 127) / 255; => return (c * a + bg * (255 - a) + 128) / 255;
== src/picture/encode/pixelformat.cpp : test_pixelformat test_pipeline test_picture_file test_cli_picture test_tool_identity test_window_identity
    {PixelFormat::Rgb666, "rgb666", 24, 6, false, => {PixelFormat::Rgb666, "rgb666", 24, 8, false,
        return {{5, 6, 5}, {11, 5, 0}}; => return {{5, 6, 5}, {11, 6, 0}};
        return {{5, 6, 5}, {0, 5, 11}}; => return {{5, 5, 5}, {0, 5, 11}};
        return {{6, 6, 6}, {18, 10, 2}}; => return {{6, 6, 6}, {18, 10, 0}};
        return {{3, 3, 2}, {5, 2, 0}}; => return {{3, 3, 2}, {5, 3, 0}};
    return v < 0 ? 0 : (v > 255 ? 255 : v); => return v < 0 ? 0 : v;
    return v < 0 ? 0 : (v > 255 ? 255 : v); => return v > 255 ? 255 : v;
            const int v = clampByte(i + DiffusedLow); => const int v = i + DiffusedLow;
    return infoOf(format).bits == 16; => return infoOf(format).bits >= 16;
    return infoOf(format).channelBits < 8; => return infoOf(format).channelBits <= 8;
        return v >> (8 - bits); => return (v + 1) >> (8 - bits);
    int plain(int v) const {\n        if (threshold)\n            return v >= *threshold ? 1 : 0; => int plain(int v) const {\n        if (threshold)\n            return v > *threshold ? 1 : 0;
    int nearest(int v) const {\n        if (threshold)\n            return v >= *threshold ? 1 : 0; => int nearest(int v) const {\n        if (threshold)\n            return v > *threshold ? 1 : 0;
            if (std::abs(v - widened(q)) <= std::abs(v - widened(best))) => if (std::abs(v - widened(q)) < std::abs(v - widened(best)))
        const int moved = threshold ? v + DefaultThreshold - *threshold : v; => const int moved = threshold ? v - DefaultThreshold + *threshold : v;
        const int q = (32 * moved * top() + (2 * m + 1) * 255) / (32 * 255); => const int q = (32 * moved * top() + (2 * m) * 255) / (32 * 255);
        return std::clamp(q, 0, top()); => return std::max(q, 0);
    if (info.channelBits == 8)\n        m_dither => if (info.channelBits >= 6)\n        m_dither
                return std::uint32_t(invert ? q : 1 - q); => return std::uint32_t(invert ? 1 - q : q);
            return std::uint32_t(invert ? top - q : q); => return std::uint32_t(q);
                std::int16_t(v - levels.widened(q)); => std::int16_t(levels.widened(q) - v);
    std::fill(next, next + 2 * Channels, 0); => std::fill(next, next + Channels, 0);
    std::fill(m_errThis.begin(), m_errThis.end(), 0); => (void)0;
            table[i][c] = m_part.data() + (c * 16 + (m_row & 3) * 4 + i) * 256; => table[i][c] = m_part.data() + (c * 16 + (m_row & 1) * 4 + i) * 256;
        samples[x] = lookUp<Channels>(pixels[x], table[x & 3]); => samples[x] = lookUp<Channels>(pixels[x], table[0]);
            q = 1 - q; // the ink bit is black => (void)0;
        if (invert)\n            q = top - q; => if (false)\n            q = top - q;
        colour ? encodeLookedUp<3>(pixels, samples) : encodeLookedUp<1>(pixels, samples);\n    ++m_row; => colour ? encodeLookedUp<3>(pixels, samples) : encodeLookedUp<1>(pixels, samples);
== src/picture/encode/transform.cpp : test_transform test_picture_file test_cli_picture test_tool_identity test_window_identity
    return (2 * a * b + c) / (2 * c); => return a * b / c;
    return rotation == Rotation::Clockwise90 || rotation == Rotation::Clockwise270 => return rotation == Rotation::Clockwise90
            pw = std::clamp(scaleRounded(w, H, h), 1LL, W); => pw = std::clamp(scaleRounded(w, H, h), 0LL, W);
        p.placed = QRect(int((W - pw) / 2), int((H - ph) / 2), int(pw), int(ph)); => p.placed = QRect(int((W - pw + 1) / 2), int((H - ph) / 2), int(pw), int(ph));
        p.placed = QRect(int((W - pw) / 2), int((H - ph) / 2), int(pw), int(ph)); => p.placed = QRect(int((W - pw) / 2), int((H - ph + 1) / 2), int(pw), int(ph));
        p.source = QRect(int((w - cw) / 2), int((h - ch) / 2), int(cw), int(ch)); => p.source = QRect(int((w - cw + 1) / 2), int((h - ch) / 2), int(cw), int(ch));
            ch = std::clamp(scaleRounded(w, H, W), 1LL, h); => ch = scaleRounded(w, H, W);
    if (text == u"270")\n        return Rotation::Clockwise270; => if (text == u"270")\n        return Rotation::Clockwise90;
            sy = h - 1 - u; => sy = u;
            sx = w - 1 - v; => sx = v;
            sx = w - 1 - u; => sx = u;
        const long long u = fitting.flipHorizontal ? ow - 1 - x : x; => const long long u = fitting.flipVertical ? ow - 1 - x : x;
        m_palette.assign(256, qRgb(0, 0, 0)); => m_palette.assign(256, qRgb(255, 255, 255));
                m_palette[std::size_t(i)] = qRgb(i, i, i); => m_palette[std::size_t(i)] = qRgb(i, i, 0);
                const long long total = scaleRounded(covered, WeightOne, in); => const long long total = covered * WeightOne / in;
            const long long num = (2 * i + 1) * in - out, den = 2 * out; => const long long num = (2 * i + 1) * in, den = 2 * out;
            if (num <= 0 || k >= in - 1) { => if (num <= 0 || k >= in) {
            add(k, WeightOne - upper); => add(k, upper);
    std::fill(out + m_placed.left() + m_placed.width(), out + m_canvas.width(), canvas); => (void)0;
    constexpr std::int64_t Half = std::int64_t(1) << (2 * WeightBits - 1); => constexpr std::int64_t Half = 0;
    if (y < m_placed.top() || y > m_placed.bottom()) { => if (y < m_placed.top()) {
    if (y == 0 && m_next != 0) { => if (false) {
    if (limit > 0 && bytes > limit) => if (limit > 0 && bytes > 2 * limit)
            placed[i] |= 0xFF000000; // opaque, whatever alpha the picture had => (void)0;
== src/font/lvglwrite.cpp : test_font_writers test_font_kerning test_lvgl_flash test_tool_identity
        << "    .pair_cnt = " << (unsigned long)m_pairs.size() => << "    .pair_cnt = " << (unsigned long)m_pairs.size() - 1
        putU32(d, std::uint32_t(m_pairs.size())); => putU32(d, std::uint32_t(m_pairs.size() - 1));
== src/font/lvglfont.cpp : test_font_writers test_font_kerning test_lvgl_flash test_tool_identity
        m_advance.push_back(std::uint32_t(std::max(0, (g.linearAdvance + 2048) >> 12))); => m_advance.push_back(std::uint32_t(std::max(0, g.linearAdvance >> 12)));
== src/font/gfxfont.cpp : test_font_writers test_font_formats test_tool_identity
        const int yOffset = 1 - g.top; => const int yOffset = -g.top;
== src/picture/write/lvglimage.cpp : test_lvgl_image test_tool_identity test_window_identity
    constexpr qsizetype Threshold = 16; // repeats of fewer blocks are copied => constexpr qsizetype Threshold = 17; // repeats of fewer blocks are copied
    auto channel = [a](int c) { return std::min(255, (c * 255 + a / 2) / a); }; => auto channel = [a](int c) { return std::min(255, c * 255 / a); };
                p = qRgba(px[0], px[0], px[0], px[1]); => p = qRgba(px[0], px[0], px[0], 255);
                p = qRgba(0, 0, 0, sub * 255 / ((1 << bits) - 1)); => p = qRgba(0, 0, 0, sub * 255 / (1 << bits));
                if (m_o.format == ColourFormat::Argb8888Premultiplied || m_premultiplied)\n                    p = qUnpremultiply(p); => if (m_premultiplied)\n                    p = qUnpremultiply(p);
                    const std::uint32_t w = m_swapped ? std::uint32_t(px[0]) << 8 | px[1] => const std::uint32_t w = m_swapped ? std::uint32_t(px[1]) << 8 | px[0]
        if (run >= Threshold) { => if (run > Threshold) {
        m_repeat = !(control & 0x80); => m_repeat = (control & 0x80);
== src/picture/encode/palette.cpp : test_lvgl_image test_palette_quality test_tool_identity test_window_identity
            return std::array<int, 5>{qAlpha(p), lumaOf(qRed(p), qGreen(p), qBlue(p)), qRed(p), => return std::array<int, 5>{-qAlpha(p), lumaOf(qRed(p), qGreen(p), qBlue(p)), qRed(p),
    const int room = m_colours - (m_transparent ? 1 : 0); => const int room = m_colours;
        m_cells->add(premultiplied(p), std::int64_t(n) * qAlpha(p)); => m_cells->add(premultiplied(p), std::int64_t(n));
            const double gain = below.weight() + above.weight(); => const double gain = below.weight();
        if (changed * 1000 < points.size()) => if (true)
            const int offset = (2 * m + 1 - 16) * m_spacing * c[3] / (32 * 255); => const int offset = (2 * m - 16) * m_spacing * c[3] / (32 * 255);
    if (!m_exactOverflow && int(m_exact.size()) <= room) { => if (false) {
                    e[k] = c[std::size_t(k)] - m_nearest.colour(index)[std::size_t(k)]; => e[k] = 0;
== src/picture/encode/epaper.cpp : test_epaper test_tool_identity test_window_identity
            error[k] += goal[k] - m_colours[std::size_t(index)][k]; => error[k] = goal[k] - m_colours[std::size_t(index)][k];
        return m_lumaRank[std::size_t(a)] < m_lumaRank[std::size_t(b)]; => return m_lumaRank[std::size_t(a)] > m_lumaRank[std::size_t(b)];
        std::fill(next, next + 6, 0); => std::fill(next, next + 3, 0);
                core::spreadError(v[k] - c[std::size_t(k)], slot + k, 3, right[k], next); => core::spreadError(c[std::size_t(k)] - v[k], slot + k, 3, right[k], next);
            samples[x] = m_row[std::size_t(x)] == m_index ? 0 : 1; => samples[x] = m_row[std::size_t(x)] == m_index ? 1 : 0;
        if (i != w)\n            planes << i; => planes << i;
== src/picture/write/pictureforms.cpp : test_cli_picture test_tool_identity test_window_identity
    return among(option, LvglOptionNames) || (!m_file && among(option, {"name", "attribute"})); => return among(option, LvglOptionNames) || among(option, {"name", "attribute"});
                                              : lvgl::ColourFormat::TrueColorAlpha; => : lvgl::ColourFormat::TrueColor;
    for (const char* layoutOption : {"scan", "pad", "msb-first"}) => for (const char* layoutOption : {"pad", "msb-first"})
    if (bitsPerSample(s.data.pixel) != 16) => if (bitsPerSample(s.data.pixel) > 16)
== src/font/u8g2font.cpp : test_font_bitmap test_tool_identity
    constexpr std::size_t PerEntry = 101; => constexpr std::size_t PerEntry = 100;
    const long y1 = std::max(max.y + max.h, g.y + g.h); => const long y1 = max.y + max.h;
        max.h = 7; => max.h = 8;
    if (mode == U8g2Mode::Monospace && max.w < dxMax) => if (false)
            p.box.w = s.ink.w + (s.ink.x < 0 ? -s.ink.x : s.ink.x); => p.box.w = s.ink.w;
            return fullBox(*g); => return std::nullopt;
== src/font/bdfnames.cpp : test_font_bitmap test_tool_identity
                  mono && count ? 'M' : 'P', average, => count ? 'M' : 'P', average,
    const long average = count ? long((double(widths) / double(count) + 0.5) * 10.0) : 0; => const long average = count ? long(double(widths) / double(count) * 10.0) : 0;
    n.copyright = englishName(f, 0, 0).value_or(*n.font); => n.copyright = n.font;
        n.ascent = hhea->Ascender * points / f->units_per_EM; => n.ascent = hhea->Ascender * points / f->units_per_EM + 1;
        n.glyphCount = header->glyphCount; => n.glyphCount = header->glyphCount - 1;
== src/app/glyph_handlers.cpp : test_glyph_window test_window test_window_identity
    sizeButton(6, 12, false); => sizeButton(6, 12, true);
    sizeButton(16, 32, false); => sizeButton(16, 16, false);
    ui->Label1->setText(glyph::dataSizeCaption(data.byteCount)); => (void)0;
    ui->Text1->setText(glyph::printableAscii()); => ui->Text1->setText(glyph::printableAscii());\n    qumo(8, 16);
        return;\n    }\n    m_services.boxes.show(\n => }\n    m_services.boxes.show(\n
    if (!m_services.clipboard.setText(ui->Text2->text(), &error)) { => if (!m_services.clipboard.setText(ui->Text1->text(), &error)) {
== src/core/carray.cpp : test_emit test_csource test_pipeline test_tool_identity test_window_identity
    return "数据大小:" + std::to_string(bytes) + "字节"; => return "数据大小:" + std::to_string(bytes + 1) + "字节";
        out.append(" ").append(d.attribute); => out.append(d.attribute);
        out += std::to_string(d.count); => out += std::to_string(d.count + 1);
        out.append(" ").append(d.after); => out.append(d.after);
        const int first = order == ByteOrder::LowFirst ? w & 0xFF : w >> 8; => const int first = w >> 8;
== src/cli/optiondef.h : test_quick_picture test_cli_glyph test_tool_identity
        if (a.size() == 2 && a[0] == dash && a[1] == dash) { => if (false) {
            if (k + 1 < a.size())\n                value = a.substr(k + 1); => if (false)\n                value = a.substr(k + 1);
        if (!d.repeatable && std::find(given.begin(), given.end(), &d) != given.end()) => if (false)
            if (!d->value && eq != View::npos)\n                return handler.takesNoValue(*d); => if (false)\n                return handler.takesNoValue(*d);
== src/cli/quick_picture.cpp : test_quick_picture test_tool_identity
        if (pictures++ > 0) => if (pictures++ > 1)
    return !o.output.empty() && o.output != "-" && o.depfile != "-" && endsWithPng(o.picture) && => return !o.output.empty() && o.depfile != "-" && endsWithPng(o.picture) &&
           !(!o.depfile.empty() && lastPart(o.depfile) == lastPart(o.output)); => true;
        if (c >= 'A' && c <= 'Z') => if (false)
        if (!o.quiet) { => if (o.quiet) {
        files.keepUnchanged = o.keepUnchanged; => files.keepUnchanged = false;
        destination.commit({o.picture}); => destination.commit({});
== src/cli/library_command.cpp : test_cli_glyph test_tool_identity
    if (text.problem == glyph::CharsetProblem::NoCharacters && !o.sources.listChars) => if (false)
    if (text.problem == glyph::CharsetProblem::NotUtf8) => if (false)
    if (!sources && !exists(o.charset)) => if (false)
        if (withCodes)\n            out.text("#include <stdint.h> => if (false)\n            out.text("#include <stdint.h>
    const qint64 total = perGlyph * qint64(set.entries.size()); => const qint64 total = perGlyph * qint64(chars.size());
== src/cli/preview_command.cpp : test_cli_picture test_tool_identity
        o.cell = parseSize("size", size, 65536, 65536); => o.cell = parseSize("size", size, 65536, qint64(1) << 40);
        for (const char* pictureOnly : {"byte-order", "pixel", "height", "panel", "planes"}) { => for (const char* pictureOnly : {"byte-order", "pixel", "panel", "planes"}) {
    } else if (size.isEmpty() == width.isEmpty()) { => } else if (size.isEmpty() && width.isEmpty()) {
        o.scale = parseCount("scale", scale, 1, 64); => o.scale = parseCount("scale", scale, 0, 64);
== src/cli/font_options.cpp : test_cli_font test_tool_identity
            owned.emplace_back(faces.empty() ? 0 : faces.size() - 1, given); => owned.emplace_back(0, given);
            if (f.file.isEmpty())\n                usageError(QStringLiteral("--face-index picks => if (false)\n                usageError(QStringLiteral("--face-index picks
            if (++indexes[at] > 1) => if (++indexes[at] > 2)
            if (++autohints[at] > 1) => if (++autohints[at] > 2)
    if (!fallback.isEmpty() && (!isCIdentifier(fallback) || isCKeyword(fallback))) => if (!fallback.isEmpty() && !isCIdentifier(fallback))
    if ((kind || encoding) && !anySources) => if (kind && !anySources)
== src/cli/glyph_command.cpp : test_cli_glyph test_tool_identity
    if (decoder.hasError()) => if (false)
    if (o.out.form == core::DataForm::C && chars.empty()) => if (false)
    const std::vector<char32_t> chars = glyph::characters(glyph::removeCrLf(textOf(o))); => const std::vector<char32_t> chars = glyph::characters(textOf(o));
    if (sources > 1) => if (sources > 2)
    if (!o.out.quiet)\n        note(glyph::dataSizeCaption(total)); => if (false)\n        note(glyph::dataSizeCaption(total));
== src/picture/read/pngdecoder.cpp : test_png_reader test_picture_load test_tool_identity test_window_identity
        m_table = {argb(255, 255, 255), argb(0, 0, 0)}; => m_table = {argb(0, 0, 0), argb(255, 255, 255)};
        if (key && keyColour && keyColour->gray == 0)\n            m_table[1] = argb(0, 0, 0, 0); => if (key && keyColour && keyColour->gray == 0)\n            m_table[0] = argb(0, 0, 0, 0);
            const int c = i * 255 / (levels - 1); => const int c = i * 256 / levels;
                                           alphas && i < alphaCount ? alphas[i] : 255); => alphas && i < alphaCount ? alphas[i] : 0);
                if (*i >= entries) => if (*i > entries)
            m_table = {argb(0, 0, 0), argb(255, 255, 255)}; => m_table = {argb(255, 255, 255), argb(0, 0, 0)};
            png_set_tRNS_to_alpha(png); => (void)png;
== src/picture/read/picturelayout.cpp : test_picture_load test_png_reader test_tool_identity test_window_identity
            reinterpret_cast<const uchar*>(bits.constData()) + (mask.height - 1 - y) * stride; => reinterpret_cast<const uchar*>(bits.constData()) + y * stride;
            if (row[x >> 3] & (0x80 >> (x & 7))) => if (row[x >> 3] & (1 << (x & 7)))
                line[x] = qRgba(0, 0, 0, 0); => line[x] |= 0;
    if ((bits == 1 || bits == 4 || bits == 8 || bits == 24) && width <= 0x7fff => if ((bits == 1 || bits == 4 || bits == 8) && width <= 0x7fff
    const qint64 colours = bits <= 8 ? (le32(h + 32) ? le32(h + 32) : qint64(1) << bits) : 0; => const qint64 colours = bits <= 8 ? (le32(h + 32) ? le32(h + 32) : qint64(1) << bits) : 1;
    const qint64 stride = rowBytes(mask.width, 1); => const qint64 stride = (mask.width + 7) / 8;
== src/metafile/gdishapes.h : zentraq-metafile test_metafile test_cli_metafile test_tool_identity test_window_identity
    return QRect(QPoint(l, t), QPoint(r - 1, bt - 1)); => return QRect(QPoint(l, t), QPoint(r, bt));
    return QRectF(r.x(), r.y(), r.width() - 1, r.height() - 1); => return QRectF(r.x(), r.y(), r.width(), r.height());
    const QRectF inner = shapeRect(box.adjusted(0, 0, -1, -1)); => const QRectF inner = shapeRect(box);
    if (p.pen().style() != Qt::NoPen || brush.style() != Qt::SolidPattern) { => if (brush.style() != Qt::SolidPattern) {
        if (!figure.isClosed())\n            figure << figure.first(); => if (false)\n            figure << figure.first();
== src/metafile/metafileformat.cpp : zentraq-metafile test_metafile test_cli_metafile test_tool_identity test_window_identity
    const double r = std::nearbyint(double(size)); => const double r = std::round(double(size));
                layout.height = float(std::abs(layout.window.height)); => layout.height = float(layout.window.height);
        layout.width = float(std::abs(right - left) * PictureDpi / inch); => layout.width = float((right - left) * PictureDpi / inch);
== src/font/pairtables.cpp : test_font_kerning test_tool_identity
                if (k.u16(at) == 0) => if (k.u16(at) != 0)
            if (length < 14)\n                break;\n            at += length;\n        }\n    } else => if (length < 14)\n                break;\n            at += length + 2;\n        }\n    } else
            const std::size_t p = at + 8 + 6 * std::size_t(i); => const std::size_t p = at + 8 + 6 * std::size_t(i + 1);
            if (p + 6 > k.size()) => if (p + 6 >= k.size())
== src/font/kerning.cpp : test_font_kerning test_tool_identity
            m_kern.back().second += e.value; => m_kern.back().second = e.value;
== src/picture/encode/transform.cpp : test_transform test_picture_file test_cli_picture test_tool_identity test_window_identity
                r += w * ((qRed(p) * alpha + 127) / 255); => r += w * qRed(p);
                a += w * alpha; => a += w * 255;
    const QRgb canvas = m_alpha ? 0 : m_canvasColour; => const QRgb canvas = m_canvasColour;
                m_palette[std::size_t(i)] = keepAlpha ? table[i] : table[i] | 0xFF000000; => m_palette[std::size_t(i)] = table[i] | 0xFF000000;
                return int(std::min<std::int64_t>(255, (2 * v * 255 + s[3]) / (2 * s[3]))); => return int(std::min<std::int64_t>(255, v * 255 / s[3]));
                placed[i] = 0; => placed[i] = 0x00FFFFFF;
    const bool direct = keepAlpha ? f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 => const bool direct = keepAlpha ? f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 || f == QImage::Format_ARGB32_Premultiplied
== src/picture/read/picturebounds.cpp : test_png_reader test_picture_load test_tool_identity test_window_identity
    if (qFromLittleEndian<quint16>(e) != 0 || (type != 1 && type != 2) || => if (qFromLittleEndian<quint16>(e) != 0 || type != 1 ||
    return pngChunks(f, offset, std::min(offset + length, f.size())); => return pngChunks(f, offset, f.size());
    return overclaim("WebP", chunkName(chunk), length, end - at - 8); => return overclaim("WebP", chunkName(chunk), length, end - at);
    progressive = (marker & 3) == 2; // C2, C6, CA, CE => progressive = false;
    roundUp(down, std::max<int>(sampling[c][1], 1)) * 64 * 2; => roundUp(down, std::max<int>(sampling[c][1], 1)) * 64;
                             length, left); => length, left - 2);
== src/metafile/metafileformat.cpp : zentraq-metafile test_metafile test_cli_metafile test_tool_identity test_window_identity
        return problem(K::HeaderCutShort, data.size(), start + WmfHeaderBytes); => return problem(K::HeaderCutShort, data.size(), start + WmfHeaderBytes + 2);
            if (!tracker.hasExtent()) => if (false)
    if (right <= left || bottom <= top) => if (right < left || bottom <= top)
    if (deviceX <= 0 || deviceY <= 0 || millimetresX <= 0 || millimetresY <= 0) => if (deviceX <= 0 || deviceY <= 0 || millimetresY <= 0)
        if ((type == EmrHeader) != (at == 0)) => if (type != EmrHeader && at == 0)
        if (size < 8 || size % 4 != 0 || at + size > bytes) => if (size < 8 || at + size > bytes)
    if (count != records) => if (count < records)
== src/core/formatter.cpp : test_pipeline test_qumo test_cli_picture test_tool_identity test_window_identity
    if (m_form == DataForm::Binary || !m_lines.lineEachFrame) => if (m_form == DataForm::Binary)
        text(" /* "); => text(" /*");
    if (m_form == DataForm::C)\n        m_items.close(); => if (false)\n        m_items.close();
    {"const", attribute, "unsigned char", name, size} => {"const", {}, "unsigned char", name, size}
    m_items.samples(s, count, sampleBytes, order); => m_items.samples(s, count, sampleBytes, ByteOrder::LowFirst);
    m_count += size; => m_count += size - 1;
== src/core/carray.cpp : test_emit test_csource test_pipeline test_tool_identity test_window_identity
        m_out.append(m_onLine == 0 ? s.indent : s.gap); => m_out.append(s.gap);
        if (s.perLine > 0 && m_onLine == s.perLine) { => if (s.perLine > 0 && m_onLine > s.perLine) {
            m_out.append(",");\n            m_out.append(s.lineEnd);\n            m_out.append(s.indent); => m_out.append(",");\n            m_out.append(s.lineEnd);
                           : m_style.form == ItemForm::Hex16 ? 4 => : m_style.form == ItemForm::Hex16 ? 3
    if (s.commaAfterLast && s.perLine > 0 && m_onLine == s.perLine) => if (s.commaAfterLast && s.perLine > 0 && m_onLine == s.perLine + 1)
        itemText(std::string_view(text, std::size_t(end - text))); => itemText(std::string_view(text + (value < 0), std::size_t(end - text - (value < 0))));
== src/app/picture_handlers.cpp : test_picture_window test_window_identity
            const QImage loaded = rgbqumo::LoadPicture(name); => ui->Label5->setText(QString());\n            const QImage loaded = rgbqumo::LoadPicture(name);
            const QImage loaded = rgbqumo::LoadPicture(name); => picture.setPicture(QImage(2, 2, QImage::Format_RGB32), QSizeF(2, 2));\n            const QImage loaded = rgbqumo::LoadPicture(name);
        m_services.boxes.show(QStringLiteral("出现错误") + problemText(e));\n    }\n}\n\n// "生成取模数据" => m_services.boxes.show(QStringLiteral("出现错误 ") + problemText(e));\n    }\n}\n\n// "生成取模数据"
== src/font/charset.cpp : test_font_source test_tool_identity
        if (digits.isEmpty() || digits.startsWith(u'+') || digits.startsWith(u'-')) => if (digits.isEmpty())
    if (value > 0xFFFFFFFFull)\n        value = 0xFFFFFFFFull; => if (false)\n        value = 0xFFFFFFFFull;
        const std::optional<char32_t> to = arrow < 0 ? first : parseCode(piece.mid(arrow + 2)); => const std::optional<char32_t> to = arrow < 0 ? first : parseCode(piece.mid(arrow + 1));
        if (*first > *last) => if (*first >= *last)
        const char32_t end = *to + (*last - *first); // (at most 2 * 0x10FFFF) => const char32_t end = *to;
        if (*to != *first && *to <= 0xDFFF && end >= 0xD800) => if (false)
        range.first = 0xE000; => range.first = 0xE001;
== src/font/lvglcompress.cpp : test_lvgl_flash test_tool_identity
constexpr int BitRepeats = 10; => constexpr int BitRepeats = 9;
constexpr int CounterBits = 6; => constexpr int CounterBits = 5;
        while (end < n && v[end] == p && end - at < std::size_t(MaxRun)) => while (end < n && v[end] == p && end - at <= std::size_t(MaxRun))
            v[i] ^= samples[i - std::size_t(width)]; => v[i] ^= samples[i - std::size_t(width) + 1];
                out.put(i < same - 1 ? 1 : 0); => out.put(i < same - 2 ? 1 : 0);
        if (same <= SkipCount) => if (same < SkipCount)
        out.write(std::uint32_t(same), CounterBits); => out.write(std::uint32_t(same - 1), CounterBits);
== src/font/fontwriter.cpp : test_font_formats test_tool_identity
                all.leftClass[positions[j]] = k.leftClass[j] + all.leftClasses; => all.leftClass[positions[j]] = k.leftClass[j];
                all.rightClass[positions[j]] = k.rightClass[j] + all.rightClasses; => all.rightClass[positions[j]] = k.rightClass[j];
        if (positions.empty() && source.faces.size() > 1) => if (false)
            all.cells.push_back({c.left + all.leftClasses, c.right + all.rightClasses, c.value}); => all.cells.push_back({c.left + all.leftClasses, c.right, c.value});
                                                             : QFileInfo(path).completeBaseName(); => : QFileInfo(path).baseName();
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80)) => if (!c.isLetterOrNumber())
    if (n.isEmpty() || n[0].isDigit()) => if (n.isEmpty())
    return (core::isCKeyword(n) ? n + u'_' : n).toUtf8(); => return n.toUtf8();
== src/font/gfxfont.cpp : test_font_writers test_tool_identity
    if (span.last > 0xFFFF) => if (span.last > 0x10FFFF)
    if (length > 8 * set.glyphs.size()) => if (false)
    return {255, TooLarge + TakenElsewhere}; => return {65535, TooLarge + TakenElsewhere};
== src/font/glyphsource.cpp : test_font_bitmap test_tool_identity
                    ((row[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0) >> shift)); => ((row[x >> 3] >> (7 - (x & 7))) & 1 ? 254 : 0) >> shift));
            g.linearAdvance = g.advance * 1024; => g.linearAdvance = g.advance * 1000;
== src/font/fontface.cpp : test_tool_identity
    if (index < 0 || index >= m_faceCount) { => if (index < 0 || index > m_faceCount) {
        requestError(m_faceCount == 1 => requestError(m_faceCount == 0
== src/font/kerning.cpp : test_font_kerning test_tool_identity
    return it != m_kern.end() && it->first == key ? it->second : 0; => return it != m_kern.end() ? it->second : 0;
== src/font/groupfont.cpp : test_tool_identity
        if (f == 0 || !glyphs.empty()) => if (!glyphs.empty())
        if (f == 0 || !glyphs.empty()) => if (true)
            if (groups[g].face == f) => if (groups[g].face != f)
        if (!codes.empty())\n            if (const QString left => if (codes.empty())\n            if (const QString left
        if (!codes.empty() || groups.size() == 1) => if (true)
== src/font/u8g2font.cpp : test_tool_identity
        if (p.box.w > 255 || p.box.h > 255) => if (p.box.h > 255)
== src/glyph/charsets.cpp : test_charsets test_cli_glyph test_tool_identity
    result = twoByteSet("GB2312", 0xA1, 0xF7, 0xA1, 0xFE, -1); => result = twoByteSet("GB2312", 0xA1, 0xF6, 0xA1, 0xFE, -1);
    result = twoByteSet("GBK", 0x81, 0xFE, 0x40, 0xFE, 0x7F); => result = twoByteSet("GBK", 0x81, 0xFE, 0x40, 0xFE, -1);
    constexpr Correction Corrections[] = {{"GB2312", 0xA3A7, 0xFF07}}; => constexpr Correction Corrections[] = {{"GB2312", 0xA3A8, 0xFF07}};
    category == QChar::Other_PrivateUse || => category == QChar::Other_Surrogate ||
    slot.code = lead * 256 + trail; => slot.code = lead * 256 + trail + 1;
EOF
}

# Replaces the one occurrence of OLD in FILE by NEW; fails when OLD is not
# there exactly once.
apply() {
    python3 - "$@" <<'PY'
import sys
path, old, new = sys.argv[1], sys.argv[2].replace("\\n", "\n"), sys.argv[3].replace("\\n", "\n")
text = open(path, encoding="utf-8").read()
if text.count(old) != 1:
    sys.exit(f"found {text.count(old)} times")
open(path, "w", encoding="utf-8").write(text.replace(old, new))
PY
}

saved=$(mktemp -d)
current=
restore() {
    if [ -n "$current" ]; then
        cp "$saved/original" "$current"
        current=
    fi
}
trap 'restore; rm -rf "$saved"' EXIT
trap 'exit 130' INT TERM HUP

if [ ! -f "$build/build.ninja" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZENTRAQ_WERROR=OFF \
        -DZENTRAQ_BUILD_BENCH=OFF -DZENTRAQ_WEBENGINE=OFF \
        -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache >/dev/null
fi
: >"$log"

# Builds the suites and runs them, the first failure ending the run: 0 when
# every test passed, 1 when one failed, 2 when the build failed.
run_suites() {
    cmake --build "$build" -j2 --target "$@" >>"$log" 2>&1 || return 2
    local pattern
    pattern="^($(IFS='|'; echo "$*"))\$"
    # A suite that fails is run again: a mutant is killed by a failure that
    # repeats, not by a test that fails now and then.
    ctest --test-dir "$build" -R "$pattern" --stop-on-failure --repeat until-pass:3 \
        >>"$log" 2>&1 || return 1
}

file='' suites=() baseline='' total=0 killed=0 survived=() unbuilt=0
while IFS= read -r line; do
    if [[ $line == "== "* ]]; then
        file=${line#== }
        file=${file%% :*}
        read -r -a suites <<<"${line#*: }"
        baseline=
        continue
    fi
    old=$(sed -E 's/^ *//; s/ => .*//' <<<"$line")
    new=$(sed -E 's/^.* => //' <<<"$line")
    [ -n "$only" ] && ! grep -qE -- "$only" <<<"$file: $old => $new" && continue
    if [ -z "$baseline" ]; then
        baseline=yes
        echo "== $file: unmutated" >>"$log"
        if ! run_suites "${suites[@]}"; then
            echo "mutate: the suites of $file fail without a mutant (see $log)" >&2
            exit 1
        fi
    fi
    cp "$file" "$saved/original"
    current=$file
    if ! apply "$file" "$old" "$new" 2>"$saved/why"; then
        echo "mutate: cannot apply to $file ($(cat "$saved/why")): $old" >&2
        restore
        continue
    fi
    echo "== $file: $old => $new" >>"$log"
    set +e
    run_suites "${suites[@]}"
    result=$?
    set -e
    restore
    case $result in
    0) total=$((total + 1)); survived+=("$file: $old => $new"); echo "SURVIVED $file: $old => $new" ;;
    1) total=$((total + 1)); killed=$((killed + 1)); echo "killed   $file: $old" ;;
    *) unbuilt=$((unbuilt + 1)); echo "unbuilt  $file: $old" ;;
    esac
done < <(mutants)

echo "mutate: $killed of $total mutants killed, ${#survived[@]} survived, $unbuilt did not build"
for s in "${survived[@]}"; do
    echo "  survived: $s"
done
