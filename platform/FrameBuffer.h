#pragma once
#include <memory>

#include "platform/DrawSurface.h"

// A window surface backed by a pixel framebuffer. The shell shows it on screen;
// tests read it pixel by pixel.
std::unique_ptr<IDrawSurface> PvCreateFrameBuffer(int width, int height);
