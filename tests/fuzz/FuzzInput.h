// Turns a fuzzer's bytes into a chosen size: the first byte picks one of `sizes` (or, past the
// list, the rest of the input as it is), the rest is repeated to fill it. Small inputs thus reach
// every accepted size, and the fuzzer keeps control of every byte pattern.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

inline std::vector<std::uint8_t> sizedInput(const std::uint8_t* data, std::size_t size,
                                            std::initializer_list<int> sizes) {
    if (size == 0) {
        return {};
    }
    const std::uint8_t* payload = data + 1;
    const std::size_t available = size - 1;
    const std::size_t choice = data[0] % (sizes.size() + 1);
    if (choice == sizes.size()) {
        return std::vector<std::uint8_t>(payload, payload + available);
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(sizes.begin()[choice]), 0);
    for (std::size_t i = 0; available > 0 && i < bytes.size(); ++i) {
        bytes[i] = payload[i % available];
    }
    return bytes;
}
