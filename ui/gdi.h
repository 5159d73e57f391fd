// Drawing helpers: GDI object and device-context owners, and the off-screen
// surface the menu and the wizard paint through to avoid flicker.
#pragma once

#include <windows.h>

#include <cstdint>

namespace ui {

// Owns one GDI object (bitmap, brush, pen, font) and deletes it at the end.
template <typename Handle>
class GdiObject {
public:
    GdiObject() = default;
    explicit GdiObject(Handle handle) : handle_(handle) {}
    ~GdiObject() { Reset(); }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    GdiObject(GdiObject&& other) noexcept : handle_(other.Detach()) {}
    GdiObject& operator=(GdiObject&& other) noexcept {
        if (this != &other) Attach(other.Detach());
        return *this;
    }

    Handle Get() const { return handle_; }
    operator Handle() const { return handle_; }
    void Attach(Handle handle) {
        Reset();
        handle_ = handle;
    }
    Handle Detach() {
        Handle h = handle_;
        handle_ = nullptr;
        return h;
    }
    void Reset() {
        if (handle_) ::DeleteObject(handle_);
        handle_ = nullptr;
    }

private:
    Handle handle_ = nullptr;
};

using Bitmap = GdiObject<HBITMAP>;
using Brush = GdiObject<HBRUSH>;
using Font = GdiObject<HFONT>;

// A memory device context with a bitmap compatible with a window's: paint
// into Dc(), then CopyTo() the window in one step.
class OffscreenSurface {
public:
    OffscreenSurface() = default;
    ~OffscreenSurface();
    OffscreenSurface(const OffscreenSurface&) = delete;
    OffscreenSurface& operator=(const OffscreenSurface&) = delete;

    bool Create(HDC reference, int width, int height);
    HDC Dc() const { return dc_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    bool CopyTo(HDC target, int x, int y) const;

private:
    void Release();
    HDC dc_ = nullptr;
    Bitmap bitmap_;
    HGDIOBJ previous_ = nullptr;
    int width_ = 0, height_ = 0;
};

// Draws width x height pixels of 4 bytes each (blue, green, red, unused),
// rows top to bottom, at (x, y). False when bytes holds fewer pixels.
bool DrawPixels(HDC dc, int x, int y, int width, int height, const uint8_t* bytes, size_t size);
// The same at a whole-number scale (each pixel a scale x scale block, nearest
// neighbour, so a picture stays sharp on a high-DPI screen).
bool DrawPixels(HDC dc, int x, int y, int width, int height, int scale, const uint8_t* bytes, size_t size);
// Fills a rectangle with one colour.
void FillColor(HDC dc, const RECT& rect, COLORREF color);

}  // namespace ui
