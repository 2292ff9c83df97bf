#include "toolkit/CBitmap.h"

#include <png.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>

#include "resources/ResourceTable.h"

std::uint32_t premultiply(CColor c) {
    auto mul = [&](std::uint8_t v) { return std::uint32_t((v * c.alpha + 127) / 255); };
    return (std::uint32_t(c.alpha) << 24) | (mul(c.red) << 16) | (mul(c.green) << 8) | mul(c.blue);
}

CBitmap::CBitmap(int w, int h)
    : width(std::max(w, 0)), height(std::max(h, 0)), data(std::size_t(width) * height, 0u) {}

CColor CBitmap::color(int x, int y) const {
    std::uint32_t p = pixel(x, y);
    std::uint8_t a = p >> 24;
    if (a == 0)
        return {0, 0, 0, 0};
    auto un = [&](std::uint32_t v) {
        return std::uint8_t(std::min<std::uint32_t>(255, (v * 255 + a / 2) / a));
    };
    return {un((p >> 16) & 255), un((p >> 8) & 255), un(p & 255), a};
}

void CBitmap::fill(CColor c) {
    std::fill(data.begin(), data.end(), premultiply(c));
}

std::shared_ptr<CBitmap> CBitmap::fromPng(const unsigned char* bytes, std::size_t size) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes, size))
        return nullptr;
    // BGRA bytes are ARGB32 words on a little-endian machine.
    image.format = PNG_FORMAT_BGRA;
    auto bitmap = std::make_shared<CBitmap>(int(image.width), int(image.height));
    if (!png_image_finish_read(&image, nullptr, bitmap->pixels(), 0, nullptr)) {
        png_image_free(&image);
        return nullptr;
    }
    for (auto& p : bitmap->data) {
        std::uint32_t a = p >> 24;
        if (a == 255)
            continue;
        auto mul = [&](std::uint32_t v) { return (v * a + 127) / 255; };
        p = (a << 24) | (mul((p >> 16) & 255) << 16) | (mul((p >> 8) & 255) << 8) | mul(p & 255);
    }
    return bitmap;
}

std::shared_ptr<CBitmap> CBitmap::fromPngFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return nullptr;
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return fromPng(bytes.data(), bytes.size());
}

std::shared_ptr<CBitmap> CBitmap::fromResource(int number) {
    return shared(number, 1);
}

std::shared_ptr<CBitmap> CBitmap::renditionFromResource(int number, int factor) {
    return factor == 2 || factor == 3 ? shared(number, factor) : nullptr;
}

std::shared_ptr<CBitmap> CBitmap::shared(int number, int factor) {
    // Every instance in the process shows the same skins: one decoded copy serves them all for
    // as long as any of them holds it.
    static std::mutex mutex;
    static std::map<std::pair<int, int>, std::weak_ptr<CBitmap>> decoded;
    static const char* const kTypes[4] = {nullptr, "PNG", "PNG2X", "PNG3X"};
    std::lock_guard<std::mutex> lock(mutex);
    std::weak_ptr<CBitmap>& entry = decoded[{number, factor}];
    if (std::shared_ptr<CBitmap> held = entry.lock())
        return held;
    const unsigned char* bytes = nullptr;
    std::size_t size = 0;
    if (!findResource(number, kTypes[factor], &bytes, &size))
        return nullptr;
    std::shared_ptr<CBitmap> bitmap = fromPng(bytes, size);
    if (bitmap)
        bitmap->resourceNumber = number;
    entry = bitmap;
    return bitmap;
}

std::vector<unsigned char> CBitmap::encodePng() const {
    std::vector<std::uint32_t> straight(data.size());
    for (std::size_t i = 0; i < data.size(); ++i) {
        std::uint32_t p = data[i];
        std::uint32_t a = p >> 24;
        if (a == 0 || a == 255) {
            straight[i] = a == 0 ? 0 : p;
            continue;
        }
        auto un = [&](std::uint32_t v) { return std::min<std::uint32_t>(255, (v * 255 + a / 2) / a); };
        straight[i] = (a << 24) | (un((p >> 16) & 255) << 16) | (un((p >> 8) & 255) << 8) | un(p & 255);
    }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(width);
    image.height = png_uint_32(height);
    image.format = PNG_FORMAT_BGRA;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, straight.data(), 0, nullptr))
        return {};
    std::vector<unsigned char> out(size);
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, straight.data(), 0, nullptr))
        return {};
    out.resize(size);
    return out;
}

bool CBitmap::writePng(const std::string& path) const {
    std::vector<unsigned char> bytes = encodePng();
    if (bytes.empty())
        return false;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}
