// Small in-memory discs for the describe tests, built from records with their fields set.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sacd/disc.h"

namespace describe_fixture {

using namespace sacd;

inline Bytes ascii(std::string_view s) { return Bytes(s.begin(), s.end()); }

inline TextChannel channel(std::string_view language, std::uint8_t code) {
    TextChannel c;
    c.language = {static_cast<std::uint8_t>(language[0]), static_cast<std::uint8_t>(language[1])};
    c.charset_code = code;
    return c;
}

inline MasterToc master_toc(std::vector<TextChannel> channels = {}) {
    MasterToc toc;
    toc.spec_version_major = 1;
    toc.spec_version_minor = 20;
    toc.album_set_size = 1;
    toc.album_sequence_number = 1;
    EXPECT_TRUE(toc.set_text_channels(channels).ok());
    return toc;
}

// Album and disc texts of one channel, set through the record's own writer.
inline MasterText master_text(std::vector<std::pair<MasterField, std::string>> fields,
                              CharSet charset = CharSet::Value::Iso8859_1) {
    MasterText text;
    for (auto& [field, value] : fields) EXPECT_TRUE(text.set_field(field, value, charset).ok());
    return text;
}

// The disc-level regions as import lays them out up to the primary Master Text group, then the
// primary Master Text sectors of `texts` (slot i for texts[i]).
inline std::vector<Region> master_regions(const MasterToc& toc, const std::vector<MasterText>& texts) {
    std::vector<Region> r;
    r.push_back(Region::untyped(0, std::uint64_t{kMasterTocLsn} * kSectorSize, RangeKind::PreMaster));
    r.push_back(Region{regions::MasterTocRecord{toc}});
    for (std::size_t i = 0; i < 8; ++i) {
        if (i < texts.size())
            r.push_back(Region{regions::MasterTextRecord{texts[i], 0, static_cast<std::uint8_t>(i)}});
        else
            r.push_back(Region::untyped(lsn_offset(kMasterTextLsn + i), kSectorSize, RangeKind::MasterText));
    }
    return r;
}

inline AreaToc area_toc(std::uint8_t track_count, bool multichannel = false) {
    AreaToc toc;
    toc.multichannel = multichannel;
    toc.channel_count = multichannel ? 6 : 2;
    toc.speaker_setup = multichannel ? 4 : 0;
    toc.frame_format = 2;  // plain DSD
    toc.track_count = track_count;
    toc.audio_lsn_start = 1000;
    toc.audio_lsn_end = 1999;
    return toc;
}

inline void set_area_channels(AreaToc& toc, const std::vector<TextChannel>& channels) {
    toc.text_channels.fill(0);
    toc.text_channels[0] = static_cast<std::uint8_t>(channels.size());
    for (std::size_t i = 0; i < channels.size(); ++i) {
        toc.text_channels[8 + 4 * i] = channels[i].language[0];
        toc.text_channels[9 + 4 * i] = channels[i].language[1];
        toc.text_channels[10 + 4 * i] = channels[i].charset_code;
    }
}

// Writes one area text (slot 0 description, 1 copyright, 2 and 3 their phonetic forms) at a
// byte offset of the area text area, with its pointer.
inline void set_area_text(AreaToc& toc, std::size_t channel, std::size_t slot, std::size_t at, std::string_view text) {
    const std::uint16_t ptr = static_cast<std::uint16_t>(AreaToc::kAreaTextOffset + at);
    toc.area_text[8 * channel + 2 * slot] = static_cast<std::uint8_t>(ptr >> 8);
    toc.area_text[8 * channel + 2 * slot + 1] = static_cast<std::uint8_t>(ptr);
    std::memcpy(toc.area_text.data() + at, text.data(), text.size());
}

inline TrackItem item(TrackField field, Bytes text) {
    return TrackItem{track_field_code(field), 0x20, std::move(text)};
}

// A Track Text block holding, per channel and track, the given items (an empty list leaves the
// slot empty).
inline TrackText track_text(std::vector<CharSet> charsets, std::uint8_t track_count,
                            std::vector<std::vector<std::vector<TrackItem>>> items) {
    auto made = TrackText::make_empty(charsets, track_count, 4 * kSectorSize);
    EXPECT_TRUE(made.ok());
    TrackText t = made.ok() ? *made : TrackText{};
    for (std::size_t c = 0; c < items.size(); ++c)
        for (std::size_t k = 0; k < items[c].size(); ++k) {
            if (items[c][k].empty()) continue;
            TrackEntry e;
            e.items = items[c][k];
            auto r = t.replace_entry(c, k, e);
            EXPECT_TRUE(r.ok());
        }
    return t;
}

struct AreaParts {
    AreaParts(AreaToc t) : toc(std::move(t)) {}

    AreaToc toc;
    std::optional<Trl1> trl1;
    std::optional<Trl2> trl2;
    std::optional<IsrcGenreList> igl;
    std::optional<TrackText> text;
    bool typed_toc = true;
};

// An area whose TOC-1 block starts at `toc1_lsn`: the Area TOC and the lists given, then the
// audio range right after them.
inline DiscArea disc_area(const AreaParts& p, std::uint64_t toc1_lsn = kFirstAreaLsn) {
    DiscArea a;
    if (p.typed_toc)
        a.toc1.push_back(Region{regions::AreaTocRecord{p.toc}});
    else
        a.toc1.push_back(Region::untyped(lsn_offset(toc1_lsn), kSectorSize, RangeKind::AreaToc));
    if (p.trl1) a.toc1.push_back(Region{regions::Trl1Record{*p.trl1}});
    if (p.trl2) a.toc1.push_back(Region{regions::Trl2Record{*p.trl2}});
    if (p.igl) a.toc1.push_back(Region{regions::IglRecord{*p.igl}});
    if (p.text) a.toc1.push_back(Region{regions::TrackTextRecord{*p.text}});
    std::uint64_t end = lsn_offset(toc1_lsn);
    for (const auto& r : a.toc1) end += r.size();
    a.audio = Region::untyped(end, 16 * kSectorSize, RangeKind::Audio);
    return a;
}

inline Disc disc(const MasterToc& toc, const std::vector<MasterText>& texts = {}, std::vector<DiscArea> areas = {}) {
    Disc d;
    d.source_path = "fixture.iso";
    d.regions = master_regions(toc, texts);
    d.areas = std::move(areas);
    return d;
}

inline Trl2Entry time_entry(std::uint8_t m, std::uint8_t s, std::uint8_t f, std::uint8_t flags = 0) {
    return Trl2Entry{TimeCode{m, s, f}, flags};
}

inline IsrcCode isrc(std::string_view text) {
    IsrcCode c{};
    std::memcpy(c.data(), text.data(), std::min(text.size(), c.size()));
    return c;
}

}  // namespace describe_fixture
