#include "image_file.h"

#include <png.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace e2e {

namespace {

[[noreturn]] void fail(const char *what, const std::string &path, const png_image &png)
{
    throw std::runtime_error(std::string(what) + " " + path + ": " + png.message);
}

} // namespace

void writePng(const std::string &path, const Image &image)
{
    std::vector<png_byte> rgb;
    rgb.reserve(image.pixels.size() * 3);
    for (const std::uint32_t pixel : image.pixels) {
        rgb.push_back(static_cast<png_byte>(pixel >> 16));
        rgb.push_back(static_cast<png_byte>(pixel >> 8));
        rgb.push_back(static_cast<png_byte>(pixel));
    }
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&png, path.c_str(), 0, rgb.data(), 0, nullptr))
        fail("cannot write", path, png);
}

Image readPng(const std::string &path)
{
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str()))
        fail("cannot read", path, png);
    png.format = PNG_FORMAT_RGB;
    std::vector<png_byte> rgb(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, rgb.data(), 0, nullptr))
        fail("cannot read", path, png);
    Image image;
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    image.pixels.reserve(rgb.size() / 3);
    for (std::size_t i = 0; i + 2 < rgb.size(); i += 3)
        image.pixels.push_back(static_cast<std::uint32_t>(rgb[i]) << 16 |
                               static_cast<std::uint32_t>(rgb[i + 1]) << 8 | rgb[i + 2]);
    return image;
}

} // namespace e2e
