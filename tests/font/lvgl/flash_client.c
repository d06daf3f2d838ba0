/* The flash font runtime in LVGL: a font image read through a file that
 * counts every read, against the C font of the same glyphs, in the LVGL
 * build this client is linked with (9.5 or 8.3).
 *
 *   CLIENT compare C_FONT IMAGE [--fallback C_FONT IMAGE] [--min-kerned N]
 *                  [--cache N] [--from-file] [--label TEXT]...
 *       every glyph decoded alike (advance, box, offsets, coverage), the
 *       advance of every pair of printable ASCII alike (at least N of them kerned),
 *       every label drawn pixel for pixel alike; with --fallback both fonts
 *       fall back to the second pair for what they lack; with --from-file the
 *       image is read through LVGL's file system (zt_flash_font_create_from_file).
 *   CLIENT reads IMAGE TEXT [--cache N] [--max-cold N]
 *       the reads while TEXT is drawn as a label, and while each of its
 *       characters is found and drawn alone in a fresh font (each at most N).
 *   CLIENT hostile IMAGE TEXT
 *       damaged copies of IMAGE (cut short, a wrong header, damaged glyph
 *       entries, noise) through the LVGL font: never a read past the size
 *       the image claims, NULL where the header is wrong, TEXT drawn from
 *       the rest, under the sanitizers the client is built with.
 *   CLIENT ram BINARY_FONT IMAGE [--cache N]
 *       LVGL's heap taken by lv_binfont_create (v8 lv_font_load) and by the
 *       flash font, by LVGL's memory monitor.
 *
 * A C_FONT is a name compiled into the client (zlh_client_fonts). Exit
 * status 0 success, 1 a difference or failure, 2 bad usage. */
#include "zlh.h"
#include "zt_flash_font.h"

#include <stdlib.h>
#include <string.h>

#define MARGIN 8

static int usage(void) {
    fputs("usage: CLIENT compare|reads|hostile|ram ... (tests/font/lvgl/flash_client.c)\n", stderr);
    return 2;
}

/* ---- images read through a counting callback ---- */

typedef struct {
    const uint8_t* data; /* the bytes served; reads past them fail */
    uint32_t length;
    FILE* file;            /* or a file */
    uint32_t claimed;      /* reads past this size are faults of the runtime */
    unsigned long calls;   /* reads asked for */
    unsigned long bytes;   /* bytes asked for */
    unsigned long outside; /* reads past `claimed` */
} source;

static bool source_read(void* user, uint32_t offset, void* buf, uint32_t len) {
    source* s = user;
    s->calls++;
    s->bytes += len;
    if ((uint64_t)offset + len > s->claimed) {
        s->outside++;
        fprintf(stderr, "read of %u bytes at %u, past the image's %u bytes\n", (unsigned)len,
                (unsigned)offset, (unsigned)s->claimed);
        return false;
    }
    if (s->file)
        return fseek(s->file, (long)offset, SEEK_SET) == 0 && fread(buf, 1, len, s->file) == len;
    if ((uint64_t)offset + len > s->length)
        return false;
    memcpy(buf, s->data + offset, len);
    return true;
}

static int source_open(source* s, const char* path) {
    memset(s, 0, sizeof *s);
    s->file = fopen(path, "rb");
    if (!s->file || fseek(s->file, 0, SEEK_END) != 0) {
        perror(path);
        return -1;
    }
    s->claimed = s->length = (uint32_t)ftell(s->file);
    return 0;
}

static uint8_t* read_all(const char* path, uint32_t* length) {
    source s;
    if (source_open(&s, path) != 0)
        return NULL;
    uint8_t* data = malloc(s.length ? s.length : 1);
    if (data && (fseek(s.file, 0, SEEK_SET) != 0 || fread(data, 1, s.length, s.file) != s.length)) {
        free(data);
        data = NULL;
    }
    fclose(s.file);
    *length = s.length;
    return data;
}

/* ---- arguments ---- */

typedef struct {
    const char *fallback_c, *fallback_image;
    const char* label[16];
    int n_label;
    long cache, min_kerned, max_cold;
    int from_file;
} options;

