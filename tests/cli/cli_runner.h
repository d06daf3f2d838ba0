#pragma once

// Runs the zentraq-cli executable and collects what it did.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTest>

#include <functional>

#include <unistd.h>

namespace zentraq::testing {

struct CliRun {
    int exitCode = -1;
    bool crashed = false;
    QByteArray out;
    QString err;
};

// Runs `program` with `args` (the tool itself unless a shell stands in
// between); `childSetup` runs in the new process before the program starts.
inline CliRun runProgram(const QString& program, const QStringList& args, const QByteArray& input,
                         const std::function<void()>& childSetup) {
    QProcess p;
    if (childSetup)
        p.setChildProcessModifier(childSetup);
    p.start(program, args);
    CliRun r;
    if (!p.waitForStarted(30000))
        return r;
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(300000);
    r.crashed = p.exitStatus() != QProcess::NormalExit;
    r.exitCode = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

inline CliRun runCli(const QStringList& args, const QByteArray& input = {},
                     const std::function<void()>& childSetup = {}) {
    return runProgram(QStringLiteral(ZENTRAQ_CLI), args, input, childSetup);
}

// The tool with arguments that are bytes rather than text (names that are
// not UTF-8): a shell hands each over as printf makes it from octal escapes.
inline CliRun runCliBytes(const QList<QByteArray>& args) {
    QByteArray script = "exec \"$0\"";
    for (const QByteArray& arg : args) {
        script += " \"$(printf '";
        for (const char c : arg)
            script += '\\' + QByteArray::number(static_cast<unsigned char>(c), 8);
        script += "')\"";
    }
    return runProgram(
        QStringLiteral("/bin/sh"),
        {QStringLiteral("-c"), QString::fromLatin1(script), QStringLiteral(ZENTRAQ_CLI)}, {}, {});
}

// The names in a folder, hidden ones included, sorted.
inline QStringList listing(const QString& dir) {
    return QDir(dir).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// The columns of a table of refused command lines: the arguments, the exit
// status (2 for the command line, 1 for the work) and a part of the message.
inline void refusalColumns() {
    QTest::addColumn<QStringList>("rowArgs");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
}

inline void refusal(const char* name, const QStringList& args, int exitCode,
                    const QString& message) {
    QTest::newRow(name) << args << exitCode << message;
}

// Runs the tool on the current row of a refusal table, its arguments between
// `first` and `last` (in the folder `cwd` when one is given), and checks
// what every refusal does: its exit status, nothing on the standard output,
// one English line "zentraq-cli: ..." that holds the message and names each
// file it names once, and the folder `dir` as it was, with no file written
// and none left behind.
inline void expectRefusal(const QString& dir, const QString& cwd = {},
                          const QStringList& first = {}, const QStringList& last = {}) {
    QFETCH(QStringList, rowArgs);
    const QStringList args = first + rowArgs + last;
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    const QStringList before = listing(dir);
    const QByteArray into = QFile::encodeName(cwd);
    const CliRun r = runCli(args, {}, [into] {
        if (!into.isEmpty() && ::chdir(into.constData()) != 0)
            ::_exit(125);
    });
    QVERIFY(!r.crashed);
    QCOMPARE(r.exitCode, exitCode);
    QCOMPARE(r.out, QByteArray());
    QVERIFY2(r.err.startsWith(QStringLiteral("zentraq-cli: ")), qPrintable(r.err));
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QCOMPARE(r.err.count(u'\n'), 1);
    QVERIFY(r.err.endsWith(u'\n'));
    for (const QChar c : r.err)
        QVERIFY2(c.unicode() < 0x2E80, qPrintable(r.err));
    for (const QString& arg : args)
        if (arg.startsWith(dir) && r.err.contains(arg))
            QCOMPARE(r.err.count(arg), 1);
    QCOMPARE(listing(dir), before);
}

// A whole file, or a marker that cannot be mistaken for data.
inline QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

inline bool writeFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

// Compiles the C `source` with cc (warnings as errors) in the folder `dir`
// together with a main() of `mainBody` (which has <stdio.h>), runs it and
// returns what it printed. Empty with `error` set when there is no compiler
// or it complained.
inline QByteArray compileAndRun(const QString& dir, const QByteArray& source,
                                const QByteArray& mainBody, QString* error) {
    const QString cc = QStandardPaths::findExecutable(QStringLiteral("cc"));
    if (cc.isEmpty()) {
        *error = QStringLiteral("no cc");
        return {};
    }
    const QString file = QDir(dir).filePath(QStringLiteral("data.c"));
    const QString exe = QDir(dir).filePath(QStringLiteral("data"));
    if (!writeFile(file, source + "\n#include <stdio.h>\nint main(void) {\n" + mainBody +
                             "\n    return 0;\n}\n")) {
        *error = QStringLiteral("cannot write ") + file;
        return {};
    }
    QProcess compile;
    compile.start(cc, {"-Wall", "-Wextra", "-Werror", "-Wcomment", "-pedantic", file, "-o", exe});
    compile.waitForFinished(120000);
    if (compile.exitStatus() != QProcess::NormalExit || compile.exitCode() != 0) {
        *error = QString::fromUtf8(compile.readAllStandardError());
        return {};
    }
    QProcess run;
    run.start(exe, {});
    run.waitForFinished(30000);
    return run.readAllStandardOutput();
}

// A main() body that writes the bytes of the array `name`.
inline QByteArray dumpArray(const QByteArray& name) {
    return "    fwrite(" + name + ", 1, sizeof " + name + ", stdout);";
}

} // namespace zentraq::testing
