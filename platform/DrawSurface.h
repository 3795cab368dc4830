#pragma once
#include <cstdint>
#include <memory>

#include "platform/Types.h"

using PvColor = uint32_t;  // 0xRRGGBB
inline constexpr PvColor kPvBlack = 0x000000;
inline constexpr PvColor kPvWhite = 0xFFFFFF;

inline constexpr int kPvPenSolid = 0;

// An image loaded from the program's resources (an icon with its mask, or a bitmap).
class CPvImage {
public:
    CPvImage();
    struct Data;
    // Takes a loaded image over (the platform layer builds them).
    explicit CPvImage(std::unique_ptr<Data> data);
    ~CPvImage();
    CPvImage(CPvImage&&) noexcept;
    CPvImage& operator=(CPvImage&&) noexcept;

    bool IsNull() const;
    int Width() const;
    int Height() const;

    Data* GetData() const { return m_pData.get(); }

private:
    std::unique_ptr<Data> m_pData;
};

// Loads icon or bitmap resource id; returns false (and leaves image null) when it is missing.
bool PvLoadIcon(int id, CPvImage& image);
bool PvLoadBitmap(int id, CPvImage& image);

// A solid pen; creating it may fail (nullptr).
struct CPvPen {
    int style = kPvPenSolid;
    int width = 1;
    PvColor color = kPvBlack;
};
std::unique_ptr<CPvPen> PvCreatePen(int style, int width, PvColor color);

// A drawing surface over the whole client area of a window. A fresh one has a
// white background colour and a solid black 1-pixel default pen. Lines do not
// paint their end point. Everything is clipped to the client area.
class IDrawSurface {
public:
    virtual ~IDrawSurface() = default;
    virtual PvColor GetBkColor() const = 0;
    virtual void FillSolidRect(const PvRect& rect, PvColor color) = 0;
    // Selects pen (nullptr: the default pen) and returns the pen it replaces (nullptr: the default pen).
    virtual const CPvPen* SelectPen(const CPvPen* pen) = 0;
    virtual void MoveTo(PvPoint point) = 0;
    virtual void LineTo(PvPoint point) = 0;
    // Draws a 32 x 32 icon with its mask, top-left corner at topLeft.
    virtual void DrawIcon(PvPoint topLeft, const CPvImage& icon) = 0;
    // Destination becomes destination XOR source for width x height pixels taken from (0, 0) of source.
    virtual void XorCopy(PvPoint topLeft, int width, int height, const CPvImage& source) = 0;
};
