/* Draws a text with a u8g2 font in u8g2's own code, into a display in
 * memory, as a plain PBM picture: CLIENT FONT TEXT WIDTH HEIGHT -o FILE.pbm
 * (tests/lvgl/README.md). */
#include "u8g2.h"
#include "u8g2_client.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const uint8_t* font_named(const char* name) {
    for (const u8g2_named_font* f = u8g2_client_fonts; f->name; ++f)
        if (strcmp(f->name, name) == 0)
            return f->font;
    return NULL;
}

int main(int argc, char** argv) {
    if (argc != 7 || strcmp(argv[5], "-o") != 0) {
        fprintf(stderr, "usage: %s FONT TEXT WIDTH HEIGHT -o FILE.pbm\n", argv[0]);
        return 2;
    }
    const uint8_t* font = font_named(argv[1]);
    const int width = atoi(argv[3]), height = atoi(argv[4]);
    if (!font || width <= 0 || height <= 0 || width > 4096 || height > 4096) {
        fprintf(stderr, "%s: no font '%s' or a size out of range\n", argv[0], argv[1]);
        return 2;
    }
    /* Tiles of 8 x 8: the display is a whole number of them. */
    const int w8 = (width + 7) / 8 * 8, h8 = (height + 7) / 8 * 8;
    /* Where the tool's --sample-output puts it: the box's y plus its height,
     * a row more in build mode 3, whose glyphs are 8 rows high, not 7. */
    const int baseline = (int8_t)font[12] + font[10] + (font[1] == 3 ? 1 : 0);

    u8g2_t u8g2;
    u8g2_SetupBitmap(&u8g2, &u8g2_cb_r0, (uint16_t)w8, (uint16_t)h8);
    u8x8_InitDisplay(u8g2_GetU8x8(&u8g2));
    u8g2_ClearBuffer(&u8g2);
    u8g2_SetFont(&u8g2, font);
    u8g2_SetFontMode(&u8g2, 1);
    u8g2_SetFontPosBaseline(&u8g2);
    u8g2_DrawUTF8(&u8g2, 0, (u8g2_uint_t)baseline, argv[2]);

    FILE* out = fopen(argv[6], "wb");
    if (!out) {
        perror(argv[6]);
        return 1;
    }
    const uint8_t* buf = u8g2_GetBufferPtr(&u8g2);
    const int stride = u8g2_GetBufferTileWidth(&u8g2) * 8;
    fprintf(out, "P1\n%d %d\n", w8, h8);
    for (int y = 0; y < h8; ++y) {
        for (int x = 0; x < w8; ++x)
            fputs((buf[(y / 8) * stride + x] >> (y & 7)) & 1 ? "1 " : "0 ", out);
        fputc('\n', out);
    }
    return fclose(out) == 0 ? 0 : 1;
}
