// Shared pieces of the zornbeck command line: errors with their exit codes, option scanning, number
// parsing and loading the module.
#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "PluginLoader.h"

namespace zb {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// Wrong use of the command line: exit code 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Something failed while doing the work: exit code 1.
struct RuntimeError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Walks a command's arguments; options may be written "--name value" or "--name=value".
class ArgScanner {
public:
    ArgScanner(std::string command, std::vector<std::string> args)
        : command_(std::move(command)), args_(std::move(args)) {}
    bool done() const { return pos_ >= args_.size(); }
    // True when the current argument is the flag `name` (no value); consumes it.
    bool flag(const char* name);
    // True when the current argument is option `name`; consumes it and its value.
    bool option(const char* name, std::string& value);
    // The current argument as a positional one; options that were not recognised are refused.
    std::string positional();

private:
    std::string command_;
    std::vector<std::string> args_;
    std::size_t pos_ = 0;
};

// Whole-string numbers; nullopt when the text is not one (or not finite).
std::optional<long long> parseInteger(const std::string& text);
std::optional<double> parseFinite(const std::string& text);

// Zornbeck.so beside the running executable.
std::string defaultModulePath();

// Loads the module with the given rate and block size, or throws RuntimeError.
std::unique_ptr<PluginLoader> loadPlugin(const std::string& modulePath, float sampleRate, int blockSize);

// The program number named by `choice` (a number or a name, exact or case-insensitive); throws
// UsageError listing the programs when there is no such program.
int resolveProgram(PluginLoader& plugin, const std::string& choice);

// A parameter as "INDEX=VALUE" (or "NAME=VALUE"); checked against the plug-in's parameters.
struct ParamSetting {
    std::string indexText;
    std::string valueText;
    int index = -1;
    float value = 0.0f;
    // The value is a text in the parameter's unit ("+80 Hz"), which the plug-in reads.
    bool asText = false;
};
// Splits and checks the syntax; throws UsageError.
ParamSetting parseParamSetting(const std::string& text);
// Resolves names and checks the range against the plug-in; throws UsageError.
void resolveParamSetting(PluginLoader& plugin, ParamSetting& setting);
// Consumes --module, --program or --param when the scanner stands on one; false otherwise.
bool scanPluginOptions(ArgScanner& scan, std::string& modulePath, std::string& program,
                       std::vector<ParamSetting>& params);
// Selects the program (when one is named), then sets the parameters, all checked before any is set.
// Resolves every setting, then sets them in order; a text value is read by the plug-in.
void applyParams(PluginLoader& plugin, std::vector<ParamSetting>& params);
void applyProgramAndParams(PluginLoader& plugin, const std::string& program, std::vector<ParamSetting>& params);

// The value of --scale: a factor from 1 to 3; throws UsageError.
double parseScale(const std::string& text);
// Tells the plug-in the editor's scale factor, as hosts do: only when its canDo says it takes one.
// False when it does not.
bool setEditorScale(PluginLoader& plugin, double factor);

int commandInfo(const std::vector<std::string>& args);
int commandRender(const std::vector<std::string>& args);
int commandBench(const std::vector<std::string>& args);
int commandScreenshot(const std::vector<std::string>& args);
int commandEdit(const std::vector<std::string>& args);

}  // namespace zb
