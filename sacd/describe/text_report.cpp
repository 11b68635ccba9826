#include "sacd/describe/text_report.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "i18n/i18n.h"
#include "sacd/charset.h"
#include "sacd/describe/messages.h"

namespace sacd::describe {

namespace {

const std::string kNone = "--";

// Disc texts are untrusted: a control character (an escape sequence, a line break) would act on
// the user's terminal or break the report's lines, so each one is shown as U+FFFD. The JSON
// report carries the exact texts.
std::string shown(std::string_view text) {
    static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool c1 = c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(text[i + 1]) <= 0x9F;
        if (c < 0x20 || c == 0x7F || c1) {
            out += kReplacement;
            if (c1) ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string or_none(const OptText& text) { return text && !text->empty() ? shown(*text) : kNone; }

std::string yes_no(bool value) { return i18n::tr(value ? msg::kYes : msg::kNo); }

std::string spaces(std::size_t n) { return std::string(n, ' '); }

struct Row {
    std::size_t indent;
    std::string label;
    std::string value;
};

// All values of the disc part start in one column, two characters after the widest label.
void write_rows(std::string& out, const std::vector<Row>& rows, std::size_t width) {
    for (const Row& r : rows) {
        const std::size_t used = r.indent + char_count(r.label) + 1;
        out += spaces(r.indent) + r.label + ":" + spaces(width > used ? width - used : 1) + r.value + "\n";
    }
}

// Plain and phonetic Master Text rows: the plain ones always, the phonetic ones only when set.
struct MasterRowLabel {
    std::string_view label;
    OptText MasterTexts<OptText>::*member;
};
constexpr MasterRowLabel kMasterPlainRows[] = {
    {"Album_Title", &MasterTexts<OptText>::album_title},
    {"Album_Artist", &MasterTexts<OptText>::album_artist},
    {"Album_Publisher", &MasterTexts<OptText>::album_publisher},
    {"Album_Copyright", &MasterTexts<OptText>::album_copyright},
    {"Disc_Title", &MasterTexts<OptText>::disc_title},
    {"Disc_Artist", &MasterTexts<OptText>::disc_artist},
    {"Disc_Publisher", &MasterTexts<OptText>::disc_publisher},
    {"Disc_Copyright", &MasterTexts<OptText>::disc_copyright},
};
constexpr MasterRowLabel kMasterPhoneticRows[] = {
    {"Album_Title_Phonetic", &MasterTexts<OptText>::album_title_phonetic},
    {"Album_Artist_Phonetic", &MasterTexts<OptText>::album_artist_phonetic},
    {"Album_Publisher_Phonetic", &MasterTexts<OptText>::album_publisher_phonetic},
    {"Album_Copyright_Phonetic", &MasterTexts<OptText>::album_copyright_phonetic},
    {"Disc_Title_Phonetic", &MasterTexts<OptText>::disc_title_phonetic},
    {"Disc_Artist_Phonetic", &MasterTexts<OptText>::disc_artist_phonetic},
    {"Disc_Publisher_Phonetic", &MasterTexts<OptText>::disc_publisher_phonetic},
    {"Disc_Copyright_Phonetic", &MasterTexts<OptText>::disc_copyright_phonetic},
};

std::vector<Row> master_rows(const MasterTextDescription& rec) {
    std::vector<Row> rows;
    for (const auto& r : kMasterPlainRows) rows.push_back({4, std::string(r.label), or_none(rec.*r.member)});
    for (const auto& r : kMasterPhoneticRows) {
        const OptText& text = rec.*r.member;
        if (text && !text->empty()) rows.push_back({4, std::string(r.label), shown(*text)});
    }
    return rows;
}

std::vector<std::string> titles(const AreaDescription& area) {
    std::vector<std::string> out;
    for (const auto& t : area.tracks) out.push_back(t.title.value_or(""));
    return out;
}

std::string area_summary(const DiscDescription& d) {
    const AreaDescription* stereo = nullptr;
    const AreaDescription* multi = nullptr;
    for (const auto& a : d.areas) {
        if (!stereo && a.kind == kKindStereo) stereo = &a;
        if (!multi && a.kind == kKindMultiChannel) multi = &a;
    }
    if (!stereo && !multi) return i18n::tr(msg::kAreasNone);
    if (!multi) return i18n::tr(msg::kStereoOnly);
    if (!stereo) return i18n::tr(msg::kMultichannelOnly);

    const auto s = titles(*stereo), m = titles(*multi);
    if (s.size() != m.size()) return i18n::tr(msg::kDifferentContent);
    auto blank = [](const std::string& t) { return area_match::norm(t).empty(); };
    if (std::all_of(s.begin(), s.end(), blank) && std::all_of(m.begin(), m.end(), blank))
        return i18n::tr(msg::kIdenticalNoTitles);
    for (std::size_t i = 0; i < s.size(); ++i)
        if (area_match::norm(s[i]) != area_match::norm(m[i])) return i18n::tr(msg::kDifferentContent);
    return i18n::tr(msg::kIdentical);
}

std::string loudspeaker_value(const AreaDescription& a) {
    const std::uint8_t n =
        (a.max_available_channels >= 1 && a.max_available_channels <= 6) ? a.max_available_channels : a.channel_count;
    if (n == 4) return i18n::trf(msg::kQuad, {{"n", n}});
    if (a.loudspeaker_config == "FivePointOne") return "6";
    if (a.loudspeaker_config == "FiveChannel") return "5";
    if (a.loudspeaker_config == "Stereo") return i18n::tr(msg::kKindStereo);
    return a.loudspeaker_config;
}

std::string right3(std::uint64_t n) {
    std::string s = std::to_string(n);
    return s.size() < 3 ? spaces(3 - s.size()) + s : s;
}

std::string pad_right(const std::string& text, std::size_t width) {
    const std::size_t n = char_count(text);
    return n < width ? text + spaces(width - n) : text;
}

// Credits shown after the ISRC line of a single-channel track.
struct CreditLabel {
    std::string_view label;
    OptText TrackTexts<OptText>::*member;
};
constexpr CreditLabel kCredits[] = {
    {"Songwriter", &TrackTexts<OptText>::songwriter}, {"Composer", &TrackTexts<OptText>::composer},
    {"Arranger", &TrackTexts<OptText>::arranger},     {"Message", &TrackTexts<OptText>::message},
    {"Extra", &TrackTexts<OptText>::extra_message},   {"Copyright", &TrackTexts<OptText>::copyright},
};

// Labels of the per-channel text lines, in TrackField order.
constexpr std::string_view kLocaleTextLabels[16] = {
    "Title",
    "Performer",
    "Songwriter",
    "Composer",
    "Arranger",
    "Message",
    "Extra",
    "Copyright",
    "Title (phonetic)",
    "Performer (phonetic)",
    "Songwriter (phonetic)",
    "Composer (phonetic)",
    "Arranger (phonetic)",
    "Message (phonetic)",
    "Extra (phonetic)",
    "Copyright (phonetic)",
};

void render_track_detail(std::string& out, const TrackDescription& t, std::span<const LocaleDescription> locales,
                         bool ms) {
    const std::string indent = spaces(9);
    out += indent + i18n::trf(msg::kStart, {{"time", format_time(t.start_frames, ms)}}) + "\n";
    const std::string genre =
        t.genre ? std::to_string(t.genre->table) + "/" + std::to_string(t.genre->index) : kNone;
    std::string isrc_line = indent + "ISRC: " + or_none(t.isrc) + "  Genre: " + genre + "  " +
                            i18n::tr(msg::kCoding) + ": " + (t.dst_coded ? "DST" : "DSD");
    if (t.text_by_locale.size() < 2) {
        out += isrc_line + "  Performer: " + or_none(t.performer) + "\n";
        std::string credits;
        for (const auto& c : kCredits) {
            const OptText& text = t.*c.member;
            if (!text || text->empty()) continue;
            if (!credits.empty()) credits += "  ";
            credits += std::string(c.label) + ": " + shown(*text);
        }
        if (!credits.empty()) out += indent + credits + "\n";
    } else {
        out += isrc_line + "\n";
        for (const TrackLocaleText& rec : t.text_by_locale) {
            std::string lines;
            for (std::size_t f = 0; f < 16; ++f) {
                const std::string& text = rec.*kTrackTextKeys<std::string>[f].member;
                if (!text.empty()) lines += spaces(11) + std::string(kLocaleTextLabels[f]) + ": " + shown(text) + "\n";
            }
            if (lines.empty()) continue;
            std::string language = "??", char_set = "??";
            for (const auto& loc : locales) {
                if (loc.index == rec.locale) {
                    language = shown(loc.language);
                    char_set = shown(loc.char_set);
                    break;
                }
            }
            out += indent +
                   i18n::trf(msg::kLocale, {{"locale", rec.locale}, {"language", language}, {"char_set", char_set}}) +
                   "\n" + lines;
        }
    }
    out += indent + i18n::trf(msg::kOnDisc, {{"lsn", t.lsn_start}, {"length", t.lsn_length}}) + "\n";
}

}  // namespace

std::size_t char_count(std::string_view text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string fmt_flags(const std::array<bool, 4>& flags) {
    std::string s;
    for (bool f : flags) s += f ? '1' : '0';
    return s;
}

std::string format_time(std::uint64_t frames, bool ms) {
    char buf[64];
    if (ms) {
        const std::uint64_t u = frames * 1000;
        std::snprintf(buf, sizeof buf, "%02llu:%02llu.%03llu", static_cast<unsigned long long>(u / 4500000),
                      static_cast<unsigned long long>(u / 75000 % 60), static_cast<unsigned long long>(u / 75 % 1000));
    } else {
        std::snprintf(buf, sizeof buf, "%02llu:%02llu:%02llu", static_cast<unsigned long long>(frames / 4500),
                      static_cast<unsigned long long>(frames / 75 % 60), static_cast<unsigned long long>(frames % 75));
    }
    return buf;
}

void render_area(std::string& out, const AreaDescription& area, std::span<const LocaleDescription> locales,
                 const DescribeSections& sections, bool ms) {
    const std::string kind = i18n::tr(area.kind == kKindStereo ? msg::kKindStereo : msg::kKindMultichannel);
    out += i18n::trf(msg::kAreaHeader, {{"n", area.index + 1},
                                        {"kind", kind},
                                        {"channels", area.channel_count},
                                        {"coding", area.dst_coded ? "DST" : "DSD"},
                                        {"count", area.track_count},
                                        {"time", format_time(area.total_area_play_time_frames, ms)}}) +
           "\n";

    if (sections.flags) {
        const std::pair<std::string, std::string> rows[] = {
            {"Loudspeaker_Config", loudspeaker_value(area)},
            {"Area_Mute [AMF1..4]", fmt_flags(area.area_mute_flags)},
            {"Track_Attribute", std::to_string(area.track_attribute)},
            {i18n::tr(msg::kFirstBonusTrack), std::to_string(area.first_bonus_track_number)},
        };
        std::size_t longest = 0;
        for (const auto& [label, value] : rows) longest = std::max(longest, char_count(label));
        for (const auto& [label, value] : rows)
            out += "  " + label + ":" + spaces(longest - char_count(label) + 1) + value + "\n";
    }

    if (sections.text) {
        for (std::size_t i = 0; i < area.area_text.size(); ++i) {
            const AreaTextChannel& ch = area.area_text[i];
            if (!ch.description && !ch.copyright) continue;
            const std::string line = i18n::trf(
                msg::kAreaText, {{"i", i}, {"description", or_none(ch.description)}, {"copyright", or_none(ch.copyright)}});
            out += "  " + line + "\n";
        }
    }

    if (!area.tracks.empty()) {
        out += "  " + i18n::tr(msg::kTracks) + "\n";
        std::size_t width = 0;
        for (const auto& t : area.tracks) width = std::max(width, char_count(or_none(t.title)));
        for (const auto& t : area.tracks) {
            if (sections.tracks && t.pause_frames != 0)
                out += "    " + i18n::trf(msg::kPause, {{"time", format_time(t.pause_frames, ms)}}) + "\n";
            out += "    " + right3(t.index) + ". " + pad_right(or_none(t.title), width) + "  [" +
                   format_time(t.duration_frames, ms) + "]\n";
            if (sections.tracks) render_track_detail(out, t, locales, ms);
            if (sections.flags)
                out += spaces(9) + "ILP: " + yes_no(t.index_list_present) +
                       ", Track_Mute [TMF1..4]: " + fmt_flags(t.track_mute_flags) +
                       ", Extra_Use: " + std::to_string(t.extra_use) + "\n";
        }
    }

    if (sections.links) {
        for (std::size_t k = 0; k < area.track_weblinks.size(); ++k) {
            if (!area.track_weblinks[k]) continue;
            out += "  " + i18n::trf(msg::kTrackWebLink, {{"k", k + 1}, {"url", shown(*area.track_weblinks[k])}}) + "\n";
        }
        for (std::size_t p = 0; p < area.playlists.size(); ++p) {
            const PlaylistDescription& pl = area.playlists[p];
            std::string entries;
            for (const auto& e : pl.entries) {
                if (!entries.empty()) entries += ", ";
                entries += std::to_string(e.track) + "." + std::to_string(e.index);
            }
            out += "  PlayList " + std::to_string(p + 1) + ": " + or_none(pl.name) + " [" + entries + "]\n";
        }
    }
}

std::string render(const DiscDescription& d, const DescribeSections& sections, bool ms) {
    const MasterTextDescription* first = d.master_text.empty() ? nullptr : &d.master_text.front();
    std::vector<Row> header = {
        {2, i18n::tr(msg::kVersion), d.spec_version},
        {2, i18n::tr(msg::kAlbum), first ? or_none(first->album_title) : kNone},
        {2, i18n::tr(msg::kArtist), first ? or_none(first->album_artist) : kNone},
        {2, i18n::tr(msg::kCatalogAlbum), or_none(d.album_catalog)},
        {2, i18n::tr(msg::kCatalogDisc), or_none(d.disc_catalog)},
        {2, i18n::tr(msg::kDate), or_none(d.date)},
        {2, i18n::tr(msg::kDiscInSet), i18n::trf(msg::kSetOf, {{"sequence", d.set_sequence}, {"size", d.set_size}})},
        {2, i18n::tr(msg::kAreas), area_summary(d)},
    };
    if (sections.flags) {
        header.push_back({2, i18n::tr(msg::kHybrid), yes_no(d.hybrid)});
        header.push_back({2, i18n::tr(msg::kExtraAreas),
                          "Extension=" + yes_no(d.has_extension_area) + " EKB1=" + yes_no(d.has_ekb1) +
                              " EKB2=" + yes_no(d.has_ekb2) + " Revocation=" + yes_no(d.has_revocation_data)});
    }
    if (sections.links) header.push_back({2, i18n::tr(msg::kWebLink), or_none(d.weblink)});

    std::vector<std::vector<Row>> master;
    if (sections.text)
        for (const auto& rec : d.master_text) master.push_back(master_rows(rec));

    std::size_t widest = 0;
    for (const Row& r : header) widest = std::max(widest, r.indent + char_count(r.label));
    for (const auto& rows : master)
        for (const Row& r : rows) widest = std::max(widest, r.indent + char_count(r.label));
    const std::size_t width = widest + 2;

    std::string out = i18n::tr(msg::kDisc) + "\n";
    write_rows(out, header, width);
    if (sections.text) {
        if (d.master_text.empty()) out += "  " + i18n::tr(msg::kMasterTextAbsent) + "\n";
        for (std::size_t i = 0; i < d.master_text.size(); ++i) {
            out += "  " + i18n::trf(msg::kMasterTextLocale, {{"locale", d.master_text[i].locale}}) + "\n";
            write_rows(out, master[i], width);
        }
    }
    for (const auto& area : d.areas) {
        out += "\n";
        render_area(out, area, d.locales, sections, ms);
    }
    return out;
}

}  // namespace sacd::describe
