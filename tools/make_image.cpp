// velmora-make-image: writes a synthetic SACD image, for trying the program without a disc.
//   velmora-make-image OUT.iso [--tracks N] [--seconds S] [--multichannel] [--loop-seconds L] [--bridge]
// --loop-seconds repeats each track's first L seconds of audio, which keeps very large images
// (for benchmarks) quick to make. --bridge adds an ISO 9660 / UDF bridge file system (in the head
// and a short tail) whose files cover the master TOC range, each area's audio and a tail file.
#include <cstdlib>
#include <string>

#include "platform/system.h"
#include "tools/image_builder/image_builder.h"

int main(int argc, char** argv) {
    auto args = platform::arguments(argc, argv);
    std::string out;
    std::size_t tracks = 3;
    double seconds = 2.0;
    bool multichannel = false;
    double loop_seconds = 0;
    bool bridge = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--tracks" && i + 1 < args.size()) tracks = std::strtoul(args[++i].c_str(), nullptr, 10);
        else if (args[i] == "--seconds" && i + 1 < args.size()) seconds = std::strtod(args[++i].c_str(), nullptr);
        else if (args[i] == "--multichannel") multichannel = true;
        else if (args[i] == "--bridge") bridge = true;
        else if (args[i] == "--loop-seconds" && i + 1 < args.size()) loop_seconds = std::strtod(args[++i].c_str(), nullptr);
        else if (out.empty() && !args[i].empty() && args[i][0] != '-') out = args[i];
        else {
            platform::write_stderr("usage: velmora-make-image OUT.iso [--tracks N] [--seconds S] [--multichannel] [--loop-seconds L] [--bridge]\n");
            return 2;
        }
    }
    if (out.empty() || tracks == 0 || tracks > 255 || seconds <= 0) {
        platform::write_stderr("usage: velmora-make-image OUT.iso [--tracks N] [--seconds S] [--multichannel] [--loop-seconds L] [--bridge]\n");
        return 2;
    }
    auto spec = image_builder::sample_spec(tracks, static_cast<std::uint32_t>(seconds * 75));
    spec.areas[0].audio_period_frames = static_cast<std::uint32_t>(loop_seconds * 75);
    if (multichannel) {
        image_builder::AreaSpec mch = spec.areas[0];
        mch.multichannel = true;
        mch.channel_count = 6;
        mch.frame_format = 0;  // more than two channels are always DST-coded on disc
        spec.areas.push_back(mch);
    }
    if (bridge) {
        spec.bridge = image_builder::BridgeSpec{};
        spec.tail_sectors = spec.bridge->tail_file_sectors + 1;
    }
    auto built = image_builder::build_image(spec, out);
    if (!built) {
        platform::write_stderr("velmora-make-image: " + built.error() + "\n");
        return 1;
    }
    platform::write_stdout("wrote " + out + " (" + std::to_string(built->size / 2048) + " sectors)\n");
    return 0;
}
