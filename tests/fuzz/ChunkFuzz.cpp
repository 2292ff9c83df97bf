// Chunks of every size the plug-in accepts, and any other, as a host hands them over; then the
// program is rendered and saved again.
#include <cstring>
#include <vector>

#include "FuzzInput.h"
#include "model/ProgramBankOps.h"
#include "plugin/EffectVST.h"

namespace {

VstIntPtr host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static EffectVST* plugin = new EffectVST(host, nullptr);
    if (size == 0) {
        return 0;
    }
    const bool preset = (data[0] & 0x80) != 0;
    std::vector<std::uint8_t> chunk =
        preset ? sizedInput(data, size, {sizeof(Program), kProgramV2Size, kProgramV1Size})
               : sizedInput(data, size,
                            {sizeof(ProgramBank), kBankHeaderSize + kNumPrograms * kProgramV2Size,
                             kBankHeaderSize + kNumPrograms * kProgramV1Size});
    const std::vector<std::uint8_t> given = chunk;
    const VstIntPtr accepted = plugin->dispatcher(effSetChunk, preset ? 1 : 0,
                                                  static_cast<VstIntPtr>(chunk.size()), chunk.data(), 0.0f);
    const bool current = chunk.size() == (preset ? sizeof(Program) : sizeof(ProgramBank));
    if (current && accepted != 1) {
        __builtin_trap();  // a chunk of the current layout is always taken
    }

    float in[2][64] = {};
    float out[2][64];
    float* inputs[2] = {in[0], in[1]};
    float* outputs[2] = {out[0], out[1]};
    for (int block = 0; block < 4; ++block) {
        plugin->processReplacing(inputs, outputs, 64);
    }

    void* saved = nullptr;
    const VstIntPtr savedSize = plugin->dispatcher(effGetChunk, preset ? 1 : 0, 0, &saved, 0.0f);
    // The current layout is stored byte for byte and saved back the same.
    if (current && accepted == 1 &&
        (savedSize != static_cast<VstIntPtr>(given.size()) ||
         std::memcmp(saved, given.data(), given.size()) != 0)) {
        __builtin_trap();
    }
    char name[kVstMaxProgNameLen + 8];
    std::memset(name, '#', sizeof name);
    plugin->dispatcher(effGetProgramName, 0, 0, name, 0.0f);
    if (std::memchr(name, 0, kVstMaxProgNameLen + 1) == nullptr || name[kVstMaxProgNameLen + 1] != '#') {
        __builtin_trap();  // at most 24 characters and the terminator
    }
    return 0;
}
