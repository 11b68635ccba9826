#include "cli/app.h"
#include "cli/messages.h"
#include "i18n/i18n.h"
#include "platform/file.h"
#include "sacd/describe/description.h"
#include "sacd/describe/json_report.h"
#include "sacd/describe/text_report.h"
#include "sacd/disc.h"
#include "sacd/error.h"
#include "sacd/image.h"

namespace cli {

namespace {

using sacd::describe::DescribeSections;
using sacd::describe::DiscDescription;

// Lists beyond a block's Area TOC are read whole: four sectors of web links, five of playlists.
constexpr std::uint64_t kWeblinkListBytes = 8192;
constexpr std::uint64_t kPlaylistsBytes = 10240;
constexpr std::uint8_t kMaxTextChannels = 8;

void warn_about_extra_text_channels(const sacd::Disc& disc) {
    const sacd::MasterToc* toc = disc.master_toc();
    if (!toc) return;
    const std::uint8_t n = toc->text_channel_count();
    if (n > kMaxTextChannels) print_line_err(i18n::trf(msg::kTextChannelWarning, {{"n", n}}));
}

// The character set the area's playlist names are written in: that of its first text channel.
std::optional<sacd::CharSet> first_channel_charset(const sacd::AreaToc& toc) {
    if (toc.text_channels[0] == 0) return std::nullopt;
    const std::uint8_t code = toc.text_channels[10];
    if (code < 1 || code > 7) return std::nullopt;
    return sacd::CharSet::from_disc_code(code);
}

// Web links and playlists are not part of the disc model; they are read from the image here.
// A list that cannot be read is left out without a message: it only adds detail.
void add_links_and_playlists(DiscDescription& description, const sacd::Disc& disc, sacd::ByteSource& source) {
    for (auto& area : description.areas) {
        if (area.index >= disc.areas.size()) continue;
        const sacd::DiscArea& disc_area = disc.areas[area.index];
        const sacd::AreaToc* toc = disc_area.area_toc();
        if (!toc) continue;
        std::uint64_t toc1_bytes = 0;
        for (const auto& r : disc_area.toc1) toc1_bytes += r.size();
        if (disc_area.audio_offset() < toc1_bytes) continue;
        const std::uint64_t block_start = disc_area.audio_offset() - toc1_bytes;

        if (toc->track_weblink_list_ptr != 0) {
            auto block = source.read_at(block_start + sacd::lsn_offset(toc->track_weblink_list_ptr), kWeblinkListBytes);
            if (block) area.track_weblinks = sacd::describe::parse_track_weblink_list(*block, toc->track_count);
        }
        if (toc->set_of_playlists_ptr != 0) {
            auto block = source.read_at(block_start + sacd::lsn_offset(toc->set_of_playlists_ptr), kPlaylistsBytes);
            if (block) area.playlists = sacd::describe::parse_set_of_playlists(*block, first_channel_charset(*toc));
        }
    }
}

}  // namespace

int describe_cmd(const std::vector<std::string>& args) {
    DescribeSections sections;
    bool ms = false, json = false;
    std::optional<std::string> path;
    for (const std::string& a : args) {
        if (a == "--tracks") sections.tracks = true;
        else if (a == "--text") sections.text = true;
        else if (a == "--flags") sections.flags = true;
        else if (a == "--links") sections.links = true;
        else if (a == "--full") sections = {true, true, true, true};
        else if (a == "--ms") ms = true;
        else if (a == "--json") json = true;
        else if (!a.empty() && a[0] == '-') {
            fail("describe", i18n::trf(msg::kUnknownFlag, {{"arg", a}}));
            return kExitUsage;
        } else if (path) {
            fail("describe", i18n::trf(msg::kExtraArgument, {{"arg", a}}));
            return kExitUsage;
        } else {
            path = a;
        }
    }
    if (!path) {
        fail_with_usage("describe", i18n::tr(msg::kNoPath));
        return kExitUsage;
    }

    auto disc = sacd::import_iso(*path);
    if (!disc) {
        fail("describe", i18n::tr(msg::kCouldNotReadImage) + ": " + sacd::render_error(disc.error()));
        return kExitFailed;
    }
    if (disc->is_not_recognised()) {
        fail("describe", i18n::tr(msg::kNotRecognised));
        return kExitFailed;
    }
    warn_about_extra_text_channels(*disc);

    auto file = platform::File::open_read(*path);
    if (!file) {
        fail("describe", i18n::trf(msg::kCouldNotOpen, {{"path", *path}, {"error", file.error().text}}));
        return kExitFailed;
    }
    auto size = file->size();
    if (!size) {
        fail("describe", i18n::trf(msg::kCouldNotGetSize, {{"error", size.error().text}}));
        return kExitFailed;
    }
    sacd::ByteSource source = sacd::ByteSource::file(std::move(*file), *size);

    auto description = DiscDescription::from_disc(*disc);
    if (!description) {
        fail("describe", i18n::tr(msg::kNoMasterToc));
        return kExitFailed;
    }
    add_links_and_playlists(*description, *disc, source);

    if (json) {
        auto text = sacd::describe::render_json(*description);
        if (!text) {
            fail("describe", i18n::trf(msg::kJsonFailed, {{"error", text.error()}}));
            return kExitFailed;
        }
        print_out(*text + "\n");
    } else {
        print_out(sacd::describe::render(*description, sections, ms));
    }
    return 0;
}

}  // namespace cli
