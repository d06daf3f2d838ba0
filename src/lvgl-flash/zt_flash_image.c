/* SPDX-License-Identifier: MIT
 * Copyright (c) 2026 The Zentraq developers
 *
 * Reading a font image piece by piece: see zt_flash_image.h. */
#include "zt_flash_image.h"

#include <string.h>

/* zt_flash_image_load_index reads the span table straight into the array. */
typedef char zt_span_is_16_bytes[sizeof(zt_flash_span) == ZT_FLASH_SPAN_BYTES ? 1 : -1];

static uint16_t zt_u16(const uint8_t* p) {
    return (uint16_t)(p[0] | p[1] << 8);
}

static uint32_t zt_u32(const uint8_t* p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static uint64_t zt_u64(const uint8_t* p) {
    return (uint64_t)zt_u32(p) | (uint64_t)zt_u32(p + 4) << 32;
}

static unsigned zt_popcount(uint64_t v) {
    v = v - ((v >> 1) & UINT64_C(0x5555555555555555));
    v = (v & UINT64_C(0x3333333333333333)) + ((v >> 2) & UINT64_C(0x3333333333333333));
    v = (v + (v >> 4)) & UINT64_C(0x0F0F0F0F0F0F0F0F);
    return (unsigned)((v * UINT64_C(0x0101010101010101)) >> 56);
}

/* Whether LEN bytes at OFFSET lie inside the image. */
static bool zt_inside(const zt_flash_image* img, uint64_t offset, uint64_t len) {
    return offset <= img->size && len <= img->size - offset;
}

static bool zt_read(const zt_flash_image* img, uint32_t offset, void* buf, uint32_t len) {
    if (!zt_inside(img, offset, len))
        return false;
    return len == 0 || img->read(img->user, img->base + offset, buf, len);
}

int zt_flash_image_open(zt_flash_image* img, zt_flash_read_cb read, void* user, uint32_t base) {
    uint8_t h[ZT_FLASH_HEADER_BYTES];
    memset(img, 0, sizeof *img);
    if (!read || !read(user, base, h, sizeof h))
        return ZT_FLASH_E_READ;
    if (memcmp(h, "ZTFF", 4) != 0)
        return ZT_FLASH_E_MAGIC;
    if (zt_u16(h + 4) != ZT_FLASH_IMAGE_VERSION)
        return ZT_FLASH_E_VERSION;

    img->read = read;
    img->user = user;
    img->base = base;
    img->size = zt_u32(h + 8);
    img->glyph_count = zt_u32(h + 12);
    img->span_table = zt_u32(h + 16);
    img->glyph_table = zt_u32(h + 20);
    img->span_count = zt_u16(h + 24);
    img->entry_bytes = zt_u16(h + 26);
    img->left_classes = zt_u16(h + 28);
    img->kern_scale = zt_u16(h + 30);
    img->line_height = (int16_t)zt_u16(h + 32);
    img->base_line = (int16_t)zt_u16(h + 34);
    img->underline_position = (int8_t)h[36];
    img->underline_thickness = (int8_t)h[37];
    img->bpp = h[38];
    img->format = h[39];
    img->max_w = zt_u16(h + 40);
    img->max_h = zt_u16(h + 42);
    img->max_decoded = zt_u32(h + 44);
    img->max_stored = zt_u32(h + 48);
    img->px_size = zt_u16(h + 52);

    const uint64_t pixels = (uint64_t)img->max_w * img->max_h;
    const uint64_t decoded = (pixels * img->bpp + 7) / 8;
    /* A run-length coded pixel takes at most bpp + 1 bits. */
    const uint64_t stored = img->format == 0 ? decoded : (pixels * (img->bpp + 1u) + 7) / 8 + 1;
    bool ok = zt_u16(h + 6) == ZT_FLASH_HEADER_BYTES && img->size >= ZT_FLASH_HEADER_BYTES &&
              (uint64_t)base + img->size <= UINT64_C(0x100000000) &&
              (img->bpp == 1 || img->bpp == 2 || img->bpp == 4 || img->bpp == 8) &&
              (img->format == 0 || ((img->format == 1 || img->format == 2) && img->bpp >= 2)) &&
              img->glyph_count <= 0xFFFF && img->span_count <= ZT_FLASH_MAX_SPANS &&
              img->entry_bytes == ZT_FLASH_GLYPH_BYTES + img->left_classes &&
              img->max_w <= ZT_FLASH_MAX_BOX && img->max_h <= ZT_FLASH_MAX_BOX &&
              img->max_decoded <= decoded && img->max_stored <= stored &&
              zt_inside(img, img->span_table, (uint64_t)img->span_count * ZT_FLASH_SPAN_BYTES) &&
              zt_inside(img, img->glyph_table, (uint64_t)img->glyph_count * img->entry_bytes);
    if (!ok) {
        memset(img, 0, sizeof *img);
        return ZT_FLASH_E_DAMAGED;
    }
    /* An image cut short fails here, not glyph by glyph later. */
    uint8_t last;
    if (!read(user, base + img->size - 1, &last, 1)) {
        memset(img, 0, sizeof *img);
        return ZT_FLASH_E_READ;
    }
    return ZT_FLASH_OK;
}

int zt_flash_image_load_index(zt_flash_image* img, zt_flash_span* spans) {
    const uint32_t bytes = (uint32_t)img->span_count * ZT_FLASH_SPAN_BYTES;
    if (!zt_read(img, img->span_table, spans, bytes))
        return ZT_FLASH_E_READ;
    uint64_t next_free = 0; /* the lowest code the next span may start at */
    for (uint16_t i = 0; i < img->span_count; i++) {
        uint8_t raw[ZT_FLASH_SPAN_BYTES];
        memcpy(raw, &spans[i], sizeof raw);
        zt_flash_span s;
        s.first = zt_u32(raw);
        s.count = zt_u32(raw + 4);
        s.table = zt_u32(raw + 8);
        s.gid = zt_u16(raw + 12);
        s.kind = raw[14];
        s.reserved = 0;
        const uint64_t chunks =
            ((uint64_t)s.count + ZT_FLASH_CHUNK_CODES - 1) / ZT_FLASH_CHUNK_CODES;
        bool ok = s.count > 0 && s.first >= next_free;
        if (s.kind == ZT_FLASH_SPAN_FULL)
            ok = ok && s.gid >= 1 && (uint64_t)s.gid + s.count - 1 <= img->glyph_count;
        else if (s.kind == ZT_FLASH_SPAN_RANKED)
            ok = ok && zt_inside(img, s.table, chunks * ZT_FLASH_CHUNK_BYTES);
        else
            ok = false;
        if (!ok)
            return ZT_FLASH_E_DAMAGED;
        next_free = (uint64_t)s.first + s.count;
        spans[i] = s;
    }
    img->spans = spans;
    return ZT_FLASH_OK;
}

uint32_t zt_flash_image_scratch_bytes(const zt_flash_image* img) {
    return img->entry_bytes; /* at least ZT_FLASH_GLYPH_BYTES, more than a chunk */
}

uint32_t zt_flash_image_decoded_bytes(const zt_flash_image* img, const zt_flash_glyph* g) {
    return (uint32_t)(((uint64_t)g->box_w * g->box_h * img->bpp + 7) / 8);
}

/* Reads glyph GID's entry, with the kerning value of LEFT_CLASS (when
 * wanted) at its end, and checks it. */
static bool zt_entry(const zt_flash_image* img, uint32_t gid, uint16_t left_class,
                     zt_flash_glyph* out, int8_t* kern, uint8_t* e) {
    if (gid == 0 || gid > img->glyph_count)
        return false;
    if (left_class > img->left_classes)
        left_class = 0;
    const uint32_t len = ZT_FLASH_GLYPH_BYTES + left_class;
    if (!zt_read(img, img->glyph_table + (gid - 1) * img->entry_bytes, e, len))
        return false;
    zt_flash_glyph g;
    g.bitmap = zt_u32(e);
    g.stored = zt_u32(e + 4);
    g.gid = (uint16_t)gid;
    g.adv_w = zt_u16(e + 8);
    g.box_w = zt_u16(e + 10);
    g.box_h = zt_u16(e + 12);
    g.ofs_x = (int16_t)zt_u16(e + 14);
    g.ofs_y = (int16_t)zt_u16(e + 16);
    g.left_class = zt_u16(e + 18);
    if (g.box_w > img->max_w || g.box_h > img->max_h || g.left_class > img->left_classes)
        return false;
    const uint32_t decoded = zt_flash_image_decoded_bytes(img, &g);
    if (decoded > img->max_decoded || g.stored > img->max_stored ||
        (img->format == 0 && g.stored < decoded) || !zt_inside(img, g.bitmap, g.stored))
        return false;
    *out = g;
    if (kern)
        *kern = left_class ? (int8_t)e[ZT_FLASH_GLYPH_BYTES + left_class - 1] : 0;
    return true;
}

uint32_t zt_flash_image_find(const zt_flash_image* img, uint32_t code, uint16_t left_class,
                             zt_flash_glyph* out, int8_t* kern, uint8_t* scratch) {
    if (kern)
        *kern = 0;
    if (!img->spans)
        return 0;
    /* The last span starting at or below the code. */
    uint32_t lo = 0, hi = img->span_count;
    while (lo < hi) {
        const uint32_t mid = (lo + hi) / 2;
        if (img->spans[mid].first <= code)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo == 0)
        return 0;
    const zt_flash_span* s = &img->spans[lo - 1];
    const uint32_t rel = code - s->first;
    if (rel >= s->count)
        return 0;

    uint32_t gid;
    if (s->kind == ZT_FLASH_SPAN_FULL) {
        gid = s->gid + rel;
    } else {
        const uint32_t chunk = rel / ZT_FLASH_CHUNK_CODES, bit = rel % ZT_FLASH_CHUNK_CODES;
        if (!zt_read(img, s->table + chunk * ZT_FLASH_CHUNK_BYTES, scratch, ZT_FLASH_CHUNK_BYTES))
            return 0;
        const uint64_t present = zt_u64(scratch + 2);
        if (!(present >> bit & 1))
            return 0;
        gid = zt_u16(scratch) + zt_popcount(present & ((UINT64_C(1) << bit) - 1));
    }
    return zt_entry(img, gid, left_class, out, kern, scratch) ? gid : 0;
}

bool zt_flash_image_glyph(const zt_flash_image* img, uint32_t gid, zt_flash_glyph* out,
                          uint8_t* scratch) {
    return zt_entry(img, gid, 0, out, NULL, scratch);
}

/* LVGL's run-length code, read as LVGL's own decoder reads it, but never
 * past the stored bytes: bits beyond them read as 0. */
typedef struct {
    const uint8_t* in;
    uint32_t bits; /* bits of `in` */
    uint32_t pos;
    uint8_t bpp;
    uint8_t state; /* 0 single values, 1 repeats as 1 bits, 2 a counted run */
    uint8_t prev;
    uint8_t count;
} zt_rle;

static uint8_t zt_bits(zt_rle* r, uint8_t len) {
    unsigned v = 0;
    for (uint8_t i = 0; i < len; i++, r->pos++) {
        const unsigned bit =
            r->pos < r->bits ? (unsigned)(r->in[r->pos >> 3] >> (7 - (r->pos & 7))) & 1u : 0u;
        v = v << 1 | bit;
    }
    return (uint8_t)v;
}

static uint8_t zt_rle_next(zt_rle* r) {
    uint8_t ret;
    if (r->state == 0) {
        const bool first = r->pos == 0;
        ret = zt_bits(r, r->bpp);
        if (!first && r->prev == ret) {
            r->count = 0;
            r->state = 1;
        }
        r->prev = ret;
    } else if (r->state == 1) {
        const uint8_t v = zt_bits(r, 1);
        r->count++;
        if (v == 1) {
            ret = r->prev;
            if (r->count == 11) {
                r->count = zt_bits(r, 6);
                if (r->count != 0) {
                    r->state = 2;
                } else {
                    ret = zt_bits(r, r->bpp);
                    r->prev = ret;
                    r->state = 0;
                }
            }
        } else {
            ret = zt_bits(r, r->bpp);
            r->prev = ret;
            r->state = 0;
        }
    } else {
        ret = r->prev;
        r->count--;
        if (r->count == 0) {
            ret = zt_bits(r, r->bpp);
            r->prev = ret;
            r->state = 0;
        }
    }
    return ret;
}

static unsigned zt_get_px(const uint8_t* buf, uint32_t i, uint8_t bpp) {
    const uint32_t bit = i * bpp;
    return (unsigned)(buf[bit >> 3] >> (8 - bpp - (bit & 7))) & ((1u << bpp) - 1);
}

bool zt_flash_image_bitmap(const zt_flash_image* img, const zt_flash_glyph* g, uint8_t* out,
                           uint32_t out_size, uint8_t* stored, uint32_t stored_size) {
    const uint32_t bytes = zt_flash_image_decoded_bytes(img, g);
    if (bytes == 0)
        return true;
    if (bytes > out_size)
        return false;
    if (img->format == 0)
        return zt_read(img, g->bitmap, out, bytes);
    if (!stored || g->stored > stored_size || !zt_read(img, g->bitmap, stored, g->stored))
        return false;

    zt_rle r;
    r.in = stored;
    r.bits = g->stored * 8u;
    r.pos = 0;
    r.bpp = img->bpp;
    r.state = 0;
    r.prev = 0;
    r.count = 0;
    memset(out, 0, bytes);
    const uint8_t bpp = img->bpp;
    const uint32_t w = g->box_w;
    uint32_t i = 0;
    for (uint32_t y = 0; y < g->box_h; y++) {
        for (uint32_t x = 0; x < w; x++, i++) {
            unsigned v = zt_rle_next(&r);
            if (img->format == 1 && y > 0)
                v ^= zt_get_px(out, i - w, bpp);
            const uint32_t bit = i * bpp;
            out[bit >> 3] |= (uint8_t)(v << (8 - bpp - (bit & 7)));
        }
    }
    return true;
}

uint16_t zt_flash_image_advance(const zt_flash_image* img, uint32_t adv_w, int8_t kern) {
    const int32_t kv = ((int32_t)kern * img->kern_scale) >> 4;
    adv_w += (uint32_t)kv;
    return (uint16_t)((adv_w + 8) >> 4);
}
