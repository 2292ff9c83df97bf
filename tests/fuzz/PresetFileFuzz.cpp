// Program files (.fxp) of the three accepted sizes, and any other, read as the editor reads them.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "editor/PresetFiles.h"
#include "model/ProgramBankOps.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = [] {
        char pattern[] = "/tmp/zornbeck-fxp-fuzz-XXXXXX";
        const int fd = mkstemp(pattern);
        if (fd >= 0) {
            close(fd);
        }
        return std::string(pattern);
    }();
    const std::vector<std::uint8_t> bytes =
        sizedInput(data, size,
                   {kPresetFileSize, kPresetHeaderSize + kProgramV2Size, kPresetHeaderSize + kProgramV1Size});
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::abort();
    }
    if (!bytes.empty()) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
    }
    std::fclose(file);

    static Program* program = new Program();
    const Program before = *program;
    const bool accepted = readPresetFile(path, *program);
    const bool sized = bytes.size() == static_cast<std::size_t>(kPresetFileSize) ||
                       bytes.size() == static_cast<std::size_t>(kPresetHeaderSize + kProgramV2Size) ||
                       bytes.size() == static_cast<std::size_t>(kPresetHeaderSize + kProgramV1Size);
    if (accepted != sized) {
        __builtin_trap();
    }
    if (!accepted && std::memcmp(&before, program, sizeof before) != 0) {
        __builtin_trap();  // a refused file leaves the program alone
    }
    return 0;
}
