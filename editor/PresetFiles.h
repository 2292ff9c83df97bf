// Single programs as VST program files (.fxp with an opaque chunk), and the file dialog the
// editor asks for their names.
#pragma once

#include <string>

struct Program;

// What the editor asks of a file dialog: load (0) or save (1) one file of one type.
struct FileSelectRequest {
    int command = 0;
    std::string typeName;  // "VST FXP" or "VST Effect FXP"
    std::string macType = ".fxp";
    std::string dosExtension = "FXP";
    std::string title;
};

class FileSelector {
  public:
    virtual ~FileSelector() = default;
    // True with the chosen path; false when nothing was chosen.
    virtual bool choose(const FileSelectRequest& request, std::string& path) = 0;
};

// The platform's own file dialog.
class PlatformFileSelector : public FileSelector {
  public:
    bool choose(const FileSelectRequest& request, std::string& path) override;
};

constexpr int kPresetHeaderSize = 60;
constexpr int kPresetFileSize = 3048;

// The chosen path with any three-letter extension replaced by ".fxp"; empty when too short.
std::string presetFileName(const std::string& chosen);
// Header and program record; false when the file cannot be opened.
bool writePresetFile(const std::string& path, const Program& program);
// By the file's length alone: the current layout or one of the two older ones; false (and the
// program untouched) for any other length or a file that cannot be read.
bool readPresetFile(const std::string& path, Program& program);
