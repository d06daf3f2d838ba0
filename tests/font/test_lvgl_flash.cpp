// The flash font image read back by the runtime's own reader (the C code
// shipped for firmware, without LVGL): every glyph found, measured, kerned
// and decoded as the C font encodes it, within the read counts the layout
// promises; the spans for sets of every shape; damaged images refused or
// their glyphs left out, without a read past the image or a write past a
// buffer (this suite runs under AddressSanitizer too; noise is the
// fuzzer's).
#include "fonterror.h"
#include "glyphsource.h"
#include "kerning.h"
#include "lvglflash.h"
#include "lvglfont.h"
#include "support/faces.h"
#include "zt_flash_image.h"

#include <QTest>

#include <cstring>
#include <memory>

using namespace zentraq::font;
using zentraq::testing::codesIn;

namespace {

// An image in memory behind a counting read callback. A read past the
// size the image claims is a fault of the reader.
struct Source {
    QByteArray bytes;
    quint64 claimed = 0;
    int reads = 0;
    qint64 readBytes = 0;
    int outside = 0;

    // The size the image claims; the header is read before it is known.
    explicit Source(QByteArray b) : bytes(std::move(b)) {
        if (bytes.size() >= 12)
            claimed = quint32(uchar(bytes[8])) | quint32(uchar(bytes[9])) << 8 |
                      quint32(uchar(bytes[10])) << 16 | quint32(uchar(bytes[11])) << 24;
        claimed = std::max<quint64>(claimed, ZT_FLASH_HEADER_BYTES);
    }
    static bool read(void* user, std::uint32_t offset, void* buf, std::uint32_t len) {
        Source& s = *static_cast<Source*>(user);
        ++s.reads;
        s.readBytes += len;
        if (quint64(offset) + len > s.claimed) {
            ++s.outside;
            return false;
        }
        if (quint64(offset) + len > quint64(s.bytes.size()))
            return false;
        std::memcpy(buf, s.bytes.constData() + offset, len);
        return true;
    }
};

struct Reader {
    Source src;
    zt_flash_image img{};
    std::vector<zt_flash_span> index;
    std::vector<std::uint8_t> scratch;
    int status = 0;

    explicit Reader(const QByteArray& bytes) : src(bytes) {
        status = zt_flash_image_open(&img, Source::read, &src, 0);
        if (status != ZT_FLASH_OK)
            return;
        index.resize(img.span_count);
        status = zt_flash_image_load_index(&img, index.data());
        scratch.resize(zt_flash_image_scratch_bytes(&img));
    }
    // The decoded samples of `g`, from buffers of exactly the sizes the
    // header gives; false when the reader refuses.
    bool samples(const zt_flash_glyph& g, std::vector<std::uint8_t>& out) {
        std::vector<std::uint8_t> decoded(img.max_decoded), stored(img.max_stored);
        if (!zt_flash_image_bitmap(&img, &g, decoded.data(), img.max_decoded, stored.data(),
                                   img.max_stored))
            return false;
        out.clear();
        for (std::size_t p = 0; p < std::size_t(g.box_w) * g.box_h; ++p) {
            const std::size_t bit = p * img.bpp;
            out.push_back(
                std::uint8_t(decoded[bit / 8] >> (8 - img.bpp - bit % 8) & ((1u << img.bpp) - 1)));
        }
        return true;
    }
};

struct Made {
    GlyphSet set;
    std::unique_ptr<LvglFont> font;
    QByteArray image;
    QString description;
};

Made makeImage(GlyphSet set, const Kerning& kerning, bool prefilter = true) {
    Made m;
    m.set = std::move(set);
    LvglOptions o;
    o.prefilter = prefilter;
    o.name = "f";
    m.font = std::make_unique<LvglFont>(m.set, kerning, o);
    const LvglFlashImage image(m.set, *m.font);
    m.image = image.bytes();
    m.description = image.describe();
    return m;
}

// Glyphs without a face: one per code, small boxes of varying size and ink.
GlyphSet syntheticSet(const std::vector<char32_t>& codes, int bits = 2) {
    GlyphSet set;
    set.settings.bits = bits;
    set.settings.pixelSize = 8;
    set.metrics.unitsPerEm = 1000;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        Glyph g;
        g.code = codes[i];
        g.linearAdvance = std::int32_t((4 + i % 3) << 16);
        g.left = int(i % 2);
        g.top = 3;
        g.width = 1 + int(i % 3);
        g.height = 2;
        g.offset = set.samples.size();
        for (int p = 0; p < g.width * g.height; ++p)
            set.samples.push_back(
                std::uint8_t((i + std::size_t(p)) % std::size_t(set.maxLevel() + 1)));
        set.glyphs.push_back(g);
    }
    return set;
}

