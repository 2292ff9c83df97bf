// The parameters the CLAP face offers: every named parameter of the table under its VST 2.4
// index, with the stored value as its plain value (0..1), so automation and state map one to one
// across formats; then two of the face's own, a stepped Program and the host's Bypass.
#pragma once

#include <cstdint>

#include "clap/ClapAbi.h"
#include "model/Program.h"

namespace zb::clapface {

// Outside the VST 2.4 index range, so they never meet one.
constexpr clap::Id kProgramId = 1000;
constexpr clap::Id kBypassId = 1001;

struct ParameterList {
    // The ids in the order hosts list them.
    static std::uint32_t count();
    static clap::Id idAt(std::uint32_t position);
    // Offered to hosts (a named table row, Program or Bypass).
    static bool offered(clap::Id id);
    // Name, module path, range and flags; the default is filled in by the caller.
    static bool info(std::uint32_t position, clap::ParamInfo& out);
};

}  // namespace zb::clapface
