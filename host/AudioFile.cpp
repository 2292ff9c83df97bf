#include "AudioFile.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>

namespace zb {

namespace {

std::string lowerExtension(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return "";
    }
    std::string ext = path.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext;
}

}  // namespace

bool readAudio(const std::string& path, Audio& audio, std::string& error) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        error = "cannot read '" + path + "': " + sf_strerror(nullptr);
        return false;
    }
    if (info.channels < 1 || info.channels > 2) {
        error = "cannot use '" + path + "': it has " + std::to_string(info.channels) +
                " channels; only mono and stereo are supported";
        sf_close(file);
        return false;
    }
    std::vector<float> interleaved(static_cast<std::size_t>(info.frames) * info.channels);
    const sf_count_t got = sf_readf_float(file, interleaved.data(), info.frames);
    sf_close(file);
    if (got < 0) {
        error = "cannot read '" + path + "': read error";
        return false;
    }
    audio.sampleRate = info.samplerate;
    audio.channels.assign(info.channels, std::vector<float>(static_cast<std::size_t>(got)));
    for (sf_count_t f = 0; f < got; ++f) {
        for (int c = 0; c < info.channels; ++c) {
            audio.channels[c][f] = interleaved[f * info.channels + c];
        }
    }
    return true;
}

bool formatForPath(const std::string& path, OutputFormat& format, std::string& error) {
    const std::string ext = lowerExtension(path);
    if (ext == ".wav" || ext == ".wave") {
        format = OutputFormat::WavFloat;
    } else if (ext == ".flac") {
        format = OutputFormat::Flac24;
    } else if (ext == ".aif" || ext == ".aiff") {
        format = OutputFormat::Aiff24;
    } else {
        error = "cannot tell the format of '" + path + "' from its extension; use .wav, .flac or .aiff";
        return false;
    }
    return true;
}

bool writeAudio(const std::string& path, const Audio& audio, OutputFormat format, std::string& error) {
    SF_INFO info{};
    info.samplerate = audio.sampleRate;
    info.channels = static_cast<int>(audio.channels.size());
    switch (format) {
        case OutputFormat::WavFloat:
            info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
            break;
        case OutputFormat::Flac24:
            info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
            break;
        case OutputFormat::Aiff24:
            info.format = SF_FORMAT_AIFF | SF_FORMAT_PCM_24;
            break;
    }
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        error = "cannot write '" + path + "': " + sf_strerror(nullptr);
        return false;
    }
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    // The peak chunk carries a time stamp; without it the same render gives the same bytes.
    sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    const std::size_t frames = audio.frames();
    std::vector<float> interleaved(frames * info.channels);
    for (std::size_t f = 0; f < frames; ++f) {
        for (int c = 0; c < info.channels; ++c) {
            interleaved[f * info.channels + c] = audio.channels[c][f];
        }
    }
    const sf_count_t written = sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(frames));
    const int closeResult = sf_close(file);
    if (written != static_cast<sf_count_t>(frames) || closeResult != 0) {
        error = "cannot write '" + path + "': write error (disk full?)";
        return false;
    }
    return true;
}

}  // namespace zb
