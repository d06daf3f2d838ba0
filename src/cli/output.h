#pragma once

// Where results go: standard output, or a file that appears only once it is
// complete. A file result is written under a temporary name in the target's
// folder and renamed over the target at the end, so a failure (or an
// interrupt) never leaves a partial file behind and an existing file is
// either kept as it was or replaced whole.

#include "formatter.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>

namespace zentraq::cli {

// A byte sink. write() throws CliError (Failure) naming the destination when
// the bytes cannot be written.
class Sink : public core::ByteSink {
public:
    using core::ByteSink::write;
    // Bytes with data() and size(): std::string, std::string_view,
    // QByteArray.
    template <class Bytes, class = decltype(std::declval<const Bytes&>().data() +
                                            std::declval<const Bytes&>().size())>
    void write(const Bytes& bytes) {
        write(bytes.data(), static_cast<long long>(bytes.size()));
    }
};

// Standard output, written unbuffered in the pieces it is given.
class StdoutSink : public Sink {
public:
    using Sink::write;
    void write(const char* data, long long size) override;
};

// The result file OUT, named by its bytes as the system takes them. Nothing
// exists under OUT's name until commit().
//
// OUT is written in place only when it is (or its links lead to) a character
// device, a pipe or a socket: those cannot be replaced by renaming, and must
// not be. Anything else is replaced whole: a link, or a chain of links, is
// followed to its last target, which receives the result while the links
// stay links. A folder or a block device is refused, and so is a file its
// owner made read-only.
class OutputFile : public Sink {
public:
    explicit OutputFile(std::string target);
    ~OutputFile() override; // removes the temporary file unless committed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    using Sink::write;
    void write(const char* data, long long size) override;

    // Writes out what is buffered and closes the file, with the permission
    // bits OUT had (without set-user-ID and set-group-ID), or the usual ones
    // for a new file, its data synced to the disk. commit() does it when it
    // has not been done.
    void finish();

    // Puts the file in place under OUT's name: renamed over OUT, and the
    // folder synced, so that a crash at any moment leaves the old file or the
    // whole new one. With `keepUnchanged`, a file OUT that holds the same
    // bytes already stays as it is (its time too), and the new one is
    // dropped.
    void commit(bool keepUnchanged = false);

private:
    void openInPlace(struct stat st);
    void openTemporary();
    void writeOut(const char* data, long long size);
    [[noreturn]] void fail(const std::string& what);
    [[noreturn]] void failErrno(int error);

    std::string m_name;   // OUT as given
    std::string m_target; // where the result ends up; empty: written in place
    std::string m_temp;   // the temporary file
    std::string m_folder; // the folder of both
    unsigned m_mode = 0;  // the permission bits it gets
    int m_fd = -1;
    std::string m_buffer;
    bool m_committed = false;
    bool m_finished = false;
};

// What --depfile and --keep-unchanged ask of a file result.
struct ResultFiles {
    std::string depfile;        // the depfile to write; empty: none
    bool keepUnchanged = false; // OUT keeps its time when its bytes stay the same
};

// Where a result goes: the file OUT, or standard output when OUT is empty or
// "-". Binary results are not written to a terminal (CliError, Usage). With
// a depfile the depfile is opened here too, so that one that cannot be
// written fails the command before any work.
class Destination {
public:
    Destination(std::string output, bool binary, const ResultFiles& files = {});
    Sink& sink() { return m_file ? static_cast<Sink&>(*m_file) : m_stdout; }
    // Puts a file result in place, and first its depfile, which names OUT
    // and `inputs`, the files the result was made from. Nothing to do for
    // standard output.
    void commit(const std::vector<std::string>& inputs);

private:
    std::string m_output;
    bool m_keepUnchanged = false;
    std::unique_ptr<OutputFile> m_file;
    std::unique_ptr<OutputFile> m_depfile;
    StdoutSink m_stdout;
};

// The steps of replacing a result file, in order.
enum class OutputStep {
    TemporaryCreated, // the hidden file exists, its name not yet registered
    DataWritten,      // all data written, not yet synced
    DataSynced,
    Renamed, // the result is in place under OUT's name
    FolderSynced,
};

// Called after each step when set: for tests that interrupt the tool at each
// of them.
extern void (*outputStepHook)(OutputStep step);

// Removes the temporary files of OutputFile when the process is interrupted
// (SIGINT, SIGTERM, SIGHUP), and makes a closed pipe on standard output an
// ordinary write error. Call once at start.
void installInterruptCleanup();

} // namespace zentraq::cli
