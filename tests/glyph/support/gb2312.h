#pragma once

// The 6763 ideographs of GB2312 (rows 16 to 87), decoded with the C
// library's converter, for sweeping the renderer over the whole set.

#include <iconv.h>

#include <vector>

namespace zentraq::testing {

inline std::vector<char32_t> gb2312Ideographs() {
    std::vector<char32_t> out;
    iconv_t cd = iconv_open("UTF-32LE", "GB2312");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return out;
    for (int row = 0xB0; row <= 0xF7; ++row) {
        for (int cell = 0xA1; cell <= 0xFE; ++cell) {
            char in[2] = {static_cast<char>(row), static_cast<char>(cell)};
            unsigned char bytes[4] = {};
            char* ip = in;
            char* op = reinterpret_cast<char*>(bytes);
            size_t il = sizeof in, ol = sizeof bytes;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            if (iconv(cd, &ip, &il, &op, &ol) != static_cast<size_t>(-1) && ol == 0)
                out.push_back(static_cast<char32_t>(bytes[0] | bytes[1] << 8 | bytes[2] << 16 | bytes[3] << 24));
        }
    }
    iconv_close(cd);
    return out;
}

} // namespace zentraq::testing
