#include "tests/support/ffmpeg_judge.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "tests/support/audio_files.h"
#include "tests/support/process.h"

namespace testsupport {

std::string find_program(const std::string& name) {
    const char* path = std::getenv("PATH");
    const std::string dirs = path ? path : "/usr/bin";
    for (std::size_t start = 0; start <= dirs.size();) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        const std::filesystem::path candidate = std::filesystem::path(dirs.substr(start, end - start)) / name;
        if (end > start && ::access(candidate.c_str(), X_OK) == 0) return candidate.string();
        start = end + 1;
    }
    return {};
}

const std::string& ffprobe() {
    static const std::string p = find_program("ffprobe");
    return p;
}

const std::string& ffmpeg() {
    static const std::string p = find_program("ffmpeg");
    return p;
}

bool have_ffmpeg() { return !ffprobe().empty() && !ffmpeg().empty(); }

nlohmann::json probe(const std::string& path) {
    auto r = run_process(ffprobe(), {"-v", "error", "-show_entries",
                                     "stream=codec_name,channels,sample_rate:format=duration:format_tags", "-of",
                                     "json", path});
    EXPECT_EQ(r.status, 0) << r.err;
    return nlohmann::json::parse(r.out, nullptr, false);
}

std::string tag(const nlohmann::json& j, const char* key) {
    if (!j.contains("format") || !j["format"].contains("tags")) return "<no tags>";
    const auto& tags = j["format"]["tags"];
    for (auto it = tags.begin(); it != tags.end(); ++it) {
        std::string k = it.key();
        for (auto& ch : k) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        if (k == key) return it.value().get<std::string>();
    }
    return "<missing " + std::string(key) + ">";
}

std::vector<float> decode(const std::string& path, const std::string& pcm_path, int raw_channels) {
    std::vector<std::string> args = {"-v", "error", "-y"};
    if (raw_channels)
        args.insert(args.end(), {"-f", "u8", "-ar", "352800", "-ac", std::to_string(raw_channels), "-c:a", "dsd_msbf"});
    args.insert(args.end(), {"-i", path, "-f", "f32le", "-c:a", "pcm_f32le", pcm_path});
    auto r = run_process(ffmpeg(), args);
    EXPECT_EQ(r.status, 0) << r.err;
    const Bytes raw = read_file(pcm_path);
    std::vector<float> pcm(raw.size() / 4);
    std::memcpy(pcm.data(), raw.data(), pcm.size() * 4);
    return pcm;
}

}  // namespace testsupport
