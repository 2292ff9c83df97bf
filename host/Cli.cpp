#include "Cli.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace zb {

bool ArgScanner::flag(const char* name) {
    if (!done() && args_[pos_] == name) {
        ++pos_;
        return true;
    }
    return false;
}

bool ArgScanner::option(const char* name, std::string& value) {
    if (done()) {
        return false;
    }
    const std::string& arg = args_[pos_];
    const std::string prefix = std::string(name) + "=";
    if (arg.rfind(prefix, 0) == 0) {
        value = arg.substr(prefix.size());
        ++pos_;
        return true;
    }
    if (arg != name) {
        return false;
    }
    if (pos_ + 1 >= args_.size()) {
        throw UsageError(std::string(name) + " needs a value (see zornbeck " + command_ + " --help)");
    }
    value = args_[pos_ + 1];
    pos_ += 2;
    return true;
}

std::string ArgScanner::positional() {
    const std::string& arg = args_[pos_];
    if (arg.size() > 1 && arg[0] == '-') {
        throw UsageError("unknown option '" + arg + "' for " + command_ + " (see zornbeck " + command_ + " --help)");
    }
    ++pos_;
    return arg;
}

std::optional<long long> parseInteger(const std::string& text) {
    long long value = 0;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    if (text.empty() || result.ec != std::errc() || result.ptr != end) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> parseFinite(const std::string& text) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) {
        return std::nullopt;
    }
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || errno == ERANGE || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

#ifdef _WIN32
std::string defaultModulePath() {
    char exe[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
    const std::string path(exe, length < MAX_PATH ? length : 0);
    const std::size_t slash = path.find_last_of("\\/");
    return (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "\\Zornbeck.dll";
}
#else
std::string defaultModulePath() {
    std::string exe(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", exe.data(), exe.size() - 1);
    if (length <= 0) {
        return "Zornbeck.so";
    }
    exe.resize(static_cast<std::size_t>(length));
    const std::size_t slash = exe.find_last_of('/');
    return (slash == std::string::npos ? std::string(".") : exe.substr(0, slash)) + "/Zornbeck.so";
}
#endif

std::unique_ptr<PluginLoader> loadPlugin(const std::string& modulePath, float sampleRate, int blockSize) {
    LoadOptions options;
    options.path = modulePath;
    options.sampleRate = sampleRate;
    options.blockSize = blockSize;
    std::string error;
    std::unique_ptr<PluginLoader> plugin = PluginLoader::load(options, error);
    if (!plugin) {
        throw RuntimeError(error);
    }
    return plugin;
}

namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

}  // namespace

int resolveProgram(PluginLoader& plugin, const std::string& choice) {
    const int count = plugin.effect()->numPrograms;
    if (const std::optional<long long> number = parseInteger(choice)) {
        if (*number < 0 || *number >= count) {
            throw UsageError("there is no program " + choice + "; programs are numbered 0.." +
                             std::to_string(count - 1));
        }
        return static_cast<int>(*number);
    }
    std::vector<std::string> names(count);
    for (int i = 0; i < count; ++i) {
        plugin.programNameIndexed(i, names[i]);
    }
    for (int i = 0; i < count; ++i) {
        if (names[i] == choice) {
            return i;
        }
    }
    for (int i = 0; i < count; ++i) {
        if (lower(names[i]) == lower(choice)) {
            return i;
        }
    }
    std::string message = "there is no program named '" + choice + "'; the programs are:";
    for (int i = 0; i < count; ++i) {
        message += "\n  " + std::to_string(i) + "  " + names[i];
    }
    throw UsageError(message);
}

ParamSetting parseParamSetting(const std::string& text) {
    const std::size_t eq = text.rfind('=');
    if (eq == std::string::npos || eq == 0) {
        throw UsageError("--param '" + text + "' is not INDEX=VALUE");
    }
    ParamSetting setting;
    setting.indexText = text.substr(0, eq);
    setting.valueText = text.substr(eq + 1);
    const std::optional<double> value = parseFinite(setting.valueText);
    if (!value) {
        char* end = nullptr;
        std::strtod(setting.valueText.c_str(), &end);
        if (setting.valueText.empty() || (end != setting.valueText.c_str() && *end == 0)) {
            throw UsageError("--param " + text + ": value '" + setting.valueText + "' is not a finite number");
        }
        setting.asText = true;
        return setting;
    }
    if (*value < 0.0 || *value > 1.0) {
        throw UsageError("--param " + text + ": value " + setting.valueText +
                         " is outside 0..1 (values are normalised; give a unit for a plain value, as in 100 Hz)");
    }
    setting.value = static_cast<float>(*value);
    return setting;
}

void resolveParamSetting(PluginLoader& plugin, ParamSetting& setting) {
    const int count = plugin.effect()->numParams;
    const std::string range = "0.." + std::to_string(count - 1);
    if (const std::optional<long long> index = parseInteger(setting.indexText)) {
        if (*index < 0 || *index >= count) {
            throw UsageError("--param " + setting.indexText + "=" + setting.valueText + ": index " +
                             setting.indexText + " is outside " + range);
        }
        setting.index = static_cast<int>(*index);
        return;
    }
    if (setting.indexText != "NONE") {
        for (int i = 0; i < count; ++i) {
            if (plugin.parameterName(i) == setting.indexText) {
                setting.index = i;
                return;
            }
        }
    }
    throw UsageError("--param " + setting.indexText + "=" + setting.valueText + ": '" + setting.indexText +
                     "' is neither an index in " + range + " nor a parameter name (see zornbeck info)");
}

bool scanPluginOptions(ArgScanner& scan, std::string& modulePath, std::string& program,
                       std::vector<ParamSetting>& params) {
    if (scan.option("--module", modulePath) || scan.option("--program", program)) {
        return true;
    }
    std::string value;
    if (scan.option("--param", value)) {
        params.push_back(parseParamSetting(value));
        return true;
    }
    return false;
}

void applyProgramAndParams(PluginLoader& plugin, const std::string& program, std::vector<ParamSetting>& params) {
    if (!program.empty()) {
        plugin.setProgram(resolveProgram(plugin, program));
    }
    applyParams(plugin, params);
}

void applyParams(PluginLoader& plugin, std::vector<ParamSetting>& params) {
    for (ParamSetting& setting : params) {
        resolveParamSetting(plugin, setting);
    }
    for (const ParamSetting& setting : params) {
        if (!setting.asText) {
            plugin.setParameter(setting.index, setting.value);
            continue;
        }
        std::string text = setting.valueText;
        if (plugin.dispatch(effString2Parameter, setting.index, 0, text.data()) == 0) {
            throw UsageError("--param " + setting.indexText + "=" + setting.valueText + ": '" + setting.valueText +
                             "' is not a value of " + plugin.parameterName(setting.index) + " (it shows as '" +
                             plugin.parameterDisplay(setting.index) + "'; see zornbeck info)");
        }
    }
}

double parseScale(const std::string& text) {
    const std::optional<double> value = parseFinite(text);
    if (!value || *value < 1.0 || *value > 3.0) {
        throw UsageError("--scale needs a factor from 1 to 3, not '" + text + "'");
    }
    return *value;
}

bool setEditorScale(PluginLoader& plugin, double factor) {
    if (plugin.canDo("supportsViewDpiScaling") != 1) {
        return false;
    }
    plugin.dispatch(effVendorSpecific, kVendorScaleIndex, kVendorScaleValue, nullptr, static_cast<float>(factor));
    return true;
}

}  // namespace zb
