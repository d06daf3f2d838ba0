/* A headless LVGL client: the display, drawing and glyph decoding of
 * zlh.h, for LVGL v9 and v8. */
#include "zlh.h"

#include <limits.h>
#include <stdlib.h>
#include <string.h>

#if LVGL_VERSION_MAJOR >= 9
#define ZLH_V9 1
#else
#define ZLH_V9 0
#endif

static struct {
    int32_t w, h;
    uint8_t* buf;
#if ZLH_V9
    lv_display_t* disp;
    uint32_t stride;
#else
    lv_disp_t* disp;
    lv_disp_draw_buf_t draw_buf;
    lv_disp_drv_t drv;
#endif
} zlh;

static void zlh_start(void) {
    static int started;
    if (!started) {
        lv_init();
        started = 1;
    }
}

#if ZLH_V9
static void zlh_flush(lv_display_t* disp, const lv_area_t* area, uint8_t* px) {
    (void)area;
    (void)px;
    lv_display_flush_ready(disp);
}
#else
static void zlh_flush(lv_disp_drv_t* drv, const lv_area_t* area, lv_color_t* px) {
    (void)area;
    (void)px;
    lv_disp_flush_ready(drv);
}
#endif

int zlh_open(int32_t w, int32_t h) {
    if (w <= 0 || h <= 0 || w > 8192 || h > 8192) {
        fprintf(stderr, "zlh: display size %dx%d out of range\n", (int)w, (int)h);
        return -1;
    }
    zlh_start();
    if (zlh.disp) {
#if ZLH_V9
        lv_display_delete(zlh.disp);
#else
        lv_disp_remove(zlh.disp);
#endif
        zlh.disp = NULL;
        free(zlh.buf);
        zlh.buf = NULL;
    }
#if ZLH_V9
    zlh.stride = lv_draw_buf_width_to_stride((uint32_t)w, LV_COLOR_FORMAT_XRGB8888);
    size_t size = (size_t)zlh.stride * (size_t)h;
    zlh.buf = calloc(1, size);
    zlh.disp = zlh.buf ? lv_display_create(w, h) : NULL;
    if (zlh.disp) {
        lv_display_set_color_format(zlh.disp, LV_COLOR_FORMAT_XRGB8888);
        lv_display_set_buffers(zlh.disp, zlh.buf, NULL, (uint32_t)size,
                               LV_DISPLAY_RENDER_MODE_FULL);
        lv_display_set_flush_cb(zlh.disp, zlh_flush);
        lv_display_set_default(zlh.disp);
    }
#else
    zlh.buf = calloc((size_t)w * (size_t)h, sizeof(lv_color_t));
    if (zlh.buf) {
        lv_disp_draw_buf_init(&zlh.draw_buf, zlh.buf, NULL, (uint32_t)(w * h));
        lv_disp_drv_init(&zlh.drv);
        zlh.drv.hor_res = (lv_coord_t)w;
        zlh.drv.ver_res = (lv_coord_t)h;
        zlh.drv.flush_cb = zlh_flush;
        zlh.drv.draw_buf = &zlh.draw_buf;
        zlh.drv.full_refresh = 1;
        zlh.disp = lv_disp_drv_register(&zlh.drv);
        if (zlh.disp)
            lv_disp_set_default(zlh.disp);
    }
#endif
    if (!zlh.disp) {
        fprintf(stderr, "zlh: cannot make a display of %dx%d\n", (int)w, (int)h);
        free(zlh.buf);
        zlh.buf = NULL;
        return -1;
    }
    zlh.w = w;
    zlh.h = h;
    zlh_clear(0x000000);
    return 0;
}

int32_t zlh_width(void) {
    return zlh.w;
}
int32_t zlh_height(void) {
    return zlh.h;
}

static lv_obj_t* zlh_screen(void) {
#if ZLH_V9
    return lv_display_get_screen_active(zlh.disp);
#else
    return lv_disp_get_scr_act(zlh.disp);
#endif
}

