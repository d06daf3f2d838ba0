#pragma once
// Random access to a picture file's bytes for the header checks that run
// before a decoder sees the file.

#include <QByteArray>
#include <QIODevice>

namespace zentraq::rgbqumo {

// The bytes of `device`, read where asked; reading past its end fails.
class FileBytes {
public:
    explicit FileBytes(QIODevice& device) : m_device(device), m_size(device.size()) {}

    qint64 size() const { return m_size; }

    bool read(qint64 offset, void* out, qint64 n) {
        if (offset < 0 || n < 0 || offset > m_size || n > m_size - offset)
            return false;
        return m_device.seek(offset) && m_device.read(static_cast<char*>(out), n) == n;
    }
    // The n bytes at offset, or nothing when they are not all there.
    QByteArray read(qint64 offset, qint64 n) {
        QByteArray out;
        if (offset < 0 || n < 0 || offset > m_size || n > m_size - offset)
            return out;
        out.resize(n);
        if (!read(offset, out.data(), n))
            out.clear();
        return out;
    }

private:
    QIODevice& m_device;
    qint64 m_size;
};

} // namespace zentraq::rgbqumo
