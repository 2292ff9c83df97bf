// An image in premultiplied ARGB32 (one uint32 per pixel, alpha in the top byte), rows packed.
// Skins, off-screen images and the frames' back buffers are all of this kind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/CGeometry.h"

class CBitmap {
  public:
    CBitmap(int width, int height);  // fully transparent

    // Decodes a PNG held in memory; nullptr when it is not a readable PNG.
    static std::shared_ptr<CBitmap> fromPng(const unsigned char* data, std::size_t size);
    static std::shared_ptr<CBitmap> fromPngFile(const std::string& path);
    // Resource `number` of type "PNG" of the module; nullptr when there is none. The pixels are
    // shared with every other holder of the same resource in the process, so they are only read.
    static std::shared_ptr<CBitmap> fromResource(int number);
    // The same image drawn at `factor` (2 or 3) times the resolution, shared in the same way;
    // nullptr when the module has none.
    static std::shared_ptr<CBitmap> renditionFromResource(int number, int factor);
    // The resource this image was decoded from, 0 for an image made otherwise.
    int getResourceNumber() const { return resourceNumber; }
    // Pixels per layout pixel: an image drawn at a scale above 1 (a view's cached picture) is
    // drawn back at that scale, not stretched. 1 for every other image.
    void setDensity(double d) { density = d > 0.0 ? d : 1.0; }
    double getDensity() const { return density; }

    int getWidth() const { return width; }
    int getHeight() const { return height; }
    std::uint32_t* pixels() { return data.data(); }
    const std::uint32_t* pixels() const { return data.data(); }
    std::uint32_t pixel(int x, int y) const { return data[std::size_t(y) * width + x]; }
    // Straight (not premultiplied) colour of one pixel.
    CColor color(int x, int y) const;

    void fill(CColor c);
    bool writePng(const std::string& path) const;
    // The PNG bytes of this image.
    std::vector<unsigned char> encodePng() const;

  private:
    static std::shared_ptr<CBitmap> shared(int number, int factor);

    int resourceNumber = 0;
    double density = 1.0;
    int width;
    int height;
    std::vector<std::uint32_t> data;
};

std::uint32_t premultiply(CColor c);
