/* The command line of every client: dumps, drawings and comparisons of the
 * fonts and images compiled into it or read from files. */
#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include "zlh.h"

#define ZLH_MARGIN 8

static const zlh_named_font* zlh_fonts;
static const zlh_named_image* zlh_images;

/* The command line is in tests/lvgl/README.md. */
static int usage(void) {
    fputs("usage: CLIENT dump|label|image|compare-fonts|compare-images ... "
          "(see tests/lvgl/README.md)\n",
          stderr);
    return 2;
}

/* ---- arguments ---- */

typedef struct {
    uint32_t first, last;
} zlh_range;

typedef struct {
    zlh_range r[64];
    int n;
} zlh_ranges;

static int parse_u32(const char* s, char** end, uint32_t* out) {
    errno = 0;
    unsigned long v = strtoul(s, end, 0);
    if (*end == s || errno || v > 0x10FFFF)
        return -1;
    *out = (uint32_t)v;
    return 0;
}

static int parse_ranges(const char* s, zlh_ranges* out) {
    out->n = 0;
    while (*s) {
        char* end;
        zlh_range r;
        if (out->n == 64 || parse_u32(s, &end, &r.first) != 0)
            return -1;
        r.last = r.first;
        if (*end == '-' && parse_u32(end + 1, &end, &r.last) != 0)
            return -1;
        if (r.last < r.first || (*end && *end != ','))
            return -1;
        out->r[out->n++] = r;
        s = *end ? end + 1 : end;
    }
    return out->n ? 0 : -1;
}

static int parse_colour(const char* s, uint32_t* out) {
    char* end;
    unsigned long v = strtoul(s, &end, 16);
    if (end - s != 6 || *end)
        return -1;
    *out = (uint32_t)v;
    return 0;
}

/* Options after the positional arguments: --name VALUE pairs. */
typedef struct {
    const char *codes, *kerning, *out, *max_glyphs, *max_level, *bg;
    const char* label[16];
    int n_label;
    int ignore_advance;
} zlh_opts;

static int parse_opts(int argc, char** argv, int first, zlh_opts* o) {
    memset(o, 0, sizeof *o);
    for (int i = first; i < argc; i += 2) {
        const char* k = argv[i];
        if (!strcmp(k, "--ignore-advance")) {
            o->ignore_advance = 1;
            i--;
            continue;
        }
        if (i + 1 >= argc) {
            fprintf(stderr, "%s needs a value\n", k);
            return -1;
        }
        const char* v = argv[i + 1];
        if (!strcmp(k, "--codes"))
            o->codes = v;
        else if (!strcmp(k, "--kerning"))
            o->kerning = v;
        else if (!strcmp(k, "-o"))
            o->out = v;
        else if (!strcmp(k, "--max-glyphs"))
            o->max_glyphs = v;
        else if (!strcmp(k, "--max-level"))
            o->max_level = v;
        else if (!strcmp(k, "--bg"))
            o->bg = v;
        else if (!strcmp(k, "--label") && o->n_label < 16)
            o->label[o->n_label++] = v;
        else {
            fprintf(stderr, "unknown option %s\n", k);
            return -1;
        }
    }
    return 0;
}

/* ---- fonts and images by name ---- */

typedef struct {
    const lv_font_t* font;
    lv_font_t* loaded;
} zlh_font_ref;

static int find_font(const char* name, zlh_font_ref* ref) {
    ref->loaded = NULL;
    ref->font = NULL;
    if (!strncmp(name, "file:", 5)) {
        ref->loaded = zlh_font_load(name + 5);
        ref->font = ref->loaded;
    } else if (!strcmp(name, "montserrat_14")) {
        ref->font = &lv_font_montserrat_14;
    } else {
        for (const zlh_named_font* f = zlh_fonts; f->name; f++)
            if (!strcmp(f->name, name))
                ref->font = f->font;
        if (!ref->font)
            fprintf(stderr, "no font named %s in this client\n", name);
    }
    return ref->font ? 0 : -1;
}

