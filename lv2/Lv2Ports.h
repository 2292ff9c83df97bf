// The LV2 face's port layout and names, shared by the plug-in and the generator that writes its
// description, so the two cannot disagree.
#pragma once

#include <array>
#include <string>

#include "model/ParameterTable.h"

namespace lv2face {

inline constexpr const char* kPluginUri = "urn:zornbeck:lv2:crowd";
inline constexpr const char* kUiUri = "urn:zornbeck:lv2:crowd#ui";
inline constexpr const char* kBankKeyUri = "urn:zornbeck:lv2:crowd#bank";
inline constexpr const char* kProgramKeyUri = "urn:zornbeck:lv2:crowd#program";
inline constexpr const char* kBinary = "Zornbeck.so";

// Ports 0 .. 3: input left and right, output left and right; the control ports follow.
inline constexpr int kInputLeft = 0;
inline constexpr int kInputRight = 1;
inline constexpr int kOutputLeft = 2;
inline constexpr int kOutputRight = 3;
inline constexpr int kFirstControlPort = 4;

// Every named parameter is a port, and Active too: hosts' bypass drives it.
constexpr bool isPort(int index) {
    return ParameterTable::valid(index) &&
           (ParameterTable::kRows[static_cast<std::size_t>(index)].automatable || index == parActiveIndex);
}

consteval int countControlPorts() {
    int n = 0;
    for (int i = 0; i < kNumParams; ++i) {
        n += isPort(i) ? 1 : 0;
    }
    return n;
}

inline constexpr int kControlPorts = countControlPorts();
inline constexpr int kPortCount = kFirstControlPort + kControlPorts;

// The parameter index of each control port, in index order.
consteval std::array<int, kControlPorts> makePortParameters() {
    std::array<int, kControlPorts> indices{};
    std::size_t k = 0;
    for (int i = 0; i < kNumParams; ++i) {
        if (isPort(i)) {
            indices[k++] = i;
        }
    }
    return indices;
}

inline constexpr std::array<int, kControlPorts> kPortParameter = makePortParameters();

// The control port of a parameter, or -1 when it has none.
constexpr int controlPortOf(int index) {
    for (int k = 0; k < kControlPorts; ++k) {
        if (kPortParameter[static_cast<std::size_t>(k)] == index) {
            return k;
        }
    }
    return -1;
}

// The host name; Active, which VST 2.4 hosts never see by name, is called by its short name.
inline std::string portName(int index) {
    char text[64] = {};
    if (index == parActiveIndex) {
        ParameterTable::shortName(index, text, sizeof text);
    } else {
        ParameterTable::name(index, text, sizeof text);
    }
    return text;
}

// The name in lower case with every run of other characters as one '_': "Pitch M. Gain 3"
// becomes "pitch_m_gain_3".
inline std::string portSymbol(int index) {
    std::string symbol;
    for (const char c : portName(index)) {
        const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (alnum) {
            symbol += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        } else if (!symbol.empty() && symbol.back() != '_') {
            symbol += '_';
        }
    }
    while (!symbol.empty() && symbol.back() == '_') {
        symbol.pop_back();
    }
    return symbol;
}

}  // namespace lv2face