quint32 u32(const QByteArray& b, qsizetype at) {
    return quint32(uchar(b[at])) | quint32(uchar(b[at + 1])) << 8 |
           quint32(uchar(b[at + 2])) << 16 | quint32(uchar(b[at + 3])) << 24;
}
void setU32(QByteArray& b, qsizetype at, quint32 v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = char(v >> (8 * i));
}
void setU16(QByteArray& b, qsizetype at, unsigned v) {
    b[at] = char(v);
    b[at + 1] = char(v >> 8);
}

} // namespace

class TestLvglFlash : public QObject {
    Q_OBJECT

private slots:
    // Every glyph of real fonts found in at most 2 reads, its bitmap in 1,
    // with the C font's advance, box, offsets, samples and kerning; codes
    // around and between them not found.
    void roundTrip_data() {
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("bits");
        QTest::addColumn<bool>("prefilter");
        QTest::addColumn<QString>("chars"); // Latin-1, or as named
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("spans"); // describe()'s first words
        QTest::newRow("1 bit, plain")
            << "DejaVu Sans" << 12 << 1 << true << "" << 0 << "2 spans (0 ranked)";
        QTest::newRow("2 bits, run-length coded")
            << "DejaVu Sans" << 24 << 2 << false << "" << 2 << "2 spans (0 ranked)";
        QTest::newRow("4 bits, filtered, kerned in classes")
            << "DejaVu Serif" << 16 << 4 << true << "" << 1 << "2 spans (0 ranked)";
        QTest::newRow("kerned in pairs")
            << "DejaVu Serif" << 16 << 4 << true << "ATV" << 1 << "1 spans (1 ranked)";
        QTest::newRow("ideographs and Latin")
            << "AR PL UMing CN" << 16 << 4 << true << "CJK" << 1 << "2 spans (1 ranked)";
    }
    void roundTrip() {
        QFETCH(QString, family);
        QFETCH(int, size);
        QFETCH(int, bits);
        QFETCH(bool, prefilter);
        QFETCH(QString, chars);
        QFETCH(int, format);
        QFETCH(QString, spans);
        const std::unique_ptr<FontFace> face = zentraq::testing::openFace(family);
        if (!face)
            QSKIP("the face is not installed");
        RenderSettings s;
        s.pixelSize = size;
        s.bits = bits;
        std::vector<char32_t> codes = codesIn({{0x20, 0x7E}, {0xA0, 0xFF}});
        if (chars == "CJK") { // every 7th code of the first 2100 ideographs, after ASCII
            codes = codesIn({{0x20, 0x7E}});
            for (char32_t c = 0x4E00; c < 0x4E00 + 2100; c += 7)
                codes.push_back(c);
        } else if (!chars.isEmpty()) { // a few, after the digits
            codes = codesIn({{0x30, 0x39}});
            for (const QChar c : chars)
                codes.push_back(c.unicode());
        }
        const GlyphSet rendered = renderGlyphs(*face, s, codes);
        const Made m =
            makeImage(rendered, kerningOf(*face, rendered, KerningRule::Script), prefilter);
        const LvglFont& font = *m.font;
        QCOMPARE(font.bitmapFormat(), format);
        if (font.kernPairCount() > 0)
            QCOMPARE(font.kernClasses(), chars != "ATV");
        QVERIFY2(m.description.startsWith(spans), qPrintable(m.description));
        Reader r(m.image);
        QCOMPARE(r.status, int(ZT_FLASH_OK));
        QCOMPARE(int(r.img.line_height), font.lineHeight());
        QCOMPARE(int(r.img.base_line), font.baseLine());
        QCOMPARE(int(r.img.bpp), bits);

        const std::vector<Glyph>& glyphs = m.set.glyphs;
        std::vector<zt_flash_glyph> found(glyphs.size());
        for (std::size_t i = 0; i < glyphs.size(); ++i) {
            const Glyph& g = glyphs[i];
            r.src.reads = 0;
            zt_flash_glyph& f = found[i];
            QCOMPARE(zt_flash_image_find(&r.img, g.code, 0, &f, nullptr, r.scratch.data()),
                     std::uint32_t(i + 1));
            QVERIFY(r.src.reads <= 2);
            QCOMPARE(std::uint32_t(f.adv_w), font.advance16(i));
            QCOMPARE(int(f.box_w), g.width);
            QCOMPARE(int(f.box_h), g.height);
            QCOMPARE(int(f.ofs_x), g.left);
            QCOMPARE(int(f.ofs_y), g.top - g.height);
            r.src.reads = 0;
            r.src.readBytes = 0;
            std::vector<std::uint8_t> samples;
            QVERIFY(r.samples(f, samples));
            QVERIFY(r.src.reads <= 1);
            QCOMPARE(std::size_t(r.src.readBytes),
                     g.width > 0 && g.height > 0 ? font.bitmap(i).size() : 0);
            const std::uint8_t* want = m.set.samplesOf(g);
            QVERIFY2(std::equal(samples.begin(), samples.end(), want),
                     qPrintable(codeName(g.code)));
        }
        // Kerning: the pen moves as the C font moves it, for every pair of
        // the first 95 glyphs, the value coming with the right glyph's entry
        // read.
        int kerned = 0;
        const std::size_t pairs = std::min<std::size_t>(glyphs.size(), 95);
        for (std::size_t i = 0; i < pairs; ++i)
            for (std::size_t j = 0; j < pairs; ++j) {
                zt_flash_glyph right;
                std::int8_t kern = 0;
                r.src.reads = 0;
                zt_flash_image_find(&r.img, glyphs[j].code, found[i].left_class, &right, &kern,
                                    r.scratch.data());
                QVERIFY(r.src.reads <= 2);
                QCOMPARE(int(zt_flash_image_advance(&r.img, found[i].adv_w, kern)),
                         font.penAdvance(i, long(j)));
                kerned += kern != 0;
            }
        QCOMPARE(kerned > 0, font.kernPairCount() > 0);
        // Codes the set lacks, near and between its own.
        for (char32_t c = 0; c < glyphs.back().code + 70; ++c) {
            if (!m.set.find(c)) {
                zt_flash_glyph none;
                QVERIFY2(!zt_flash_image_find(&r.img, c, 0, &none, nullptr, r.scratch.data()),
                         qPrintable(codeName(c)));
            }
        }
        QCOMPARE(r.src.outside, 0);
    }

