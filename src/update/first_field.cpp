#include "first_field.h"

#include "runtime_error.h"

#include <QFile>
#include <QStringDecoder>

namespace zentraq::update {

namespace {

bool isLineEnd(char c) {
    return c == '\r' || c == '\n';
}

// Comma, double quote, space, CR and LF are single bytes in GB18030 and never
// occur inside a multi-byte character (trail bytes are 0x30 or above, and
// none of 0x30-0x39, 0x40-0x7E, 0x80-0xFE is one of them), so the field can
// be cut out of the raw bytes before decoding.
QByteArrayView cutFirstField(QByteArrayView s) {
    qsizetype i = 0;
    const qsizetype n = s.size();
    while (i < n && s[i] == ' ')
        ++i;
    qsizetype begin = i;
    qsizetype end;
    if (i < n && s[i] == '"') {
        begin = i + 1;
        end = begin;
        while (end < n && s[end] != '"' && !isLineEnd(s[end]))
            ++end;
    } else {
        end = begin;
        while (end < n && s[end] != ',' && !isLineEnd(s[end]))
            ++end;
    }
    while (begin < end && s[begin] == ' ')
        ++begin;
    while (end > begin && s[end - 1] == ' ')
        --end;
    return s.sliced(begin, end - begin);
}

} // namespace

QString firstField(QByteArrayView content) {
    // A version file saved by an editor as UTF-8 with a byte-order mark would
    // otherwise read as two Chinese characters in front of the version.
    if (content.startsWith("\xEF\xBB\xBF"))
        content = content.sliced(3);
    if (content.isEmpty())
        throw RuntimeError(RuntimeError::InputPastEndOfFile,
                           QStringLiteral("输入超出文件尾：版本文件是空的，读不到版本号"));

    const QByteArrayView field = cutFirstField(content);
    QStringDecoder decoder("GB18030", QStringDecoder::Flag::Stateless);
    if (!decoder.isValid())
        throw RuntimeError(RuntimeError::Other,
                           QStringLiteral("本系统不支持 GB18030 文字编码，无法读取版本文件"));
    QString text = decoder.decode(field);
    if (decoder.hasError())
        throw RuntimeError(RuntimeError::Other,
                           QStringLiteral("版本文件中的版本号含有无法识别的字符（不是有效的中文 "
                                          "GB18030 文本）"));
    return text;
}

QString readFirstField(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        const auto code = file.error() == QFileDevice::OpenError && !file.exists()
                              ? RuntimeError::FileNotFound
                              : RuntimeError::PathFileAccessError;
        throw RuntimeError(code,
                           QStringLiteral("无法打开版本文件 %1：%2").arg(path, file.errorString()));
    }
    const QByteArray content = file.read(kMaxVersionFileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        throw RuntimeError(RuntimeError::PathFileAccessError,
                           QStringLiteral("无法读取版本文件 %1：%2").arg(path, file.errorString()));
    // Only part of a larger file would be read, and its first field could lie
    // beyond that part: such a file is not read at all.
    if (content.size() > kMaxVersionFileBytes)
        throw RuntimeError(RuntimeError::Other,
                           QStringLiteral("版本文件 %1 超过 %2 字节，无法读取")
                               .arg(path, QString::number(kMaxVersionFileBytes)));
    return firstField(content);
}

} // namespace zentraq::update
