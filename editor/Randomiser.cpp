#include "editor/Randomiser.h"

#include "editor/EffectEditor.h"
#include "editor/PanelCrowd.h"
#include "model/ParameterTable.h"
#include "model/RuntimeRandom.h"
#include "plugin/EffectVST.h"

namespace {

// The named slots in order; gain is the last of them.
constexpr int kEverything[param::kNamedSlots] = {0, 1, 2, 3, 4, 5, 6, 7};
static_assert(kEverything[param::kNamedSlots - 1] == slotGain);

}  // namespace

const int* Randomiser::groupSlots(int g, int& count) {
    if (g == 0 || g == 1) {
        count = g == 0 ? param::kNamedSlots : param::kNamedSlots - 1;  // "everything - not gain"
        return kEverything;
    }
    if (g >= 2 && g < 2 + param::kNamedSlots) {
        count = 1;
        return &kEverything[g - 2];
    }
    count = 0;
    return nullptr;
}

float Randomiser::randomValue() {
    float r = float(RuntimeRandom::next()) * (1.0f / 32768.0f);
    float lower = editor->lowerBound()->getValue();
    float upper = editor->upperBound()->getValue();
    return (upper - lower) * r + lower;
}

void Randomiser::randomise() {
    EffectVST* plugin = editor->plugin();
    int first = editor->selectedPerson();
    int last = first;
    if (editor->allSwitch()->getValue() == 1.0f) {
        first = 0;
        last = editor->populationIndex();
    }
    editor->crowd()->rebuild = 1.0f;
    for (int n = first; n <= last; ++n) {
        int g = truncateInto(editor->groupMenu()->getValue() * 10.0f + 0.5f, -1, 10);
        int count = 0;
        const int* slots = groupSlots(g, count);
        // Plain changes: the host is not told of them.
        for (int i = 0; i < count; ++i) plugin->setParameter(personIndex(n, slots[i]), randomValue());
    }
}
