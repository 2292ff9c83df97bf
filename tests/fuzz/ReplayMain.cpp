// Runs a fuzz target over every file of the given folders: the committed corpus and the crashes
// found, in every build, without the fuzzing engine. The first folder must hold inputs.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::size_t replayed = 0;
    for (int a = 1; a < argc; ++a) {
        std::error_code error;
        if (!fs::is_directory(argv[a], error)) {
            continue;
        }
        std::vector<fs::path> files;
        for (const fs::directory_entry& entry : fs::directory_iterator(argv[a])) {
            if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') {
                files.push_back(entry.path());
            }
        }
        std::sort(files.begin(), files.end());
        for (const fs::path& path : files) {
            std::ifstream in(path, std::ios::binary);
            std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            std::printf("%s\n", path.c_str());
            std::fflush(stdout);
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
            ++replayed;
        }
    }
    std::printf("replayed %zu inputs\n", replayed);
    if (argc < 2 || !fs::is_directory(argv[1]) || fs::is_empty(argv[1])) {
        std::fprintf(stderr, "no inputs in %s\n", argc < 2 ? "(no folder given)" : argv[1]);
        return 1;
    }
    return 0;
}
