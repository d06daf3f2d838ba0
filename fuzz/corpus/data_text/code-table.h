const uint32_t font_codes[2] = {
0x00004E2D,0x00000041,
};
