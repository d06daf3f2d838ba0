/* The README's LVGL 9 example, as it is written there. */
#include "lvgl.h"

LV_FONT_DECLARE(font_dejavu_16);

void show_temperature(void)
{
    lv_obj_t * label = lv_label_create(lv_screen_active());
    lv_obj_set_style_text_font(label, &font_dejavu_16, 0);
    lv_label_set_text(label, "Outside: 21.5 °C");
}
