#pragma once
// Scopes for what the surface borrows from its host while it draws, so that every
// borrow is given back on every path.
#include "platform/DrawSurface.h"
#include "platform/ViewHost.h"

// The paint bracket.
class CPaintScope {
public:
    explicit CPaintScope(IViewHost& host) : m_host(host) { m_host.BeginPaint(); }
    ~CPaintScope() { m_host.EndPaint(); }
    CPaintScope(const CPaintScope&) = delete;
    CPaintScope& operator=(const CPaintScope&) = delete;

private:
    IViewHost& m_host;
};

// A window surface over the client area; null when the host has none to give.
class CClientDC {
public:
    explicit CClientDC(IViewHost& host) : m_host(host), m_pSurface(host.GetDC()) {}
    ~CClientDC() {
        if (m_pSurface != nullptr) {
            m_host.ReleaseDC(m_pSurface);
        }
    }
    CClientDC(const CClientDC&) = delete;
    CClientDC& operator=(const CClientDC&) = delete;

    IDrawSurface* operator->() const { return m_pSurface; }
    IDrawSurface& operator*() const { return *m_pSurface; }
    explicit operator bool() const { return m_pSurface != nullptr; }

private:
    IViewHost& m_host;
    IDrawSurface* m_pSurface;
};

// A pen selected into a surface; the previous pen comes back at the end of the scope.
class CPenSelection {
public:
    CPenSelection(IDrawSurface& surface, const CPvPen* pen) : m_surface(surface), m_pPrevious(surface.SelectPen(pen)) {}
    ~CPenSelection() { m_surface.SelectPen(m_pPrevious); }
    CPenSelection(const CPenSelection&) = delete;
    CPenSelection& operator=(const CPenSelection&) = delete;

private:
    IDrawSurface& m_surface;
    const CPvPen* m_pPrevious;
};