    // Sets of every shape: at most 32 spans, every code found, none other;
    // long runs stay full spans (found without a read), scattered codes
    // share a ranked one.
    void spans_data() {
        QTest::addColumn<std::vector<char32_t>>("codes");
        QTest::addColumn<int>("spans");
        QTest::addColumn<int>("ranked");
        QTest::newRow("one run") << codesIn({{0x20, 0x7E}}) << 1 << 0;
        QTest::newRow("two runs far apart") << codesIn({{0x20, 0x7E}, {0x4E00, 0x4EFF}}) << 2 << 0;
        QTest::newRow("two long runs close by") << codesIn({{0x20, 0x7E}, {0xA0, 0xFF}}) << 2 << 0;
        QTest::newRow("short runs close by")
            << codesIn({{0x20, 0x24}, {0x30, 0x34}, {0x40, 0x44}}) << 1 << 1;
        std::vector<char32_t> gaps; // runs of 3, 200 codes apart: each gap costs 40 bytes
        for (char32_t c = 0x4E00; c < 0x4E00 + 200 * 40; c += 200)
            gaps.insert(gaps.end(), {c, c + 1, c + 2});
        QTest::newRow("runs 200 codes apart") << gaps << 1 << 1;
        std::vector<char32_t> sparse;
        for (char32_t c = 0x4E00; c < 0x5E00; c += 3)
            sparse.push_back(c);
        QTest::newRow("every third code") << sparse << 1 << 1;
        std::vector<char32_t> far;
        for (char32_t c = 0x100; c < 0x100 + 200 * 0x1000; c += 0x1000)
            far.push_back(c);
        // Every merge costs alike: the first span takes in its neighbours.
        QTest::newRow("200 codes 4096 apart") << far << 32 << 1;
        QTest::newRow("the ends of Unicode")
            << std::vector<char32_t>{0, 1, 0x10FFFE, 0x10FFFF} << 2 << 0;
        std::vector<char32_t> most(65534);
        for (std::size_t i = 0; i < most.size(); ++i)
            most[i] = char32_t(0x10000 + i);
        QTest::newRow("65534 glyphs") << most << 1 << 0;
    }
    void spans() {
        QFETCH(std::vector<char32_t>, codes);
        QFETCH(int, spans);
        QFETCH(int, ranked);
        const Made m = makeImage(syntheticSet(codes), {});
        QVERIFY2(
            m.description.startsWith(QStringLiteral("%1 spans (%2 ranked)").arg(spans).arg(ranked)),
            qPrintable(m.description));
        Reader r(m.image);
        QCOMPARE(r.status, int(ZT_FLASH_OK));
        zt_flash_glyph g;
        for (std::size_t i = 0; i < codes.size(); i += codes.size() / 500 + 1) {
            QCOMPARE(zt_flash_image_find(&r.img, codes[i], 0, &g, nullptr, r.scratch.data()),
                     std::uint32_t(i + 1));
            if (i + 1 < codes.size() && codes[i + 1] > codes[i] + 1)
                QCOMPARE(
                    zt_flash_image_find(&r.img, codes[i] + 1, 0, &g, nullptr, r.scratch.data()),
                    0u);
        }
        QCOMPARE(zt_flash_image_find(&r.img, codes.back(), 0, &g, nullptr, r.scratch.data()),
                 std::uint32_t(codes.size()));
        QCOMPARE(r.src.outside, 0);
    }

