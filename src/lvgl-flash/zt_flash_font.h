/* SPDX-License-Identifier: MIT
 * Copyright (c) 2026 The Zentraq developers
 *
 * LVGL fonts that stay in external flash: a font image made by
 * `zentraq-cli font --format lvgl-flash` read glyph by glyph through a
 * callback, for LVGL 9 and 8.3. In RAM: this font's state, the image's
 * look-up index (at most 512 bytes) and the buffer of one glyph, plus the
 * cache of the last glyphs when one is asked for.
 *
 *   static bool read_flash(void * user, uint32_t offset, void * buf, uint32_t len)
 *   {
 *       return spi_flash_read(offset, buf, len) == 0;
 *   }
 *   lv_font_t * font = zt_flash_font_create(read_flash, NULL, 0x200000, 0);
 *   lv_obj_set_style_text_font(label, font, 0);
 *
 * Kerning is applied as in LVGL's C fonts; `font->fallback` may name another
 * font for the characters this one lacks. Glyphs are looked up and read
 * while LVGL lays text out and draws it, from LVGL's own thread. */
#ifndef ZT_FLASH_FONT_H
#define ZT_FLASH_FONT_H

#ifdef LV_LVGL_H_INCLUDE_SIMPLE
#include "lvgl.h"
#else
#include "lvgl/lvgl.h"
#endif

#include "zt_flash_image.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A font of the image at OFFSET of the device READ reads (USER is passed
 * on). CACHE_GLYPHS keeps the descriptors and bitmaps of that many glyphs
 * last used (0: none; 1 is taken as 2). NULL when the image is not a font
 * image of this runtime's version, is damaged, cannot be read, or memory
 * runs out. */
lv_font_t* zt_flash_font_create(zt_flash_read_cb read, void* user, uint32_t offset,
                                uint32_t cache_glyphs);

/* The same from a file on LVGL's file system ("S:/font.bin"), kept open
 * until the font is destroyed. */
lv_font_t* zt_flash_font_create_from_file(const char* path, uint32_t cache_glyphs);

/* Frees a font made by either of the above (NULL is fine). */
void zt_flash_font_destroy(lv_font_t* font);

#ifdef __cplusplus
}
#endif

#endif
