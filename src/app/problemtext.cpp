#include "problemtext.h"

#include "numbertext.h"
#include "pictureerror.h"
#include "runtime_error.h"

#include <cstring>
#include <new>

namespace zentraq {
namespace {

using Kind = metafile::Problem::Kind;

// What is wrong with a metafile, in the window's words, without the file's
// name.
QString metafileWords(const metafile::Problem& p) {
    const auto n = [&p](std::size_t i) { return QString::number(p.n[i]); };
    switch (p.kind) {
    case Kind::NotAMetafile:
        return QStringLiteral("不是元文件");
    case Kind::HeaderCutShort:
        return QStringLiteral("元文件不完整（文件只有 %1 字节，放不下 %2 字节的文件头）")
            .arg(n(0), n(1));
    case Kind::CutShort:
        return QStringLiteral("元文件不完整（文件只有 %1 字节，元文件头说有 %2 字节）")
            .arg(n(0), n(1));
    case Kind::NoUnitsPerInch:
        return QStringLiteral("元文件头无效：每英寸单位数为 0");
    case Kind::BadWmfHeader:
        return QStringLiteral("元文件头无效（类型 %1，文件头 %2 字，版本 0x%3）")
            .arg(n(0), n(1), QString::number(p.n[2], 16));
    case Kind::WmfSizeBelowHeader:
        return QStringLiteral("元文件头无效：元文件大小 %1 字放不下文件头").arg(n(0));
    case Kind::NoEndRecord:
        return QStringLiteral("元文件不完整：第 %1 个记录之后没有结束记录").arg(n(0));
    case Kind::WmfRecordPastEnd:
        return QStringLiteral(
                   "元文件记录无效：第 %1 个记录（位置 %2）长 %3 字，超出元文件的 %4 字节")
            .arg(n(0), n(1), n(2), n(3));
    case Kind::WmfRecordTooLong:
        return QStringLiteral("元文件头不符：第 %1 个记录长 %2 字，文件头说最长的记录只有 %3 字")
            .arg(n(0), n(1), n(2));
    case Kind::NoSize:
        return QStringLiteral(
            "元文件没有给出图片尺寸（没有可放置文件头，绘图之前也没有窗口范围记录）");
    case Kind::BadEmfHeaderSize:
        return QStringLiteral("元文件头无效：文件头长 %1 字节").arg(n(0));
    case Kind::EmptyFrame:
        return QStringLiteral("元文件头无效：图框 (%1,%2)-(%3,%4) 是空的")
            .arg(n(0), n(1), n(2), n(3));
    case Kind::NoReferenceDevice:
        return QStringLiteral("元文件头无效：参考设备 %1*%2 像素、%3*%4 毫米")
            .arg(n(0), n(1), n(2), n(3));
    case Kind::EmfRecordPastEnd:
        return QStringLiteral(
                   "元文件记录无效：第 %1 个记录（位置 %2）长 %3 字节，超出元文件的 %4 字节")
            .arg(n(0), n(1), n(2), n(3));
    case Kind::NoHeaderFirst:
        return QStringLiteral("元文件记录无效：第 %1 个记录（位置 %2）不是文件头").arg(n(0), n(1));
    case Kind::SecondHeader:
        return QStringLiteral("元文件记录无效：第 %1 个记录（位置 %2）是第二个文件头")
            .arg(n(0), n(1));
    case Kind::WrongRecordCount:
        return QStringLiteral("元文件头不符：文件头说有 %1 个记录，实有 %2 个").arg(n(0), n(1));
    case Kind::BelowAPixel:
        return QStringLiteral("图片尺寸 %1*%2（按每英寸 96 像素）画不出整像素")
            .arg(SingleText(p.width), SingleText(p.height));
    case Kind::InputUnreadable:
        return QStringLiteral("元文件转换程序无法读取元文件");
    case Kind::EmfUnreadable:
        return QStringLiteral("元文件已损坏：转换程序读不懂其中的记录");
    case Kind::SvgUndrawable:
        return QStringLiteral("元文件转换成的 SVG 无法绘制");
    case Kind::WindowOutOfRange:
        return QStringLiteral("元文件的窗口 (%1,%2) 起 %3*%4 超出了记录能写下的坐标范围")
            .arg(n(0), n(1), n(2), n(3));
    case Kind::WindowEmpty:
        return QStringLiteral("元文件的窗口在设备坐标里是空的");
    case Kind::WindowNotPlayed:
        return QStringLiteral("元文件的窗口没有被播放");
    case Kind::PlayerNoMemory:
        return QStringLiteral("播放元文件时内存不足");
    case Kind::PlayerCutShort:
        return QStringLiteral("元文件不完整：记录在文件结束之前没有读完");
    case Kind::PlayerUnreadable:
        return QStringLiteral("元文件已损坏：播放器读不懂其中的记录");
    case Kind::PlayerFailed:
        return QStringLiteral("元文件无法播放（错误 %1）").arg(n(0));
    case Kind::TooManyBytes:
        return QStringLiteral("元文件过大（超过 %1 字节）").arg(n(0));
    case Kind::NoMemoryFile:
        return QStringLiteral("无法载入元文件：%1").arg(p.reason);
    case Kind::ConverterMissing:
        return QStringLiteral("无法载入元文件：找不到元文件转换程序 %1").arg(p.program);
    case Kind::ConverterNotStarted:
        return QStringLiteral("无法运行元文件转换程序 %1：%2").arg(p.program, p.reason);
    case Kind::TimedOut:
        return QStringLiteral("元文件在 %1 秒内没有画完").arg(DoubleText(p.n[0] / 1000.0));
    case Kind::ConverterCrashed:
        return QStringLiteral("元文件转换程序异常结束（信号 %1：%2）")
            .arg(n(0), QString::fromLocal8Bit(strsignal(int(p.n[0]))));
    case Kind::ConverterFailed:
        return QStringLiteral("元文件转换程序异常结束（退出码 %1）").arg(n(0));
    case Kind::ConverterNoMemory:
        if (p.n[0] <= 0)
            return QStringLiteral("元文件转换程序播放记录时内存不足");
        return QStringLiteral("元文件转换程序播放记录时用尽了 %1 MiB 的内存限制")
            .arg(QString::number((p.n[0] + (1 << 19)) >> 20));
    case Kind::AnswerCutShort:
        return QStringLiteral("元文件转换程序的输出不完整");
    case Kind::AnswerWrong:
        return QStringLiteral("元文件转换程序的输出无效");
    }
    return QStringLiteral("元文件无法载入");
}

// A metafile that cannot be drawn: "无效图片：WHAT：FILE", except for the
// converter's own troubles, which are the program's and do not blame the
// picture.
QString metafileText(const metafile::Problem& p, const QString& file) {
    if (p.converterNotRun())
        return metafileWords(p);
    return QStringLiteral("无效图片：%2：%1").arg(file, metafileWords(p));
}

} // namespace

QString problemText(const std::exception& e) {
    if (dynamic_cast<const std::bad_alloc*>(&e))
        return QStringLiteral("内存不足");
    if (const auto* picture = dynamic_cast<const rgbqumo::PictureError*>(&e);
        picture && picture->metafile)
        return metafileText(*picture->metafile, QString::fromUtf8(picture->what()));
    if (const auto* runtime = dynamic_cast<const RuntimeError*>(&e)) {
        if (runtime->code() == RuntimeError::OutOfMemory)
            return QStringLiteral("内存不足");
        return QString::fromUtf8(runtime->what());
    }
    return QString::fromLocal8Bit(e.what());
}

} // namespace zentraq
