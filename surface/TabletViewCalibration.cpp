// Calibration of stylus units against pixels, and the tablet's orientation.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "link/PenSample.h"
#include "link/Protocol.h"
#include "platform/RawPoints.h"
#include "surface/TabletView.h"

namespace {

using pv::cmd::kOrientationEast;
using pv::cmd::kOrientationNorth;
using pv::cmd::kOrientationSouth;
using pv::cmd::kOrientationWest;

bool IsOrientation(int id) {
    return id == kOrientationNorth || id == kOrientationWest || id == kOrientationSouth ||
           id == kOrientationEast;
}

int Saturate(int64_t value) {
    return static_cast<int>(
        std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

}  // namespace

PvPoint CTabletView::Calibrate(PvPoint raw, PvPoint client) {
    const PvRect work = m_host.GetWorkArea();
    const PvRect rect = m_host.GetClientRect();

    if (!IsOrientation(m_nOrientation)) {
        m_bNeedCalibration = false;
        m_ptClientOffset = {0, work.top};
        return {-1, -1};
    }

    // A point on the left or top edge, or one that is not yet a whole raw unit per
    // pixel away from it, cannot measure the ratio. Such a calibration is dropped
    // whole, and the flag stays set so that the next pen event measures again.
    const int64_t screenY = int64_t{client.y} + work.top;
    if (client.x <= 0 || screenY <= 0) {
        return m_ptRawOrigin;
    }
    const int ratioX = raw.x / client.x;
    const int ratioY = Saturate(raw.y / screenY);
    if (ratioX <= 0 || ratioY <= 0) {
        return m_ptRawOrigin;
    }

    // Cleared before the Extent is written: a reconnection inside that write sets
    // it again, so the Extent is repeated at the next pen event.
    m_bNeedCalibration = false;

    // Whole raw units per pixel: the quotient is taken before the conversion.
    m_dRatioX = ratioX;
    m_dRatioY = ratioY;
    // The width comes from the work area, the height from the client area.
    const int deviceWidth = PvTruncate(work.right * m_dRatioX);
    const int deviceHeight = PvTruncate(rect.bottom * m_dRatioY);

    const bool upright = m_nOrientation == kOrientationNorth || m_nOrientation == kOrientationSouth;
    m_nTabletWidth = upright ? deviceWidth : deviceHeight;
    m_nTabletHeight = upright ? deviceHeight : deviceWidth;

    char extent[pv::protocol::kRecordLength + 1];
    const int length = pv::protocol::FormatExtent(extent, m_nTabletWidth, m_nTabletHeight);
    SendBytes(extent, length);

    // The raw y of the client area's top edge, in the slot of the number made from raw y.
    const int top = PvTruncate(m_dRatioY * work.top);
    m_ptClientOffset = {0, work.top};
    return upright ? PvPoint{0, top} : PvPoint{top, 0};
}

void CTabletView::SendPositions(const PvPoint* points, unsigned count) {
    // One write per batch, from a fixed buffer: a pen event costs one send.
    char batch[pv::protocol::kBatchBufferSize];
    count = std::min<unsigned>(count, pv::protocol::kMaxBatchPoints);
    int length = 0;
    if (IsOrientation(m_nOrientation)) {
        for (unsigned k = 0; k < count; ++k) {
            const PvPoint point = TabletPoint(points[k]);
            length += pv::protocol::FormatPosition(batch + pv::protocol::kRecordLength * k, point.x, point.y);
        }
    }
    SendBytes(batch, length);
}

PvPoint CTabletView::TabletPoint(PvPoint raw) const {
    const int64_t width = m_nTabletWidth;
    const int64_t height = m_nTabletHeight;
    const int64_t originX = m_ptRawOrigin.x;
    const int64_t originY = m_ptRawOrigin.y;
    const int64_t x = raw.x;
    const int64_t y = raw.y;
    int64_t first = 0;
    int64_t second = 0;
    switch (m_nOrientation) {
        case kOrientationNorth:
            first = x;
            second = y - originY;
            break;
        case kOrientationWest:
            first = y - originX;
            second = height - x;
            break;
        case kOrientationSouth:
            first = width - x;
            second = height - y + originY;
            break;
        default:  // East
            first = width - y + originX;
            second = x;
            break;
    }
    return {Saturate(first), Saturate(second)};
}

PvPoint CTabletView::RawToClient(PvPoint raw) const {
    // Calibration never stores a ratio of 0; a zero here would only come from
    // outside, and then the raw unit is taken as one pixel rather than dividing by it.
    const double ratioX = m_dRatioX != 0.0 ? m_dRatioX : 1.0;
    const double ratioY = m_dRatioY != 0.0 ? m_dRatioY : 1.0;
    return {Saturate(int64_t{PvTruncate(raw.x / ratioX)} - m_ptClientOffset.x),
            Saturate(int64_t{PvTruncate(raw.y / ratioY)} - m_ptClientOffset.y)};
}

void CTabletView::SetOrientation(int id) {
    m_host.CheckMenuItem(kOrientationNorth, false);
    m_host.CheckMenuItem(kOrientationWest, false);
    m_host.CheckMenuItem(kOrientationEast, false);
    m_host.CheckMenuItem(kOrientationSouth, false);
    m_host.CheckMenuItem(id, true);
    m_nOrientation = id;
    m_settings.WriteOrientation(id);
    // The desktop must learn the new extent before the next Position.
    m_bNeedCalibration = true;
}

void CTabletView::OnOrientationNorth() {
    SetOrientation(kOrientationNorth);
    m_host.InvalidateRect(true);
}
void CTabletView::OnOrientationWest() {
    SetOrientation(kOrientationWest);
    m_host.InvalidateRect(true);
}
void CTabletView::OnOrientationSouth() {
    SetOrientation(kOrientationSouth);
    m_host.InvalidateRect(true);
}
void CTabletView::OnOrientationEast() {
    SetOrientation(kOrientationEast);
    m_host.InvalidateRect(true);
}

void CTabletView::RotateOrientation() {
    switch (m_nOrientation) {
        case kOrientationNorth:
            SetOrientation(kOrientationWest);
            break;
        case kOrientationWest:
            SetOrientation(kOrientationSouth);
            break;
        case kOrientationSouth:
            SetOrientation(kOrientationEast);
            break;
        case kOrientationEast:
            SetOrientation(kOrientationNorth);
            break;
        default:
            break;
    }
    // The icon in the middle shows the orientation: repaint at once.
    m_host.InvalidateRect(true);
}

bool CTabletView::ReloadOrientation() {
    // The stored value is the authority, even if it was changed from outside.
    m_nOrientation = m_settings.Orientation();
    if (!s_bFirstPaint) {
        return false;
    }
    s_bFirstPaint = false;
    // Applying it sets the check mark and replaces a stored value that is none of the four.
    SetOrientation(IsOrientation(m_nOrientation) ? m_nOrientation : kOrientationNorth);
    return true;
}

int CTabletView::IconForOrientation(int id) {
    switch (id) {
        case kOrientationNorth:
            return pv::res::kIconNorth;
        case kOrientationWest:
            return pv::res::kIconWest;
        case kOrientationSouth:
            return pv::res::kIconSouth;
        case kOrientationEast:
            return pv::res::kIconEast;
        default:
            return 0;
    }
}

void CTabletView::OnPenSample(const PvPenSample& sample) {
    // The Extent goes first, measured on this sample as on a pen-down.
    if (m_bNeedCalibration) {
        m_ptRawOrigin = Calibrate(sample.raw, sample.client);
    }
    if (IsOrientation(m_nOrientation)) {
        pv::protocol::PenSample wire;
        wire.phase = sample.phase == PvPenSample::Phase::Touch   ? pv::protocol::PenPhase::Touch
                     : sample.phase == PvPenSample::Phase::Hover ? pv::protocol::PenPhase::Hover
                                                                 : pv::protocol::PenPhase::Out;
        const PvPoint point = TabletPoint(sample.raw);
        wire.x = point.x;
        wire.y = point.y;
        wire.pressure = sample.pressure;
        wire.tiltX = sample.tiltX;
        wire.tiltY = sample.tiltY;
        wire.buttons = static_cast<int>(sample.buttons);
        char record[pv::protocol::kPenRecordLength + 1];
        SendBytes(record, pv::protocol::FormatPenSample(record, wire));
    }
    // The ink of what the pen draws; a pen back in range starts a fresh page.
    const bool touching = sample.phase == PvPenSample::Phase::Touch;
    if (touching && !m_bPenSampleTouching) {
        if (!m_bPenSampleInRange) {
            ClearStrokes();
        }
        HideCursor();
        BeginStroke(sample.client);
    } else if (touching) {
        ExtendStroke(sample.client);
    }
    m_bPenSampleTouching = touching;
    m_bPenSampleInRange = sample.phase != PvPenSample::Phase::Out;
}
