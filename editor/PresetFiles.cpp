#include "editor/PresetFiles.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "model/Program.h"
#include "model/ProgramBankOps.h"
#include "plugin/EffectVST.h"

namespace {

void putBigEndian(unsigned char* at, std::uint32_t v) {
    at[0] = static_cast<unsigned char>(v >> 24);
    at[1] = static_cast<unsigned char>(v >> 16);
    at[2] = static_cast<unsigned char>(v >> 8);
    at[3] = static_cast<unsigned char>(v);
}

}  // namespace

std::string presetFileName(const std::string& chosen) {
    std::string path = chosen.substr(0, 1023);
    if (path.size() > 4 && path[path.size() - 4] == '.')
        path.resize(path.size() - 4);
    path += ".fxp";
    return path.size() < 5 ? std::string() : path;
}

bool writePresetFile(const std::string& path, const Program& program) {
    unsigned char header[kPresetHeaderSize] = {};
    std::memcpy(header, "CcnK", 4);
    putBigEndian(header + 4, kPresetFileSize - 8);
    std::memcpy(header + 8, "FPCh", 4);
    putBigEndian(header + 12, 1);
    putBigEndian(header + 16, std::uint32_t(EffectVST::kUniqueId));
    putBigEndian(header + 20, 1);
    putBigEndian(header + 24, 1);
    // The name up to its terminator; the rest of the field stays zero.
    std::size_t nameLength = strnlen(program.name, kProgramNameSize - 1);
    std::memcpy(header + 28, program.name, nameLength);
    putBigEndian(header + 56, sizeof(Program));
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool ok = std::fwrite(header, 1, sizeof header, file) == sizeof header &&
              std::fwrite(&program, 1, sizeof(Program), file) == sizeof(Program);
    return std::fclose(file) == 0 && ok;
}

bool readPresetFile(const std::string& path, Program& program) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    long length = -1;
    if (std::fseek(file, 0, SEEK_END) == 0)
        length = std::ftell(file);
    std::vector<unsigned char> bytes;
    bool ok = false;
    if (length == kPresetFileSize || length == kPresetHeaderSize + kProgramV2Size ||
        length == kPresetHeaderSize + kProgramV1Size) {
        bytes.resize(std::size_t(length - kPresetHeaderSize));
        ok = std::fseek(file, kPresetHeaderSize, SEEK_SET) == 0 &&
             std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
    }
    std::fclose(file);
    if (!ok)
        return false;
    // A short read leaves the program as it was.
    if (length == kPresetFileSize)
        std::memcpy(static_cast<void*>(&program), bytes.data(), sizeof(Program));
    else if (length == kPresetHeaderSize + kProgramV2Size)
        upgradeProgramV2(program, bytes.data());
    else
        upgradeProgramV1(program, bytes.data());
    return true;
}
