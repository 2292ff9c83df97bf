// The in-process host every plug-in format drives the core through: it must give the VST 2.4
// module's bits for the same calls, and hand the editor's edits to its face.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "../blackbox/BlackBox.h"
#include "../toolkit/XvfbServer.h"
#include "editor/EffectEditor.h"
#include "model/ParameterTable.h"
#include "plugin/FaceHost.h"
#include "toolkit/frame/OffscreenFrame.h"

// Last: its macros (None, Bool) clash with the test framework's names.
#include <X11/Xlib.h>

namespace {

struct Recorder : FaceHost::Listener {
    struct Event {
        char kind;  // 'b'egin, 'v'alue, 'e'nd, 'd'isplay
        int index;
        float value;
    };
    std::vector<Event> events;
    void parameterEdited(int index, float value) override { events.push_back({'v', index, value}); }
    void beginEdit(int index) override { events.push_back({'b', index, 0.0f}); }
    void endEdit(int index) override { events.push_back({'e', index, 0.0f}); }
    void displayChanged() override { events.push_back({'d', -1, 0.0f}); }
    int count(char kind) const {
        int n = 0;
        for (const Event& e : events) n += e.kind == kind;
        return n;
    }
};

std::vector<float> noise(std::size_t frames, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> d(-0.5f, 0.5f);
    std::vector<float> v(frames);
    for (float& s : v) s = d(random);
    return v;
}

// The same program, values and input through the module and through a FaceHost, in uneven
// blocks, must give the same bits.
TEST(FaceHost, GivesTheModulesBitsForTheSameCalls) {
    auto module = bb::loadModule(48000.0f, 700);
    ASSERT_NE(module, nullptr);
    FaceHost face(nullptr, &EffectEditor::create);
    face.prepare(48000.0, 700);
    module->setProgram(5);
    face.setProgram(5);
    for (auto [index, value] : {std::pair{12, 0.7f}, {personIndex(2, slotPitchShift), 0.9f}, {14, 0.4f}}) {
        module->setParameter(index, value);
        face.setParameter(index, value);
    }
    const std::vector<float> left = noise(48000, 1), right = noise(48000, 2);
    std::vector<float> a[2] = {std::vector<float>(700), std::vector<float>(700)};
    std::vector<float> b[2] = {std::vector<float>(700), std::vector<float>(700)};
    std::size_t at = 0;
    for (int frames : {700, 1, 333, 64, 700, 512, 17}) {
        for (int round = 0; round < 8 && at + std::size_t(frames) <= left.size(); ++round) {
            float* in[2] = {const_cast<float*>(left.data() + at), const_cast<float*>(right.data() + at)};
            float* outA[2] = {a[0].data(), a[1].data()};
            float* outB[2] = {b[0].data(), b[1].data()};
            module->process(in, outA, frames);
            face.process(in, 2, outB, frames);
            for (int ch = 0; ch < 2; ++ch)
                for (int i = 0; i < frames; ++i)
                    ASSERT_EQ(a[ch][std::size_t(i)], b[ch][std::size_t(i)])
                        << "frame " << at + std::size_t(i);
            at += std::size_t(frames);
        }
    }
    EXPECT_EQ(face.chunk(false), module->getChunk(false));
}

TEST(FaceHost, ProgramsChunksAndTexts) {
    Recorder recorder;
    FaceHost face(&recorder, &EffectEditor::create);
    EXPECT_EQ(face.program(), 0);
    char name[32];
    face.programName(3, name, sizeof name);
    EXPECT_GT(std::strlen(name), 0u);
    face.setProgram(3);
    EXPECT_EQ(face.program(), 3);
    EXPECT_GE(recorder.count('d'), 1);

    face.setParameter(personIndex(0, slotPitchShift), 1.0f);
    char text[32];
    face.parameterDisplay(personIndex(0, slotPitchShift), text, sizeof text);
    EXPECT_STREQ(text, "+80.0 Hz");

    const std::vector<std::uint8_t> bank = face.chunk(false);
    const std::vector<std::uint8_t> program = face.chunk(true);
    EXPECT_EQ(bank.size(), sizeof(ProgramBank));
    EXPECT_EQ(program.size(), sizeof(Program));
    FaceHost other(nullptr, &EffectEditor::create);
    EXPECT_TRUE(other.setChunk(bank.data(), bank.size(), false));
    EXPECT_EQ(other.chunk(false), bank);
    other.setProgram(3);
    EXPECT_EQ(other.getParameter(personIndex(0, slotPitchShift)), 1.0f);
    // Bytes that are no chunk change nothing.
    const std::vector<std::uint8_t> junk(1000, 0x5a);
    EXPECT_FALSE(other.setChunk(junk.data(), junk.size(), false));
    EXPECT_FALSE(other.setChunk(nullptr, 0, true));
    EXPECT_EQ(other.chunk(false), bank);
}

TEST(FaceHost, TailFollowsTheRoom) {
    FaceHost face(nullptr, nullptr);
    face.setParameter(parReverbWetIndex, 0.0f);
    const double dry = face.tailSeconds();
    EXPECT_GT(dry, 0.33);  // the longest delay still sounds
    EXPECT_LT(dry, 0.5);
    face.setParameter(parReverbWetIndex, 0.5f);
    face.setParameter(parReverbSizeIndex, 0.2f);
    const double small = face.tailSeconds();
    face.setParameter(parReverbSizeIndex, 1.0f);
    const double large = face.tailSeconds();
    EXPECT_GT(small, dry);
    EXPECT_GT(large, 4.0 * small);
    EXPECT_LT(large, 60.0);
}

// The editor's gestures reach the face as begin, values and end on the parameter the control
// automates, and the value is heard.
TEST(FaceHost, EditorGesturesReachTheFace) {
    Recorder recorder;
    FaceHost face(&recorder, &EffectEditor::create);
    auto* editor = static_cast<EffectEditor*>(face.effect().getEditor());
    COffscreenFrame* screen = editor->openOffscreen();
    const CRect dial = editor->controlByParameter(parAllpassSpreadIndex)->getViewSize();
    const CPoint centre{(dial.left + dial.right) / 2, (dial.top + dial.bottom) / 2};
    recorder.events.clear();
    screen->drag(centre, {centre.x + 40, centre.y - 40});
    ASSERT_GE(recorder.events.size(), 3u);
    EXPECT_EQ(recorder.events.front().kind, 'b');
    EXPECT_EQ(recorder.events.front().index, parAllpassSpreadIndex);
    EXPECT_EQ(recorder.events.back().kind, 'e');
    EXPECT_EQ(recorder.events.back().index, parAllpassSpreadIndex);
    EXPECT_EQ(recorder.events[recorder.events.size() - 2].value, face.getParameter(parAllpassSpreadIndex));
    editor->close();
}

// In a real window the face can wait on the X connection instead of idling blindly.
TEST(FaceHost, EditorInAWindowOffersItsConnection) {
    XvfbServer server;
    if (!server.start())
        GTEST_SKIP() << "no Xvfb";
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    const Window parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 620, 432, 0, 0, 0);
    XMapWindow(display, parent);
    XSync(display, False);
    FaceHost face(nullptr, &EffectEditor::create);
    int width = 0, height = 0;
    face.editorSize(width, height);
    EXPECT_EQ(width, 620);
    EXPECT_EQ(height, 432);
    EXPECT_EQ(face.editorEventDescriptor(), -1);
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(face.openEditor(reinterpret_cast<void*>(parent)));
        EXPECT_GE(face.editorEventDescriptor(), 0);
        face.idleEditor();
        face.closeEditor();
        EXPECT_FALSE(face.editorOpen());
        EXPECT_EQ(face.editorEventDescriptor(), -1);
    }
    XDestroyWindow(display, parent);
    XCloseDisplay(display);
}

}  // namespace
