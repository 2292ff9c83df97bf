// zornbeck: a command-line VST 2.4 host for the Zornbeck module.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "Cli.h"

namespace {

const char* const kMainHelp =
    "Usage: zornbeck COMMAND [options]\n"
    "\n"
    "A command-line VST 2.4 host. It loads the plug-in module with dlopen and VSTPluginMain and\n"
    "drives it exactly as a DAW does.\n"
    "\n"
    "Commands:\n"
    "  info        identity, programs and parameters of the module\n"
    "  render      render a sound file through the plug-in\n"
    "  bench       time every factory program and a worst case as a real-time factor\n"
    "  screenshot  write the editor's picture to a PNG (no display needed)\n"
    "  edit        open the editor in a window of its own (X11)\n"
    "\n"
    "`zornbeck COMMAND --help` describes each command. Exit codes: 0 done, 1 failure, 2 usage error.\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(kMainHelp, stderr);
        return zb::kExitUsage;
    }
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    try {
        if (command == "--help" || command == "-h" || command == "help") {
            std::fputs(kMainHelp, stdout);
            return zb::kExitOk;
        }
        if (command == "info") {
            return zb::commandInfo(args);
        }
        if (command == "render") {
            return zb::commandRender(args);
        }
        if (command == "bench") {
            return zb::commandBench(args);
        }
        if (command == "screenshot") {
            return zb::commandScreenshot(args);
        }
        if (command == "edit") {
            return zb::commandEdit(args);
        }
        throw zb::UsageError("unknown command '" + command + "' (see zornbeck --help)");
    } catch (const zb::UsageError& e) {
        std::fprintf(stderr, "zornbeck: %s\n", e.what());
        return zb::kExitUsage;
    } catch (const zb::RuntimeError& e) {
        std::fprintf(stderr, "zornbeck: %s\n", e.what());
        return zb::kExitFailure;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zornbeck: %s\n", e.what());
        return zb::kExitFailure;
    }
}
