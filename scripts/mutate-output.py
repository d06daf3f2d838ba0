#!/usr/bin/env python3
"""Hand mutants of the code that writes and reads zentraq-cli's files.

Each mutant is one edit of src/cli/output.cpp or src/cli/input.cpp. For each,
the file is edited, the tool and its tests are rebuilt in build/release, and
the suites below run until one fails (the mutant is killed) or all pass (it
survived). The file is put back afterwards, also when the script is stopped.

    scripts/mutate-output.py            # every mutant
    scripts/mutate-output.py 3 7        # mutants 3 and 7

Needs a configured build/release. Run it niced: it rebuilds once per mutant.
"""
import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build", "release")
TARGETS = ["zentraq-cli", "zentraq-cli-stepped", "test_cli_output", "test_cli_files",
           "test_cli_picture", "test_cli_glyph"]
SUITES = ["tests/cli/test_cli_output", "tests/cli/test_cli_files", "tests/cli/test_cli_picture",
          "tests/cli/test_cli_glyph"]

OUT = "src/cli/output.cpp"
IN = "src/cli/input.cpp"

# (what the mutant does, file, text, replacement, which occurrence from 1)
MUTANTS = [
    ("temporary file created without holding the signals", OUT,
     "    const InterruptsHeld held;\n    m_fd = ::mkostemp", "    m_fd = ::mkostemp", 1),
    ("a failed rename ignored", OUT,
     "if (::rename(m_temp.constData(), m_target.constData()) != 0)",
     "if (::rename(m_temp.constData(), m_target.constData()) != 0 && false)", 1),
    ("data not synced before the rename", OUT,
     "::fchmod(m_fd, m_mode) != 0 || ::fsync(m_fd) != 0", "::fchmod(m_fd, m_mode) != 0", 1),
    ("folder not synced after the rename", OUT,
     "(::fsync(folder) != 0 && errno != EINVAL)", "false", 1),
    ("permission bits not set", OUT,
     "::fchmod(m_fd, m_mode) != 0 || ", "", 1),
    ("set-user-ID and set-group-ID bits kept", OUT,
     "m_mode = st.st_mode & 0777;", "m_mode = st.st_mode & 07777;", 1),
    ("a read-only file replaced", OUT, "if (!(st.st_mode & S_IWUSR))", "if (false)", 1),
    ("umask ignored for a new file", OUT,
     "m_mode = 0666 & ~currentUmask();", "m_mode = 0666 | (currentUmask() & 0);", 1),
    ("temporary file kept on failure", OUT,
     "        ::unlink(m_temp.constData());\n", "", 1),
    ("interrupt handler removes nothing", OUT,
     "::unlink(g_temporaries[i]);", "(void)g_temporaries[i];", 1),
    ("name not registered for the interrupt handler", OUT,
     "            g_used[i] = 1;", "            g_used[i] = 0;", 1),
    ("name left registered after the rename", OUT,
     "        unregisterTemporary(m_temp);\n        reached(OutputStep::Renamed);",
     "        reached(OutputStep::Renamed);", 1),
    ("last buffered block not written", OUT,
     "    writeOut(m_buffer.constData(), m_buffer.size());\n    m_buffer.clear();\n    if (m_temp",
     "    m_buffer.clear();\n    if (m_temp", 1),
    ("blocks flushed out of order", OUT,
     "    writeOut(m_buffer.constData(), m_buffer.size());\n    m_buffer.clear();\n    writeOut(data, size);",
     "    writeOut(data, size);\n    writeOut(m_buffer.constData(), m_buffer.size());\n    m_buffer.clear();", 1),
    ("links not followed", OUT, "hop < 40", "hop < 0", 1),
    ("a pipe replaced instead of written", OUT, "S_ISFIFO(mode) || ", "", 1),
    ("a folder's name taken for a file", OUT, "        if (S_ISDIR(st.st_mode))\n            fail(",
     "        if (false)\n            fail(", 1),
    ("a missing folder not reported as such", OUT, "if (!S_ISDIR(dir.st_mode))", "if (false)", 1),
    ("a full file system not reported", OUT,
     "    if (const int error = writeFully(m_fd, data, size))\n        failErrno(error);",
     "    writeFully(m_fd, data, size);", 1),
    ("binary data written to a terminal", OUT,
     "if (binary && standardOutputIsTerminal())",
     "if (binary && standardOutputIsTerminal() && false)", 1),
    ("an input of any size read", IN, "st.st_size > MaxInputBytes", "false", 1),
    ("endless input read on", IN, "if (bytes.size() > MaxInputBytes)", "if (false)", 1),
    ("a picture that is no file read", IN, "    if (!S_ISREG(st.st_mode))\n", "    if (false)\n", 1),
]


def run(cmd, **kw):
    return subprocess.run(cmd, cwd=ROOT, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                          **kw).returncode


def build():
    return run(["cmake", "--build", BUILD, "-j2", "--target", *TARGETS])


def killed():
    """The first suite that fails, or None."""
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    for suite in SUITES:
        if run([os.path.join(BUILD, suite)], env=env, timeout=900) != 0:
            return os.path.basename(suite)
    return None


def main():
    chosen = [int(a) for a in sys.argv[1:]] or list(range(1, len(MUTANTS) + 1))
    if build() != 0:
        sys.exit("mutate-output: the unchanged code does not build")
    results = []
    for n in chosen:
        what, path, old, new, occurrence = MUTANTS[n - 1]
        full = os.path.join(ROOT, path)
        original = open(full, encoding="utf-8").read()
        at = -1
        for _ in range(occurrence):
            at = original.find(old, at + 1)
        if at < 0:
            sys.exit(f"mutate-output: mutant {n} ({what}) no longer applies to {path}")
        try:
            with open(full, "w", encoding="utf-8") as f:
                f.write(original[:at] + new + original[at + len(old):])
            if build() != 0:
                verdict = "does not build"
            else:
                suite = killed()
                verdict = f"killed by {suite}" if suite else "SURVIVED"
        finally:
            with open(full, "w", encoding="utf-8") as f:
                f.write(original)
        results.append((n, what, verdict))
        print(f"{n:3} {what}: {verdict}", flush=True)
    build()
    dead = sum(1 for r in results if r[2].startswith("killed"))
    print(f"mutate-output: {dead} of {len(results)} mutants killed")
    sys.exit(0 if dead == len(results) else 1)


if __name__ == "__main__":
    main()
