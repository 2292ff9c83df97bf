// State saved and restored as chunks, through the dispatcher and across two runs of the host.
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cstring>
#include <fstream>
#include <iterator>

#include "BlackBox.h"

namespace {

constexpr std::size_t kProgramChunk = 2988;
constexpr std::size_t kBankChunk = 71716;

float floatAt(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    float value = 0.0f;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

TEST(Chunks, BankRoundTripsByteForByte) {
    auto plugin = bb::loadModule();
    ASSERT_NE(plugin, nullptr);
    plugin->setProgram(4);
    plugin->setParameter(41, 0.3f);
    const std::vector<std::uint8_t> saved = plugin->getChunk(false);
    ASSERT_EQ(saved.size(), kBankChunk);

    plugin->setProgram(9);
    plugin->setParameter(41, 0.9f);
    plugin->setParameter(2, 0.1f);
    ASSERT_NE(plugin->getChunk(false), saved);

    EXPECT_EQ(plugin->setChunk(saved, false), 1);
    EXPECT_EQ(plugin->getChunk(false), saved);
}

TEST(Chunks, ProgramChunkHoldsEveryStoredValue) {
    auto plugin = bb::loadModule();
    ASSERT_NE(plugin, nullptr);
    plugin->setParameter(29, 0.7f);
    plugin->setParameter(41, 0.25f);
    const std::vector<std::uint8_t> program = plugin->getChunk(true);
    ASSERT_EQ(program.size(), kProgramChunk);
    EXPECT_EQ(floatAt(program, 4 * 29), 0.7f) << "stored, though getParameter answers 0";
    EXPECT_EQ(plugin->getParameter(29), 0.0f);
    EXPECT_EQ(floatAt(program, 4 * 41), 0.25f);
}

TEST(Chunks, AChunkOfTheOtherKindIsRefused) {
    auto plugin = bb::loadModule();
    ASSERT_NE(plugin, nullptr);
    const std::vector<std::uint8_t> bank = plugin->getChunk(false);
    const std::vector<std::uint8_t> program = plugin->getChunk(true);
    ASSERT_EQ(bank.size(), kBankChunk);
    ASSERT_EQ(program.size(), kProgramChunk);
    EXPECT_EQ(plugin->setChunk(bank, true), 0);
    EXPECT_EQ(plugin->setChunk(program, false), 0);
    EXPECT_EQ(plugin->setChunk(std::vector<std::uint8_t>(100, 0), true), 0);
    EXPECT_EQ(plugin->getChunk(false), bank) << "a refused chunk changes nothing";
}

#ifndef _WIN32  // under Wine the host's runs are driven by tests/windows/run-wine.sh
// The host saves a state in one run and restores it in another; the two renders are identical.
TEST(Chunks, HostRunsShareStateThroughAChunkFile) {
    const std::string build = bb::buildDir();
    const std::string source = ZB_SOURCE_DIR;
    char pattern[] = "/tmp/zornbeck-chunk-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    const std::string host = build + "/zornbeck";
    const std::string in = source + "/examples/phrase.wav";
    auto run = [&](const std::string& out, const std::string& extra) {
        const std::string command =
            host + " render '" + in + "' '" + dir + "/" + out + "' --tail 0.5 " + extra + " >/dev/null";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    auto bytes = [&](const std::string& name) {
        std::ifstream file(dir + "/" + name, std::ios::binary);
        return std::vector<char>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    };
    ASSERT_EQ(run("saved.wav", "--program 3 --param 3=0.3 --param 13=0.9 --save-chunk " + dir + "/p.chunk"), 0);
    ASSERT_EQ(run("restored.wav", "--load-chunk " + dir + "/p.chunk"), 0);
    ASSERT_EQ(run("plain.wav", ""), 0);
    ASSERT_EQ(run("bank-saved.wav", "--program 7 --param 3=0.2 --bank --save-chunk " + dir + "/b.chunk"), 0);
    ASSERT_EQ(run("bank-restored.wav", "--bank --load-chunk " + dir + "/b.chunk --program 7"), 0);

    EXPECT_GT(bytes("saved.wav").size(), 100000u);
    EXPECT_EQ(bytes("saved.wav"), bytes("restored.wav"));
    EXPECT_NE(bytes("saved.wav"), bytes("plain.wav"));
    EXPECT_EQ(bytes("bank-saved.wav"), bytes("bank-restored.wav"));
    std::system(("rm -rf '" + dir + "'").c_str());
}
#endif

}  // namespace
