// The characters of a firmware's sources: C and C++ literals as a compiler's
// lexer reads them (prefixes, raw strings, escapes, what is not a literal),
// JSON and YAML string values, the source encodings, and the refusals with
// their file and line. (clang's raw lexer judges the LVGL tree in
// chars_from_clang.py.)
#include "fonterror.h"
#include "sourcechars.h"

#include <QTest>

using namespace zentraq::font;

class TestFontSourceChars : public QObject {
    Q_OBJECT

private slots:
    // C text and what its literals hold, decoded (controls stay in: the
    // character set leaves them out later); or, after "!", the start of the
    // refusal of what is left open, with the file and the line the literal
    // or comment starts on.
    void cLiterals_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("expected");
        const char* const rows[][3] = {
            {"prefixes", "a = \"x\" u8\"y\" L\"z\" u\"v\" U\"w\"; c = 'q';", "xyzvwq"},
            {"adjacent literals", "s = \"ab\"\n  \"cd\";", "abcd"},
            {"the source's own characters", "s = \"设置 Ü\";", "设置 Ü"},
            {"simple escapes", "s = \"\\n\\t\\\\\\\"\\'\\?\";", "\n\t\\\"'?"},
            {"octal", "s = \"\\101\\60\\1010\";", "A0A0"},
            {"hexadecimal bytes make UTF-8", "s = \"\\xE4\\xB8\\xAD\\x41\";", "中A"},
            {"a byte that starts no character", "s = \"\\xFF\\xE4\\xB8Z\";", "Z"},
            {"universal names", "s = \"\\u4E2D\\U0001F600\";", "中\U0001F600"},
            {"UTF-16 units make a pair", "s = u\"\\xD83D\\xDE00\\xD800\";", "\U0001F600"},
            {"wide units are code points", "s = L\"\\x4E2D\" U\"\\x110000\";", "中"},
            {"comments are not taken", "/* \"no\" */ s = \"a\"; // \"no\" 'x\n t = \"b\";", "ab"},
            {"a line comment runs on after a backslash", "// \"no\" \\\n \"no\"\ns = \"c\";", "c"},
            {"a literal runs on after a backslash", "s = \"a\\\nb\";", "ab"},
            {"include names are not taken",
             "#include \"font.h\"\n  #  include <a'b.h>\n#include_next \"x.h\"\n#define T \"t\"\n",
             "t"},
            {"an #error's apostrophe opens nothing", "#error don't\ns = \"e\";", "e"},
            {"raw strings in GNU C", "s = R\"(x)\";", "x"},
            {"raw strings in C++", "s = R\"x(a\\n\"b)\"\n)x\" u8R\"(c)\" LR\"(d)\";",
             "a\\n\"b)\"\ncd"},
            {"a raw string keeps its backslash line ends", "s = R\"(a\\\nb)\";", "a\\\nb"},
            {"identifiers ending in a prefix", "s = xL\"a\" LRx\"b\";", "ab"},
            {"digit separators", "n = 1'000'000; s = \"a\";", "a"},
            {"character literals of several", "c = 'ab'; d = L'\\x4E2D';", "ab中"},
            {"string left open", "a;\nb = \"open\n\"", "!f.c:2: a string literal is not closed"},
            {"character left open", "a;\n\nc = 'x;", "!f.c:3: a character literal is not closed"},
            {"open at the end", "s = \"open", "!f.c:1: a string literal is not closed"},
            {"comment left open", "a;\n/* open\n\n", "!f.c:2: a comment /* is not closed"},
            {"raw string left open", "s = R\"x(open)\";\n", "!f.c:1: a raw string is not closed"},
            {"raw delimiter", "s = R\"a b(x)a b\";", "!f.c:1: a raw string has no delimiter"}};
        for (const auto& [name, source, expected] : rows)
            QTest::newRow(name) << QString::fromUtf8(source) << QString::fromUtf8(expected);
    }
    void cLiterals() {
        QFETCH(QString, source);
        QFETCH(QString, expected);
        if (!expected.startsWith(u'!')) {
            QCOMPARE(zentraq::font::cLiterals(source, QStringLiteral("f.c")), expected);
            return;
        }
        try {
            zentraq::font::cLiterals(source, QStringLiteral("f.c"));
            QFAIL("not refused");
        } catch (const FontError& e) {
            QVERIFY2(e.message().startsWith(expected.mid(1)), qPrintable(e.message()));
        }
    }

    // String values, keys not, of JSON and YAML (lv_i18n's tables).
    void tables() {
        QCOMPARE(
            jsonStrings("{\"key\": \"值\", \"list\": [\"a\", 1, true, {\"k\": \"b\"}]}", "f.json"),
            QStringLiteral("值ab"));
        QCOMPARE(yamlStrings("en-GB:\n  hello: Hello\n  menu: [\"设置\", 'b']\n"
                             "zh-CN:\n  hello: 你好\n",
                             "f.yml"),
                 QStringLiteral("Hello设置b你好"));
        for (const auto& [text, yaml, message] :
             {std::tuple{"{\"a\": [1,\n 2,\n}", false, "f:3: not JSON"},
              std::tuple{"a: [b,\n  c\nd: e\n", true, "f:3: not YAML: end of sequence flow"},
              std::tuple{"a: b\n  c: d\n", true, "f:2: not YAML: illegal map value"}}) {
            try {
                yaml ? yamlStrings(QString::fromUtf8(text), "f")
                     : jsonStrings(QString::fromUtf8(text), "f");
                QFAIL(text);
            } catch (const FontError& e) {
                QVERIFY2(e.message().startsWith(QLatin1String(message)), qPrintable(e.message()));
            }
        }
    }

    // GBK and GB 18030 text as Keil saves it; bytes that are not of the
    // encoding stop the run on their line.
    void encodings() {
        // "中文" in GBK, on the second line.
        const QByteArray gbk("a\n\xD6\xD0\xCE\xC4\n");
        QCOMPARE(decodeSource(gbk, SourceEncoding::Gbk, "f"), QStringLiteral("a\n中文\n"));
        QCOMPARE(decodeSource(gbk, SourceEncoding::Gb18030, "f"), QStringLiteral("a\n中文\n"));
        // U+1F600 in GB 18030's four bytes.
        QCOMPARE(decodeSource("\x94\x39\xFC\x36", SourceEncoding::Gb18030, "f"),
                 QStringLiteral("\U0001F600"));
        QCOMPARE(decodeSource("\xEF\xBB\xBFok", SourceEncoding::Utf8, "f"), QStringLiteral("ok"));
        for (const auto& [bytes, encoding, line] :
             {std::tuple{QByteArray("a\nb\n\xD6\xD0"), SourceEncoding::Utf8, 3},
              std::tuple{QByteArray("ok\n\xE4\xB8\n"), SourceEncoding::Utf8, 2},
              std::tuple{QByteArray("a\n\xD6\x7F\n"), SourceEncoding::Gbk, 2}}) {
            try {
                decodeSource(bytes, encoding, "f.c");
                QFAIL("not refused");
            } catch (const FontError& e) {
                QVERIFY2(
                    e.message().startsWith(QStringLiteral("f.c:%1: bytes that are not ").arg(line)),
                    qPrintable(e.message()));
            }
        }
    }

    void kinds() {
        for (const auto& [name, kind] :
             {std::pair{"main.c", SourceKind::C}, std::pair{"ui/lang.H", SourceKind::C},
              std::pair{"app.cpp", SourceKind::Cpp}, std::pair{"sketch.ino", SourceKind::Cpp},
              std::pair{"t.hpp", SourceKind::Cpp}, std::pair{"zh.json", SourceKind::Json},
              std::pair{"en.yml", SourceKind::Yaml}, std::pair{"en.yaml", SourceKind::Yaml},
              std::pair{"menu.txt", SourceKind::Text}, std::pair{"Makefile", SourceKind::Text}})
            QCOMPARE(sourceKindOf(QString::fromUtf8(name)), kind);
    }
};

QTEST_GUILESS_MAIN(TestFontSourceChars)
#include "test_font_sourcechars.moc"
