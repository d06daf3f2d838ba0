/* LVGL 9 with its own GIF and PNG decoders drawing what zentraq-cli makes
 * for them, and lv_animimg playing a frame table of the tool's:
 *
 *   client gif EXPECTED W H BG [SLACK]       lv_gif with raw_gif (RAW)
 *   client png EXPECTED W H BG [SLACK]       lv_image with raw_png (RAW_ALPHA)
 *   client animimg EXPECTED W H BG N         lv_animimg of anim_frames at frame N
 *
 * The picture is drawn at 0,0 on a display of W x H painted BG (RRGGBB) and
 * compared with EXPECTED, W x H pixels of R, G, B bytes (the tool's own
 * decoding of the same frame, laid onto BG): every channel within SLACK
 * (default 0). Exit 0 when alike, 1 with the first difference. */
#include "zlh.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

extern const lv_image_dsc_t raw_gif;
extern const lv_image_dsc_t raw_png;
extern const void* anim_frames[];
extern const unsigned int anim_frame_count;

static int compare(const char* path, int32_t w, int32_t h, int slack) {
    FILE* f = fopen(path, "rb");
    if (!f) {
        fprintf(stderr, "cannot open %s\n", path);
        return 1;
    }
    size_t size = (size_t)w * (size_t)h * 3;
    unsigned char* expected = malloc(size + 1);
    size_t got = expected ? fread(expected, 1, size + 1, f) : 0;
    fclose(f);
    if (got != size) {
        fprintf(stderr, "%s holds %zu bytes, not the %zu of %dx%d pixels\n", path, got, size, (int)w,
                (int)h);
        free(expected);
        return 1;
    }
    for (int32_t y = 0; y < h; y++)
        for (int32_t x = 0; x < w; x++) {
            const uint32_t p = zlh_pixel(x, y);
            const unsigned char* e = expected + ((size_t)y * (size_t)w + (size_t)x) * 3;
            const int drawn[3] = {(int)(p >> 16 & 255), (int)(p >> 8 & 255), (int)(p & 255)};
            for (int k = 0; k < 3; k++)
                if (abs(drawn[k] - e[k]) > slack) {
                    fprintf(stderr, "(%d, %d): LVGL drew %06x, the tool %02x%02x%02x\n", (int)x,
                            (int)y, (unsigned)p, e[0], e[1], e[2]);
                    free(expected);
                    return 1;
                }
        }
    free(expected);
    return 0;
}

int main(int argc, char** argv) {
    if (argc < 6) {
        fprintf(stderr, "usage: %s gif|png|animimg EXPECTED W H BG [SLACK|N]\n", argv[0]);
        return 2;
    }
    const char* what = argv[1];
    const int32_t w = atoi(argv[3]), h = atoi(argv[4]);
    const uint32_t bg = (uint32_t)strtoul(argv[5], NULL, 16);
    const int extra = argc > 6 ? atoi(argv[6]) : 0;
    if (zlh_open(w, h) != 0)
        return 1;
    zlh_clear(bg);
    lv_obj_t* obj = NULL;
    if (strcmp(what, "gif") == 0) {
        obj = lv_gif_create(lv_screen_active());
        lv_gif_set_src(obj, &raw_gif);
    } else if (strcmp(what, "png") == 0) {
        obj = lv_image_create(lv_screen_active());
        lv_image_set_src(obj, &raw_png);
    } else if (strcmp(what, "animimg") == 0) {
        /* A second a frame, and time moved on to the middle of frame N. */
        obj = lv_animimg_create(lv_screen_active());
        lv_animimg_set_src(obj, anim_frames, anim_frame_count);
        lv_animimg_set_duration(obj, anim_frame_count * 1000);
        lv_animimg_set_repeat_count(obj, LV_ANIM_REPEAT_INFINITE);
        lv_animimg_start(obj);
        lv_timer_handler();
        for (int t = 0; t < extra * 1000 + 500; t += 10) {
            lv_tick_inc(10);
            lv_timer_handler();
        }
    } else {
        fprintf(stderr, "unknown check %s\n", what);
        return 2;
    }
    lv_obj_set_pos(obj, 0, 0);
    zlh_render();
    return compare(argv[2], w, h, strcmp(what, "animimg") == 0 ? 0 : extra);
}