static const void* find_image(const char* name) {
    if (!strncmp(name, "file:", 5))
        return zlh_file_src(name + 5);
    for (const zlh_named_image* i = zlh_images; i->name; i++)
        if (!strcmp(i->name, name))
            return i->image;
    fprintf(stderr, "no image named %s in this client\n", name);
    return NULL;
}

/* ---- glyph dumps ---- */

/* Calls FN for every code of RANGES that FONT has, or every code it has at
 * all when RANGES is NULL (U+0009 aside: LVGL draws a tab as two spaces). */
typedef int (*zlh_glyph_fn)(void* ctx, const zlh_glyph* g);

static int each_glyph(const lv_font_t* font, const zlh_ranges* ranges, zlh_glyph_fn fn, void* ctx) {
    zlh_ranges all = {{{1, 0x10FFFF}}, 1};
    if (!ranges)
        ranges = &all;
    for (int i = 0; i < ranges->n; i++)
        for (uint32_t c = ranges->r[i].first; c <= ranges->r[i].last; c++) {
            if (ranges == &all && c == '\t')
                continue;
            zlh_glyph g;
            int got = zlh_glyph_get(font, c, &g);
            if (got < 0)
                return -1;
            if (got == 0)
                continue;
            int rc = fn(ctx, &g);
            zlh_glyph_free(&g);
            if (rc != 0)
                return rc;
        }
    return 0;
}

static int write_glyph(void* ctx, const zlh_glyph* g) {
    zlh_write_glyph_line((FILE*)ctx, g);
    return 0;
}

static int cmd_dump(const lv_font_t* font, const zlh_opts* o) {
    zlh_ranges codes, kern;
    if ((o->codes && parse_ranges(o->codes, &codes) != 0) ||
        parse_ranges(o->kerning ? o->kerning : "0x20-0x7E", &kern) != 0)
        return usage();
    FILE* out = o->out ? fopen(o->out, "w") : stdout;
    if (!out) {
        perror(o->out);
        return 1;
    }
    zlh_write_font_line(out, font);
    int rc = each_glyph(font, o->codes ? &codes : NULL, write_glyph, out);
    for (int a = 0; rc == 0 && a < kern.n; a++)
        for (uint32_t l = kern.r[a].first; rc == 0 && l <= kern.r[a].last; l++)
            for (int b = 0; rc == 0 && b < kern.n; b++)
                for (uint32_t r = kern.r[b].first; r <= kern.r[b].last; r++) {
                    int32_t k;
                    if (zlh_kerning16(font, l, r, &k) != 0) {
                        fputs("kerning of this font cannot be read exactly\n", stderr);
                        rc = -1;
                        break;
                    }
                    if (k)
                        fprintf(out, "kern U+%04X U+%04X %d\n", (unsigned)l, (unsigned)r, (int)k);
                }
    if (out != stdout && fclose(out) != 0) {
        perror(o->out);
        rc = -1;
    }
    return rc == 0 ? 0 : 1;
}

/* ---- drawing ---- */

/* A label at 8,8 on a display of its size plus that margin on each side,
 * white on black. */
static int cmd_label(const lv_font_t* font, const char* text, const zlh_opts* o) {
    int32_t w, h;
    if (!o->out)
        return usage();
    zlh_text_size(font, text, &w, &h);
    if (zlh_open(w + 2 * ZLH_MARGIN, h + 2 * ZLH_MARGIN) != 0)
        return 1;
    zlh_add_label(font, text, ZLH_MARGIN, ZLH_MARGIN, 0xFFFFFF);
    zlh_render();
    return zlh_write_ppm(o->out) == 0 ? 0 : 1;
}

