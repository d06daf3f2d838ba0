/* The README's GFX header, with the library's own structures. */
#include <stdint.h>
#define PROGMEM
#include "gfxfont.h"
#include "DejaVuSerif12pt7b.h"

const GFXfont* font(void);

const GFXfont* font(void)
{
    return &DejaVuSerif12pt7b;
}
