// What `zornbeck edit` does on every platform: the options, the plug-in loaded with its program,
// and each tick's silence and report of parameter changes. Only the window differs.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Cli.h"

namespace zb {

struct EditOptions {
    std::string modulePath = defaultModulePath();
    std::string program;
    std::vector<ParamSetting> params;
    double seconds = 0.0;
    double scale = 0.0;  // 0: the plug-in's own choice
};

// nullopt once --help has printed `help`; throws UsageError.
std::optional<EditOptions> scanEditOptions(const std::vector<std::string>& args, const char* help);

class EditSession {
  public:
    static constexpr float kRate = 44100.0f;
    static constexpr int kBlock = 512;

    // Loads the module, selects the program and parameters; throws RuntimeError without an editor.
    explicit EditSession(const EditOptions& options);

    PluginLoader& plugin() { return *plugin_; }
    // The editor's size as it reports it before opening, or a small window to start with.
    void initialSize(int& width, int& height);
    // The product and program names, for the window's title.
    std::string title();
    // Call once the editor is open and then every idle tick: idles the editor, processes the
    // silence that is due in real time and prints the editor's parameter changes. False once
    // --seconds have passed.
    bool tick();

  private:
    std::unique_ptr<PluginLoader> plugin_;
    double seconds_;
    std::vector<float> silence_, out0_, out1_;
    std::chrono::steady_clock::time_point start_;
    long long framesDone_ = 0;
    bool started_ = false;
};

}  // namespace zb