void zlh_clear(uint32_t bg) {
    lv_obj_t* scr = zlh_screen();
    lv_obj_clean(scr);
    lv_obj_set_style_bg_color(scr, lv_color_hex(bg), 0);
    lv_obj_set_style_bg_opa(scr, LV_OPA_COVER, 0);
}

lv_obj_t* zlh_add_label(const lv_font_t* font, const char* utf8, int32_t x, int32_t y,
                        uint32_t fg) {
    lv_obj_t* label = lv_label_create(zlh_screen());
    lv_obj_set_style_text_font(label, font, 0);
    lv_obj_set_style_text_color(label, lv_color_hex(fg), 0);
    lv_label_set_text(label, utf8);
    lv_obj_set_pos(label, x, y);
    return label;
}

lv_obj_t* zlh_add_image(const void* src, int32_t x, int32_t y) {
#if ZLH_V9
    lv_obj_t* img = lv_image_create(zlh_screen());
    lv_image_set_src(img, src);
#else
    lv_obj_t* img = lv_img_create(zlh_screen());
    lv_img_set_src(img, src);
#endif
    lv_obj_set_pos(img, x, y);
    return img;
}

void zlh_render(void) {
    lv_obj_invalidate(zlh_screen());
    lv_refr_now(zlh.disp);
}

uint32_t zlh_pixel(int32_t x, int32_t y) {
    if (x < 0 || y < 0 || x >= zlh.w || y >= zlh.h)
        return 0;
#if ZLH_V9
    const uint8_t* p = zlh.buf + (size_t)y * zlh.stride + (size_t)x * 4;
    return (uint32_t)p[2] << 16 | (uint32_t)p[1] << 8 | p[0];
#else
    const lv_color_t* p = (const lv_color_t*)zlh.buf + (size_t)y * (size_t)zlh.w + (size_t)x;
    return lv_color_to32(*p) & 0xFFFFFFu;
#endif
}

int zlh_write_ppm(const char* path) {
    FILE* f = fopen(path, "wb");
    if (!f) {
        perror(path);
        return -1;
    }
    fprintf(f, "P6\n%d %d\n255\n", (int)zlh.w, (int)zlh.h);
    for (int32_t y = 0; y < zlh.h; y++)
        for (int32_t x = 0; x < zlh.w; x++) {
            uint32_t c = zlh_pixel(x, y);
            putc((int)(c >> 16 & 0xFF), f);
            putc((int)(c >> 8 & 0xFF), f);
            putc((int)(c & 0xFF), f);
        }
    if (fclose(f) != 0) {
        perror(path);
        return -1;
    }
    return 0;
}

const char* zlh_file_src(const char* path) {
    static char src[LV_FS_MAX_PATH_LENGTH];
    char abs[PATH_MAX];
    if (!realpath(path, abs)) {
        perror(path);
        return NULL;
    }
    const size_t length = strlen(abs);
    if (length + 3 > sizeof src) {
        fprintf(stderr, "zlh: path too long for LVGL's file system: %s\n", abs);
        return NULL;
    }
    src[0] = 'A';
    src[1] = ':';
    memcpy(src + 2, abs, length + 1);
    return src;
}

int zlh_image_size(const void* src, int32_t* w, int32_t* h) {
    zlh_start();
#if ZLH_V9
    lv_image_header_t header;
    if (lv_image_decoder_get_info(src, &header) != LV_RESULT_OK)
        return -1;
#else
    lv_img_header_t header;
    if (lv_img_decoder_get_info(src, &header) != LV_RES_OK)
        return -1;
#endif
    *w = header.w;
    *h = header.h;
    return 0;
}

void zlh_text_size(const lv_font_t* font, const char* utf8, int32_t* w, int32_t* h) {
    zlh_start();
    lv_point_t size;
#if ZLH_V9
    lv_text_get_size(&size, utf8, font, 0, 0, LV_COORD_MAX, LV_TEXT_FLAG_NONE);
#else
    lv_txt_get_size(&size, utf8, font, 0, 0, LV_COORD_MAX, LV_TEXT_FLAG_NONE);
#endif
    *w = size.x;
    *h = size.y;
}

