#include "vst3/Vst3State.h"

#include <cstring>

namespace vst3state {
namespace {

constexpr char kMagic[4] = {'Z', 'B', 'v', '3'};

void putLittle(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
}

std::uint32_t little(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

std::uint32_t big(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | std::uint32_t(p[3]);
}

}  // namespace

std::vector<std::uint8_t> encode(int program, const std::vector<std::uint8_t>& bank) {
    std::vector<std::uint8_t> out(kMagic, kMagic + 4);
    out.reserve(kHeaderSize + bank.size());
    putLittle(out, kVersion);
    putLittle(out, static_cast<std::uint32_t>(program));
    putLittle(out, static_cast<std::uint32_t>(bank.size()));
    out.insert(out.end(), bank.begin(), bank.end());
    return out;
}

Decoded decode(const std::uint8_t* data, std::size_t size, std::size_t programChunkSize) {
    Decoded d;
    if (data == nullptr || size == 0) {
        return d;
    }
    if (size >= kHeaderSize && std::memcmp(data, kMagic, 4) == 0) {
        const std::uint32_t chunkSize = little(data + 12);
        if (little(data + 4) != kVersion || chunkSize > size - kHeaderSize) {
            return d;
        }
        d.kind = Decoded::kFaceState;
        d.program = static_cast<int>(little(data + 8));
        d.chunk = data + kHeaderSize;
        d.size = chunkSize;
        return d;
    }
    // A VST 2.4 preset file: 'CcnK', then 'FPCh' (one program, chunk at 60) or 'FBCh' (the bank,
    // chunk at 160), each with the chunk's size, big-endian, just before it.
    if (size >= 60 && std::memcmp(data, "CcnK", 4) == 0) {
        const bool program = std::memcmp(data + 8, "FPCh", 4) == 0;
        const bool bank = std::memcmp(data + 8, "FBCh", 4) == 0;
        const std::size_t at = program ? 60 : 160;
        if ((!program && !bank) || size < at) {
            return d;
        }
        const std::uint32_t chunkSize = big(data + at - 4);
        if (chunkSize > size - at) {
            return d;
        }
        d.kind = program ? Decoded::kProgram : Decoded::kBank;
        d.chunk = data + at;
        d.size = chunkSize;
        return d;
    }
    d.kind = size == programChunkSize ? Decoded::kProgram : Decoded::kBank;
    d.chunk = data;
    d.size = size;
    return d;
}

}  // namespace vst3state
