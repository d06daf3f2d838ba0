/* The fonts a u8g2 drawing client reaches by name: its table is made by
 * the build (zentraq_add_u8g2_client in CMakeLists.txt). */
#ifndef U8G2_CLIENT_H
#define U8G2_CLIENT_H

#include <stdint.h>

typedef struct {
    const char* name;
    const uint8_t* font;
} u8g2_named_font;

extern const u8g2_named_font u8g2_client_fonts[];

#endif
