// Single programs as VST program files (.fxp with an opaque chunk).
#pragma once

#include <string>

struct Program;

constexpr int kPresetHeaderSize = 60;
constexpr int kPresetFileSize = 3048;

// The chosen path with any three-letter extension replaced by ".fxp"; empty when too short.
std::string presetFileName(const std::string& chosen);
// Header and program record; false when the file cannot be opened.
bool writePresetFile(const std::string& path, const Program& program);
// By the file's length alone: the current layout or one of the two older ones; false (and the
// program untouched) for any other length or a file that cannot be read.
bool readPresetFile(const std::string& path, Program& program);
