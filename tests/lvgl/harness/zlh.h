/* A headless LVGL client for the checks: one display, labels and images
 * drawn on it, fonts decoded glyph by glyph. The same source builds
 * against LVGL v9 and v8; the API below does not change with the version.
 *
 * Colours are 0xRRGGBB. Functions returning int give 0 on success and -1
 * on failure, with a message on stderr, unless said otherwise. */
#ifndef ZLH_H
#define ZLH_H

#include <stdint.h>
#include <stdio.h>

#include "lvgl.h"

#if LVGL_VERSION_MAJOR >= 9
typedef lv_image_dsc_t zlh_image_dsc_t;
#else
typedef lv_img_dsc_t zlh_image_dsc_t;
#endif

/* The fonts and images a client reaches by name on its command line. */
typedef struct {
    const char* name;
    const lv_font_t* font;
} zlh_named_font;

typedef struct {
    const char* name;
    const zlh_image_dsc_t* image;
} zlh_named_image;

/* A client with a main() of its own (zentraq_add_lvgl_client's MAIN): its
 * fonts and images by name, each table ending in {0, 0}. */
extern const zlh_named_font zlh_client_fonts[];
extern const zlh_named_image zlh_client_images[];

/* The display: W x H pixels, a full-size frame buffer. The first call
 * starts LVGL; a later call replaces the display. */
int zlh_open(int32_t w, int32_t h);
int32_t zlh_width(void);
int32_t zlh_height(void);
/* Removes every object from the screen and paints it BG. */
void zlh_clear(uint32_t bg);
/* A label in FONT and colour FG, its top left corner at X, Y. */
lv_obj_t* zlh_add_label(const lv_font_t* font, const char* utf8, int32_t x, int32_t y, uint32_t fg);
/* An image from a descriptor or a file source (zlh_file_src) at X, Y. */
lv_obj_t* zlh_add_image(const void* src, int32_t x, int32_t y);
/* Draws the whole screen into the frame buffer. */
void zlh_render(void);
/* One pixel of the frame buffer as 0xRRGGBB (16-bit builds widened by
 * repeating the top bits: 5 bits r become r << 3 | r >> 2). */
uint32_t zlh_pixel(int32_t x, int32_t y);
/* The frame buffer as a binary PPM (P6, maxval 255). */
int zlh_write_ppm(const char* path);

/* LVGL's name of a file for its file system driver ("A:/abs/path"), in a
 * static buffer; NULL when the path is too long for LVGL. */
const char* zlh_file_src(const char* path);
/* Width and height of an image source as LVGL's decoders report them. */
int zlh_image_size(const void* src, int32_t* w, int32_t* h);
/* The size LVGL lays TEXT out at in FONT, on one line unless it has '\n'. */
void zlh_text_size(const lv_font_t* font, const char* utf8, int32_t* w, int32_t* h);

/* A binary font from a file: v9 lv_binfont_create, v8 lv_font_load. */
lv_font_t* zlh_font_load(const char* path);
void zlh_font_free(lv_font_t* font);

/* One glyph as LVGL decodes it. */
typedef struct {
    uint32_t code;
    int32_t adv;   /* advance in whole pixels, as LVGL lays text out */
    int32_t adv16; /* advance as stored, in 1/16 px; -1 when the font is not LVGL's text format */
    int32_t box_w, box_h, ofs_x, ofs_y;
    int bpp;           /* bits a pixel as stored: 1, 2, 4, 8 */
    uint8_t* coverage; /* box_w * box_h values 0-255, row by row; NULL for an empty box */
} zlh_glyph;

/* 1 and OUT filled when FONT has CODE, 0 when it has not, -1 when LVGL
 * fails to decode the bitmap. Free OUT with zlh_glyph_free. LVGL v8.3
 * also answers for the code just past the end of a full or tiny range (an
 * off-by-one in its look-up); such codes count as missing. */
int zlh_glyph_get(const lv_font_t* font, uint32_t code, zlh_glyph* out);
void zlh_glyph_free(zlh_glyph* g);
/* The kerning of the pair in 1/16 px as LVGL applies it (0 when none);
 * -1 when the font is not LVGL's text format. */
int zlh_kerning16(const lv_font_t* font, uint32_t left, uint32_t right, int32_t* out);

/* Dump records, one a line (see tests/lvgl/README.md). */
void zlh_write_font_line(FILE* out, const lv_font_t* font);
void zlh_write_glyph_line(FILE* out, const zlh_glyph* g);

/* The command line of a client (see tests/lvgl/README.md). */
int zlh_main(int argc, char** argv, const zlh_named_font* fonts, const zlh_named_image* images);

#endif
