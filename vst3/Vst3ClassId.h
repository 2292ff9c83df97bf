// The effect's class id, fixed for good: hosts save sessions under it. Printed, it reads
// 7E2B41C95A3D4F109C6E2A871F04B3D5 on every system (moduleinfo.json carries it too).
#pragma once

#include "vst3/Vst3Interfaces.h"

namespace vst3 {

constexpr Uid kEffectClassId = Uid::make(0x7E2B41C9, 0x5A3D4F10, 0x9C6E2A87, 0x1F04B3D5);

}  // namespace vst3
