#include "ui/gdi.h"

#include <utility>

namespace ui {

OffscreenSurface::~OffscreenSurface() { Release(); }

void OffscreenSurface::Release() {
    if (dc_) {
        ::SelectObject(dc_, previous_);
        ::DeleteDC(dc_);
    }
    dc_ = nullptr;
    previous_ = nullptr;
    bitmap_.Reset();
    width_ = height_ = 0;
}

bool OffscreenSurface::Create(HDC reference, int width, int height) {
    if (width <= 0 || height <= 0) return false;
    HDC dc = ::CreateCompatibleDC(reference);
    if (!dc) return false;
    Bitmap bitmap(::CreateCompatibleBitmap(reference, width, height));
    if (!bitmap) {
        ::DeleteDC(dc);
        return false;
    }
    Release();
    dc_ = dc;
    previous_ = ::SelectObject(dc_, bitmap.Get());
    bitmap_ = std::move(bitmap);
    width_ = width;
    height_ = height;
    return true;
}

bool OffscreenSurface::CopyTo(HDC target, int x, int y) const {
    return dc_ && ::BitBlt(target, x, y, width_, height_, dc_, 0, 0, SRCCOPY) != FALSE;
}

namespace {

// The header of a block of 32-bit pixels, rows top to bottom; false when
// bytes holds fewer than width x height of them.
bool PixelHeader(int width, int height, const uint8_t* bytes, size_t size, BITMAPINFOHEADER* header) {
    if (width <= 0 || height <= 0 || !bytes || size / 4 / size_t(width) < size_t(height)) return false;
    *header = {};
    header->biSize = sizeof *header;
    header->biWidth = width;
    header->biHeight = -height;  // rows top to bottom
    header->biPlanes = 1;
    header->biBitCount = 32;
    header->biCompression = BI_RGB;
    return true;
}

}  // namespace

bool DrawPixels(HDC dc, int x, int y, int width, int height, const uint8_t* bytes, size_t size) {
    BITMAPINFOHEADER header;
    if (!PixelHeader(width, height, bytes, size, &header)) return false;
    return ::SetDIBitsToDevice(dc, x, y, DWORD(width), DWORD(height), 0, 0, 0, UINT(height), bytes,
                               reinterpret_cast<const BITMAPINFO*>(&header), DIB_RGB_COLORS) != 0;
}

bool DrawPixels(HDC dc, int x, int y, int width, int height, int scale, const uint8_t* bytes, size_t size) {
    if (scale <= 1) return DrawPixels(dc, x, y, width, height, bytes, size);
    BITMAPINFOHEADER header;
    if (!PixelHeader(width, height, bytes, size, &header)) return false;
    int oldMode = ::SetStretchBltMode(dc, COLORONCOLOR);
    bool drawn = ::StretchDIBits(dc, x, y, width * scale, height * scale, 0, 0, width, height, bytes,
                                 reinterpret_cast<const BITMAPINFO*>(&header), DIB_RGB_COLORS, SRCCOPY) != 0;
    ::SetStretchBltMode(dc, oldMode);
    return drawn;
}

void FillColor(HDC dc, const RECT& rect, COLORREF color) {
    Brush brush(::CreateSolidBrush(color));
    ::FillRect(dc, &rect, brush);
}

}  // namespace ui
