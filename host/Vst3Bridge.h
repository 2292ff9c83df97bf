// Lets the host drive a VST 3 bundle as it drives a VST 2.4 module: the bundle's first audio
// effect behind an AEffect record, so every command works on either format unchanged.
#pragma once

#include <string>

#include "vst/VstInterface.h"

namespace zb {

// A path naming a VST 3 bundle (a folder ending in ".vst3").
bool isVst3Bundle(const std::string& path);
// The bundle's binary for this system: Name.vst3/Contents/<arch>/Name.so (or Name.vst3).
std::string vst3BinaryPath(const std::string& bundle);
// The effect behind a VST 2.4 record; effClose releases it. Null with a message on failure.
AEffect* openVst3Bridge(const std::string& binary, audioMasterCallback host, std::string& error);

}  // namespace zb
