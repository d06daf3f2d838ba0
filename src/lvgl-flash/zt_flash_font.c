/* SPDX-License-Identifier: MIT
 * Copyright (c) 2026 The Zentraq developers
 *
 * An LVGL font on a font image read through a callback: the get_glyph_dsc
 * and get_glyph_bitmap callbacks LVGL calls, for LVGL 9 and 8.3. See
 * zt_flash_font.h. */
#include "zt_flash_font.h"

#include <stdlib.h>
#include <string.h>

#if LVGL_VERSION_MAJOR >= 9
#define ZT_V9 1
#else
#define ZT_V9 0
#endif

/* Where the font's memory comes from: LVGL's heap unless the build says
 * otherwise (-DZT_FLASH_MALLOC=my_alloc -DZT_FLASH_FREE=my_free). */
#ifndef ZT_FLASH_MALLOC
#if ZT_V9
#define ZT_FLASH_MALLOC lv_malloc
#define ZT_FLASH_FREE lv_free
#else
#define ZT_FLASH_MALLOC lv_mem_alloc
#define ZT_FLASH_FREE lv_mem_free
#endif
#endif

/* A glyph looked up lately: its descriptor, the kerning value read with
 * it, and with a cache its decoded bitmap. */
typedef struct {
    uint32_t code;
    uint32_t used;        /* when it was last used */
    zt_flash_glyph glyph; /* glyph.gid 0: the image has no such code */
    uint16_t kern_left;   /* the left class `kern` belongs to; 0: none read */
    int8_t kern;
    uint8_t valid;
    uint8_t has_bitmap;
    uint8_t* bitmap; /* with a cache: this glyph's decoded bitmap */
} zt_slot;

typedef struct {
    lv_font_t font;
    zt_flash_image img;
    lv_fs_file_t* file;  /* zt_flash_font_create_from_file's */
    uint8_t* scratch;    /* one glyph entry with its kerning column */
    uint8_t* bitmap;     /* the last decoded bitmap outside the cache */
    uint32_t bitmap_gid; /* whose it is; 0: none */
    uint32_t clock;
    uint32_t slot_count;
    uint8_t cache; /* slots keep bitmaps */
    zt_slot* slots;
} zt_font;

static size_t zt_align(size_t n) {
    return (n + 7) & ~(size_t)7;
}

/* The slot of CODE, looked up when it is not there; the kerning value
 * against a left glyph of class LEFT_CLASS read too when asked for. */
static zt_slot* zt_lookup(zt_font* f, uint32_t code, uint16_t left_class) {
    zt_slot* victim = NULL;
    for (uint32_t i = 0; i < f->slot_count; i++) {
        zt_slot* s = &f->slots[i];
        if (s->valid && s->code == code) {
            if (left_class && s->glyph.gid && s->kern_left != left_class) {
                zt_flash_glyph g;
                int8_t kern = 0;
                if (zt_flash_image_find(&f->img, code, left_class, &g, &kern, f->scratch) ==
                    s->glyph.gid) {
                    s->kern = kern;
                    s->kern_left = left_class;
                }
            }
            s->used = ++f->clock;
            return s;
        }
        /* An empty slot, else the one used longest ago. */
        if (!victim || (victim->valid && (!s->valid || s->used < victim->used)))
            victim = s;
    }
    zt_flash_glyph g;
    int8_t kern = 0;
    memset(&g, 0, sizeof g);
    if (!zt_flash_image_find(&f->img, code, left_class, &g, &kern, f->scratch))
        memset(&g, 0, sizeof g);
    victim->code = code;
    victim->glyph = g;
    victim->kern_left = left_class;
    victim->kern = kern;
    victim->valid = 1;
    victim->has_bitmap = 0;
    victim->used = ++f->clock;
    return victim;
}

/* Decodes G's bitmap into OUT; SPARE (SPARE_SIZE bytes) may take the
 * stored bitmap on its way. */
static bool zt_decode(zt_font* f, const zt_flash_glyph* g, uint8_t* out, uint8_t* spare,
                      uint32_t spare_size) {
    const zt_flash_image* img = &f->img;
    if (img->format == 0 || g->stored <= spare_size)
        return zt_flash_image_bitmap(img, g, out, img->max_decoded, spare, spare_size);
#if ZT_V9
    uint8_t* stored = lv_malloc(g->stored);
#else
    uint8_t* stored = lv_mem_buf_get(g->stored);
#endif
    if (!stored)
        return false;
    const bool ok = zt_flash_image_bitmap(img, g, out, img->max_decoded, stored, g->stored);
#if ZT_V9
    lv_free(stored);
#else
    lv_mem_buf_release(stored);
#endif
    return ok;
}