static int parse(int argc, char** argv, int first, options* o) {
    memset(o, 0, sizeof *o);
    o->max_cold = -1;
    for (int i = first; i < argc; i++) {
        const char* k = argv[i];
        if (!strcmp(k, "--from-file")) {
            o->from_file = 1;
            continue;
        }
        if (i + 1 >= argc)
            return -1;
        if (!strcmp(k, "--fallback") && i + 2 < argc) {
            o->fallback_c = argv[++i];
            o->fallback_image = argv[++i];
        } else if (!strcmp(k, "--label") && o->n_label < 16)
            o->label[o->n_label++] = argv[++i];
        else if (!strcmp(k, "--cache"))
            o->cache = atol(argv[++i]);
        else if (!strcmp(k, "--min-kerned"))
            o->min_kerned = atol(argv[++i]);
        else if (!strcmp(k, "--max-cold"))
            o->max_cold = atol(argv[++i]);
        else
            return -1;
    }
    return 0;
}

static const lv_font_t* c_font(const char* name) {
    for (const zlh_named_font* f = zlh_client_fonts; f->name; f++)
        if (!strcmp(f->name, name))
            return f->font;
    fprintf(stderr, "no font named %s in this client\n", name);
    return NULL;
}

/* The next code point of UTF-8 text, 0 at its end. */
static uint32_t next_code(const char** p) {
    const unsigned char* s = (const unsigned char*)*p;
    if (!*s)
        return 0;
    int n = *s < 0x80 ? 1 : *s < 0xE0 ? 2 : *s < 0xF0 ? 3 : 4;
    uint32_t c = n == 1 ? *s : n == 2 ? *s & 0x1Fu : n == 3 ? *s & 0x0Fu : *s & 0x07u;
    for (int i = 1; i < n && s[i]; i++)
        c = c << 6 | (s[i] & 0x3Fu);
    *p += n;
    return c;
}

/* ---- compare ---- */

static uint32_t* draw(const lv_font_t* font, const char* text, int32_t w, int32_t h) {
    if (zlh_open(w, h) != 0)
        return NULL;
    zlh_clear(0x000000);
    zlh_add_label(font, text, MARGIN, MARGIN, 0xFFFFFF);
    zlh_render();
    uint32_t* px = malloc((size_t)w * (size_t)h * sizeof *px);
    if (px)
        for (int32_t y = 0; y < h; y++)
            for (int32_t x = 0; x < w; x++)
                px[(size_t)y * (size_t)w + (size_t)x] = zlh_pixel(x, y);
    return px;
}

static int same_glyph(const zlh_glyph* a, const zlh_glyph* b) {
    size_t n = (size_t)a->box_w * (size_t)a->box_h;
    return a->adv == b->adv && a->box_w == b->box_w && a->box_h == b->box_h &&
           a->ofs_x == b->ofs_x && a->ofs_y == b->ofs_y && a->bpp == b->bpp &&
           (n == 0 || memcmp(a->coverage, b->coverage, n) == 0);
}

static int compare(const lv_font_t* a, const lv_font_t* b, const options* o) {
    long glyphs = 0, different = 0;
    for (uint32_t c = 1; c <= 0x10FFFF; c++) {
        if (c == '\t')
            continue;
        zlh_glyph ga, gb;
        int ha = zlh_glyph_get(a, c, &ga), hb = zlh_glyph_get(b, c, &gb);
        if (ha < 0 || hb < 0)
            return 1;
        if (ha || hb) {
            glyphs++;
            if (!ha || !hb || !same_glyph(&ga, &gb)) {
                if (different++ < 5) {
                    printf("U+%04X differs\nC:     ", (unsigned)c);
                    if (ha)
                        zlh_write_glyph_line(stdout, &ga);
                    else
                        puts("missing");
                    printf("flash: ");
                    if (hb)
                        zlh_write_glyph_line(stdout, &gb);
                    else
                        puts("missing");
                }
            }
        }
        zlh_glyph_free(&ga);
        zlh_glyph_free(&gb);
    }
    printf("glyphs: %ld compared, %ld different\n", glyphs, different);
    int failed = different != 0 || glyphs == 0;

    /* Kerning, as LVGL lays text out: the advance of each ASCII pair. */
    long pairs = 0, kerned = 0, kern_diff = 0;
    for (uint32_t l = 0x20; l <= 0x7E; l++)
        for (uint32_t r = 0x20; r <= 0x7E; r++) {
            lv_font_glyph_dsc_t da, db, alone;
            if (!lv_font_get_glyph_dsc(a, &da, l, r))
                continue;
            lv_font_get_glyph_dsc(b, &db, l, r);
            lv_font_get_glyph_dsc(a, &alone, l, 0);
            pairs++;
            kerned += da.adv_w != alone.adv_w;
            if (da.adv_w != db.adv_w && kern_diff++ < 5)
                printf("pair U+%04X U+%04X: advance %d against %d\n", (unsigned)l, (unsigned)r,
                       (int)da.adv_w, (int)db.adv_w);
        }
    printf("pairs: %ld compared, %ld kerned, %ld different\n", pairs, kerned, kern_diff);
    failed |= kern_diff != 0 || kerned < o->min_kerned;

    for (int i = 0; i < o->n_label; i++) {
        int32_t wa, ha, wb, hb;
        zlh_text_size(a, o->label[i], &wa, &ha);
        zlh_text_size(b, o->label[i], &wb, &hb);
        int32_t w = (wa > wb ? wa : wb) + 2 * MARGIN, h = (ha > hb ? ha : hb) + 2 * MARGIN;
        uint32_t* pa = draw(a, o->label[i], w, h);
        uint32_t* pb = draw(b, o->label[i], w, h);
        if (!pa || !pb)
            return 1;
        long bad = 0, ink = 0;
        for (size_t k = 0; k < (size_t)w * (size_t)h; k++) {
            bad += pa[k] != pb[k];
            ink += pa[k] != 0;
        }
        printf("label \"%s\": %dx%d, %ld pixels inked, %ld different\n", o->label[i], (int)w,
               (int)h, ink, bad);
        failed |= bad != 0 || ink == 0 || wa != wb || ha != hb;
        free(pa);
        free(pb);
    }
    return failed;
}