    // Damaged images: refused with the reason where the header or the index
    // is wrong; where one glyph's entry is, that glyph is missing and the
    // others are found. Never a read past the image, never a write past the
    // buffers the header sizes.
    void hostile_data() {
        QTest::addColumn<qsizetype>("at");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<quint32>("value");
        QTest::addColumn<int>("status"); // of opening; ZT_FLASH_OK: glyph 2 goes missing
        // Offsets into the image made below: 3 spans at 64 (full, ranked,
        // full), the ranked one's chunk table at 112, the glyph table at 122
        // (entries of 21 bytes: one kerning class).
        QTest::newRow("magic") << qsizetype(0) << 1 << quint32('X') << int(ZT_FLASH_E_MAGIC);
        QTest::newRow("version 2") << qsizetype(4) << 2 << 2u << int(ZT_FLASH_E_VERSION);
        QTest::newRow("header size") << qsizetype(6) << 2 << 65u << int(ZT_FLASH_E_DAMAGED);
        QTest::newRow("size past 4 GiB")
            << qsizetype(8) << 4 << 0xFFFFFFFFu << int(ZT_FLASH_E_READ);
        QTest::newRow("size too small") << qsizetype(8) << 4 << 63u << int(ZT_FLASH_E_DAMAGED);
        QTest::newRow("glyph count") << qsizetype(12) << 4 << 0x10000u << int(ZT_FLASH_E_DAMAGED);
        QTest::newRow("span table") << qsizetype(16) << 4 << 0xFFFFFFF0u << int(ZT_FLASH_E_DAMAGED);
        QTest::newRow("glyph table")
            << qsizetype(20) << 4 << 0xFFFFFF00u << int(ZT_FLASH_E_DAMAGED);
        QTest::newRow("33 spans") << qsizetype(24) << 2 << 33u << int(ZT_FLASH_E_DAMAGED);
        QTest::newRow("entry size") << qsizetype(26) << 2 << 20u << int(ZT_FLASH_E_DAMAGED);
        QTest::newRow("3 bits") << qsizetype(38) << 1 << 3u << int(ZT_FLASH_E_DAMAGED);
        QTest::newRow("format 3") << qsizetype(39) << 1 << 3u << int(ZT_FLASH_E_DAMAGED);
        QTest::newRow("box 4097 wide") << qsizetype(40) << 2 << 4097u << int(ZT_FLASH_E_DAMAGED);
        QTest::newRow("decoded larger than the box")
            << qsizetype(44) << 4 << 0x7FFFFFFFu << int(ZT_FLASH_E_DAMAGED);
        QTest::newRow("stored larger than the box")
            << qsizetype(48) << 4 << 0x7FFFFFFFu << int(ZT_FLASH_E_DAMAGED);
        QTest::newRow("span of 0 codes") << qsizetype(64 + 4) << 4 << 0u << int(ZT_FLASH_E_DAMAGED);
        QTest::newRow("span past its glyphs")
            << qsizetype(64 + 4) << 4 << 0x1000u << int(ZT_FLASH_E_DAMAGED);
        QTest::newRow("span of kind 2") << qsizetype(64 + 14) << 1 << 2u << int(ZT_FLASH_E_DAMAGED);
        QTest::newRow("spans out of order")
            << qsizetype(64 + 16) << 4 << 0x20u << int(ZT_FLASH_E_DAMAGED);
        QTest::newRow("chunk table past the end")
            << qsizetype(64 + 16 + 8) << 4 << 0xFFFFFFF8u << int(ZT_FLASH_E_DAMAGED);
        const qsizetype glyph2 = 122 + 21;
        QTest::newRow("bitmap past the end") << glyph2 << 4 << 0xFFFFFFF0u << int(ZT_FLASH_OK);
        QTest::newRow("stored past the end") << glyph2 + 4 << 4 << 0x10000u << int(ZT_FLASH_OK);
        QTest::newRow("box wider than the largest")
            << glyph2 + 10 << 2 << 0xFFFFu << int(ZT_FLASH_OK);
        QTest::newRow("box taller than the largest") << glyph2 + 12 << 2 << 9u << int(ZT_FLASH_OK);
        QTest::newRow("kerning class past the classes")
            << glyph2 + 18 << 2 << 2u << int(ZT_FLASH_OK);
    }
    void hostile() {
        QFETCH(qsizetype, at);
        QFETCH(int, bytes);
        QFETCH(quint32, value);
        QFETCH(int, status);
        // Glyphs at 0x20-0x5F (full), 0x100, 0x102 (ranked), 0x5000 (full);
        // 0x20 kerns before 0x21.
        std::vector<char32_t> codes = codesIn({{0x20, 0x5F}});
        codes.insert(codes.end(), {0x100, 0x102, 0x5000});
        GlyphSet set = syntheticSet(codes);
        Kerning kerning;
        kerning.leftClass.assign(codes.size(), 0);
        kerning.rightClass.assign(codes.size(), 0);
        kerning.leftClass[0] = kerning.rightClass[1] = 1;
        kerning.leftClasses = kerning.rightClasses = 1;
        kerning.cells = {{1, 1, -200}};
        Made m = makeImage(set, kerning);
        QVERIFY(!m.font->kernClasses()); // a single pair is kept as a pair
        QCOMPARE(u32(m.image, 16), 64u);
        QCOMPARE(m.image[24], char(3));
        QCOMPARE(u32(m.image, 20), 122u);
        QCOMPARE(int(uchar(m.image[26])), 21);
        QByteArray b = m.image;
        if (bytes == 4)
            setU32(b, at, value);
        else if (bytes == 2)
            setU16(b, at, value);
        else
            b[at] = char(value);
        Reader r(b);
        QCOMPARE(r.status, status);
        if (status == ZT_FLASH_OK) {
            zt_flash_glyph g;
            for (std::size_t i = 0; i < set.glyphs.size(); ++i) {
                const std::uint32_t id = zt_flash_image_find(&r.img, set.glyphs[i].code, 0, &g,
                                                             nullptr, r.scratch.data());
                QCOMPARE(id, i == 1 ? 0u : std::uint32_t(i + 1));
                std::vector<std::uint8_t> samples;
                if (id)
                    QVERIFY(r.samples(g, samples));
            }
            QVERIFY(!zt_flash_image_glyph(&r.img, 2, &g, r.scratch.data()));
        }
        QCOMPARE(r.src.outside, 0);

        // Cut short anywhere, the image is refused at once.
        for (qsizetype n = 0; n < m.image.size(); n += 3) {
            Reader cut(m.image.left(n));
            QVERIFY(cut.status != ZT_FLASH_OK);
            QCOMPARE(cut.src.outside, 0);
        }
    }

    // What the image cannot hold is refused as a request.
    void refusals() {
        GlyphSet wide = syntheticSet({0x41});
        wide.glyphs[0].width = ZT_FLASH_MAX_BOX + 1;
        wide.glyphs[0].height = 1;
        wide.samples.assign(ZT_FLASH_MAX_BOX + 1, 1);
        try {
            makeImage(wide, {});
            QFAIL("a glyph wider than the image allows was taken");
        } catch (const FontError& e) {
            QCOMPARE(e.kind(), FontError::Request);
            QVERIFY2(e.message().contains("U+0041"), qPrintable(e.message()));
        }
    }
};

QTEST_GUILESS_MAIN(TestLvglFlash)
#include "test_lvgl_flash.moc"
