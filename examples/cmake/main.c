/* Prints the size and CRC-32 of each array that the build made from
 * assets/, one line each: "name bytes crc". */
#include "greeting.h"
#include "logo.h"
#include "menu_font.h"
#include "status_font.h"

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

/* CRC-32 as zlib computes it (reflected, polynomial 0xEDB88320). */
static uint32_t crc32_of(const void* data, size_t size) {
    const unsigned char* p = data;
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        crc ^= p[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc ^ 0xFFFFFFFFu;
}

static void show(const char* name, const void* data, size_t size) {
    printf("%s %zu %08lx\n", name, size, (unsigned long)crc32_of(data, size));
}

int main(void) {
    show("logo", logo, sizeof logo);
    show("menu_font", menu_font, sizeof menu_font);
    show("menu_font_codes", menu_font_codes, sizeof menu_font_codes);
    show("greeting", greeting, sizeof greeting);
    show("status_font", status_font, sizeof status_font);
    return 0;
}
