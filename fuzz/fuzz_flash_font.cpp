// Flash font images as the firmware's runtime reads them (zt_flash_image.c,
// the part of the LVGL runtime that parses the image): any bytes as an
// image. Besides the sanitizers, checks that no read reaches past the size
// the image claims, that every buffer is written within the size the header
// gives it (each is allocated to exactly that size), and that a glyph the
// index finds has the id its code leads to again.
#include "zt_flash_image.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

struct Source {
    const std::uint8_t* data;
    std::size_t size;
    std::uint64_t claimed;
};

bool readSource(void* user, std::uint32_t offset, void* buf, std::uint32_t len) {
    const Source& s = *static_cast<const Source*>(user);
    if (std::uint64_t(offset) + len > s.claimed)
        __builtin_trap();
    if (std::uint64_t(offset) + len > s.size)
        return false;
    std::memcpy(buf, s.data + offset, len);
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The size the image claims; the header is read before it is known.
    Source s{data, size, 0};
    if (size >= 12)
        s.claimed = std::uint64_t(data[8]) | std::uint64_t(data[9]) << 8 |
                    std::uint64_t(data[10]) << 16 | std::uint64_t(data[11]) << 24;
    s.claimed = std::max<std::uint64_t>(s.claimed, ZT_FLASH_HEADER_BYTES);
    zt_flash_image img;
    if (zt_flash_image_open(&img, readSource, &s, 0) != ZT_FLASH_OK)
        return 0;
    std::vector<zt_flash_span> index(img.span_count);
    if (zt_flash_image_load_index(&img, index.data()) != ZT_FLASH_OK)
        return 0;
    std::vector<std::uint8_t> scratch(zt_flash_image_scratch_bytes(&img));
    std::vector<std::uint8_t> decoded(img.max_decoded), stored(img.max_stored);

    // Codes at and around each span's ends and middle, each looked up with
    // the left class of the glyph found before it.
    std::vector<std::uint32_t> codes;
    for (const zt_flash_span& span : index) {
        for (const std::uint32_t c : {span.first, span.first + span.count / 2,
                                      span.first + span.count - 1, span.first + span.count})
            for (std::uint32_t d = 0; d < 3; ++d)
                codes.push_back(c + d - 1);
    }
    std::uint16_t left = 0;
    for (const std::uint32_t code : codes) {
        zt_flash_glyph g;
        std::int8_t kern = 0;
        const std::uint32_t id = zt_flash_image_find(&img, code, left, &g, &kern, scratch.data());
        if (!id) {
            left = 0;
            continue;
        }
        if (g.gid != id || g.box_w > img.max_w || g.box_h > img.max_h ||
            zt_flash_image_decoded_bytes(&img, &g) > img.max_decoded)
            __builtin_trap();
        zt_flash_image_bitmap(&img, &g, decoded.data(), img.max_decoded, stored.data(),
                              img.max_stored);
        zt_flash_image_advance(&img, g.adv_w, kern);
        left = g.left_class;
    }
    for (std::uint32_t id = 0; id <= img.glyph_count + 1 && id < 64; ++id) {
        zt_flash_glyph g;
        if (zt_flash_image_glyph(&img, id, &g, scratch.data()))
            zt_flash_image_bitmap(&img, &g, decoded.data(), img.max_decoded, stored.data(),
                                  img.max_stored);
    }
    return 0;
}
