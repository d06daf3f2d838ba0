#pragma once

// The 6763 ideographs of GB2312 (rows 16 to 87), for sweeping the renderer
// over the whole set. The five unassigned codes at the end of row 55 decode
// to private-use characters and are left out.

#include <QStringDecoder>

#include <vector>

namespace zentraq::testing {

inline std::vector<char32_t> gb2312Ideographs() {
    QByteArray codes;
    for (int row = 0xB0; row <= 0xF7; ++row)
        for (int cell = 0xA1; cell <= 0xFE; ++cell)
            codes.append(static_cast<char>(row)).append(static_cast<char>(cell));
    std::vector<char32_t> out;
    for (const QChar c : QString(QStringDecoder("GB2312")(codes)))
        if (c.category() == QChar::Letter_Other)
            out.push_back(c.unicode());
    return out;
}

} // namespace zentraq::testing