lv_font_t* zlh_font_load(const char* path) {
    zlh_start();
    const char* src = zlh_file_src(path);
    if (!src)
        return NULL;
#if ZLH_V9
    lv_font_t* font = lv_binfont_create(src);
#else
    lv_font_t* font = lv_font_load(src);
#endif
    if (!font)
        fprintf(stderr, "zlh: LVGL does not load the font %s\n", path);
    return font;
}

void zlh_font_free(lv_font_t* font) {
    if (!font)
        return;
#if ZLH_V9
    lv_binfont_destroy(font);
#else
    lv_font_free(font);
#endif
}

#if !ZLH_V9
/* The glyph a range gives CODE when it holds it (RCP below its length);
 * 0 when it does not. */
static uint32_t zlh_v8_range_gid(const lv_font_fmt_txt_cmap_t* cmap, uint32_t rcp) {
    switch (cmap->type) {
    case LV_FONT_FMT_TXT_CMAP_FORMAT0_TINY:
        return cmap->glyph_id_start + rcp;
    case LV_FONT_FMT_TXT_CMAP_FORMAT0_FULL: {
        const uint8_t* ofs = cmap->glyph_id_ofs_list;
        return ofs[rcp] || rcp == 0 ? cmap->glyph_id_start + ofs[rcp] : 0;
    }
    default:
        for (uint32_t k = 0; k < cmap->list_length; k++) {
            if (cmap->unicode_list[k] == rcp) {
                const uint16_t* ofs = cmap->glyph_id_ofs_list;
                return cmap->glyph_id_start + (ofs ? ofs[k] : k);
            }
        }
        return 0;
    }
}

/* LVGL v8.3 takes the code just past a full or tiny range as in it (an
 * off-by-one in its look-up): that code gets the next glyph, or one read
 * from past the end of the glyph table, even when a later range holds it.
 * Such codes are not the font's; they are reported as missing, unless a
 * later range gives the code that very glyph (a tiny range followed by one
 * that starts at the next code), when LVGL's answer is right. */
static int zlh_v8_past_range(const lv_font_t* font, uint32_t code) {
    if (font->get_glyph_dsc != lv_font_get_glyph_dsc_fmt_txt)
        return 0;
    const lv_font_fmt_txt_dsc_t* fd = font->dsc;
    for (uint32_t i = 0; i < fd->cmap_num; i++) {
        const lv_font_fmt_txt_cmap_t* cmap = &fd->cmaps[i];
        uint32_t rcp = code - cmap->range_start;
        if (rcp > cmap->range_length)
            continue;
        if (rcp != cmap->range_length)
            return 0;
        if (cmap->type == LV_FONT_FMT_TXT_CMAP_FORMAT0_FULL)
            return 1;
        if (cmap->type != LV_FONT_FMT_TXT_CMAP_FORMAT0_TINY)
            return 0;
        const uint32_t given = cmap->glyph_id_start + rcp;
        for (uint32_t j = i + 1; j < fd->cmap_num; j++) {
            const lv_font_fmt_txt_cmap_t* later = &fd->cmaps[j];
            const uint32_t r = code - later->range_start;
            if (r < later->range_length && zlh_v8_range_gid(later, r) == given)
                return 0;
        }
        return 1;
    }
    return 0;
}
#endif

/* A font in LVGL's text format can be looked at closer through a copy of
 * its descriptor: LVGL's own look-ups then report what the public calls
 * round away (the glyph index, the kerning in 1/16 px). */
typedef struct {
    lv_font_t font;
    lv_font_fmt_txt_dsc_t dsc;
#if !ZLH_V9
    lv_font_fmt_txt_glyph_cache_t cache;
#endif
} zlh_probe;

static int zlh_probe_init(zlh_probe* p, const lv_font_t* font) {
    if (font->get_glyph_dsc != lv_font_get_glyph_dsc_fmt_txt)
        return -1;
    p->font = *font;
    p->dsc = *(const lv_font_fmt_txt_dsc_t*)font->dsc;
    p->font.dsc = &p->dsc;
    p->font.fallback = NULL;
#if !ZLH_V9
    memset(&p->cache, 0, sizeof p->cache);
    p->cache.last_letter = UINT32_MAX;
    p->dsc.cache = &p->cache;
#endif
    return 0;
}