/* The decoded bitmap of glyph GID, and its descriptor in G. */
static const uint8_t* zt_bitmap_of(zt_font* f, uint32_t gid, zt_flash_glyph* g, uint8_t* spare,
                                   uint32_t spare_size) {
    if (!gid)
        return NULL;
    zt_slot* slot = NULL;
    for (uint32_t i = 0; i < f->slot_count; i++)
        if (f->slots[i].valid && f->slots[i].glyph.gid == gid)
            slot = &f->slots[i];
    if (slot) {
        *g = slot->glyph;
        if (f->cache) {
            if (!slot->has_bitmap) {
                if (!zt_decode(f, g, slot->bitmap, spare, spare_size))
                    return NULL;
                slot->has_bitmap = 1;
            }
            return slot->bitmap;
        }
    } else if (!zt_flash_image_glyph(&f->img, gid, g, f->scratch)) {
        return NULL;
    }
    if (f->bitmap_gid != gid) {
        f->bitmap_gid = 0;
        if (!zt_decode(f, g, f->bitmap, spare, spare_size))
            return NULL;
        f->bitmap_gid = gid;
    }
    return f->bitmap;
}

static bool zt_get_glyph_dsc(const lv_font_t* font, lv_font_glyph_dsc_t* dsc, uint32_t letter,
                             uint32_t letter_next) {
    zt_font* f = (zt_font*)font->dsc;
    const bool tab = letter == '\t';
    if (tab)
        letter = ' ';
    if (letter == 0)
        return false;
    const zt_slot* s = zt_lookup(f, letter, 0);
    if (!s->glyph.gid)
        return false;
    const zt_flash_glyph g = s->glyph;

    /* The kerning of the pair, as LVGL's C fonts take it: only when the
     * next letter is a glyph of this font too. */
    int8_t kern = 0;
    if (letter_next && g.left_class) {
        const zt_slot* next = zt_lookup(f, letter_next, g.left_class);
        if (next->glyph.gid && next->kern_left == g.left_class)
            kern = next->kern;
    }
    uint32_t adv_w = g.adv_w;
    if (tab)
        adv_w *= 2;
    dsc->adv_w = zt_flash_image_advance(&f->img, adv_w, kern);
    dsc->box_w = g.box_w;
    dsc->box_h = g.box_h;
    dsc->ofs_x = g.ofs_x;
    dsc->ofs_y = g.ofs_y;
#if ZT_V9
    dsc->stride = 0;
    dsc->format = (lv_font_glyph_format_t)f->img.bpp;
    dsc->gid.index = g.gid;
#else
    dsc->bpp = f->img.bpp;
#endif
    dsc->is_placeholder = 0;
    if (tab)
        dsc->box_w = (uint16_t)(dsc->box_w * 2);
    return true;
}

#if ZT_V9
/* The bitmap as LVGL 9 draws it: 8-bit coverage in DRAW_BUF. */
static const void* zt_get_glyph_bitmap(lv_font_glyph_dsc_t* dsc, lv_draw_buf_t* draw_buf) {
    const lv_font_t* font = dsc->resolved_font;
    if (!font || !draw_buf || dsc->req_raw_bitmap)
        return NULL;
    zt_font* f = (zt_font*)font->dsc;
    zt_flash_glyph g;
    const uint8_t* px = zt_bitmap_of(f, dsc->gid.index, &g, draw_buf->data, draw_buf->data_size);
    if (!px)
        return NULL;
    const uint32_t stride = draw_buf->header.stride;
    if (stride < g.box_w || (uint64_t)stride * g.box_h > draw_buf->data_size)
        return NULL;
    const uint8_t bpp = f->img.bpp;
    const unsigned mask = (1u << bpp) - 1;
    /* LVGL's levels: 1 bit 0/255, 2 bits * 85, 4 bits * 17, 8 bits as they are. */
    const unsigned scale = bpp == 1 ? 255 : bpp == 2 ? 85 : bpp == 4 ? 17 : 1;
    uint32_t i = 0;
    for (uint32_t y = 0; y < g.box_h; y++) {
        uint8_t* row = draw_buf->data + (size_t)y * stride;
        for (uint32_t x = 0; x < g.box_w; x++, i++) {
            const uint32_t bit = i * bpp;
            const unsigned v = (unsigned)(px[bit >> 3] >> (8 - bpp - (bit & 7))) & mask;
            row[x] = (uint8_t)(v * scale);
        }
    }
    lv_draw_buf_flush_cache(draw_buf, NULL);
    return draw_buf;
}
#else
/* The bitmap as LVGL 8.3 draws it: bpp bits a pixel, rows running on. */
static const uint8_t* zt_get_glyph_bitmap(const lv_font_t* font, uint32_t letter) {
    zt_font* f = (zt_font*)font->dsc;
    if (letter == '\t')
        letter = ' ';
    if (letter == 0)
        return NULL;
    const zt_slot* s = zt_lookup(f, letter, 0);
    zt_flash_glyph g;
    return zt_bitmap_of(f, s->glyph.gid, &g, NULL, 0);
}
#endif

