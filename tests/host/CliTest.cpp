// The zornbeck command line, run as a user runs it, against the fake module (output = input × gain).
#include <gtest/gtest.h>
#include <png.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "TestPaths.h"
#include "XServer.h"

namespace {

struct Result {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string quote(const std::string& arg) {
    std::string q = "'";
    for (char c : arg) {
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return q + "'";
}

std::string slurp(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

class Cli : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/zornbeck-cli-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf " + quote(dir_)).c_str()); }

    std::string file(const std::string& name) const { return dir_ + "/" + name; }
    std::string fake() const { return buildPath("zbtest_fake.so"); }

    Result run(const std::vector<std::string>& args, const std::string& environment = "") const {
        // Appended piece by piece: GCC 12 at -O3 takes `string + string` here for an overlapping
        // copy (-Werror=restrict, a known false positive).
        std::string command = environment;
        command.append(" ").append(quote(buildPath("zornbeck")));
        for (const std::string& a : args) {
            command.append(" ").append(quote(a));
        }
        command.append(" >").append(quote(file("stdout"))).append(" 2>").append(quote(file("stderr")));
        command.append(" </dev/null");
        const int status = std::system(command.c_str());
        Result r;
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = slurp(file("stdout"));
        r.err = slurp(file("stderr"));
        return r;
    }

    // A ramp-like signal that no block boundary can hide: every sample differs.
    std::string writeInput(const std::string& name, int channels, int frames, int rate = 44100,
                           int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT) {
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = channels;
        info.format = format;
        const std::string path = file(name);
        SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
        EXPECT_NE(f, nullptr);
        std::vector<float> data(static_cast<std::size_t>(frames) * channels);
        for (int i = 0; i < frames; ++i) {
            for (int c = 0; c < channels; ++c) {
                data[i * channels + c] =
                    (c == 0 ? 1.0f : -1.0f) * static_cast<float>((i * 37) % 1000) / 1024.0f;
            }
        }
        sf_writef_float(f, data.data(), frames);
        sf_close(f);
        return path;
    }

    struct Read {
        SF_INFO info{};
        std::vector<float> data;
    };
    Read readOutput(const std::string& path) {
        Read r;
        SNDFILE* f = sf_open(path.c_str(), SFM_READ, &r.info);
        EXPECT_NE(f, nullptr) << path;
        if (f != nullptr) {
            r.data.resize(static_cast<std::size_t>(r.info.frames) * r.info.channels);
            sf_readf_float(f, r.data.data(), r.info.frames);
            sf_close(f);
        }
        return r;
    }

    std::string dir_;
};

TEST_F(Cli, UsageErrorsExitWithTwoAndOneLine) {
    const std::string in = writeInput("in.wav", 1, 100);
    const std::string out = file("out.wav");
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"render", in},
        {"render", in, out, "--bogus"},
        {"render", in, out, "--block"},
        {"render", in, out, "--block", "0"},
        {"render", in, out, "--block", "12x"},
        {"render", in, out, "--tail", "-1"},
        {"render", in, out, "--rate", "fast"},
        {"render", in, file("out.mp3"), "--module", fake()},
        {"render", in, out, "--module", fake(), "--rate", "48000"},
        {"render", in, out, "--module", fake(), "--param", "0=nan"},
        {"render", in, out, "--module", fake(), "--param", "0=inf"},
        {"render", in, out, "--module", fake(), "--param", "0=1.5"},
        {"render", in, out, "--module", fake(), "--param", "0=loud"},
        {"render", in, out, "--module", fake(), "--param", "2=0.5"},
        {"render", in, out, "--module", fake(), "--param", "-1=0.5"},
        {"render", in, out, "--module", fake(), "--param", "Volume=0.5"},
        {"render", in, out, "--module", fake(), "--param", "0.5"},
        {"render", in, out, "--module", fake(), "--program", "3"},
        {"info", "extra"},
        {"bench", "--seconds", "0"},
        {"bench", "--seconds", "a while"},
        {"bench", "--block", "0"},
        {"bench", "--block", "8193"},
        {"bench", "--rate", "100"},
        {"bench", "--rate", "fast"},
        {"bench", "--rounds", "0"},
        {"bench", "--rounds", "100"},
        {"bench", "--peer-set", "voices=8"},
        {"bench", "--peer-as-ours"},
        {"bench", "--module", fake(), "--compare", fake(), "--reference"},
        {"bench", "--module", fake(), "--compare", fake(), "--peer-set", "7=0.5"},
    };
    for (const auto& args : cases) {
        const Result r = run(args);
        std::string shown;
        for (const auto& a : args) {
            shown += a + " ";
        }
        EXPECT_EQ(r.exitCode, 2) << shown << "\n" << r.err;
        EXPECT_FALSE(r.err.empty()) << shown;
        if (!args.empty()) {
            EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << shown << "\n" << r.err;
        }
    }
    EXPECT_NE(access(out.c_str(), F_OK), 0) << "nothing is written after a usage error";
}

TEST_F(Cli, UnknownProgramNameListsTheValidOnes) {
    const std::string in = writeInput("in.wav", 1, 100);
    const Result r = run({"render", in, file("out.wav"), "--module", fake(), "--program", "Delta"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("'Delta'"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Beta Two"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("gamma"), std::string::npos) << r.err;
}

TEST_F(Cli, RuntimeFailuresExitWithOneAndNameTheFile) {
    const std::string in = writeInput("in.wav", 1, 100);
    const std::string text = file("text.wav");
    std::ofstream(text) << "not audio";
    const std::string wide = writeInput("wide.wav", 3, 100);
    struct Case {
        std::vector<std::string> args;
        std::string named;
    };
    const Case cases[] = {
        {{"render", file("missing.wav"), file("o.wav"), "--module", fake()}, file("missing.wav")},
        {{"render", text, file("o.wav"), "--module", fake()}, text},
        {{"render", wide, file("o.wav"), "--module", fake()}, wide},
        {{"render", in, file("o.wav"), "--module", file("nothing.so")}, file("nothing.so")},
        {{"render", in, file("o.wav"), "--module", buildPath("zbtest_refuses.so")}, "refused to load"},
        {{"render", in, file("no-such-dir/o.wav"), "--module", fake()}, file("no-such-dir/o.wav")},
        {{"info", "--module", text}, text},
    };
    for (const Case& c : cases) {
        const Result r = run(c.args);
        EXPECT_EQ(r.exitCode, 1) << c.named << "\n" << r.err;
        EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    }
}

// A header may claim any rate; the render refuses a rate outside the one --rate accepts instead
// of rendering pre-roll and tail at it.
TEST_F(Cli, FileRateOutsideTheRangeIsARuntimeError) {
    const std::string in = writeInput("in.wav", 1, 100);
    std::string bytes = slurp(in);
    ASSERT_EQ(bytes.substr(12, 4), "fmt ");
    for (const std::uint32_t rate : {2147483647u, 1000000000u, 768001u, 999u}) {
        std::string patched = bytes;
        std::memcpy(&patched[24], &rate, 4);
        const std::string path = file("rate-" + std::to_string(rate) + ".wav");
        std::ofstream(path, std::ios::binary) << patched;
        const Result r = run({"render", path, file("o.wav"), "--module", fake()});
        EXPECT_EQ(r.exitCode, 1) << rate << "\n" << r.err;
        EXPECT_NE(r.err.find(path), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(std::to_string(rate) + " Hz"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    }
}

TEST_F(Cli, NonFiniteOutputIsReportedAndLeftOutOfThePeak) {
    const std::string in = file("bad.wav");
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(in.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    const float samples[] = {0.5f, INFINITY, 0.25f, NAN, -INFINITY, 0.0f};
    sf_writef_float(f, samples, 6);
    sf_close(f);
    const Result r = run({"render", in, file("o.wav"), "--module", fake(), "--tail", "0", "--preroll", "0"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    // The fake plug-in scales by its gain, the mono input feeds both channels: 3 x 2 samples.
    EXPECT_NE(r.out.find("6 output samples are not finite"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("inf dBFS"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("nan dBFS"), std::string::npos) << r.out;

    const Result clean = run({"render", writeInput("in.wav", 1, 100), file("o.wav"), "--module", fake()});
    EXPECT_EQ(clean.out.find("not finite"), std::string::npos) << clean.out;
}

TEST_F(Cli, HelpForEveryCommand) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"},
                                                 {"info", "--help"},
                                                 {"render", "--help"},
                                                 {"bench", "--help"},
                                                 {"screenshot", "--help"},
                                                 {"edit", "--help"}}) {
        const Result r = run(args);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_NE(r.out.find("Usage: zornbeck"), std::string::npos) << r.out;
    }
}

TEST_F(Cli, RendersStereoSampleExactWithTailAndAnyBlockSize) {
    const int frames = 3001;
    const std::string in = writeInput("in.wav", 2, frames, 32000);
    const std::string out = file("out.wav");
    const Result r = run({"render", in, out, "--module", fake(), "--block", "97", "--tail", "0.25"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Read o = readOutput(out);
    EXPECT_EQ(o.info.channels, 2);
    EXPECT_EQ(o.info.samplerate, 32000);
    EXPECT_EQ(o.info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    ASSERT_EQ(o.info.frames, frames + 8000);
    const Read i = readOutput(in);
    for (int f = 0; f < frames; ++f) {
        ASSERT_EQ(o.data[2 * f], i.data[2 * f] * 0.5f) << f;
        ASSERT_EQ(o.data[2 * f + 1], i.data[2 * f + 1] * 0.5f) << f;
    }
    for (int f = frames; f < frames + 8000; ++f) {
        ASSERT_EQ(o.data[2 * f], 0.0f);
    }
}

TEST_F(Cli, MonoInputFeedsBothChannels) {
    const std::string in = writeInput("mono.wav", 1, 1000, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const std::string out = file("out.wav");
    ASSERT_EQ(run({"render", in, out, "--module", fake(), "--tail", "0", "--rate", "44100"}).exitCode, 0);
    const Read i = readOutput(in);
    const Read o = readOutput(out);
    ASSERT_EQ(o.info.channels, 2);
    ASSERT_EQ(o.info.frames, 1000);
    for (int f = 0; f < 1000; ++f) {
        ASSERT_EQ(o.data[2 * f], i.data[f] * 0.5f);
        ASSERT_EQ(o.data[2 * f + 1], i.data[f] * 0.5f);
    }
}

TEST_F(Cli, ProgramThenParametersReachThePlugin) {
    const std::string in = writeInput("in.wav", 1, 200);
    struct Case {
        std::vector<std::string> extra;
        float gain;
    };
    const Case cases[] = {
        {{"--program", "Beta Two"}, 0.25f},
        {{"--program", "BETA TWO"}, 0.25f},
        {{"--program", "2"}, 2.0f},
        {{"--param", "0=0.125"}, 0.125f},
        {{"--param", "Gain=0.125"}, 0.125f},
        {{"--param=0=0.75", "--program", "gamma"}, 0.75f},  // parameters come after the program
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"render", in, file("out.wav"), "--module", fake(), "--tail", "0"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const Result r = run(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const Read i = readOutput(in);
        const Read o = readOutput(file("out.wav"));
        ASSERT_EQ(o.info.frames, 200);
        EXPECT_EQ(o.data[2 * 123], i.data[123] * c.gain) << c.extra[0] << " " << c.extra[1];
    }
}

TEST_F(Cli, OutputFormatFollowsTheExtension) {
    const std::string in = writeInput("in.wav", 2, 500);
    struct Case {
        std::string name;
        int format;
    };
    const Case cases[] = {{"o.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
                          {"o.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24},
                          {"o.WAV", SF_FORMAT_WAV | SF_FORMAT_FLOAT}};
    for (const Case& c : cases) {
        const Result r = run({"render", in, file(c.name), "--module", fake(), "--tail", "0.1"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const Read o = readOutput(file(c.name));
        EXPECT_EQ(o.info.format, c.format) << c.name;
        EXPECT_EQ(o.info.frames, 500 + 4410) << c.name;
        EXPECT_EQ(o.info.channels, 2);
    }
}

TEST_F(Cli, ChunksSavedByOneRunRestoreTheStateInAnother) {
    const std::string in = writeInput("in.wav", 2, 300);
    const std::string program = file("p.chunk"), bank = file("b.chunk");
    auto render = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = {"render", in, file("out.wav"), "--module", fake(), "--tail", "0"};
        args.insert(args.end(), extra.begin(), extra.end());
        return run(args);
    };
    auto gainOfLastRender = [&]() {
        const Read i = readOutput(in);
        const Read o = readOutput(file("out.wav"));
        return o.data.at(2 * 77) / i.data.at(2 * 77);
    };
    ASSERT_EQ(render({"--param", "0=0.125", "--save-chunk", program}).exitCode, 0);
    ASSERT_EQ(render({"--program", "2", "--param", "0=0.375", "--bank", "--save-chunk", bank}).exitCode, 0);

    struct Case {
        std::vector<std::string> extra;
        float gain;
    };
    const Case cases[] = {
        {{"--load-chunk", program}, 0.125f},
        {{"--program", "gamma", "--load-chunk", program},
         0.125f},  // a program chunk goes into the chosen one
        {{"--load-chunk", bank, "--bank"}, 0.375f},
        {{"--load-chunk", bank, "--bank", "--program", "Alpha"}, 0.5f},  // a bank is loaded before the choice
    };
    for (const Case& c : cases) {
        const Result r = render(c.extra);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(gainOfLastRender(), c.gain) << c.extra[0] << " " << c.extra[1];
    }

    Result r = render({"--load-chunk", bank});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("refused"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--bank"), std::string::npos) << r.err;
    r = render({"--load-chunk", file("none.chunk")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(file("none.chunk")), std::string::npos) << r.err;
}

TEST_F(Cli, BenchTimesEveryProgramAndTheWorstCase) {
    const Result r = run({"bench", "--module", fake(), "--seconds", "0.05"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* expected : {"Alpha", "Beta Two", "gamma", "worst case", "Worst case", "Heaviest program"}) {
        EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
    }
    EXPECT_EQ(r.out.find("reference"), std::string::npos) << r.out;
}

TEST_F(Cli, BenchTakesBlockRateProgramAndReference) {
    const Result r = run({"bench", "--module", fake(), "--seconds", "0.05", "--block", "16", "--rate", "192000",
                          "--program", "gamma", "--reference"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* expected : {"192000 Hz", "16-frame blocks", "gamma", "speed-up", "faster than the reference"}) {
        EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
    }
    EXPECT_EQ(r.out.find("Alpha"), std::string::npos) << r.out;
}

// Another module in the same process, interleaved: here the fake one against itself.
TEST_F(Cli, BenchComparesWithAnotherModuleInTheSameRun) {
    const Result r = run({"bench", "--module", fake(), "--seconds", "0.05", "--program", "gamma", "--compare", fake(),
                          "--peer-as-ours", "--peer-set", "0=0.25", "--rounds", "3"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* expected : {"interleaved in 3 rounds", "peer ns", "ratio", "gamma", "the time of"}) {
        EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
    }
    EXPECT_EQ(r.out.find("Alpha"), std::string::npos) << r.out;
    // A plug-in that is not installed is a failure to say so, not a usage error.
    const Result missing = run({"bench", "--module", fake(), "--seconds", "0.05", "--compare", "urn:zornbeck:none"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("urn:zornbeck:none"), std::string::npos) << missing.err;
}

TEST_F(Cli, ScreenshotWritesTheEditorPictureUnpremultiplied) {
    const std::string out = file("shot.png");
    const Result r = run({"screenshot", out, "--module", fake(), "--program", "gamma"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, out.c_str())) << image.message;
    EXPECT_EQ(image.width, 40u);
    EXPECT_EQ(image.height, 30u);
    image.format = PNG_FORMAT_RGBA;
    std::vector<png_byte> pixels(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr));
    auto pixel = [&](int x, int y) { return &pixels[(y * 40 + x) * 4]; };
    // x = 10: premultiplied (a 60, r 60, g 30, b 0) is straight (255, 128, 0) at alpha 60.
    EXPECT_EQ(pixel(10, 5)[0], 255);
    EXPECT_EQ(pixel(10, 5)[1], 128);
    EXPECT_EQ(pixel(10, 5)[2], 0);
    EXPECT_EQ(pixel(10, 5)[3], 60);
    EXPECT_EQ(pixel(0, 29)[3], 0);
    EXPECT_EQ(pixel(0, 29)[0], 0);
    EXPECT_EQ(pixel(39, 29)[3], 234);
    EXPECT_EQ(pixel(39, 29)[0], 255);

    const Result bad = run({"screenshot", "--module", fake()});
    EXPECT_EQ(bad.exitCode, 2);
}

TEST_F(Cli, EditOpensTheEditorInAWindowAndIdlesItUntilClosed) {
    XServer server;
    ASSERT_TRUE(server.start()) << "Xvfb did not start";
    const Result r = run({"edit", "--module", fake(), "--seconds", "0.6"}, "DISPLAY=" + server.display());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("fake editor: opened in window given"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("parameter 0 (Gain) = 0.25"), std::string::npos) << r.out;
    const std::size_t closed = r.out.find("closed after ");
    ASSERT_NE(closed, std::string::npos) << r.out;
    const int idles = std::atoi(r.out.c_str() + closed + 13);
    EXPECT_GE(idles, 5) << "about every 30 ms for 0.6 s, even on a busy machine";
    EXPECT_LE(idles, 40);

    const Result noDisplay = run({"edit", "--module", fake(), "--seconds", "0.1"}, "env -u DISPLAY");
    EXPECT_EQ(noDisplay.exitCode, 1);
    EXPECT_NE(noDisplay.err.find("X display"), std::string::npos) << noDisplay.err;
}

TEST_F(Cli, InfoShowsIdentityProgramsAndParameters) {
    const Result r = run({"info", "--module", fake()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* expected :
         {"Test Vendor", "'Fake'", "Beta Two", "Gain", "0x11 (HasEditor | CanReplacing)"}) {
        EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
    }
}

}  // namespace
