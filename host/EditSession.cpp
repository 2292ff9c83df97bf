#include "EditSession.h"

#include <cstdio>

namespace zb {

std::optional<EditOptions> scanEditOptions(const std::vector<std::string>& args, const char* help) {
    EditOptions options;
    ArgScanner scan("edit", args);
    std::string value;
    while (!scan.done()) {
        if (scan.flag("--help") || scan.flag("-h")) {
            std::fputs(help, stdout);
            return std::nullopt;
        }
        if (scanPluginOptions(scan, options.modulePath, options.program, options.params)) {
            continue;
        }
        if (scan.option("--seconds", value)) {
            const std::optional<double> s = parseFinite(value);
            if (!s || *s <= 0.0 || *s > 86400.0) {
                throw UsageError("--seconds " + value + " is not a number of seconds above 0");
            }
            options.seconds = *s;
            continue;
        }
        if (scan.option("--scale", value)) {
            options.scale = parseScale(value);
            continue;
        }
        throw UsageError("unexpected argument '" + scan.positional() +
                         "' for edit (see zornbeck edit --help)");
    }
    return options;
}

EditSession::EditSession(const EditOptions& options)
    : plugin_(loadPlugin(options.modulePath, kRate, kBlock)),
      seconds_(options.seconds),
      silence_(kBlock, 0.0f),
      out0_(kBlock),
      out1_(kBlock) {
    std::vector<ParamSetting> params = options.params;
    applyProgramAndParams(*plugin_, options.program, params);
    if ((plugin_->effect()->flags & effFlagsHasEditor) == 0) {
        throw RuntimeError("'" + options.modulePath + "' has no editor");
    }
    if (options.scale > 0.0 && !setEditorScale(*plugin_, options.scale)) {
        throw RuntimeError("'" + options.modulePath + "' does not take an editor scale");
    }
}

void EditSession::initialSize(int& width, int& height) {
    ERect* rect = nullptr;
    plugin_->dispatch(effEditGetRect, 0, 0, &rect);
    width = rect != nullptr ? rect->right - rect->left : 0;
    height = rect != nullptr ? rect->bottom - rect->top : 0;
    if (width <= 0 || height <= 0 || width > 8192 || height > 8192) {
        // Some plug-ins know their size only once open; start small and follow their resize request.
        width = 320;
        height = 200;
    }
}

std::string EditSession::title() {
    std::string title = plugin_->productString();
    const std::string programName = plugin_->programName();
    if (!programName.empty()) {
        title += " - " + programName;
    }
    return title;
}

bool EditSession::tick() {
    if (!started_) {
        started_ = true;
        start_ = std::chrono::steady_clock::now();
        plugin_->clearCalls();
    }
    plugin_->dispatch(effEditIdle);

    float* inputs[2] = {silence_.data(), silence_.data()};
    float* outputs[2] = {out0_.data(), out1_.data()};
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    for (const long long due = static_cast<long long>(elapsed * kRate); framesDone_ + kBlock <= due;
         framesDone_ += kBlock) {
        plugin_->process(inputs, outputs, kBlock);
    }
    // The record of calls is only read here, so it is emptied every tick and cannot grow.
    const std::vector<HostCall> calls = plugin_->calls();
    plugin_->clearCalls();
    for (const HostCall& call : calls) {
        if (call.opcode == audioMasterAutomate) {
            std::printf("parameter %d (%s) = %g\n", call.index, plugin_->parameterName(call.index).c_str(),
                        static_cast<double>(call.opt));
            std::fflush(stdout);
        }
    }
    return !(seconds_ > 0.0 && elapsed >= seconds_);
}

}  // namespace zb
