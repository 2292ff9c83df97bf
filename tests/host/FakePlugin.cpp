// A tiny VST 2.4 module for testing the host without the real plug-in: the output is the input
// times the "Gain" parameter, each program has its own gain, and every dispatcher call is logged
// where a test can read it. Built three ways: a working one, one whose entry point refuses, and
// one that hands back a record with a wrong magic.
#include <cstdio>
#include <cstring>

#include "vst/VstInterface.h"
#include "vst/ZornbeckExtensions.h"

namespace {

#if defined(FAKE_REFUSES)
constexpr bool kRefuses = true;
#else
constexpr bool kRefuses = false;
#endif
#if defined(FAKE_BAD_MAGIC)
constexpr bool kBadMagic = true;
#else
constexpr bool kBadMagic = false;
#endif

struct Fake {
    AEffect effect{};
    audioMasterCallback host = nullptr;
    float gain = 0.5f;
    float other = 0.0f;
    int program = 0;
    float chunk[4] = {};
    int idles = 0;
};

const char* const kProgramNames[] = {"Alpha", "Beta Two", "gamma"};
const float kProgramGains[] = {0.5f, 0.25f, 2.0f};

// Dispatcher calls as (opcode, value) pairs, in order, for the lifecycle tests.
int logCount = 0;
VstIntPtr logEntries[256][2];

Fake* self(AEffect* e) { return static_cast<Fake*>(e->object); }

VstIntPtr dispatcher(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    if (logCount < 256) {
        logEntries[logCount][0] = opcode;
        logEntries[logCount][1] = opcode == effSetSampleRate ? static_cast<VstIntPtr>(opt) : value;
        ++logCount;
    }
    Fake* fake = self(e);
    switch (opcode) {
        case effClose:
            delete fake;
            return 1;
        case effSetProgram:
            if (value >= 0 && value < 3) {
                fake->program = static_cast<int>(value);
                fake->gain = kProgramGains[value];
            }
            return 0;
        case effGetProgram:
            return fake->program;
        case effGetProgramNameIndexed:
            if (index >= 0 && index < 3) {
                std::strcpy(static_cast<char*>(ptr), kProgramNames[index]);
                return 1;
            }
            return 0;
        case effGetParamName:
            std::strcpy(static_cast<char*>(ptr), index == 0 ? "Gain" : "Other");
            return 0;
        case effGetParamLabel:
            std::strcpy(static_cast<char*>(ptr), "x");
            return 0;
        case effGetVendorString:
            std::strcpy(static_cast<char*>(ptr), "Test Vendor");
            return 1;
        case effGetProductString:
            std::strcpy(static_cast<char*>(ptr), "Fake");
            return 1;
        case effGetVstVersion:
            return 2400;
        case effEditGetRect: {
            static ERect rect{0, 0, 30, 40};
            *static_cast<ERect**>(ptr) = &rect;
            return 1;
        }
        case effEditOpen:
            std::printf("fake editor: opened in window %s\n", ptr != nullptr ? "given" : "null");
            std::fflush(stdout);
            return 1;
        case effEditIdle:
            // The first idle stands in for a knob turned by the user.
            if (fake->idles++ == 0) {
                fake->gain = 0.25f;
                fake->host(e, audioMasterAutomate, 0, 0, nullptr, 0.25f);
            }
            return 0;
        case effEditClose:
            std::printf("fake editor: closed after %d idle calls\n", fake->idles);
            std::fflush(stdout);
            return 0;
        case effVendorSpecific: {
            // A picture whose straight colour is known: white-ish red, half green, alpha rising along x.
            if (index != kZornbeckVendorTag || value != kZornbeckScreenshot) {
                return 0;
            }
            auto* shot = static_cast<ZornbeckScreenshot*>(ptr);
            for (int y = 0; y < shot->height; ++y) {
                auto* row = reinterpret_cast<std::uint32_t*>(reinterpret_cast<char*>(shot->pixels) + y * shot->stride);
                for (int x = 0; x < shot->width; ++x) {
                    const std::uint32_t a = static_cast<std::uint32_t>(x * 6);
                    row[x] = (a << 24) | (a << 16) | ((a / 2) << 8);
                }
            }
            return 1;
        }
        case effGetChunk: {
            // A program chunk is the two parameters; a bank chunk adds the program and a marker.
            fake->chunk[0] = fake->gain;
            fake->chunk[1] = fake->other;
            fake->chunk[2] = static_cast<float>(fake->program);
            fake->chunk[3] = 1234.0f;
            *static_cast<void**>(ptr) = fake->chunk;
            return index != 0 ? 8 : 16;
        }
        case effSetChunk: {
            const auto* data = static_cast<const float*>(ptr);
            if (value != (index != 0 ? 8 : 16) || (index == 0 && data[3] != 1234.0f)) {
                return 0;
            }
            fake->gain = data[0];
            fake->other = data[1];
            if (index == 0) {
                fake->program = static_cast<int>(data[2]);
            }
            return 1;
        }
        default:
            return 0;
    }
}

void processReplacing(AEffect* e, float** inputs, float** outputs, VstInt32 frames) {
    const float gain = self(e)->gain;
    for (int c = 0; c < 2; ++c) {
        for (VstInt32 i = 0; i < frames; ++i) {
            outputs[c][i] = inputs[c][i] * gain;
        }
    }
}

void setParameter(AEffect* e, VstInt32 index, float value) {
    if (index == 0) {
        self(e)->gain = value;
    } else if (index == 1) {
        self(e)->other = value;
    }
}

float getParameter(AEffect* e, VstInt32 index) { return index == 0 ? self(e)->gain : self(e)->other; }

}  // namespace

extern "C" __attribute__((visibility("default"))) int zbtestLogCount() { return logCount; }
extern "C" __attribute__((visibility("default"))) const VstIntPtr* zbtestLogEntry(int i) { return logEntries[i]; }

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback host) {
    if (host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) {
        return nullptr;
    }
    if (kRefuses) {
        return nullptr;
    }
    Fake* fake = new Fake;
    fake->host = host;
    AEffect& e = fake->effect;
    e.magic = kBadMagic ? fourCharCode('N', 'o', 'p', 'e') : kEffectMagic;
    e.dispatcher = dispatcher;
    e.processReplacing = processReplacing;
    e.setParameter = setParameter;
    e.getParameter = getParameter;
    e.numPrograms = 3;
    e.numParams = 2;
    e.numInputs = 2;
    e.numOutputs = 2;
    e.flags = effFlagsCanReplacing | effFlagsHasEditor;
    e.ioRatio = 1.0f;
    e.object = fake;
    e.uniqueID = fourCharCode('F', 'a', 'k', 'e');
    e.version = 1;
    // A request during construction, before the host knows the record, as real plug-ins make.
    host(&e, audioMasterWantMidi, 0, 1, nullptr, 0.0f);
    return &e;
}