lv_font_t* zt_flash_font_create(zt_flash_read_cb read, void* user, uint32_t offset,
                                uint32_t cache_glyphs) {
    zt_flash_image img;
    if (zt_flash_image_open(&img, read, user, offset) != ZT_FLASH_OK)
        return NULL;

    const uint64_t slots = cache_glyphs < 2 ? 2 : cache_glyphs;
    const uint64_t bitmaps = cache_glyphs ? slots + 1 : 1;
    const size_t head = zt_align(sizeof(zt_font));
    const size_t spans = zt_align((size_t)img.span_count * sizeof(zt_flash_span));
    const uint64_t slot_bytes = slots * sizeof(zt_slot);
    const size_t scratch = zt_align(zt_flash_image_scratch_bytes(&img));
    const uint64_t total = head + spans + slot_bytes + scratch + bitmaps * img.max_decoded;
    if (cache_glyphs > 0xFFFF || total > UINT32_MAX)
        return NULL;

    uint8_t* mem = ZT_FLASH_MALLOC((size_t)total);
    if (!mem)
        return NULL;
    memset(mem, 0, (size_t)total);
    zt_font* f = (zt_font*)mem;
    f->img = img;
    zt_flash_span* index = (zt_flash_span*)(mem + head);
    f->slots = (zt_slot*)(mem + head + spans);
    f->scratch = mem + head + spans + (size_t)slot_bytes;
    f->bitmap = f->scratch + scratch;
    f->slot_count = (uint32_t)slots;
    f->cache = cache_glyphs > 0;
    if (f->cache)
        for (uint32_t i = 0; i < f->slot_count; i++)
            f->slots[i].bitmap = f->bitmap + (size_t)(i + 1) * img.max_decoded;
    if (zt_flash_image_load_index(&f->img, index) != ZT_FLASH_OK) {
        ZT_FLASH_FREE(mem);
        return NULL;
    }

    lv_font_t* font = &f->font;
    font->get_glyph_dsc = zt_get_glyph_dsc;
    font->get_glyph_bitmap = zt_get_glyph_bitmap;
    font->line_height = f->img.line_height;
    font->base_line = f->img.base_line;
    font->subpx = LV_FONT_SUBPX_NONE;
    font->underline_position = f->img.underline_position;
    font->underline_thickness = f->img.underline_thickness;
    font->dsc = f;
    font->fallback = NULL;
    return font;
}

static bool zt_file_read(void* user, uint32_t offset, void* buf, uint32_t len) {
    lv_fs_file_t* file = (lv_fs_file_t*)user;
    uint32_t got = 0;
    return lv_fs_seek(file, offset, LV_FS_SEEK_SET) == LV_FS_RES_OK &&
           lv_fs_read(file, buf, len, &got) == LV_FS_RES_OK && got == len;
}

lv_font_t* zt_flash_font_create_from_file(const char* path, uint32_t cache_glyphs) {
    lv_fs_file_t* file = ZT_FLASH_MALLOC(sizeof(lv_fs_file_t));
    if (!file)
        return NULL;
    if (lv_fs_open(file, path, LV_FS_MODE_RD) != LV_FS_RES_OK) {
        ZT_FLASH_FREE(file);
        return NULL;
    }
    lv_font_t* font = zt_flash_font_create(zt_file_read, file, 0, cache_glyphs);
    if (!font) {
        lv_fs_close(file);
        ZT_FLASH_FREE(file);
        return NULL;
    }
    ((zt_font*)font->dsc)->file = file;
    return font;
}

void zt_flash_font_destroy(lv_font_t* font) {
    if (!font)
        return;
    zt_font* f = (zt_font*)font->dsc;
    if (f->file) {
        lv_fs_close(f->file);
        ZT_FLASH_FREE(f->file);
    }
    ZT_FLASH_FREE(f);
}