/* The index of CODE's glyph in the font's glyph table; 0 when none. */
static uint32_t zlh_probe_gid(zlh_probe* p, uint32_t code) {
    lv_font_glyph_dsc_t dsc;
    memset(&dsc, 0, sizeof dsc);
    if (!p->font.get_glyph_dsc(&p->font, &dsc, code, 0))
        return 0;
#if ZLH_V9
    return dsc.gid.index;
#else
    return p->cache.last_glyph_id;
#endif
}

int zlh_kerning16(const lv_font_t* font, uint32_t left, uint32_t right, int32_t* out) {
    zlh_probe p;
    if (zlh_probe_init(&p, font) != 0)
        return -1;
    *out = 0;
    if (!p.dsc.kern_dsc)
        return 0;
    /* LVGL applies ((kvalue * kern_scale) >> 4) / 16 px, rounded with the
     * advance to whole pixels. With the scale 256 times larger the kerning
     * moves the rounded advance by exactly kvalue * kern_scale. */
    if (p.dsc.kern_scale > 255)
        return -1;
#if !ZLH_V9
    if (zlh_v8_past_range(font, left) || zlh_v8_past_range(font, right))
        return 0;
#endif
    uint32_t gid = zlh_probe_gid(&p, left);
    p.dsc.kern_scale = (uint16_t)(p.dsc.kern_scale << 8);
    lv_font_glyph_dsc_t with, without, plain;
    memset(&with, 0, sizeof with);
    memset(&without, 0, sizeof without);
    memset(&plain, 0, sizeof plain);
    if (!gid || !lv_font_get_glyph_dsc(&p.font, &with, left, right) ||
        !lv_font_get_glyph_dsc(&p.font, &without, left, 0) ||
        !lv_font_get_glyph_dsc(font, &plain, left, right))
        return 0;
    int32_t scaled = (int16_t)(uint16_t)(with.adv_w - without.adv_w);
    *out = scaled >= 0 ? scaled / 16 : -((-scaled + 15) / 16); /* >> 4 as LVGL does */
    /* The font itself must lay the pair out as that value says. */
    int32_t adv16 = (int32_t)p.dsc.glyph_dsc[gid].adv_w;
    if ((adv16 + *out + 8) >> 4 != (int32_t)plain.adv_w) {
        fprintf(stderr, "zlh: kerning U+%04X U+%04X read as %d/16 px, but LVGL advances %d px\n",
                (unsigned)left, (unsigned)right, (int)*out, (int)plain.adv_w);
        return -1;
    }
    return 0;
}

#if !ZLH_V9
/* Coverage levels widened to 0-255 as LVGL's drawing widens them. */
static uint8_t zlh_widen(unsigned level, int bpp) {
    unsigned max = (1u << bpp) - 1;
    return (uint8_t)((level * 255 + max / 2) / max);
}
#endif

