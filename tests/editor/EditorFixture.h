// An EffectVST with its editor and a host that records what the plug-in tells it.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "editor/EffectEditor.h"
#include "plugin/EffectVST.h"

struct Call {
    VstInt32 opcode;
    VstInt32 index;
    float opt;
};
inline std::vector<Call>* hostCalls = nullptr;

inline VstIntPtr host(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt) {
    if (hostCalls)
        hostCalls->push_back({opcode, index, opt});
    return opcode == audioMasterVersion ? 2400 : 0;
}

struct EditorTest : ::testing::Test {
    std::vector<Call> calls;
    EffectVST plugin{host, &EffectEditor::create};
    EffectEditor& editor = *static_cast<EffectEditor*>(plugin.getEditor());

    EditorTest() { hostCalls = &calls; }
    ~EditorTest() override { hostCalls = nullptr; }

    CControl* control(int row) { return static_cast<CControl*>(editor.frame()->getView(row - 1)); }
    int count(VstInt32 opcode, VstInt32 index) const {
        int n = 0;
        for (const Call& c : calls) n += c.opcode == opcode && c.index == index;
        return n;
    }
    // The value of the last automation the host was told of for `index`, or -1.
    float automated(VstInt32 index) const {
        float v = -1.0f;
        for (const Call& c : calls)
            if (c.opcode == audioMasterAutomate && c.index == index)
                v = c.opt;
        return v;
    }
};
