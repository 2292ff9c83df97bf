// zornbeck info: what the module tells a host about itself.
#include <cstdio>

#include "Cli.h"

namespace zb {

namespace {

const char* const kInfoHelp =
    "Usage: zornbeck info [--module PATH]\n"
    "\n"
    "Loads the module as a DAW does and prints what it reports: identity (effect name, vendor,\n"
    "product, versions, unique ID, category, flags), audio inputs and outputs with their pin\n"
    "labels, the capabilities it claims, every program and every parameter (index, name, label).\n"
    "\n"
    "  --module PATH   the plug-in module (default: Zornbeck.so beside this program)\n";

const char* categoryName(VstIntPtr category) {
    static const char* const names[] = {"unknown",     "effect",     "synth",     "analysis",
                                        "mastering",   "spacializer", "room fx",  "surround fx",
                                        "restoration", "offline",    "shell",     "generator"};
    return category >= 0 && category < 12 ? names[category] : "?";
}

std::string flagNames(VstInt32 flags) {
    struct Named {
        VstInt32 bit;
        const char* name;
    };
    static const Named known[] = {{effFlagsHasEditor, "HasEditor"},
                                  {effFlagsHasClip, "HasClip"},
                                  {effFlagsHasVu, "HasVu"},
                                  {effFlagsCanMono, "CanMono"},
                                  {effFlagsCanReplacing, "CanReplacing"},
                                  {effFlagsProgramChunks, "ProgramChunks"},
                                  {effFlagsIsSynth, "IsSynth"},
                                  {effFlagsNoSoundInStop, "NoSoundInStop"},
                                  {effFlagsCanDoubleReplacing, "CanDoubleReplacing"}};
    std::string text;
    VstInt32 rest = flags;
    for (const Named& n : known) {
        if (flags & n.bit) {
            text += (text.empty() ? "" : " | ") + std::string(n.name);
            rest &= ~n.bit;
        }
    }
    if (rest != 0) {
        char hex[32];
        std::snprintf(hex, sizeof hex, "0x%X", static_cast<unsigned>(rest));
        text += (text.empty() ? "" : " | ") + std::string("unknown ") + hex;
    }
    return text.empty() ? "none" : text;
}

void printPins(PluginLoader& plugin, bool inputs, int count) {
    for (int i = 0; i < count; ++i) {
        VstPinProperties pin{};
        const bool ok = inputs ? plugin.inputProperties(i, pin) : plugin.outputProperties(i, pin);
        pin.label[sizeof pin.label - 1] = '\0';
        if (ok) {
            std::printf("  %-3d %-20s flags %d, arrangement %d\n", i, pin.label, pin.flags, pin.arrangementType);
        } else {
            std::printf("  %-3d (no pin properties)\n", i);
        }
    }
}

}  // namespace

int commandInfo(const std::vector<std::string>& args) {
    std::string modulePath = defaultModulePath();
    ArgScanner scan("info", args);
    while (!scan.done()) {
        if (scan.flag("--help") || scan.flag("-h")) {
            std::fputs(kInfoHelp, stdout);
            return kExitOk;
        }
        if (scan.option("--module", modulePath)) {
            continue;
        }
        throw UsageError("unexpected argument '" + scan.positional() + "' for info (see zornbeck info --help)");
    }

    std::unique_ptr<PluginLoader> plugin = loadPlugin(modulePath, 44100.0f, 512);
    AEffect* effect = plugin->effect();
    const std::string effectName = plugin->effectName();

    std::printf("Module          %s\n", modulePath.c_str());
    std::printf("Effect name     %s\n", effectName.empty() ? "(none given)" : effectName.c_str());
    std::printf("Vendor          %s\n", plugin->vendorString().c_str());
    std::printf("Product         %s\n", plugin->productString().c_str());
    std::printf("Vendor version  %ld\n", static_cast<long>(plugin->vendorVersion()));
    std::printf("VST version     %ld\n", static_cast<long>(plugin->vstVersion()));
    std::printf("Unique ID       '%s' (0x%08X)\n", fourCharText(effect->uniqueID).c_str(),
                static_cast<unsigned>(effect->uniqueID));
    std::printf("Plug-in version %d\n", effect->version);
    const VstIntPtr category = plugin->category();
    std::printf("Category        %ld (%s)\n", static_cast<long>(category), categoryName(category));
    std::printf("Flags           0x%X (%s)\n", static_cast<unsigned>(effect->flags), flagNames(effect->flags).c_str());
    std::printf("Initial delay   %d samples\n", effect->initialDelay);
    std::printf("Tail size       %ld samples\n", static_cast<long>(plugin->dispatch(effGetTailSize)));

    static const char* const canDoTexts[] = {"sendVstEvents",    "sendVstMidiEvent", "receiveVstEvents",
                                             "receiveVstMidiEvent", "receiveVstTimeInfo", "offline",
                                             "midiProgramNames", "bypass",           "acceptIOChanges"};
    std::string yes;
    for (const char* text : canDoTexts) {
        if (plugin->canDo(text) > 0) {
            yes += (yes.empty() ? "" : ", ") + std::string(text);
        }
    }
    std::printf("Can do          %s\n", yes.empty() ? "(nothing asked for)" : yes.c_str());

    std::printf("\nInputs          %d\n", effect->numInputs);
    printPins(*plugin, true, effect->numInputs);
    std::printf("Outputs         %d\n", effect->numOutputs);
    printPins(*plugin, false, effect->numOutputs);

    std::printf("\nPrograms        %d (current: %d)\n", effect->numPrograms, plugin->program());
    for (int i = 0; i < effect->numPrograms; ++i) {
        std::string name;
        plugin->programNameIndexed(i, name);
        std::printf("  %3d  %s\n", i, name.c_str());
    }

    std::printf("\nParameters      %d\n", effect->numParams);
    std::printf("  %5s  %-20s %-8s %-10s %s\n", "index", "name", "label", "value", "shown as");
    for (int i = 0; i < effect->numParams; ++i) {
        const std::string name = plugin->parameterName(i);
        std::printf("  %5d  %-20s %-8s %-10.6g %s\n", i, name.empty() ? "-" : name.c_str(),
                    plugin->parameterLabel(i).c_str(), double(plugin->getParameter(i)),
                    plugin->parameterDisplay(i).c_str());
    }
    return kExitOk;
}

}  // namespace zb
