// Writes the bundle's description from the parameter table and the factory programs: a new
// instance of the plug-in is asked for its values, names and programs exactly as a host would
// see them, so the files cannot drift from the plug-in they describe.
//
//   zornbeck_lv2_bundle OUT_DIR
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "lv2/Lv2Ports.h"
#include "plugin/FaceHost.h"

namespace {

using namespace lv2face;

const char* const kPrefixes =
    "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix bufsz: <http://lv2plug.in/ns/ext/buf-size#> .\n"
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix opts: <http://lv2plug.in/ns/ext/options#> .\n"
    "@prefix pg: <http://lv2plug.in/ns/ext/port-groups#> .\n"
    "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n"
    "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n"
    "@prefix xsd: <http://www.w3.org/2001/XMLSchema#> .\n"
    "\n";

// The shortest decimal that reads back as exactly this float. Never an exponent: hosts read a
// Turtle double as a double atom, which a control port does not take.
std::string number(float value) {
    char text[80];
    for (int digits = 1; digits <= 60; ++digits) {
        std::snprintf(text, sizeof text, "%.*f", digits, static_cast<double>(value));
        if (static_cast<float>(std::strtod(text, nullptr)) == value) {
            break;
        }
    }
    return text;
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

std::string display(int index, float value) {
    char text[64] = {};
    ParameterTable::display(index, value, text, sizeof text);
    return text;
}

std::string groupUri(int person) {
    return "<" + std::string(kPluginUri) + (person < 0 ? "#globals" : "#person" + std::to_string(person + 1)) +
           ">";
}

std::string presetUri(int program) {
    char text[24];
    std::snprintf(text, sizeof text, "#preset%02d", program);
    return "<" + std::string(kPluginUri) + text + ">";
}

void audioPort(std::ostream& out, int port, bool input, const char* symbol, const char* name,
               const char* designation) {
    out << "    [\n        a lv2:AudioPort , " << (input ? "lv2:InputPort" : "lv2:OutputPort") << " ;\n"
        << "        lv2:index " << port << " ;\n        lv2:symbol \"" << symbol << "\" ;\n"
        << "        lv2:name \"" << name << "\" ;\n"
        << "        pg:group <" << kPluginUri << (input ? "#input" : "#output") << "> ;\n"
        << "        lv2:designation <http://lv2plug.in/ns/ext/port-groups#" << designation << ">\n    ]";
}

void controlPort(std::ostream& out, int port, int index, float defaultValue) {
    const ParameterRow& row = ParameterTable::row(index);
    out << "    [\n        a lv2:InputPort , lv2:ControlPort ;\n"
        << "        lv2:index " << port << " ;\n"
        << "        lv2:symbol \"" << portSymbol(index) << "\" ;\n"
        << "        lv2:name " << quoted(portName(index)) << " ;\n"
        << "        lv2:default " << number(defaultValue) << " ;\n"
        << "        lv2:minimum 0.0 ;\n        lv2:maximum 1.0 ;\n"
        << "        pg:group " << groupUri(row.person) << " ;\n";
    // The value is the stored 0..1 one; what it means is told in words and through scale points.
    out << "        rdfs:comment " << quoted("0 is " + display(index, 0.0f) + ", 1 is " + display(index, 1.0f))
        << " ;\n";
    if (index == parActiveIndex) {
        out << "        lv2:designation lv2:enabled ;\n";
    }
    if (row.stepped()) {
        out << "        lv2:portProperty " << (row.steps == 1 ? "lv2:toggled" : "lv2:enumeration") << " ;\n";
        for (int k = 0; k <= row.steps; ++k) {
            const float value = row.steps == 1 ? static_cast<float>(k) : param::personValue(k);
            out << "        lv2:scalePoint [ rdfs:label " << quoted(display(index, value)) << " ; rdf:value "
                << number(value) << " ] ;\n";
        }
    }
    out << "        lv2:portProperty <http://lv2plug.in/ns/ext/port-props#hasStrictBounds>\n    ]";
}

void writeGroups(std::ostream& out) {
    out << "<" << kPluginUri << "#input>\n    a pg:StereoGroup , pg:InputGroup ;\n"
        << "    lv2:symbol \"input\" ;\n    rdfs:label \"Input\" .\n\n";
    out << "<" << kPluginUri << "#output>\n    a pg:StereoGroup , pg:OutputGroup ;\n"
        << "    lv2:symbol \"output\" ;\n    rdfs:label \"Output\" ;\n"
        << "    pg:source <" << kPluginUri << "#input> .\n\n";
    out << groupUri(-1) << "\n    a pg:Group ;\n    lv2:symbol \"globals\" ;\n    rdfs:label \"Globals\" .\n\n";
    for (int person = 0; person < kNumPeople; ++person) {
        out << groupUri(person) << "\n    a pg:Group ;\n    lv2:symbol \"person" << person + 1 << "\" ;\n"
            << "    rdfs:label \"Person " << person + 1 << "\" .\n\n";
    }
}

void writePlugin(std::ostream& out, FaceHost& host) {
    char vendor[kVstMaxVendorStrLen + 1] = {};
    host.effect().getVendorString(vendor);
    out << kPrefixes;
    out << "<" << kPluginUri << ">\n"
        << "    a lv2:Plugin , lv2:ChorusPlugin ;\n"
        << "    doap:name \"Zornbeck\" ;\n"
        << "    lv2:project <" << kPluginUri << "#project> ;\n"
        << "    rdfs:comment \"A crowd of up to 59 voices from one: each person shifted, delayed, "
           "swung and panned, in a shared room.\" ;\n"
        << "    lv2:minorVersion 0 ;\n    lv2:microVersion 1 ;\n"
        << "    lv2:optionalFeature lv2:hardRTCapable , urid:map , opts:options , bufsz:boundedBlockLength ;\n"
        << "    opts:supportedOption bufsz:maxBlockLength , bufsz:nominalBlockLength ;\n"
        << "    lv2:extensionData state:interface ;\n"
        << "    ui:ui <" << kUiUri << "> ;\n"
        << "    pg:mainInput <" << kPluginUri << "#input> ;\n"
        << "    pg:mainOutput <" << kPluginUri << "#output> ;\n"
        << "    lv2:port\n";
    audioPort(out, kInputLeft, true, "in_l", "Input L", "left");
    out << " ,\n";
    audioPort(out, kInputRight, true, "in_r", "Input R", "right");
    out << " ,\n";
    audioPort(out, kOutputLeft, false, "out_l", "Output L", "left");
    out << " ,\n";
    audioPort(out, kOutputRight, false, "out_r", "Output R", "right");
    for (int k = 0; k < kControlPorts; ++k) {
        const int index = kPortParameter[static_cast<std::size_t>(k)];
        out << " ,\n";
        controlPort(out, kFirstControlPort + k, index, host.getParameter(index));
    }
    out << " .\n\n";
    writeGroups(out);
    out << "<" << kPluginUri << "#project>\n    a doap:Project ;\n    doap:name \"Zornbeck\" ;\n"
        << "    doap:maintainer [ a foaf:Person ; foaf:name " << quoted(vendor) << " ] .\n\n";
    // The state's own keys.
    out << "<" << kBankKeyUri << ">\n    a rdf:Property ;\n    rdfs:label \"bank\" ;\n"
        << "    rdfs:comment \"Every program, as the VST 2.4 module saves its bank.\" ;\n"
        << "    rdfs:range atom:Chunk .\n\n";
    out << "<" << kProgramKeyUri << ">\n    a rdf:Property ;\n    rdfs:label \"program\" ;\n"
        << "    rdfs:comment \"The current program, 0 to 23.\" ;\n"
        << "    rdfs:range xsd:int .\n\n";
    out << "<" << kUiUri << ">\n    a ui:X11UI ;\n"
        << "    lv2:requiredFeature ui:idleInterface , <http://lv2plug.in/ns/ext/instance-access> ;\n"
        << "    lv2:optionalFeature ui:parent , ui:resize , ui:touch , ui:noUserResize , urid:map , opts:options ;\n"
        << "    opts:supportedOption ui:scaleFactor ;\n"
        << "    lv2:extensionData ui:idleInterface , ui:showInterface .\n";
}

void writePresets(std::ostream& out, FaceHost& host) {
    out << kPrefixes;
    for (int program = 0; program < FaceHost::programCount(); ++program) {
        host.setProgram(program);
        char name[64] = {};
        host.programName(program, name, sizeof name);
        out << presetUri(program) << "\n    a pset:Preset ;\n"
            << "    lv2:appliesTo <" << kPluginUri << "> ;\n"
            << "    rdfs:label " << quoted(name) << " ;\n"
            // Restoring selects the program itself, as a VST 2.4 host's program menu does; the
            // port values that follow are then the ones it already holds.
            << "    state:state [\n        <" << kProgramKeyUri << "> " << program << "\n    ] ;\n"
            << "    lv2:port";
        for (int k = 0; k < kControlPorts; ++k) {
            const int index = kPortParameter[static_cast<std::size_t>(k)];
            out << (k == 0 ? " " : " , ") << "[\n        lv2:symbol \"" << portSymbol(index)
                << "\" ;\n        pset:value " << number(host.getParameter(index)) << "\n    ]";
        }
        out << " .\n\n";
    }
}

void writeManifest(std::ostream& out) {
    out << kPrefixes;
    out << "<" << kPluginUri << ">\n    a lv2:Plugin ;\n    lv2:binary <" << kBinary << "> ;\n"
        << "    rdfs:seeAlso <zornbeck.ttl> .\n\n";
    out << "<" << kUiUri << ">\n    a ui:X11UI ;\n    ui:binary <" << kBinary << "> ;\n"
        << "    rdfs:seeAlso <zornbeck.ttl> .\n\n";
    for (int program = 0; program < FaceHost::programCount(); ++program) {
        out << presetUri(program) << "\n    a pset:Preset ;\n    lv2:appliesTo <" << kPluginUri << "> ;\n"
            << "    rdfs:seeAlso <presets.ttl> .\n\n";
    }
}

bool write(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file) {
        std::fprintf(stderr, "zornbeck_lv2_bundle: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: zornbeck_lv2_bundle OUT_DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    // The values a new instance plays are the ports' defaults.
    FaceHost host(nullptr, nullptr);
    std::ostringstream plugin, presets, manifest;
    writePlugin(plugin, host);
    writePresets(presets, host);
    writeManifest(manifest);
    const bool ok = write(dir + "/zornbeck.ttl", plugin.str()) && write(dir + "/presets.ttl", presets.str()) &&
                    write(dir + "/manifest.ttl", manifest.str());
    return ok ? 0 : 1;
}