/* An image at 0,0 on a display of its size, on --bg (black). */
static int cmd_image(const void* src, const zlh_opts* o) {
    uint32_t bg = 0x000000;
    int32_t w, h;
    if (!o->out || (o->bg && parse_colour(o->bg, &bg) != 0))
        return usage();
    if (zlh_image_size(src, &w, &h) != 0) {
        fputs("LVGL does not decode the image's header\n", stderr);
        return 1;
    }
    if (zlh_open(w, h) != 0)
        return 1;
    zlh_clear(bg);
    zlh_add_image(src, 0, 0);
    zlh_render();
    return zlh_write_ppm(o->out) == 0 ? 0 : 1;
}

/* ---- comparisons ---- */

/* The frame buffer, copied out so that a second drawing can be compared. */
static uint32_t* grab(void) {
    int32_t w = zlh_width(), h = zlh_height();
    uint32_t* px = malloc((size_t)w * (size_t)h * sizeof *px);
    if (px)
        for (int32_t y = 0; y < h; y++)
            for (int32_t x = 0; x < w; x++)
                px[(size_t)y * (size_t)w + (size_t)x] = zlh_pixel(x, y);
    return px;
}

/* Pixels of two drawings of the current display size that differ in some
 * channel by more than MAX_LEVEL; the first few are named. */
static long differing_pixels(const uint32_t* a, const uint32_t* b, int max_level,
                             const char* what) {
    int32_t w = zlh_width(), h = zlh_height();
    long bad = 0;
    for (int32_t y = 0; y < h; y++)
        for (int32_t x = 0; x < w; x++) {
            uint32_t pa = a[(size_t)y * (size_t)w + (size_t)x],
                     pb = b[(size_t)y * (size_t)w + (size_t)x];
            int worst = 0;
            for (int s = 0; s <= 16; s += 8) {
                int d = abs((int)(pa >> s & 0xFF) - (int)(pb >> s & 0xFF));
                if (d > worst)
                    worst = d;
            }
            if (worst > max_level && bad++ < 5)
                printf("%s: pixel %d,%d: %06X against %06X\n", what, (int)x, (int)y, (unsigned)pa,
                       (unsigned)pb);
        }
    return bad;
}

/* Draws A, then B, on BG: labels of TEXT in fonts A and B when TEXT is given,
 * else images A and B at 0,0; the pixels that differ by more than
 * MAX_LEVEL, or -1 when a drawing cannot be copied. */
static long draw_both(const void* a, const void* b, const char* text, uint32_t bg, int max_level,
                      const char* what) {
    uint32_t* px[2];
    for (int i = 0; i < 2; i++) {
        zlh_clear(bg);
        if (text)
            zlh_add_label(i ? b : a, text, ZLH_MARGIN, ZLH_MARGIN, 0xFFFFFF);
        else
            zlh_add_image(i ? b : a, 0, 0);
        zlh_render();
        px[i] = grab();
    }
    long bad = px[0] && px[1] ? differing_pixels(px[0], px[1], max_level, what) : -1;
    free(px[0]);
    free(px[1]);
    return bad;
}

typedef struct {
    const lv_font_t* other;
    int max_level, ignore_advance;
    long compared, equal, near, different;
} zlh_font_cmp;

static void show_pair(const zlh_glyph* a, const zlh_glyph* b) {
    fputs("A: ", stdout);
    if (a)
        zlh_write_glyph_line(stdout, a);
    else
        puts("missing");
    fputs("B: ", stdout);
    if (b)
        zlh_write_glyph_line(stdout, b);
    else
        puts("missing");
}

