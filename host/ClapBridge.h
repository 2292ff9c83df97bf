// Lets the loader drive a CLAP plug-in (a .clap file) as if it were a VST 2.4 module: one CLAP
// instance behind an AEffect record whose calls are translated. Parameters keep their ids as
// indices; programs, chunks and the editor map onto the CLAP Program parameter, state and gui.
#pragma once

#include <string>

#include "vst/VstInterface.h"

namespace zb {

// A path naming a .clap file.
bool isClapPath(const std::string& path);
// An entry point that the loader calls like VSTPluginMain; it opens the .clap at `path` and
// answers null (with clapBridgeError() telling why) when it cannot.
VstPluginMainProc clapBridgeEntry(const std::string& path);
std::string clapBridgeError();

}  // namespace zb
