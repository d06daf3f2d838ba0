/* SPDX-License-Identifier: MIT
 * Copyright (c) 2026 The Zentraq developers
 *
 * A font image made by `zentraq-cli font --format lvgl-flash`, read piece by
 * piece through a callback: from external flash, a file, or memory. This part
 * knows nothing of LVGL; zt_flash_font.c makes an LVGL font of it.
 *
 * The image, every number little-endian, every offset from its first byte:
 *
 *   header       64 bytes: "ZTFF", version, sizes, metrics (see README)
 *   span table   up to 32 spans of codes, 16 bytes each, kept in RAM
 *   chunk tables for ranked spans: 10 bytes for every 64 codes
 *   glyph table  one entry per glyph id 1..N: 20 bytes, then its kerning
 *                column (one value for each left class)
 *   bitmaps      as LVGL's C fonts store them, plain or run-length coded
 *
 * Finding a code takes no read in a full span (every code of it is a glyph)
 * and one read of a chunk in a ranked span; its glyph entry is one more
 * read, which also brings the kerning against the glyph before it; the
 * bitmap is one more. Every offset and size an image names is checked
 * before it is used: a damaged image makes glyphs missing, never a read
 * outside the image or a write outside the buffers given. */
#ifndef ZT_FLASH_IMAGE_H
#define ZT_FLASH_IMAGE_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ZT_FLASH_IMAGE_VERSION 1
#define ZT_FLASH_HEADER_BYTES 64
#define ZT_FLASH_SPAN_BYTES 16
#define ZT_FLASH_MAX_SPANS 32
#define ZT_FLASH_CHUNK_BYTES 10
#define ZT_FLASH_CHUNK_CODES 64
#define ZT_FLASH_GLYPH_BYTES 20
/* The largest glyph box side an image may give. */
#define ZT_FLASH_MAX_BOX 4096

/* Reads LEN bytes at OFFSET of the device (the image's offset included)
 * into BUF; true when all of them were read. */
typedef bool (*zt_flash_read_cb)(void* user, uint32_t offset, void* buf, uint32_t len);

/* Results of zt_flash_image_open and zt_flash_image_load_index. */
enum {
    ZT_FLASH_OK = 0,
    ZT_FLASH_E_READ = -1,    /* the callback failed */
    ZT_FLASH_E_MAGIC = -2,   /* not a font image */
    ZT_FLASH_E_VERSION = -3, /* a font image of another version */
    ZT_FLASH_E_DAMAGED = -4  /* sizes or offsets that do not fit */
};

enum { ZT_FLASH_SPAN_FULL = 0, ZT_FLASH_SPAN_RANKED = 1 };

/* A span of codes: first .. first + count - 1. In a full span the code
 * first + i is glyph gid + i; a ranked span has a chunk table at `table`. */
typedef struct {
    uint32_t first;
    uint32_t count;
    uint32_t table;
    uint16_t gid;
    uint8_t kind;
    uint8_t reserved;
} zt_flash_span;

/* One glyph as its entry describes it, checked against the header. */
typedef struct {
    uint32_t bitmap; /* offset of its stored bitmap */
    uint32_t stored; /* bytes of it */
    uint16_t gid;
    uint16_t adv_w; /* advance in 1/16 px */
    uint16_t box_w;
    uint16_t box_h;
    int16_t ofs_x;
    int16_t ofs_y;       /* the box's bottom above the base line */
    uint16_t left_class; /* kerning class as the left glyph of a pair; 0: none */
} zt_flash_glyph;

typedef struct {
    zt_flash_read_cb read;
    void* user;
    uint32_t base; /* the image's offset on the device */
    uint32_t size; /* bytes of the image */
    uint32_t glyph_count;
    uint32_t span_table;
    uint32_t glyph_table;
    uint32_t max_decoded; /* bytes of the largest decoded bitmap */
    uint32_t max_stored;  /* bytes of the largest stored bitmap */
    uint16_t span_count;
    uint16_t entry_bytes; /* ZT_FLASH_GLYPH_BYTES + left_classes */
    uint16_t left_classes;
    uint16_t kern_scale; /* 12.4, as LVGL's kern_scale */
    uint16_t max_w;
    uint16_t max_h;
    uint16_t px_size;
    int16_t line_height;
    int16_t base_line;
    int8_t underline_position;
    int8_t underline_thickness;
    uint8_t bpp;    /* 1, 2, 4 or 8 */
    uint8_t format; /* 0 plain, 1 rows XOR-ed and run-length coded, 2 run-length coded */
    const zt_flash_span* spans;
} zt_flash_image;

/* Reads and checks the header (one read). */
int zt_flash_image_open(zt_flash_image* img, zt_flash_read_cb read, void* user, uint32_t base);

/* Reads the span table (one read) into SPANS, img->span_count entries of
 * zt_flash_span (16 bytes each), checks it and keeps it as the look-up index. */
int zt_flash_image_load_index(zt_flash_image* img, zt_flash_span* spans);

/* Bytes of the scratch buffer that zt_flash_image_find and _glyph read into. */
uint32_t zt_flash_image_scratch_bytes(const zt_flash_image* img);

/* The glyph of CODE: its id, 0 when the image has none. LEFT_CLASS is the
 * left kerning class of the glyph before it (0: none wanted); KERN, when not
 * NULL, gets the pair's kerning value (4.4, scaled by kern_scale). At most
 * two reads. */
uint32_t zt_flash_image_find(const zt_flash_image* img, uint32_t code, uint16_t left_class,
                             zt_flash_glyph* out, int8_t* kern, uint8_t* scratch);

/* The glyph of id GID (one read); false when there is no such glyph. */
bool zt_flash_image_glyph(const zt_flash_image* img, uint32_t gid, zt_flash_glyph* out,
                          uint8_t* scratch);

/* Bytes of the glyph's decoded bitmap: box_w * box_h pixels of bpp bits,
 * the most significant first, rows running on (LVGL's plain layout). */
uint32_t zt_flash_image_decoded_bytes(const zt_flash_image* img, const zt_flash_glyph* g);

/* Reads the glyph's bitmap (one read) and decodes it into OUT. A coded
 * bitmap is read into STORED first (STORED_SIZE bytes; max_stored always
 * suffice); a plain one straight into OUT. False when a read fails or a
 * buffer is too small. */
bool zt_flash_image_bitmap(const zt_flash_image* img, const zt_flash_glyph* g, uint8_t* out,
                           uint32_t out_size, uint8_t* stored, uint32_t stored_size);

/* LVGL's advance in whole pixels: (adv_w + kern * kern_scale / 16 + 8) / 16,
 * in LVGL's own arithmetic. */
uint16_t zt_flash_image_advance(const zt_flash_image* img, uint32_t adv_w, int8_t kern);

#ifdef __cplusplus
}
#endif

#endif
