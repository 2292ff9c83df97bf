// The face's saved state: a small header, the current program and the VST 2.4 bank chunk, so a
// session moves between formats without loss. Reading also takes what a VST 2.4 host saved: a
// bare bank or program chunk, or an .fxb/.fxp file holding one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vst3state {

constexpr std::uint32_t kVersion = 1;
constexpr std::size_t kHeaderSize = 16;  // magic, version, program, chunk size

std::vector<std::uint8_t> encode(int program, const std::vector<std::uint8_t>& bank);

// What a stream of saved bytes holds; `chunk` points into the bytes given.
struct Decoded {
    enum Kind { kNothing, kFaceState, kBank, kProgram } kind = kNothing;
    int program = -1;  // the face state's program, else -1
    const std::uint8_t* chunk = nullptr;
    std::size_t size = 0;
};
// The face's own state (by its magic and a size that fits), an .fxb/.fxp with an opaque chunk,
// or else the bytes as they are, for the plug-in to judge as a bank or program chunk.
Decoded decode(const std::uint8_t* data, std::size_t size, std::size_t programChunkSize);

}  // namespace vst3state
