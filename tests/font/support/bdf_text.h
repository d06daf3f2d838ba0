#pragma once

// A BDF file's glyphs read straight from its text, for the checks of what
// the tool makes of the file: code, advance, box and ink.

#include <QByteArray>
#include <QList>

#include <map>
#include <set>
#include <utility>

namespace zentraq::testing {

struct BdfGlyph {
    int dwidth = 0;
    int w = 0, h = 0, x = 0, y = 0;    // BBX
    std::set<std::pair<int, int>> ink; // (column, row from the top)
};

inline std::map<unsigned, BdfGlyph> readBdfText(const QByteArray& text) {
    std::map<unsigned, BdfGlyph> glyphs;
    BdfGlyph g;
    unsigned code = 0;
    int row = -1;
    for (const QByteArray& line : text.split('\n')) {
        const QList<QByteArray> w = line.simplified().split(' ');
        if (row >= 0) {
            if (w[0] == "ENDCHAR") {
                glyphs[code] = g;
                row = -1;
                continue;
            }
            const int digits = int(w[0].size());
            const qulonglong bits = w[0].toULongLong(nullptr, 16);
            for (int x = 0; x < digits * 4; ++x)
                if ((bits >> (digits * 4 - 1 - x)) & 1)
                    g.ink.insert({x, row});
            ++row;
        } else if (w[0] == "STARTCHAR") {
            g = BdfGlyph();
        } else if (w[0] == "ENCODING") {
            code = w[1].toUInt();
        } else if (w[0] == "DWIDTH") {
            g.dwidth = w[1].toInt();
        } else if (w[0] == "BBX") {
            g.w = w[1].toInt();
            g.h = w[2].toInt();
            g.x = w[3].toInt();
            g.y = w[4].toInt();
        } else if (w[0] == "BITMAP") {
            row = 0;
        }
    }
    return glyphs;
}

} // namespace zentraq::testing
