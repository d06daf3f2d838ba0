/* fontconvert's header as an Arduino sketch includes it. */
#include <stdint.h>
#define PROGMEM
#include "gfxfont.h"

#include "DejaVuSans12pt7b.h"

_Static_assert(sizeof DejaVuSans12pt7bGlyphs / sizeof(GFXglyph) == 0x7E - 0x20 + 1,
               "one glyph a code, 0x20-0x7E");
_Static_assert(sizeof DejaVuSans12pt7bBitmaps > 100, "bitmaps present");

const GFXfont* font(void) {
    return &DejaVuSans12pt7b;
}