static int cmd_compare(const char* c_name, const char* image, const options* o) {
    const lv_font_t* c = c_font(c_name);
    source s, s2;
    if (!c || source_open(&s, image) != 0)
        return 1;
    lv_font_t* flash = NULL;
    if (o->from_file) {
        /* Through LVGL's file system; a missing file and a file that is no
         * font image give no font. */
        const char* src = zlh_file_src(image);
        flash = src ? zt_flash_font_create_from_file(src, (uint32_t)o->cache) : NULL;
        lv_font_t* none = zt_flash_font_create_from_file("A:/no/such/font.bin", 0);
        const char* self = zlh_file_src("/proc/self/exe");
        lv_font_t* other = self ? zt_flash_font_create_from_file(self, 0) : NULL;
        if (none || other || !self) {
            puts("a missing file or one that is no font image gave a font");
            return 1;
        }
    } else {
        flash = zt_flash_font_create(source_read, &s, 0, (uint32_t)o->cache);
    }
    if (!flash) {
        fprintf(stderr, "%s: the runtime does not open the image\n", image);
        return 1;
    }
    lv_font_t c_copy = *c, *flash2 = NULL;
    if (o->fallback_c) {
        const lv_font_t* c2 = c_font(o->fallback_c);
        if (!c2 || source_open(&s2, o->fallback_image) != 0)
            return 1;
        flash2 = zt_flash_font_create(source_read, &s2, 0, (uint32_t)o->cache);
        if (!flash2)
            return 1;
        c_copy.fallback = c2;
        flash->fallback = flash2;
    }
    int rc = compare(&c_copy, flash, o);
    printf("reads: %lu, %lu bytes\n", s.calls, s.bytes);
    if (s.outside || (flash2 && s2.outside)) {
        puts("the runtime read past the image");
        rc = 1;
    }
    zt_flash_font_destroy(flash);
    zt_flash_font_destroy(flash2);
    fclose(s.file);
    if (flash2)
        fclose(s2.file);
    return rc;
}

/* ---- reads ---- */

