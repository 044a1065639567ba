#include "platform/linux/png_encoder.h"

#include <png.h>

namespace velmor::platform {

namespace {

void append(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void noFlush(png_structp) {}

// libpng reports errors by jumping back here, so nothing with a destructor may live in
// this frame between the setjmp and the end.
bool write(png_structp png, png_infop info, std::vector<uint8_t>* out, const uint8_t* rgb, int width, int height) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, out, append, noFlush);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    // A screenshot is wanted now: the fastest compression is a fraction of the time of the
    // default and flat window contents compress well with it anyway.
    png_set_compression_level(png, 1);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_write_info(png, info);
    for (int row = 0; row < height; ++row)
        png_write_row(png, const_cast<png_bytep>(rgb + static_cast<size_t>(row) * width * 3));
    png_write_end(png, nullptr);
    return true;
}

}  // namespace

std::optional<std::vector<uint8_t>> encodePng(const std::vector<uint8_t>& rgb, int width, int height) {
    if (width <= 0 || height <= 0 || rgb.size() < static_cast<size_t>(width) * height * 3) return std::nullopt;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return std::nullopt;
    png_infop info = png_create_info_struct(png);
    std::vector<uint8_t> out;
    out.reserve(static_cast<size_t>(width) * height / 2);
    bool written = info && write(png, info, &out, rgb.data(), width, height);
    png_destroy_write_struct(&png, info ? &info : nullptr);
    if (!written) return std::nullopt;
    return out;
}

}  // namespace velmor::platform
