// Where temp.txt and v.txt go: beside the program in a build tree or a
// portable copy, in the user's data folder for an installation or a program
// folder the user cannot write.

#include "datafolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

enum class Layout { BuildTree, OtherEntryBeside, Installed, ReadOnly, Missing };

void touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
}

} // namespace

Q_DECLARE_METATYPE(Layout)

class DataFolderTest : public QObject {
    Q_OBJECT

private slots:
    void choice_data() {
        QTest::addColumn<Layout>("layout");
        QTest::addColumn<bool>("perUser");
        QTest::newRow("build tree") << Layout::BuildTree << false;
        QTest::newRow("portable copy beside another program's entry")
            << Layout::OtherEntryBeside << false;
        QTest::newRow("installed, bin beside share/applications") << Layout::Installed << true;
        QTest::newRow("read-only program folder") << Layout::ReadOnly << true;
        QTest::newRow("program folder gone") << Layout::Missing << true;
    }

    void choice() {
        QFETCH(Layout, layout);
        QFETCH(bool, perUser);
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString bin = root.filePath("prefix/bin");
        // Not there yet: created with its parents only when it is chosen.
        const QString user = root.filePath("home/.local/share/Zentraq");
        if (layout != Layout::Missing)
            QVERIFY(QDir().mkpath(bin));
        if (layout == Layout::OtherEntryBeside)
            touch(root.filePath("prefix/share/applications/org.example.Other.desktop"));
        if (layout == Layout::Installed)
            touch(root.filePath("prefix/share/applications/org.zentraq.Zentraq.desktop"));
        if (layout == Layout::ReadOnly) {
            QVERIFY(QFile::setPermissions(bin, QFile::ReadOwner | QFile::ExeOwner));
            QFile probe(bin + "/probe");
            if (probe.open(QIODevice::WriteOnly)) { // root writes regardless of permissions
                probe.remove();
                QFile::setPermissions(bin, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
                QSKIP("folder permissions do not bind this user");
            }
        }

        const QString chosen = zentraq::chooseDataFolder(bin, user);
        QFile::setPermissions(bin, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        QCOMPARE(chosen, perUser ? user : bin);
        QCOMPARE(QFileInfo(user).isDir(), perUser);
        QCOMPARE(zentraq::isInstalledCopy(bin), layout == Layout::Installed);
    }

    // An existing data folder is used as it is.
    void existingPerUserFolderKeepsItsFiles() {
        QTemporaryDir root;
        const QString bin = root.filePath("usr/bin");
        touch(root.filePath("usr/share/applications/org.zentraq.Zentraq.desktop"));
        QDir().mkpath(bin);
        const QString user = root.filePath("data");
        touch(user + "/v.txt");
        QCOMPARE(zentraq::chooseDataFolder(bin, user), user);
        QVERIFY(QFileInfo(user + "/v.txt").isFile());
        QVERIFY(!QFileInfo(bin + "/v.txt").exists());
    }
};

QTEST_GUILESS_MAIN(DataFolderTest)
#include "test_data_folder.moc"