static int cmd_reads(const char* image, const char* text, const options* o) {
    source s;
    if (source_open(&s, image) != 0)
        return 1;
    /* The display is sized with a font of its own, so that the label's
     * font does all its looking up while it is laid out and drawn. */
    lv_font_t* measure = zt_flash_font_create(source_read, &s, 0, 0);
    int32_t w, h;
    if (!measure)
        return 1;
    zlh_text_size(measure, text, &w, &h);
    zt_flash_font_destroy(measure);
    if (zlh_open(w + 2 * MARGIN, h + 2 * MARGIN) != 0)
        return 1;
    zlh_clear(0x000000);
    s.calls = s.bytes = 0;
    lv_font_t* font = zt_flash_font_create(source_read, &s, 0, (uint32_t)o->cache);
    if (!font)
        return 1;
    printf("opening: %lu reads, %lu bytes\n", s.calls, s.bytes);
    long glyphs = 0;
    for (const char* p = text; next_code(&p);)
        glyphs++;
    s.calls = s.bytes = 0;
    zlh_add_label(font, text, MARGIN, MARGIN, 0xFFFFFF);
    zlh_render();
    printf("label of %ld characters laid out and drawn, cache of %ld glyphs: %lu reads, %lu "
           "bytes; %.2f reads and %.1f bytes a glyph\n",
           glyphs, o->cache, s.calls, s.bytes, (double)s.calls / (double)glyphs,
           (double)s.bytes / (double)glyphs);
    zlh_clear(0x000000);
    zt_flash_font_destroy(font);

    /* Each character found and drawn alone, in a fresh font. */
    int failed = 0;
    unsigned long most = 0, total = 0, bytes = 0, n = 0;
    for (const char* p = text;;) {
        uint32_t c = next_code(&p);
        if (!c)
            break;
        font = zt_flash_font_create(source_read, &s, 0, 0);
        if (!font)
            return 1;
        s.calls = s.bytes = 0;
        lv_font_glyph_dsc_t g;
        if (lv_font_get_glyph_dsc(font, &g, c, 0)) {
#if LVGL_VERSION_MAJOR >= 9
            lv_draw_buf_t* buf = lv_draw_buf_create(g.box_w ? g.box_w : 1, g.box_h ? g.box_h : 1,
                                                    LV_COLOR_FORMAT_A8, LV_STRIDE_AUTO);
            const void* bitmap = lv_font_get_glyph_bitmap(&g, buf);
            lv_draw_buf_destroy(buf);
#else
            const void* bitmap = lv_font_get_glyph_bitmap(font, c);
#endif
            if (!bitmap && g.box_w && g.box_h) {
                printf("U+%04X: no bitmap\n", (unsigned)c);
                failed = 1;
            }
        }
        most = s.calls > most ? s.calls : most;
        total += s.calls;
        bytes += s.bytes;
        n++;
        zt_flash_font_destroy(font);
    }
    printf("each character alone: at most %lu reads, %.2f reads and %.1f bytes on average\n", most,
           (double)total / (double)n, (double)bytes / (double)n);
    if (o->max_cold >= 0 && most > (unsigned long)o->max_cold) {
        printf("more than %ld reads for one glyph\n", o->max_cold);
        failed = 1;
    }
    if (s.outside)
        failed = 1;
    fclose(s.file);
    return failed;
}

/* ---- hostile images ---- */

static void put32(uint8_t* p, uint32_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}
static uint32_t get32(const uint8_t* p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}
static void put16(uint8_t* p, unsigned v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}

/* Opens the damaged image, draws TEXT and looks every character up; -1
 * when the runtime read past the size the image claims. Returns whether a
 * font came out. */
static int try_image(const uint8_t* data, uint32_t length, const char* text, long* outside) {
    source s;
    memset(&s, 0, sizeof s);
    s.data = data;
    s.length = length;
    /* The size the image claims; the header is read before it is known. */
    s.claimed = length >= 12 ? get32(data + 8) : 0;
    if (s.claimed < ZT_FLASH_HEADER_BYTES)
        s.claimed = ZT_FLASH_HEADER_BYTES;
    lv_font_t* font = zt_flash_font_create(source_read, &s, 0, 0);
    lv_font_t* cached = zt_flash_font_create(source_read, &s, 0, 4);
    for (lv_font_t* f = font; f; f = f == font ? cached : NULL) {
        zlh_clear(0x000000);
        zlh_add_label(f, text, 2, 2, 0xFFFFFF);
        zlh_render();
        for (const char* p = text;;) {
            uint32_t c = next_code(&p);
            if (!c)
                break;
            zlh_glyph g;
            if (zlh_glyph_get(f, c, &g) > 0)
                zlh_glyph_free(&g);
        }
    }
    zt_flash_font_destroy(font);
    zt_flash_font_destroy(cached);
    *outside += (long)s.outside;
    return font != NULL;
}