int zlh_glyph_get(const lv_font_t* font, uint32_t code, zlh_glyph* out) {
    zlh_start();
    memset(out, 0, sizeof *out);
#if !ZLH_V9
    for (const lv_font_t* f = font; f; f = f->fallback)
        if (zlh_v8_past_range(f, code))
            return 0;
#endif
    lv_font_glyph_dsc_t dsc;
    memset(&dsc, 0, sizeof dsc);
    if (!lv_font_get_glyph_dsc(font, &dsc, code, 0))
        return 0;
    out->code = code;
    out->adv = dsc.adv_w;
    out->box_w = dsc.box_w;
    out->box_h = dsc.box_h;
    out->ofs_x = dsc.ofs_x;
    out->ofs_y = dsc.ofs_y;
    out->adv16 = -1;
    zlh_probe p;
    if (zlh_probe_init(&p, dsc.resolved_font ? dsc.resolved_font : font) == 0) {
        uint32_t gid = zlh_probe_gid(&p, code);
        if (gid)
            out->adv16 = (int32_t)p.dsc.glyph_dsc[gid].adv_w;
    }
#if ZLH_V9
    out->bpp = dsc.format;
    if (dsc.format != LV_FONT_GLYPH_FORMAT_A1 && dsc.format != LV_FONT_GLYPH_FORMAT_A2 &&
        dsc.format != LV_FONT_GLYPH_FORMAT_A4 && dsc.format != LV_FONT_GLYPH_FORMAT_A8) {
        fprintf(stderr, "zlh: U+%04X: glyph format %d is not a coverage map\n", (unsigned)code,
                (int)dsc.format);
        return -1;
    }
#else
    out->bpp = dsc.bpp;
#endif
    size_t n = (size_t)out->box_w * (size_t)out->box_h;
    if (n == 0)
        return 1;
    out->coverage = malloc(n);
    if (!out->coverage)
        return -1;
#if ZLH_V9
    lv_draw_buf_t* buf = lv_draw_buf_create((uint32_t)out->box_w, (uint32_t)out->box_h,
                                            LV_COLOR_FORMAT_A8, LV_STRIDE_AUTO);
    const void* got = buf ? lv_font_get_glyph_bitmap(&dsc, buf) : NULL;
    if (got) {
        for (int32_t y = 0; y < out->box_h; y++)
            memcpy(out->coverage + (size_t)y * (size_t)out->box_w,
                   buf->data + (size_t)y * buf->header.stride, (size_t)out->box_w);
    }
    lv_font_glyph_release_draw_data(&dsc);
    if (buf)
        lv_draw_buf_destroy(buf);
#else
    const uint8_t* got =
        lv_font_get_glyph_bitmap(dsc.resolved_font ? dsc.resolved_font : font, code);
    if (got) {
        /* Rows run on without padding, most significant bits first; a
         * decompressed 3-bit glyph comes back in 4 bits a pixel. */
        int bits = out->bpp;
        const lv_font_t* rf = dsc.resolved_font ? dsc.resolved_font : font;
        if (bits == 3 && rf->get_glyph_dsc == lv_font_get_glyph_dsc_fmt_txt &&
            ((const lv_font_fmt_txt_dsc_t*)rf->dsc)->bitmap_format != LV_FONT_FMT_TXT_PLAIN)
            bits = 4;
        for (size_t i = 0; i < n; i++) {
            size_t bit = i * (size_t)bits;
            unsigned level =
                (unsigned)(got[bit / 8] >> (8 - bits - (int)(bit % 8))) & ((1u << bits) - 1);
            out->coverage[i] = zlh_widen(level, bits);
        }
    }
#endif
    if (!got) {
        fprintf(stderr, "zlh: LVGL returns no bitmap for U+%04X (%dx%d)\n", (unsigned)code,
                (int)out->box_w, (int)out->box_h);
        zlh_glyph_free(out);
        return -1;
    }
    return 1;
}

void zlh_glyph_free(zlh_glyph* g) {
    free(g->coverage);
    g->coverage = NULL;
}

void zlh_write_font_line(FILE* out, const lv_font_t* font) {
    fprintf(out, "font line_height=%d base_line=%d underline_position=%d underline_thickness=%d\n",
            (int)font->line_height, (int)font->base_line, (int)font->underline_position,
            (int)font->underline_thickness);
}

void zlh_write_glyph_line(FILE* out, const zlh_glyph* g) {
    fprintf(out, "glyph U+%04X adv=%d adv16=%d box=%dx%d ofs=%d,%d bpp=%d px=", (unsigned)g->code,
            (int)g->adv, (int)g->adv16, (int)g->box_w, (int)g->box_h, (int)g->ofs_x, (int)g->ofs_y,
            g->bpp);
    size_t n = g->coverage ? (size_t)g->box_w * (size_t)g->box_h : 0;
    for (size_t i = 0; i < n; i++)
        fprintf(out, "%02x", g->coverage[i]);
    fputc('\n', out);
}
