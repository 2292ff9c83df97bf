// zornbeck screenshot: the editor's picture as a PNG, drawn by the module off-screen, no display.
#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "Cli.h"
#include "vst/ZornbeckExtensions.h"

namespace zb {

namespace {

const char* const kScreenshotHelp =
    "Usage: zornbeck screenshot OUT.png [--scale S] [--program N|NAME] [--param INDEX=VALUE]... [--module PATH]\n"
    "\n"
    "Asks the plug-in to draw its editor off-screen (no display needed) and writes the picture\n"
    "as an RGBA PNG of the editor's size.\n"
    "\n"
    "  --scale S            draw the editor at factor S (1 to 3; default 1), as a host on a\n"
    "                       high-density screen asks for it\n"
    "  --program N|NAME     factory program to show, by number or name\n"
    "  --param INDEX=VALUE  set a parameter (value 0..1) after the program; repeat for more\n"
    "  --module PATH        the plug-in module (default: Zornbeck.so beside this program)\n";

// Premultiplied ARGB32 to straight RGBA bytes.
void unpremultiply(const std::uint32_t* row, int width, std::vector<png_byte>& out) {
    out.resize(static_cast<std::size_t>(width) * 4);
    for (int x = 0; x < width; ++x) {
        const std::uint32_t p = row[x];
        const unsigned a = p >> 24;
        const unsigned rgb[3] = {(p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF};
        for (int c = 0; c < 3; ++c) {
            out[4 * x + c] = a == 0 ? 0 : static_cast<png_byte>(std::min(255u, (rgb[c] * 255 + a / 2) / a));
        }
        out[4 * x + 3] = static_cast<png_byte>(a);
    }
}

void writePng(const std::string& path, const ZornbeckScreenshot& shot) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        throw RuntimeError("cannot write '" + path + "': " + std::strerror(errno));
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        throw RuntimeError("cannot write '" + path + "': PNG encoding failed");
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(shot.width), static_cast<png_uint_32>(shot.height), 8,
                 PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row;
    for (int y = 0; y < shot.height; ++y) {
        const auto* pixels = reinterpret_cast<const std::uint32_t*>(reinterpret_cast<const std::uint8_t*>(shot.pixels) +
                                                                    static_cast<std::size_t>(y) * shot.stride);
        unpremultiply(pixels, shot.width, row);
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fclose(file) != 0) {
        throw RuntimeError("cannot write '" + path + "': write error");
    }
}

}  // namespace

int commandScreenshot(const std::vector<std::string>& args) {
    std::string modulePath = defaultModulePath();
    std::string program;
    std::vector<ParamSetting> params;
    std::vector<std::string> positionals;
    double scale = 1.0;
    ArgScanner scan("screenshot", args);
    while (!scan.done()) {
        if (scan.flag("--help") || scan.flag("-h")) {
            std::fputs(kScreenshotHelp, stdout);
            return kExitOk;
        }
        std::string text;
        if (scan.option("--scale", text)) {
            scale = parseScale(text);
            continue;
        }
        if (scanPluginOptions(scan, modulePath, program, params)) {
            continue;
        }
        positionals.push_back(scan.positional());
    }
    if (positionals.size() != 1) {
        throw UsageError("screenshot needs one output file (see zornbeck screenshot --help)");
    }
    const std::string& out = positionals[0];

    std::unique_ptr<PluginLoader> plugin = loadPlugin(modulePath, 44100.0f, 512);
    applyProgramAndParams(*plugin, program, params);
    if ((plugin->effect()->flags & effFlagsHasEditor) == 0) {
        throw RuntimeError("'" + modulePath + "' has no editor to take a picture of");
    }
    if (!setEditorScale(*plugin, scale) && scale != 1.0) {
        throw RuntimeError("'" + modulePath + "' does not take an editor scale");
    }
    ERect* rect = nullptr;
    plugin->dispatch(effEditGetRect, 0, 0, &rect);
    if (rect == nullptr) {
        throw RuntimeError("'" + modulePath + "' gave no editor size");
    }
    const int width = rect->right - rect->left;
    const int height = rect->bottom - rect->top;
    if (width <= 0 || height <= 0 || width > 8192 || height > 8192) {
        throw RuntimeError("'" + modulePath + "' gave an unusable editor size " + std::to_string(width) + " x " +
                           std::to_string(height));
    }
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height, 0);
    ZornbeckScreenshot shot{width, height, width * 4, pixels.data()};
    if (plugin->dispatch(effVendorSpecific, kZornbeckVendorTag, kZornbeckScreenshot, &shot) != 1) {
        throw RuntimeError("'" + modulePath + "' drew no editor picture (its screenshot call answered 0)");
    }
    writePng(out, shot);
    std::printf("Wrote %s: %d x %d\n", out.c_str(), width, height);
    return kExitOk;
}

}  // namespace zb