static int cmd_hostile(const char* image, const char* text) {
    uint32_t n;
    uint8_t* good = read_all(image, &n);
    if (!good || n < 64)
        return 1;
    uint8_t* bad = malloc(n + 64);
    if (!bad || zlh_open(400, 64) != 0)
        return 1;
    const uint32_t glyphs = get32(good + 20);
    const unsigned entry = good[26] | good[27] << 8;
    const uint32_t glyph_count = get32(good + 12);
    long outside = 0;
    int failed = 0, cases = 0;
#define EXPECT(what, got, want)                                                                    \
    do {                                                                                           \
        cases++;                                                                                   \
        if ((got) != (want)) {                                                                     \
            printf("%s: the runtime %s a font\n", what, (got) ? "made" : "did not make");          \
            failed = 1;                                                                            \
        }                                                                                          \
    } while (0)

    /* The image itself opens. */
    EXPECT("the image", try_image(good, n, text, &outside), 1);
    /* Cut short: every length up to the glyph table, then a few more. */
    for (uint32_t len = 0; len < n; len += len < glyphs + entry ? 1 : (n - len) / 7 + 1) {
        memcpy(bad, good, len);
        EXPECT("an image cut short", try_image(bad, len, text, &outside), 0);
    }
    /* A wrong magic or version; the header's and the index's other
     * damage is test_lvgl_flash's, at the reader. */
    for (int k = 0; k < 2; k++) {
        memcpy(bad, good, n);
        bad[k * 4] ^= 0x20;
        EXPECT("a wrong magic or version", try_image(bad, n, text, &outside), 0);
    }
    /* Glyph entries: bitmaps past the end, boxes larger than the largest,
     * stored sizes larger than the largest; the font opens and draws what
     * is sound. Every glyph, one at a time. */
    for (uint32_t g = 0; g < glyph_count && g < 64; g++) {
        uint8_t* e = bad + glyphs + g * entry;
        const struct {
            unsigned at, bytes;
            uint32_t value;
        } field[] = {
            {0, 4, n - 1},
            {0, 4, 0xFFFFFFFF},
            {4, 4, 0xFFFFFFFF},
            {4, 4, n},
            {10, 2, 0xFFFF},
            {12, 2, 0xFFFF},
            {10, 2, good[40] | good[41] << 8 | 1},
            {18, 2, 0xFFFF},
            {12, 2, good[42] | good[43] << 8 | 1},
        };
        for (size_t k = 0; k < sizeof field / sizeof field[0]; k++) {
            memcpy(bad, good, n);
            if (field[k].bytes == 4)
                put32(e + field[k].at, field[k].value);
            else
                put16(e + field[k].at, field[k].value);
            EXPECT("a damaged glyph entry", try_image(bad, n, text, &outside), 1);
        }
    }
    /* Bitmaps overwritten with noise, and bytes flipped anywhere. */
    const uint32_t bitmaps = glyphs + glyph_count * entry;
    uint32_t seed = 12345;
    for (int round = 0; round < 300; round++) {
        memcpy(bad, good, n);
        for (int k = 0; k < 1 + round % 8; k++) {
            seed = seed * 1103515245u + 12345u;
            const uint32_t at = round < 100 && bitmaps < n ? bitmaps + (seed >> 8) % (n - bitmaps)
                                                           : (seed >> 8) % n;
            bad[at] = (uint8_t)(seed >> 16);
        }
        try_image(bad, n, text, &outside);
        cases++;
    }
    printf("%d damaged images: %ld reads past the size an image claims\n", cases, outside);
    free(good);
    free(bad);
    return failed || outside != 0;
}

/* ---- RAM ---- */

static size_t heap_used(void) {
    lv_mem_monitor_t m;
    lv_mem_monitor(&m);
    return m.total_size - m.free_size;
}

static int cmd_ram(const char* binary, const char* image, const options* o) {
    size_t before = heap_used();
    lv_font_t* bin = zlh_font_load(binary);
    size_t bin_bytes = heap_used() - before;
    if (!bin)
        return 1;
    zlh_font_free(bin);
    source s;
    if (source_open(&s, image) != 0)
        return 1;
    before = heap_used();
    lv_font_t* flash = zt_flash_font_create(source_read, &s, 0, (uint32_t)o->cache);
    size_t flash_bytes = heap_used() - before;
    if (!flash)
        return 1;
    zt_flash_font_destroy(flash);
    fclose(s.file);
    printf("binary %lu flash %lu\n", (unsigned long)bin_bytes, (unsigned long)flash_bytes);
    return 0;
}

int main(int argc, char** argv) {
    options o;
    if (argc < 4)
        return usage();
    const char* cmd = argv[1];
    if (parse(argc, argv, 4, &o) != 0 || zlh_open(8, 8) != 0)
        return usage();
    if (!strcmp(cmd, "compare"))
        return cmd_compare(argv[2], argv[3], &o);
    if (!strcmp(cmd, "reads"))
        return cmd_reads(argv[2], argv[3], &o);
    if (!strcmp(cmd, "hostile"))
        return cmd_hostile(argv[2], argv[3]);
    if (!strcmp(cmd, "ram"))
        return cmd_ram(argv[2], argv[3], &o);
    return usage();
}
