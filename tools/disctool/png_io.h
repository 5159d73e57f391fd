// PNG pictures to and from the runtime's pixel blocks: 4 bytes per pixel
// (blue, green, red, and a byte that drawing ignores), rows top to bottom.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace disctool {

struct Picture {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> bgra;  // blue, green, red, alpha per pixel
    bool hasAlpha = false;      // some pixel is not fully opaque
};

// Any colour type and bit depth libpng reads; false with the reason in *error.
bool ReadPng(const std::string& path, Picture* picture, std::string* error);
// Writes an opaque RGB picture from a pixel block (the fourth byte is dropped).
bool WritePng(const std::string& path, uint32_t width, uint32_t height, const uint8_t* bgrx, std::string* error);

// Blends a picture onto a block of the same size by its alpha; the result's
// fourth bytes are 0.
void Composite(const Picture& picture, std::vector<uint8_t>* block);

}  // namespace disctool
