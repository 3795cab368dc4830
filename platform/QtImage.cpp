#include "platform/QtImage.h"

QImage PvQImageView(const CPvFrameBuffer& frame) {
    if (frame.Width() == 0 || frame.Height() == 0) {
        return QImage();
    }
    return QImage(frame.Bits(), frame.Width(), frame.Height(), frame.BytesPerLine(), QImage::Format_RGB32);
}

QImage PvToQImage(const CPvImage& image) {
    if (image.IsNull()) {
        return QImage();
    }
    // The image's memory may go before the QImage does: copy it.
    return QImage(image.Bits(), image.Width(), image.Height(), image.BytesPerLine(), QImage::Format_ARGB32)
        .copy();
}
