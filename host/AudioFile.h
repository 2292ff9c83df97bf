// Sound files through libsndfile: whole files in, whole files out, float samples per channel.
#pragma once

#include <string>
#include <vector>

namespace zb {

struct Audio {
    int sampleRate = 0;
    // channels[c][frame]
    std::vector<std::vector<float>> channels;
    std::size_t frames() const { return channels.empty() ? 0 : channels[0].size(); }
};

// The encodings `render` writes, chosen by the output file's extension.
enum class OutputFormat { WavFloat, Flac24, Aiff24 };

// False with a one-line message naming the path when the file cannot be read.
bool readAudio(const std::string& path, Audio& audio, std::string& error);

// False when the extension names no format we write; `error` then lists the ones we do.
bool formatForPath(const std::string& path, OutputFormat& format, std::string& error);

// Integer encodings are clipped at full scale rather than wrapped.
bool writeAudio(const std::string& path, const Audio& audio, OutputFormat format, std::string& error);

}  // namespace zb
