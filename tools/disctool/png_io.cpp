#include "tools/disctool/png_io.h"

#include <png.h>

#include <cstring>

namespace disctool {

bool ReadPng(const std::string& path, Picture* picture, std::string* error) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        *error = image.message;
        return false;
    }
    image.format = PNG_FORMAT_BGRA;
    if (image.width == 0 || image.height == 0 || image.width > 16384 || image.height > 16384) {
        *error = "picture size " + std::to_string(image.width) + "x" + std::to_string(image.height) +
                 " is out of range";
        png_image_free(&image);
        return false;
    }
    picture->width = image.width;
    picture->height = image.height;
    picture->bgra.assign(size_t(image.width) * image.height * 4, 0);
    if (!png_image_finish_read(&image, nullptr, picture->bgra.data(), 0, nullptr)) {
        *error = image.message;
        png_image_free(&image);
        return false;
    }
    picture->hasAlpha = false;
    for (size_t i = 3; i < picture->bgra.size(); i += 4)
        if (picture->bgra[i] != 255) {
            picture->hasAlpha = true;
            break;
        }
    return true;
}

bool WritePng(const std::string& path, uint32_t width, uint32_t height, const uint8_t* bgrx, std::string* error) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = PNG_FORMAT_BGR;
    std::vector<uint8_t> bgr(size_t(width) * height * 3);
    for (size_t i = 0, n = size_t(width) * height; i < n; ++i) std::memcpy(&bgr[i * 3], &bgrx[i * 4], 3);
    if (!png_image_write_to_file(&image, path.c_str(), 0, bgr.data(), 0, nullptr)) {
        *error = image.message;
        return false;
    }
    return true;
}

void Composite(const Picture& picture, std::vector<uint8_t>* block) {
    block->resize(picture.bgra.size());
    for (size_t i = 0; i < picture.bgra.size(); i += 4) {
        const unsigned a = picture.bgra[i + 3];
        for (int k = 0; k < 3; ++k) {
            unsigned under = (*block)[i + k];
            (*block)[i + k] = uint8_t((picture.bgra[i + k] * a + under * (255 - a) + 127) / 255);
        }
        (*block)[i + 3] = 0;
    }
}

}  // namespace disctool