static int compare_glyph(void* ctx, const zlh_glyph* a) {
    zlh_font_cmp* c = ctx;
    zlh_glyph b;
    int got = zlh_glyph_get(c->other, a->code, &b);
    if (got < 0)
        return -1;
    c->compared++;
    if (got == 0) {
        if (c->different++ < 10)
            show_pair(a, NULL);
        return 0;
    }
    int same_metrics = (c->ignore_advance || (a->adv == b.adv && a->adv16 == b.adv16)) &&
                       a->box_w == b.box_w && a->box_h == b.box_h && a->ofs_x == b.ofs_x &&
                       a->ofs_y == b.ofs_y && a->bpp == b.bpp;
    size_t n = (size_t)a->box_w * (size_t)a->box_h;
    int worst = 0;
    if (same_metrics && n) {
        int max = (1 << a->bpp) - 1;
        for (size_t i = 0; i < n; i++) {
            int d = abs((a->coverage[i] * max + 127) / 255 - (b.coverage[i] * max + 127) / 255);
            if (d > worst)
                worst = d;
        }
    }
    if (same_metrics && worst == 0)
        c->equal++;
    else if (same_metrics && worst <= c->max_level)
        c->near++;
    else if (c->different++ < 10)
        show_pair(a, &b);
    zlh_glyph_free(&b);
    return 0;
}

static int count_missing(void* ctx, const zlh_glyph* b) {
    zlh_font_cmp* c = ctx;
    zlh_glyph a;
    int got = zlh_glyph_get(c->other, b->code, &a);
    if (got < 0)
        return -1;
    if (got == 0) {
        c->compared++;
        if (c->different++ < 10)
            show_pair(NULL, b);
    }
    zlh_glyph_free(&a);
    return 0;
}

/* Every glyph of either font, every pair of 0x20-0x7E's kerning and each
 * --label. */
static int cmd_compare_fonts(const lv_font_t* a, const lv_font_t* b, const zlh_opts* o) {
    zlh_ranges kern = {{{0x20, 0x7E}}, 1};
    double max_share = 0;
    int max_level = o->max_level ? atoi(o->max_level) : 0;
    if (o->max_glyphs) {
        char* end;
        max_share = strtod(o->max_glyphs, &end) / 100;
        if (end == o->max_glyphs || max_share < 0 || strcmp(end, "%"))
            return usage();
    }

    int failed = 0;
    zlh_font_cmp c = {b, max_level, o->ignore_advance, 0, 0, 0, 0};
    if (each_glyph(a, NULL, compare_glyph, &c) != 0)
        return 1;
    zlh_font_cmp back = {a, 0, 0, 0, 0, 0, 0};
    if (each_glyph(b, NULL, count_missing, &back) != 0)
        return 1;
    c.compared += back.compared;
    c.different += back.different;
    long allowed = (long)(max_share * (double)c.compared);
    printf("glyphs: %ld compared, %ld equal, %ld within %d level(s) (at most %ld allowed), %ld "
           "different\n",
           c.compared, c.equal, c.near, max_level, allowed, c.different);
    if (c.different || c.near > allowed || c.compared == 0)
        failed = 1;

    long pairs = 0, kern_diff = 0, kerned = 0;
    for (int i = 0; i < kern.n; i++)
        for (uint32_t l = kern.r[i].first; l <= kern.r[i].last; l++)
            for (int j = 0; j < kern.n; j++)
                for (uint32_t r = kern.r[j].first; r <= kern.r[j].last; r++) {
                    int32_t ka, kb;
                    if (zlh_kerning16(a, l, r, &ka) != 0 || zlh_kerning16(b, l, r, &kb) != 0) {
                        puts("kerning: cannot be read exactly from these fonts");
                        return 1;
                    }
                    pairs++;
                    kerned += ka != 0;
                    if (ka != kb && kern_diff++ < 10)
                        printf("kern U+%04X U+%04X: %d against %d\n", (unsigned)l, (unsigned)r,
                               (int)ka, (int)kb);
                }
    printf("kerning: %ld pairs compared, %ld kerned in A, %ld different\n", pairs, kerned,
           kern_diff);
    failed |= kern_diff != 0;

    for (int i = 0; i < o->n_label; i++) {
        int32_t wa, ha, wb, hb;
        zlh_text_size(a, o->label[i], &wa, &ha);
        zlh_text_size(b, o->label[i], &wb, &hb);
        if (zlh_open((wa > wb ? wa : wb) + 2 * ZLH_MARGIN, (ha > hb ? ha : hb) + 2 * ZLH_MARGIN) !=
            0)
            return 1;
        long bad = draw_both(a, b, o->label[i], 0x000000, 0, "label");
        if (bad < 0)
            return 1;
        printf("label \"%s\": %dx%d, %ld pixels different\n", o->label[i], (int)zlh_width(),
               (int)zlh_height(), bad);
        failed |= bad != 0;
    }
    return failed;
}

