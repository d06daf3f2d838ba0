#include "frames.h"

#include "pictureloader.h"

#include <QBuffer>
#include <QImageReader>

namespace zentraq::rgbqumo {
namespace {

// Pictures Qt's readers give one after another (animated WebP, MNG, ...),
// and any other picture as one frame.
class QtFrames : public FrameSource {
public:
    QtFrames(const QByteArray& bytes, const QString& name) : m_bytes(bytes) {
        // The loader's checks and messages first: it reads the first picture.
        m_first = LoadPictureData(bytes, name).convertToFormat(QImage::Format_ARGB32);
        m_buffer.setData(m_bytes);
        m_buffer.open(QIODevice::ReadOnly);
        m_reader.setDevice(&m_buffer);
        m_reader.setAutoTransform(false);
        m_count = m_reader.supportsAnimation() ? std::max(1, m_reader.imageCount()) : 1;
        if (m_count > MaxFrames)
            throw FramesError(RuntimeError::InvalidPicture,
                              QStringLiteral("it has more than %1 frames").arg(MaxFrames));
        if (qint64(m_first.width()) * m_first.height() * m_count > MaxDecodedPixels)
            throw FramesError(RuntimeError::InvalidPicture,
                              QStringLiteral("its frames claim more than the %1 pixels the tool "
                                             "decodes together")
                                  .arg(MaxDecodedPixels));
    }

    QSize size() const override { return m_first.size(); }
    int count() const override { return m_count; }

    Frame next() override {
        if (m_next >= m_count)
            throw std::logic_error("no frame is left");
        const int n = m_next++;
        if (m_count == 1)
            return {m_first, 0};
        QImage picture;
        if (!m_reader.read(&picture) || picture.isNull())
            throw FramesError(RuntimeError::InvalidPicture,
                              QStringLiteral("its frame %1 cannot be decoded").arg(n));
        picture = picture.convertToFormat(QImage::Format_ARGB32);
        if (picture.size() != m_first.size())
            throw FramesError(RuntimeError::InvalidPicture,
                              QStringLiteral("its frame %1 is %2 x %3 pixels, its first %4 x %5: "
                                             "a frame table needs frames of one size")
                                  .arg(n)
                                  .arg(picture.width())
                                  .arg(picture.height())
                                  .arg(m_first.width())
                                  .arg(m_first.height()));
        picture.setDevicePixelRatio(1.0);
        return {picture, std::max(0, m_reader.nextImageDelay())};
    }

private:
    QByteArray m_bytes;
    QBuffer m_buffer;
    QImageReader m_reader;
    QImage m_first;
    int m_count = 1;
    int m_next = 0;
};

} // namespace

void checkFramePixels(QSize size, qint64 frames) {
    const qint64 pixels = qint64(size.width()) * size.height();
    if (size.isEmpty() || pixels > MaxFramePixels || pixels * frames > MaxFramePixels) {
        if (frames == 1)
            throw FramesError(RuntimeError::InvalidPicture,
                              QStringLiteral("its canvas of %1 x %2 pixels is more than the %3 "
                                             "pixels the tool decodes")
                                  .arg(size.width())
                                  .arg(size.height())
                                  .arg(MaxFramePixels));
        throw FramesError(RuntimeError::InvalidPicture,
                          QStringLiteral("its %1 frames of %2 x %3 pixels make %4 pixels, more "
                                         "than the %5 the tool converts at once")
                              .arg(frames)
                              .arg(size.width())
                              .arg(size.height())
                              .arg(pixels * frames)
                              .arg(MaxFramePixels));
    }
}

std::unique_ptr<FrameSource> openFrames(const QByteArray& bytes, const QString& name) {
    if (auto gif = openGifFrames(bytes))
        return gif;
    if (auto apng = openApngFrames(bytes, name))
        return apng;
    return std::make_unique<QtFrames>(bytes, name);
}

} // namespace zentraq::rgbqumo
