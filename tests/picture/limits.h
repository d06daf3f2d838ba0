#pragma once

// Conditions that the picture tests set up for a moment and take back again:
// a file that the test itself may not read, also when the tests run as root,
// and an address space too small for one more large picture.

#include <QFile>
#include <QString>

#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace zentraq::testing {

// While it lives, the calling thread obeys file permissions like any user:
// as root, the capabilities that let root read every file are lowered on
// this thread only, and raised again at the end.
class ObeyFilePermissions {
public:
    ObeyFilePermissions() {
        if (geteuid() != 0 || syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct lowered[2] = {m_saved[0], m_saved[1]};
        lowered[0].effective &= ~(CAP_TO_MASK(CAP_DAC_OVERRIDE) | CAP_TO_MASK(CAP_DAC_READ_SEARCH));
        m_lowered = syscall(SYS_capset, &m_header, lowered) == 0;
    }
    ~ObeyFilePermissions() {
        if (m_lowered)
            syscall(SYS_capset, &m_header, m_saved);
    }
    ObeyFilePermissions(const ObeyFilePermissions&) = delete;
    ObeyFilePermissions& operator=(const ObeyFilePermissions&) = delete;

    // Whether a file without read permission really cannot be read now.
    static bool holdsFor(const QString& path) {
        QFile f(path);
        return !f.open(QIODevice::ReadOnly);
    }

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
    bool m_lowered = false;
};

// While it lives, the process may map only `headroom` more bytes than it has
// mapped now; the old limit comes back at the end.
class AddressSpaceLimit {
public:
    explicit AddressSpaceLimit(qint64 headroom) {
        m_set = getrlimit(RLIMIT_AS, &m_old) == 0;
        QFile status(QStringLiteral("/proc/self/status"));
        qint64 mapped = -1;
        if (m_set && status.open(QIODevice::ReadOnly))
            for (const QByteArray& line : status.readAll().split('\n'))
                if (line.startsWith("VmSize:"))
                    mapped = line.mid(7).trimmed().split(' ').value(0).toLongLong() * 1024;
        rlimit lower = m_old;
        lower.rlim_cur = static_cast<rlim_t>(mapped + headroom);
        m_set = m_set && mapped > 0 && setrlimit(RLIMIT_AS, &lower) == 0;
    }
    ~AddressSpaceLimit() {
        if (m_set)
            setrlimit(RLIMIT_AS, &m_old);
    }
    AddressSpaceLimit(const AddressSpaceLimit&) = delete;
    AddressSpaceLimit& operator=(const AddressSpaceLimit&) = delete;

    bool active() const { return m_set; }

private:
    rlimit m_old{};
    bool m_set = false;
};

} // namespace zentraq::testing

// Under AddressSanitizer a failed allocation returns null, as it does without
// it, instead of ending the test.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}
#endif