static int cmd_compare_images(const void* a, const void* b, const zlh_opts* o) {
    int32_t wa, ha, wb, hb;
    int max_level = o->max_level ? atoi(o->max_level) : 0;
    if (zlh_image_size(a, &wa, &ha) != 0 || zlh_image_size(b, &wb, &hb) != 0) {
        puts("LVGL does not decode an image's header");
        return 1;
    }
    if (wa != wb || ha != hb) {
        printf("sizes differ: %dx%d against %dx%d\n", (int)wa, (int)ha, (int)wb, (int)hb);
        return 1;
    }
    if (zlh_open(wa, ha) != 0)
        return 1;
    int failed = 0;
    for (uint32_t bg = 0; bg <= 0xFFFFFF; bg += 0xFFFFFF) {
        char what[32];
        snprintf(what, sizeof what, "on %06X", (unsigned)bg);
        long bad = draw_both(a, b, NULL, bg, max_level, what);
        if (bad < 0)
            return 1;
        printf("on %06X: %dx%d, %ld pixels differ by more than %d\n", (unsigned)bg, (int)wa,
               (int)ha, bad, max_level);
        failed |= bad != 0;
    }
    return failed;
}

int zlh_main(int argc, char** argv, const zlh_named_font* fonts, const zlh_named_image* images) {
    zlh_fonts = fonts;
    zlh_images = images;
    if (argc < 2)
        return usage();
    const char* cmd = argv[1];
    zlh_opts o;
    if (!strcmp(cmd, "dump") || !strcmp(cmd, "label") || !strcmp(cmd, "compare-fonts")) {
        int npos = !strcmp(cmd, "dump") ? 1 : 2;
        if (argc < 2 + npos || parse_opts(argc, argv, 2 + npos, &o) != 0)
            return usage();
        zlh_font_ref a, b = {NULL, NULL};
        if (find_font(argv[2], &a) != 0)
            return 1;
        int rc;
        if (!strcmp(cmd, "dump"))
            rc = cmd_dump(a.font, &o);
        else if (!strcmp(cmd, "label"))
            rc = cmd_label(a.font, argv[3], &o);
        else
            rc = find_font(argv[3], &b) != 0 ? 1 : cmd_compare_fonts(a.font, b.font, &o);
        zlh_font_free(a.loaded);
        zlh_font_free(b.loaded);
        return rc;
    }
    if (!strcmp(cmd, "image") || !strcmp(cmd, "compare-images")) {
        int npos = !strcmp(cmd, "image") ? 1 : 2;
        if (argc < 2 + npos || parse_opts(argc, argv, 2 + npos, &o) != 0)
            return usage();
        /* zlh_file_src keeps one name at a time. */
        char src_a[LV_FS_MAX_PATH_LENGTH];
        const void *a = find_image(argv[2]), *b = NULL;
        if (!a)
            return 1;
        if (!strncmp(argv[2], "file:", 5)) {
            snprintf(src_a, sizeof src_a, "%s", (const char*)a);
            a = src_a;
        }
        if (npos == 2 && !(b = find_image(argv[3])))
            return 1;
        return npos == 1 ? cmd_image(a, &o) : cmd_compare_images(a, b, &o);
    }
    return usage();
}
