// The font of several face groups: which faces the source keeps, the
// positions of the glyphs each gives, and what is said of the characters a
// group's face lacks.
#include "groupfont.h"
#include "support/faces.h"

#include <QtTest>

using namespace zentraq;

namespace {

class NoFiles : public font::SourceFiles {
public:
    bool exists(const QString&) const override { return false; }
    QByteArray read(const QString&) const override { return {}; }
    QString shown(const QString& name) const override { return name; }
};

// "0:ab 1:c": a group of face 0 choosing a and b, then one of face 1.
std::vector<font::GroupDrawing> groupsOf(const QString& written) {
    std::vector<font::GroupRequest> requests;
    std::vector<std::size_t> faces;
    for (const QString& group : written.split(u' ')) {
        faces.push_back(group.section(u':', 0, 0).toUInt());
        font::GroupRequest r;
        r.characters.symbols << group.section(u':', 1);
        r.face = group;
        requests.push_back(r);
    }
    std::vector<std::vector<font::PlacedCode>> placed = font::placeCharacters(requests, NoFiles());
    std::vector<font::GroupDrawing> groups;
    for (std::size_t g = 0; g < faces.size(); ++g)
        groups.push_back({faces[g], font::Autohint::Light, std::move(placed[g])});
    return groups;
}

} // namespace

class TestGroupFont : public QObject {
    Q_OBJECT

private slots:
    void source_data() {
        QTest::addColumn<QString>("groups");
        QTest::addColumn<QString>("source"); // each face kept: "FACE:POSITIONS"
        QTest::addColumn<int>("notes");
        QTest::addColumn<int>("missingLists");
        QTest::newRow("one face: all glyphs")
            << QStringLiteral("0:abc") << QStringLiteral("0:") << 0 << 1;
        QTest::newRow("two faces")
            << QStringLiteral("0:ab 1:cd") << QStringLiteral("0:0,1 1:2,3") << 0 << 2;
        QTest::newRow("interleaved codes")
            << QStringLiteral("0:ac 1:bd") << QStringLiteral("0:0,2 1:1,3") << 0 << 2;
        QTest::newRow("a face of two groups is one face")
            << QStringLiteral("0:a 1:b 0:c") << QStringLiteral("0:0,2 1:1") << 0 << 3;
        QTest::newRow("a face left with nothing is left out")
            << QStringLiteral("0:ab 1:c 0:c") << QStringLiteral("0:") << 0 << 2;
        QTest::newRow("the first face is kept though it gives nothing")
            << QStringLiteral("0:a 1:a") << QStringLiteral("0: 1:0") << 0 << 1;
        QTest::newRow("a face lacking a character is noted, once")
            << QStringLiteral("0:a中 1:b") << QStringLiteral("0:0 1:1") << 1 << 2;
    }
    void source() {
        QFETCH(QString, groups);
        QFETCH(QString, source);
        QFETCH(int, notes);
        QFETCH(int, missingLists);
        REQUIRE_FACE(sans, "DejaVu Sans");
        REQUIRE_FACE(serif, "DejaVu Serif");
        const std::vector<font::FaceGroup> faces{{sans.get(), QStringLiteral("sans"), {}, {}},
                                                 {serif.get(), QStringLiteral("serif"), {}, {}}};
        const std::vector<font::GroupDrawing> drawings = groupsOf(groups);
        QCOMPARE(int(font::groupsMissing(faces, drawings).size()), missingLists);

        QStringList said;
        const font::GroupFont made =
            font::drawGroups(faces, drawings, *font::fontWriterNamed(u"lvgl"), {},
                             [&said](const QString& note) { said << note; });
        QCOMPARE(said.size(), notes);
        QCOMPARE(made.source.set, made.set.get());
        QStringList kept;
        for (const font::FaceGroup& f : made.source.faces) {
            QStringList positions;
            for (const std::uint32_t p : f.glyphs)
                positions << QString::number(p);
            kept << QStringLiteral("%1:%2")
                        .arg(f.face == sans.get() ? 0 : 1)
                        .arg(positions.join(u','));
        }
        QCOMPARE(kept.join(u' '), source);
    }
};

QTEST_GUILESS_MAIN(TestGroupFont)
#include "test_group_font.moc"
