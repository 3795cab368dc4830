#include "platform/DrawSurface.h"

#include <QString>

#include "platform/QtFrameBuffer.h"

CPvImage::CPvImage() = default;
CPvImage::CPvImage(std::unique_ptr<Data> data) : m_pData(std::move(data)) {}
CPvImage::~CPvImage() = default;
CPvImage::CPvImage(CPvImage&&) noexcept = default;
CPvImage& CPvImage::operator=(CPvImage&&) noexcept = default;

bool CPvImage::IsNull() const {
    return m_pData == nullptr || m_pData->image.isNull();
}
int CPvImage::Width() const {
    return IsNull() ? 0 : m_pData->image.width();
}
int CPvImage::Height() const {
    return IsNull() ? 0 : m_pData->image.height();
}

CPvImage PvImageFromQImage(const QImage& image) {
    return CPvImage(std::make_unique<CPvImage::Data>(CPvImage::Data{image}));
}

namespace {

// Icons keep their mask as alpha; bitmaps are opaque, so that an exclusive-or
// copy of one changes colour bits only.
bool Load(const QString& path, QImage::Format format, CPvImage& image) {
    QImage loaded(path);
    if (loaded.isNull()) {
        image = CPvImage();
        return false;
    }
    image = PvImageFromQImage(loaded.convertToFormat(format));
    return true;
}

}  // namespace

bool PvLoadIcon(int id, CPvImage& image) {
    return Load(QStringLiteral(":/penvale/icons/%1.bmp").arg(id), QImage::Format_ARGB32_Premultiplied, image);
}

bool PvLoadBitmap(int id, CPvImage& image) {
    return Load(QStringLiteral(":/penvale/bitmaps/%1.bmp").arg(id), QImage::Format_RGB32, image);
}

std::unique_ptr<CPvPen> PvCreatePen(int style, int width, PvColor color) {
    // Only solid pens exist here; any other style cannot be created.
    if (style != kPvPenSolid) {
        return nullptr;
    }
    return std::make_unique<CPvPen>(CPvPen{style, width, color});
}
