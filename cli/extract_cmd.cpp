#include <optional>

#include "cli/app.h"
#include "cli/messages.h"
#include "i18n/i18n.h"
#include "platform/file.h"
#include "platform/system.h"
#include "sacd/audio/extract.h"
#include "sacd/audio/extract_messages.h"
#include "sacd/describe/description.h"
#include "sacd/disc.h"
#include "sacd/error.h"

namespace cli {

namespace {

using sacd::audio::Compression;
using sacd::audio::OutputFormat;

struct FormatName {
    const char* name;
    OutputFormat format;
};
constexpr FormatName kFormats[] = {{"dsf", OutputFormat::Dsf},
                                   {"dsdiff", OutputFormat::Dsdiff},
                                   {"dsdiff-dst", OutputFormat::DsdiffDst},
                                   {"edit-master", OutputFormat::EditMaster},
                                   {"edit-master-dst", OutputFormat::EditMasterDst}};

struct CompressionName {
    const char* name;
    Compression mode;
};
constexpr CompressionName kCompressions[] = {
    {"max", Compression::Max}, {"high", Compression::High}, {"fast", Compression::Fast}, {"turbo", Compression::Turbo}};

// The next argument as the value of `flag`; nothing (after the message) when it is missing or
// looks like an option.
std::optional<std::string> flag_value(const std::vector<std::string>& args, std::size_t& index, std::string_view flag) {
    ++index;
    if (index >= args.size() || (!args[index].empty() && args[index][0] == '-')) {
        fail("extract", i18n::trf(msg::kKeyRequiresValue, {{"flag", flag == "--output" ? "-o" : flag}}));
        return std::nullopt;
    }
    return args[index];
}

std::string two_digits(std::uint64_t v) { return v < 10 ? "0" + std::to_string(v) : std::to_string(v); }

}  // namespace

int extract_cmd(const std::vector<std::string>& args) {
    const std::uint64_t started = platform::monotonic_ns();
    std::optional<std::string> path, output, area, tracks, album_name;
    OutputFormat format = OutputFormat::Dsf;
    bool format_given = false;
    Compression compression = Compression::Max;
    bool overwrite = false;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-o" || a == "--output" || a == "--area" || a == "--track" || a == "--album-name") {
            auto v = flag_value(args, i, a);
            if (!v) return kExitUsage;
            (a == "-o" || a == "--output" ? output : a == "--area" ? area : a == "--track" ? tracks : album_name) = *v;
        } else if (a == "--format") {
            auto v = flag_value(args, i, a);
            if (!v) return kExitUsage;
            format_given = false;
            for (const auto& f : kFormats)
                if (*v == f.name) format = f.format, format_given = true;
            if (!format_given) {
                fail("extract", i18n::trf(msg::kUnknownFormat, {{"value", *v}}));
                return kExitUsage;
            }
        } else if (a == "--compression") {
            auto v = flag_value(args, i, a);
            if (!v) return kExitUsage;
            bool known = false;
            for (const auto& c : kCompressions)
                if (*v == c.name) compression = c.mode, known = true;
            if (!known) {
                fail("extract", i18n::trf(msg::kBadCompression, {{"value", *v}}));
                return kExitUsage;
            }
        } else if (a == "--overwrite") {
            overwrite = true;
        } else if (a == "--with-artist") {
            // Accepted for compatibility: the artist is always part of the folder name.
        } else if (!a.empty() && a[0] == '-') {
            fail("extract", i18n::trf(msg::kUnknownFlag, {{"arg", a}}));
            return kExitUsage;
        } else if (path) {
            fail("extract", i18n::trf(msg::kExtraArgument, {{"arg", a}}));
            return kExitUsage;
        } else {
            path = a;
        }
    }

    if (!require(path, i18n::tr(msg::kPromptImagePath))) return kExitUsage;
    if (!format_given) {
        fail_with_usage("extract", i18n::trf(msg::kSpecify, {{"flag", "--format <dsf|dsdiff|dsdiff-dst|edit-master|edit-master-dst>"}}));
        return kExitUsage;
    }
    if (!require(area, "--area <stereo|mch|all>")) return kExitUsage;
    if (!require(output, "-o <dir>")) return kExitUsage;
    if (*area != "stereo" && *area != "mch" && *area != "all") {
        fail("extract", i18n::trf(msg::kBadArea, {{"value", *area}}));
        return kExitUsage;
    }
    const bool edit_master = format == OutputFormat::EditMaster || format == OutputFormat::EditMasterDst;
    if (edit_master && tracks) {
        fail("extract", i18n::tr(msg::kTrackWithEditMaster));
        return kExitUsage;
    }

    // Opening.
    auto imported = sacd::import_iso(*path);
    if (!imported) {
        fail("extract", i18n::tr(msg::kCouldNotReadImage) + ": " + sacd::render_error(imported.error()));
        return kExitFailed;
    }
    const sacd::Disc& disc = *imported;
    if (disc.is_not_recognised()) {
        fail("extract", i18n::tr(msg::kNotRecognised));
        return kExitFailed;
    }
    if (const sacd::MasterToc* toc = disc.master_toc(); toc && toc->text_channel_count() >= 9)
        print_line_err(i18n::trf(msg::kExtractChannelWarning, {{"n", toc->text_channel_count()}}));
    const auto description = sacd::describe::DiscDescription::from_disc(disc);
    const auto tags = sacd::audio::ExtractTags::build(description, disc.master_toc());

    auto file = platform::File::open_read(*path);
    if (!file) {
        fail("extract", i18n::trf(msg::kCouldNotOpen, {{"path", *path}, {"error", file.error().text}}));
        return kExitFailed;
    }
    auto size = file->size();
    if (!size) {
        fail("extract", i18n::trf(msg::kCouldNotGetSize, {{"error", size.error().text}}));
        return kExitFailed;
    }
    sacd::ByteSource source = sacd::ByteSource::file(std::move(file).value(), *size);

    std::vector<std::size_t> selected_areas;
    for (std::size_t i = 0; i < disc.areas.size(); ++i) {
        const sacd::AreaToc* toc = disc.areas[i].area_toc();
        if (!toc) continue;
        if (*area == "all" || (*area == "stereo" && !toc->multichannel) || (*area == "mch" && toc->multichannel))
            selected_areas.push_back(i);
    }
    if (selected_areas.empty()) {
        fail("extract", i18n::trf(msg::kNoRequestedArea, {{"value", *area}}));
        return kExitFailed;
    }

    // The selection is a command-line matter: it is checked against every requested area, and
    // the writers this build lacks are refused, before any area is written.
    for (std::size_t index : selected_areas) {
        const sacd::AreaToc& toc = *disc.areas[index].area_toc();
        if (tracks) {
            auto selection = sacd::audio::parse_track_selection(*tracks, toc.track_count);
            if (!selection) {
                fail("extract", selection.error());
                return kExitUsage;
            }
        }
    }
    for (std::size_t index : selected_areas) {
        if (auto missing = sacd::audio::unavailable_writer(*disc.areas[index].area_toc(), format)) {
            fail("extract", *missing);
            return kExitFailed;
        }
    }

    sacd::audio::ExtractOptions options;
    options.output_folder = *output;
    options.format = format;
    options.album_name = album_name;
    options.track_selection = tracks;
    options.overwrite = overwrite;
    options.compression = compression;
    const platform::Path album = sacd::audio::album_folder(options, tags, *path);

    namespace em = sacd::audio::extract_msg;
    sacd::audio::ExtractObserver observer;
    observer.track_started = [](std::size_t position, std::uint8_t number, std::size_t selected) {
        if (position == number)
            print_line_err(i18n::trf(em::kTrackProgress, {{"i", position}, {"n", selected}}));
        else
            print_line_err(i18n::trf(em::kTrackProgressNumbered, {{"number", int{number}}, {"i", position}, {"n", selected}}));
    };
    observer.log = [](std::string_view line) { print_line_err(line); };
    observer.cancelled = [] { return false; };

    std::size_t total = 0;
    for (std::size_t index : selected_areas) {
        auto result = sacd::audio::extract_area(source, disc, index, options, tags, album, observer);
        if (!result) {
            fail("extract", result.error());
            return kExitFailed;
        }
        print_out(i18n::trf(em::kExtracted, {{"n", result->files}, {"folder", result->area_folder.string()}}) + "\n");
        total += result->files;
    }
    const std::uint64_t seconds = (platform::monotonic_ns() - started) / 1000000000ull;
    print_out(i18n::trf(em::kDone, {{"total", total}, {"mm", two_digits(seconds / 60)}, {"ss", two_digits(seconds % 60)}}) + "\n");
    return 0;
}

}  // namespace cli
