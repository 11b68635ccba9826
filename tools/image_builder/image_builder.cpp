#include "tools/image_builder/image_builder.h"

#include <algorithm>
#include <cstring>

#include "platform/buffered_writer.h"
#include "platform/bytes.h"
#include "platform/file.h"
#include "sacd/isrc_genre_list.h"
#include "sacd/master_text.h"
#include "sacd/master_toc.h"
#include "sacd/track_list.h"

namespace image_builder {

using platform::err;
using sacd::CharSet;

namespace {

constexpr std::size_t kS = 2048;

template <class T>
using Res = platform::Result<T, std::string>;

std::vector<TextChannelSpec> area_channels(const ImageSpec& spec, const AreaSpec& area) {
    return area.text_channels ? *area.text_channels : spec.text_channels;
}

std::vector<sacd::TextChannel> to_text_channels(const std::vector<TextChannelSpec>& specs) {
    std::vector<sacd::TextChannel> out;
    for (const auto& c : specs) {
        sacd::TextChannel t;
        t.language = {static_cast<std::uint8_t>(c.language.size() > 0 ? c.language[0] : ' '),
                      static_cast<std::uint8_t>(c.language.size() > 1 ? c.language[1] : ' ')};
        t.charset_code = c.charset.disc_code();
        out.push_back(t);
    }
    return out;
}

// Writes N and the entries into a 40-byte text channel block.
void fill_channel_block(std::array<std::uint8_t, 40>& block, const std::vector<TextChannelSpec>& specs,
                        std::optional<std::uint8_t> declared) {
    block.fill(0);
    auto channels = to_text_channels(specs);
    for (std::size_t i = 0; i < channels.size() && i < 8; ++i) {
        block[8 + 4 * i] = channels[i].language[0];
        block[9 + 4 * i] = channels[i].language[1];
        block[10 + 4 * i] = channels[i].charset_code;
    }
    block[0] = declared ? *declared : static_cast<std::uint8_t>(std::min<std::size_t>(channels.size(), 8));
}

ChannelSignal default_signal(std::size_t track, std::size_t channel) {
    // A chord whose root moves with the track and the channel, so that mixed-up channels or
    // tracks show.
    const double root = 220.0 * (1.0 + 0.25 * static_cast<double>(track % 4)) * (1.0 + 0.125 * static_cast<double>(channel));
    ChannelSignal s;
    s.tones = {Tone{root, 0.2, 0.0}, Tone{root * 1.25, 0.12, 0.5}, Tone{root * 1.5, 0.1, 1.0}};
    s.noise_amplitude = 0.01;
    s.noise_seed = track * 16 + channel + 1;
    return s;
}

ChannelSignal silence() { return ChannelSignal{}; }

// Renders `frames` frames of one track (or pause) into planar channel bytes, repeating every
// `period` frames when period > 0.
std::vector<Bytes> render_planar(const std::vector<ChannelSignal>& signals, std::uint32_t frames, std::uint32_t period) {
    std::vector<Bytes> out(signals.size());
    const std::uint32_t unique = period && period < frames ? period : frames;
    for (std::size_t c = 0; c < signals.size(); ++c) {
        SigmaDeltaChannel sdm(signals[c]);
        sdm.render(std::size_t{unique} * kFrameBytesPerChannel, out[c]);
        out[c].reserve(std::size_t{frames} * kFrameBytesPerChannel);
        for (std::uint32_t f = unique; f < frames; ++f) {
            const std::size_t from = std::size_t{f % unique} * kFrameBytesPerChannel;
            out[c].insert(out[c].end(), out[c].begin() + static_cast<std::ptrdiff_t>(from),
                          out[c].begin() + static_cast<std::ptrdiff_t>(from + kFrameBytesPerChannel));
        }
    }
    return out;
}

std::vector<ChannelSignal> track_signals(const AreaSpec& area, std::size_t track) {
    std::vector<ChannelSignal> signals;
    for (std::size_t c = 0; c < area.channel_count; ++c)
        signals.push_back(c < area.tracks[track].signal.size() ? area.tracks[track].signal[c] : default_signal(track, c));
    return signals;
}

// One area frame's bytes on disc: interleaved plain DSD, or a DST frame.
Bytes frame_bytes(const AreaSpec& area, const std::vector<Bytes>& planar, std::uint32_t frame_in_run,
                  std::uint32_t area_frame) {
    const std::size_t channels = planar.size();
    const std::size_t base = std::size_t{frame_in_run} * kFrameBytesPerChannel;
    if (area.frame_format == 0) {
        if (area.dst_frame) return area.dst_frame(area_frame);
        // An uncoded DST frame: a zero header byte, then the channels interleaved byte by byte.
        Bytes out(1 + channels * kFrameBytesPerChannel);
        for (std::size_t i = 0; i < kFrameBytesPerChannel; ++i)
            for (std::size_t c = 0; c < channels; ++c) out[1 + i * channels + c] = planar[c][base + i];
        return out;
    }
    Bytes out(2 * kFrameBytesPerChannel);
    for (std::size_t i = 0; i < kFrameBytesPerChannel; ++i) {
        out[2 * i] = planar[0][base + i];
        out[2 * i + 1] = planar[1][base + i];
    }
    return out;
}

// Packs every frame of an area (pauses and tracks) through the packer. With `render` false the
// frames are only sized, which is all the layout needs.
struct AreaAudio {
    std::vector<std::uint32_t> track_first_sector;  // relative to the audio start
    std::uint32_t sectors = 0;
    std::uint32_t total_frames = 0;
};

Res<AreaAudio> pack_area(const AreaSpec& area, bool render, const AudioSectorPacker::Sink& sink) {
    PackerOptions options = area.packer;
    options.dst = area.frame_format == 0;
    AudioSectorPacker packer(options, sink);
    AreaAudio out;
    std::uint32_t area_frame = 0;
    const std::size_t plain_channels = area.frame_format == 0 ? area.channel_count : 2;
    Bytes dummy;
    for (std::size_t t = 0; t < area.tracks.size(); ++t) {
        const TrackSpec& track = area.tracks[t];
        for (int run = 0; run < 2; ++run) {
            const bool is_track = run == 1;
            const std::uint32_t frames = is_track ? track.frames : track.pause_frames;
            if (frames == 0) {
                if (is_track) out.track_first_sector.push_back(packer.next_frame_sector());
                continue;
            }
            if (is_track) out.track_first_sector.push_back(packer.next_frame_sector());
            std::vector<Bytes> planar;
            if (render) {
                std::vector<ChannelSignal> signals =
                    is_track ? track_signals(area, t) : std::vector<ChannelSignal>(plain_channels, silence());
                if (area.frame_format != 0) signals.resize(2);
                planar = render_planar(signals, frames, area.audio_period_frames);
            }
            for (std::uint32_t f = 0; f < frames; ++f, ++area_frame) {
                const TimeCodeBytes tc = time_code_of_frame(area_frame);
                if (render) {
                    Bytes bytes = frame_bytes(area, planar, f, area_frame);
                    packer.add_frame(bytes, tc);
                } else {
                    std::size_t size = area.frame_format != 0 ? 2 * kFrameBytesPerChannel
                                       : area.dst_frame       ? area.dst_frame(area_frame).size()
                                                              : 1 + plain_channels * kFrameBytesPerChannel;
                    dummy.assign(size, 0xAA);
                    packer.add_frame(dummy, tc);
                }
            }
        }
    }
    out.total_frames = area_frame;
    auto done = packer.finish();
    if (!done) return err(done.error());
    out.sectors = *done;
    return out;
}

// The Track Text block of an area: its entries, where they start and how many sectors it takes.
struct TrackTextLayout {
    std::vector<sacd::TrackTextChannel> entries;
    std::uint32_t first_entry_offset = 0;
    std::uint32_t sectors = 0;
};

Res<std::optional<TrackTextLayout>> track_text_layout(const ImageSpec& spec, const AreaSpec& area) {
    const auto channels = area_channels(spec, area);
    if (!area.track_text || channels.empty()) return std::optional<TrackTextLayout>();
    const auto n_tracks = static_cast<std::uint8_t>(area.tracks.size());
    TrackTextLayout layout;
    layout.entries.assign(channels.size(), sacd::TrackTextChannel(n_tracks));
    std::uint64_t needed = 0;
    for (std::size_t c = 0; c < channels.size(); ++c) {
        for (std::size_t t = 0; t < area.tracks.size(); ++t) {
            if (c >= area.tracks[t].texts.size() || area.tracks[t].texts[c].empty()) continue;
            sacd::TrackEntry entry;
            for (const auto& [field, text] : area.tracks[t].texts[c]) {
                auto encoded = channels[c].charset.encode(text, sacd::track_field_name(field));
                if (!encoded) return err("track text: " + encoded.error().message());
                entry.items.push_back(sacd::TrackItem{sacd::track_field_code(field), 0x20, *encoded});
            }
            needed += entry.encoded_len(channels[c].charset.is_double_byte() ? 2 : 1);
            layout.entries[c][t] = sacd::TrackSlot{0, std::move(entry)};
        }
    }
    if (needed == 0) {
        // A block without entries keeps its (empty) heap at 4096, so it needs two sectors.
        layout.first_entry_offset = sacd::TrackText::kEmptyHeapStart;
        layout.sectors = 2;
    } else {
        // Entries start after the position table, rounded up to a multiple of 16.
        const std::uint64_t table_end = 8 + 2 * channels.size() * n_tracks;
        layout.first_entry_offset = static_cast<std::uint32_t>((table_end + 15) / 16 * 16);
        layout.sectors = static_cast<std::uint32_t>((layout.first_entry_offset + needed + kS - 1) / kS);
    }
    if (area.track_text_sectors) layout.sectors = std::max(layout.sectors, area.track_text_sectors);
    return std::optional<TrackTextLayout>(std::move(layout));
}

Res<Bytes> emit_or(platform::Result<Bytes, sacd::EditError> r, const char* what) {
    if (!r) return err(std::string(what) + ": " + r.error().message());
    return std::move(r).value();
}

// One area's TOC block as sectors, plus where its parts are.
struct TocBlock {
    std::vector<Bytes> sectors;
    std::uint32_t track_text_ptr = 0, track_text_sectors = 0;
};

Res<TocBlock> build_toc_block(const ImageSpec& spec, const AreaSpec& area, std::uint32_t toc1, std::uint32_t audio_start,
                              std::uint32_t audio_end, const AreaAudio& audio, std::uint16_t toc_length) {
    const auto channels = area_channels(spec, area);
    const auto n_tracks = static_cast<std::uint8_t>(area.tracks.size());
    std::vector<CharSet> charsets;
    for (const auto& c : channels) charsets.push_back(c.charset);

    // Track lists.
    std::vector<std::uint32_t> starts, lengths;
    std::vector<sacd::Trl2Entry> start_tc, duration_tc;
    std::uint32_t frame = 0;
    for (std::size_t t = 0; t < area.tracks.size(); ++t) {
        const TrackSpec& tr = area.tracks[t];
        frame += tr.pause_frames;
        const std::uint32_t first = audio_start + audio.track_first_sector[t];
        const std::uint32_t next =
            t + 1 < area.tracks.size() ? audio_start + audio.track_first_sector[t + 1] : audio_end + 1;
        starts.push_back(first);
        lengths.push_back(next > first ? next - first : 0);
        std::uint32_t start_frame = frame;
        if (spec.defects.overlapping_windows && t == 1) start_frame -= 1;
        start_tc.push_back(sacd::Trl2Entry{*sacd::TimeCode::from_frames(start_frame), tr.start_flags});
        duration_tc.push_back(sacd::Trl2Entry{*sacd::TimeCode::from_frames(tr.frames), tr.duration_flags});
        frame += tr.frames;
    }
    auto trl1 = emit_or(sacd::Trl1::make(starts, lengths).emit(), "Track List 1");
    if (!trl1) return err(trl1.error());
    auto trl2 = emit_or(sacd::Trl2::make(start_tc, duration_tc).emit(), "Track List 2");
    if (!trl2) return err(trl2.error());

    sacd::IsrcGenreList igl = sacd::IsrcGenreList::make(n_tracks);
    for (std::size_t t = 0; t < area.tracks.size(); ++t) {
        if (!area.tracks[t].isrc.empty()) {
            auto code = sacd::IsrcGenreList::isrc_bytes(area.tracks[t].isrc);
            if (!code) {
                // Deliberately invalid ISRCs are stored as their bytes.
                sacd::IsrcCode raw{};
                std::memcpy(raw.data(), area.tracks[t].isrc.data(), std::min<std::size_t>(12, area.tracks[t].isrc.size()));
                igl.isrcs[t] = raw;
            } else {
                igl.isrcs[t] = *code;
            }
        }
        igl.genres[t] = area.tracks[t].genre;
    }
    auto igl_bytes = emit_or(igl.emit(), "ISRC and genre list");
    if (!igl_bytes) return err(igl_bytes.error());
    if (spec.defects.unknown_list_after_trl2) std::memcpy(igl_bytes->data(), "SACD_XYZ", 8);

    // Track Text.
    std::optional<Bytes> track_text;
    auto layout = track_text_layout(spec, area);
    if (!layout) return err(layout.error());
    if (*layout) {
        const TrackTextLayout& l = **layout;
        auto tt = sacd::TrackText::make_empty(charsets, n_tracks, l.sectors * kS, l.first_entry_offset);
        if (!tt) return err("track text: " + tt.error().message());
        for (std::size_t c = 0; c < l.entries.size(); ++c)
            for (std::size_t t = 0; t < l.entries[c].size(); ++t)
                if (l.entries[c][t]) {
                    auto r = tt->replace_entry(c, t, l.entries[c][t]->entry);
                    if (!r) return err("track text: " + r.error().message());
                }
        auto bytes = emit_or(tt->emit(), "Track Text");
        if (!bytes) return err(bytes.error());
        track_text = std::move(bytes).value();
    }

    // The Area TOC record.
    sacd::AreaToc toc;
    toc.multichannel = area.multichannel;
    toc.spec_version_major = 1;
    toc.spec_version_minor = 20;
    toc.toc_length = toc_length;
    toc.max_byte_rate = area.frame_format == 0 ? 0x0015F900u : 0x000AC440u;
    toc.fs_code = 4;
    toc.frame_format = area.frame_format;
    toc.channel_count = area.channel_count;
    toc.speaker_setup = area.channel_count == 2 ? 0 : area.channel_count == 5 ? 3 : 4;
    toc.max_available_channels = area.channel_count;
    toc.total_area_play_time = *sacd::TimeCode::from_frames(audio.total_frames);
    toc.track_count = n_tracks;
    toc.audio_lsn_start = audio_start;
    toc.audio_lsn_end = audio_end;
    fill_channel_block(toc.text_channels, channels, std::nullopt);
    // Area texts: pointers at 144 + 8i, the heap after the pointer table.
    {
        std::size_t heap = 8 * std::min<std::size_t>(channels.size(), 8);
        for (std::size_t c = 0; c < area.area_texts.size() && c < channels.size() && c < 8; ++c) {
            const sacd::AreaTextChannel& at = area.area_texts[c];
            const std::optional<std::string>* texts[4] = {&at.description, &at.copyright, &at.description_phonetic,
                                                          &at.copyright_phonetic};
            for (int k = 0; k < 4; ++k) {
                if (!*texts[k] || (*texts[k])->empty()) continue;
                auto encoded = channels[c].charset.encode(**texts[k], "AreaText");
                if (!encoded) return err("area text: " + encoded.error().message());
                const std::size_t unit = channels[c].charset.is_double_byte() ? 2 : 1;
                if (heap + encoded->size() + unit > toc.area_text.size()) return err("area texts do not fit");
                platform::write_u16_be(toc.area_text.data() + 8 * c + 2 * k, static_cast<std::uint16_t>(144 + heap));
                std::copy(encoded->begin(), encoded->end(), toc.area_text.begin() + static_cast<std::ptrdiff_t>(heap));
                heap += encoded->size() + unit;
                heap = (heap + 1) / 2 * 2;
            }
        }
    }

    TocBlock block;
    block.sectors.push_back(Bytes());  // the Area TOC, filled in below once the pointers are known
    block.sectors.push_back(std::move(trl1).value());
    block.sectors.push_back(std::move(trl2).value());
    block.sectors.emplace_back(igl_bytes->begin(), igl_bytes->begin() + kS);
    block.sectors.emplace_back(igl_bytes->begin() + kS, igl_bytes->end());
    if (area.access_list) {
        toc.list_ptr_b = static_cast<std::uint16_t>(block.sectors.size());
        Bytes acc(kS, 0);
        std::memcpy(acc.data(), "SACD_ACC", 8);
        block.sectors.push_back(acc);
        for (int i = 1; i < 32; ++i) block.sectors.push_back(Bytes(kS, 0));
    }
    if (track_text) {
        toc.track_text_ptr = static_cast<std::uint16_t>(block.sectors.size());
        block.track_text_ptr = toc.track_text_ptr;
        block.track_text_sectors = static_cast<std::uint32_t>(track_text->size() / kS);
        for (std::size_t at = 0; at < track_text->size(); at += kS)
            block.sectors.emplace_back(track_text->begin() + static_cast<std::ptrdiff_t>(at),
                                       track_text->begin() + static_cast<std::ptrdiff_t>(at + kS));
    }
    auto add_list = [&](const std::optional<Bytes>& list, std::size_t sectors, std::uint16_t& ptr) {
        if (!list) return;
        ptr = static_cast<std::uint16_t>(block.sectors.size());
        Bytes padded = *list;
        padded.resize(std::max(padded.size(), sectors * kS), 0);
        padded.resize((padded.size() + kS - 1) / kS * kS, 0);
        for (std::size_t at = 0; at < padded.size(); at += kS)
            block.sectors.emplace_back(padded.begin() + static_cast<std::ptrdiff_t>(at),
                                       padded.begin() + static_cast<std::ptrdiff_t>(at + kS));
    };
    add_list(area.weblink_list, 4, toc.track_weblink_list_ptr);
    add_list(area.playlists, 5, toc.set_of_playlists_ptr);
    for (std::uint32_t i = 0; i < area.toc_padding_sectors; ++i) block.sectors.push_back(Bytes(kS, 0));
    if (block.sectors.size() != toc_length) return err("internal: TOC block length changed between passes");
    block.sectors[0] = toc.emit();
    (void)toc1;
    return block;
}

Res<std::uint16_t> toc_block_length(const ImageSpec& spec, const AreaSpec& area) {
    std::size_t n = 5;  // Area TOC, TRL1, TRL2, two ISRC and genre sectors
    if (area.access_list) n += 32;
    auto layout = track_text_layout(spec, area);
    if (!layout) return err(layout.error());
    if (*layout) n += (*layout)->sectors;
    auto list_sectors = [](const std::optional<Bytes>& list, std::size_t min) -> std::size_t {
        if (!list) return 0;
        return std::max(min, (list->size() + kS - 1) / kS);
    };
    n += list_sectors(area.weblink_list, 4) + list_sectors(area.playlists, 5);
    n += area.toc_padding_sectors;
    return static_cast<std::uint16_t>(n);
}

Res<Bytes> master_text_sector(const ImageSpec& spec, std::size_t channel) {
    sacd::MasterText text;
    if (channel < spec.master_texts.size()) {
        const CharSet charset = spec.text_channels[channel].charset;
        for (const auto& [field, value] : spec.master_texts[channel]) {
            auto r = text.set_field(field, value, charset);
            if (!r) return err("master text: " + r.error().message());
        }
    }
    auto bytes = text.emit();
    if (!bytes) return err("master text: " + bytes.error().message());
    return std::move(bytes).value();
}

struct AreaPlan {
    std::uint32_t toc1 = 0, toc2 = 0, audio_start = 0, audio_end = 0;
    std::uint16_t toc_length = 0;
    AreaAudio audio;
};

}  // namespace

std::vector<Bytes> track_dsd(const ImageSpec& spec, std::size_t area_index, std::size_t track) {
    const AreaSpec& area = spec.areas[area_index];
    std::vector<ChannelSignal> signals = track_signals(area, track);
    if (area.frame_format != 0) signals.resize(2);
    return render_planar(signals, area.tracks[track].frames, area.audio_period_frames);
}

platform::Result<BuiltImage, std::string> build_image(const ImageSpec& spec, const std::string& path) {
    if (spec.areas.empty() || spec.areas.size() > 2) return err(std::string("an image needs one or two areas"));
    if (spec.text_channels.size() > 8) return err(std::string("at most 8 text channels"));
    for (const AreaSpec& a : spec.areas) {
        if (a.tracks.empty() || a.tracks.size() > 255) return err(std::string("an area needs 1..255 tracks"));
        if (a.frame_format != 0 && a.channel_count != 2)
            return err(std::string("plain-DSD areas carry two channels; use frame format 0 for more"));
    }

    // Pass 1: sizes only, to place everything.
    std::vector<AreaPlan> plans(spec.areas.size());
    std::vector<std::size_t> disc_order(spec.areas.size());
    for (std::size_t i = 0; i < disc_order.size(); ++i) disc_order[i] = i;
    if (spec.defects.multichannel_first && disc_order.size() == 2) std::swap(disc_order[0], disc_order[1]);
    std::uint32_t lsn = 544 + spec.gap_before_first_area;
    for (std::size_t i : disc_order) {
        const AreaSpec& area = spec.areas[i];
        AreaPlan& plan = plans[i];
        auto audio = pack_area(area, false, [](const SectorBytes&) {});
        if (!audio) return err(audio.error());
        plan.audio = *audio;
        auto toc_length = toc_block_length(spec, area);
        if (!toc_length) return err(toc_length.error());
        plan.toc_length = *toc_length;
        plan.toc1 = lsn;
        plan.audio_start = lsn + plan.toc_length;
        plan.audio_end = plan.audio_start + plan.audio.sectors - 1;
        plan.toc2 = plan.audio_end + 1 + area.gap_after_audio;
        lsn = plan.toc2 + plan.toc_length;
    }
    const std::uint64_t total_sectors = std::uint64_t{lsn} + spec.tail_sectors;

    // The Master TOC.
    sacd::MasterToc mtoc;
    mtoc.spec_version_major = 1;
    mtoc.spec_version_minor = 20;
    mtoc.album_set_size = spec.album_set_size;
    mtoc.album_sequence_number = spec.album_sequence;
    if (auto r = mtoc.set_album_catalog_number(spec.album_catalog); !r) return err(r.error().message());
    if (auto r = mtoc.set_disc_catalog_number(spec.disc_catalog); !r) return err(r.error().message());
    mtoc.album_genre = spec.album_genre;
    mtoc.disc_genre = spec.disc_genre;
    mtoc.disc_date_year = spec.year;
    mtoc.disc_date_month = spec.month;
    mtoc.disc_date_day = spec.day;
    mtoc.disc_flags = spec.hybrid ? 0x80 : 0;
    for (std::size_t i = 0; i < spec.areas.size(); ++i) {
        const AreaPlan& p = plans[i];
        if (spec.areas[i].multichannel) {
            mtoc.multichannel_toc1_lsn = p.toc1;
            mtoc.multichannel_toc2_lsn = p.toc2;
            mtoc.multichannel_toc_length = p.toc_length;
        } else {
            mtoc.stereo_toc1_lsn = p.toc1;
            mtoc.stereo_toc2_lsn = p.toc2;
            mtoc.stereo_toc_length = p.toc_length;
        }
    }
    fill_channel_block(mtoc.text_channels, spec.text_channels, spec.declared_text_channels);
    std::copy_n(spec.weblink.begin(), std::min<std::size_t>(spec.weblink.size(), 127), mtoc.disc_weblink.begin());
    Bytes mtoc_bytes = mtoc.emit();

    std::vector<Bytes> master_texts;
    for (std::size_t c = 0; c < 8; ++c) {
        if (c < spec.text_channels.size()) {
            auto s = master_text_sector(spec, c);
            if (!s) return err(s.error());
            master_texts.push_back(std::move(s).value());
        } else {
            Bytes unused(kS, 0);
            std::memcpy(unused.data(), "SACDText", 8);
            master_texts.push_back(unused);
        }
    }
    Bytes manufacturer(kS, 0);
    std::memcpy(manufacturer.data(), "SACD_Man", 8);

    // Pass 2: write.
    auto file = platform::File::create_truncate(path);
    if (!file) return err("cannot create " + path + ": " + file.error().text);
    platform::BufferedWriter out(*file, 4u << 20);
    std::optional<Bridge> bridge;
    if (spec.bridge) {
        BridgeLayout layout;
        layout.total_sectors = total_sectors;
        for (std::size_t i : disc_order)
            layout.areas.push_back(BridgeLayout::Area{spec.areas[i].multichannel, plans[i].audio_start, plans[i].audio.sectors});
        layout.tail_start = lsn;
        layout.tail_sectors = spec.tail_sectors;
        auto b = build_bridge(*spec.bridge, layout);
        if (!b) return err(b.error());
        bridge = std::move(b).value();
    }
    if (bridge) out.write(bridge->head.data(), bridge->head.size());
    else out.write_zeros(510 * kS);
    for (int group = 0; group < 3; ++group) {
        Bytes toc = mtoc_bytes;
        if (group == 0 && spec.defects.damage_primary_master_toc) toc[7] = 'X';
        out.write(toc.data(), toc.size());
        for (const Bytes& t : master_texts) out.write(t.data(), t.size());
        out.write(manufacturer.data(), manufacturer.size());
    }
    out.write_zeros(4 * kS);
    out.write_zeros(std::uint64_t{spec.gap_before_first_area} * kS);

    BuiltImage built;
    built.areas.resize(spec.areas.size());
    for (std::size_t i : disc_order) {
        const AreaSpec& area = spec.areas[i];
        const AreaPlan& plan = plans[i];
        auto block = build_toc_block(spec, area, plan.toc1, plan.audio_start, plan.audio_end, plan.audio, plan.toc_length);
        if (!block) return err(block.error());
        if (out.position() != std::uint64_t{plan.toc1} * kS) return err(std::string("internal: TOC-1 misplaced"));
        for (const Bytes& s : block->sectors) out.write(s.data(), s.size());
        bool first_sector = true;
        auto written = pack_area(area, true, [&](const SectorBytes& s) {
            if (first_sector && spec.defects.audio_reserved_bit) {
                SectorBytes damaged = s;
                damaged[0] |= 0x02;
                out.write(damaged.data(), damaged.size());
            } else {
                out.write(s.data(), s.size());
            }
            first_sector = false;
        });
        if (!written) return err(written.error());
        if (written->sectors != plan.audio.sectors) return err(std::string("internal: audio size changed"));
        out.write_zeros(std::uint64_t{area.gap_after_audio} * kS);
        for (const Bytes& s : block->sectors) out.write(s.data(), s.size());

        BuiltArea& b = built.areas[i];
        b.toc1 = plan.toc1;
        b.toc2 = plan.toc2;
        b.toc_length = plan.toc_length;
        b.audio_start = plan.audio_start;
        b.audio_end = plan.audio_end;
        b.track_text_ptr = block->track_text_ptr;
        b.track_text_sectors = block->track_text_sectors;
        b.total_frames = plan.audio.total_frames;
        for (std::size_t t = 0; t < area.tracks.size(); ++t) {
            const std::uint32_t first = plan.audio_start + plan.audio.track_first_sector[t];
            const std::uint32_t next =
                t + 1 < area.tracks.size() ? plan.audio_start + plan.audio.track_first_sector[t + 1] : plan.audio_end + 1;
            b.track_lsns.push_back(first);
            b.track_sectors.push_back(next - first);
        }
    }
    if (bridge) {
        out.write(bridge->tail.data(), bridge->tail.size());
        built.bridge_files = bridge->files;
    } else {
        out.write_zeros(std::uint64_t{spec.tail_sectors} * kS);
    }
    if (auto r = out.flush(); !r) return err("writing " + path + ": " + r.error().text);
    if (spec.defects.truncate_to) {
        if (auto r = file->set_size(*spec.defects.truncate_to); !r) return err("truncating: " + r.error().text);
    }
    if (auto r = file->close(); !r) return err("closing " + path + ": " + r.error().text);
    built.size = spec.defects.truncate_to ? *spec.defects.truncate_to : total_sectors * kS;
    return built;
}

ImageSpec sample_spec(std::size_t stereo_tracks, std::uint32_t frames) {
    ImageSpec spec;
    spec.master_texts.resize(1);
    spec.master_texts[0][sacd::MasterField::AlbumTitle] = "Harbour Lights";
    spec.master_texts[0][sacd::MasterField::AlbumArtist] = "The Velmora Quartet";
    spec.master_texts[0][sacd::MasterField::DiscTitle] = "Harbour Lights";
    spec.master_texts[0][sacd::MasterField::DiscArtist] = "The Velmora Quartet";
    spec.album_catalog = "VLM-0001";
    spec.disc_catalog = "VLM-0001";
    spec.year = 2024;
    spec.month = 5;
    spec.day = 17;
    spec.album_genre[0] = sacd::GenreCode{1, 0, 14};
    spec.disc_genre[0] = sacd::GenreCode{1, 0, 14};
    AreaSpec stereo;
    const char* titles[] = {"Tide Chart", "Lantern Row", "North Pier", "Low Water", "Beacon", "Slack Tide"};
    for (std::size_t t = 0; t < stereo_tracks; ++t) {
        TrackSpec track;
        track.frames = frames;
        track.pause_frames = t == 0 ? 0 : 15;
        track.texts.resize(1);
        track.texts[0][sacd::TrackField::Title] = titles[t % 6];
        track.texts[0][sacd::TrackField::Performer] = "The Velmora Quartet";
        track.isrc = "NLA1" + std::string("2400") + std::to_string(100 + t).substr(0, 3) + "1";
        track.genre = sacd::GenreCode{1, 0, 14};
        stereo.tracks.push_back(track);
    }
    spec.areas.push_back(stereo);
    return spec;
}

}  // namespace image_builder
