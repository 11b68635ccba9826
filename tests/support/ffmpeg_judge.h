// FFmpeg as an independent judge of the files the project writes: the programs found on PATH,
// their view of a file's streams and tags, and the PCM they decode from it.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace testsupport {

// The program's full path from PATH (or /usr/bin without one), or empty.
std::string find_program(const std::string& name);
const std::string& ffmpeg();
const std::string& ffprobe();
bool have_ffmpeg();  // both of them

// ffprobe's JSON for a file's streams (codec, channels, rate), duration and tags; a failed run
// is a test failure and gives a discarded value.
nlohmann::json probe(const std::string& path);
// A tag from probe()'s JSON, its key matched in lower case; "<missing key>" or "<no tags>" when absent.
std::string tag(const nlohmann::json& j, const char* key);
// FFmpeg's PCM (32-bit float, interleaved) of a file, or of raw interleaved DSD bytes when
// `raw_channels` is given (its DSD decoder forced onto the raw input); written through `pcm_path`.
std::vector<float> decode(const std::string& path, const std::string& pcm_path, int raw_channels = 0);

}  // namespace testsupport
