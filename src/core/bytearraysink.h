#pragma once

#include "formatter.h"

#include <QByteArray>

namespace zentraq::core {

// Collects everything in memory.
class ByteArraySink : public ByteSink {
public:
    void write(const char* data, long long size) override { bytes.append(data, size); }
    QByteArray bytes;
};

} // namespace zentraq::core
