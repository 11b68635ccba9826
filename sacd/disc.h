// The disc model: an ordered, gap-free partition of a whole image into regions, built by
// import_iso. A Disc is a plain value; the edit engine copies it before each edit.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/result.h"
#include "sacd/edit_error.h"
#include "sacd/error.h"
#include "sacd/region.h"

namespace sacd {

inline constexpr std::uint32_t kMasterTocLsn = 510;
inline constexpr std::uint32_t kMasterTextLsn = 511;
inline constexpr std::uint32_t kFirstAreaLsn = 544;  // after the master groups and the mirror range
inline constexpr std::uint64_t kMinImageBytes = std::uint64_t{kFirstAreaLsn} * kSectorSize;

// One audio area in image order: TOC-1 block, audio, gap, TOC-2 block.
struct DiscArea {
    std::vector<Region> toc1;   // starts with the area's Area TOC
    Region audio = Region::untyped(0, 0, RangeKind::Audio);
    std::vector<Region> gap;    // normally one padding range, or none
    std::vector<Region> toc2;   // starts with the TOC-2 Area TOC

    // The first typed Area TOC of the TOC-1 block, if any.
    const AreaToc* area_toc() const;
    AreaToc* area_toc_mut();
    // The first typed record of a kind in the TOC-1 block, if any.
    const Trl1* trl1() const;
    const Trl2* trl2() const;
    const IsrcGenreList* isrc_genre_list() const;
    const TrackText* track_text() const;
    TrackText* track_text_mut();
    // Byte offset of the audio range in the image.
    std::uint64_t audio_offset() const;
};

struct RepairReport {
    struct MasterTextRepair {
        std::uint8_t channel = 0;
        std::uint32_t slots = 0;
    };
    struct TrackTextRepair {
        std::uint32_t area = 0;
        std::uint8_t channel = 0;
        std::uint32_t slots = 0;
    };
    std::vector<MasterTextRepair> master_text;
    std::vector<TrackTextRepair> track_text;

    std::uint64_t total_slots_de_aliased() const;
};

struct Disc {
    std::string source_path;
    std::vector<Region> regions;  // disc level: LSN 0 up to the first area's TOC-1
    std::vector<DiscArea> areas;  // at most two: stereo, then multichannel
    std::optional<Region> tail;   // after the last area

    // The shape commands report as "file not recognised": no areas, no tail, and one untyped
    // "whole file" range.
    bool is_not_recognised() const;

    // The primary Master TOC (the region at LSN 510), when it is typed.
    const MasterToc* master_toc() const;
    MasterToc* master_toc_mut();

    // N, byte 0 of the primary Master TOC's text channel block; 0 when it is not typed.
    std::uint8_t master_text_channel_count() const;
    // The primary Master Text of a channel, when it is typed with that slot and copy 0.
    const MasterText* master_text(std::uint8_t channel) const;
    platform::Result<MasterText*, EditError> master_text_mut(std::uint8_t channel);
    // The Master Text at LSN 511 + channel + 10 x copy, when typed with that slot and copy.
    MasterText* master_text_copy_mut(std::uint8_t channel, std::uint8_t copy);

    // True when the disc stores no text anywhere (see the Disc model's rules).
    bool all_text_empty() const;

    platform::Result<void, EditError> repair_master_text_all(RepairReport& report);
    platform::Result<void, EditError> repair_track_text_area(std::size_t area, RepairReport& report);

    // The LSN at which a disc-level region starts (sum of the sizes before it).
    std::uint64_t region_offset(std::size_t index) const;
};

// True when some area has tracks and declares text channels but stores no Track Text.
bool needs_text_normalization(std::span<const DiscArea> areas);

// The character set of a Master Text channel, from the primary Master TOC.
platform::Result<CharSet, EditError> derive_master_charset(const Disc& disc, std::uint8_t locale);

// Reads the image into the model. Only the file system can make it fail; every structural
// problem gives the not-recognised disc.
platform::Result<Disc, SacdError> import_iso(const std::string& path);

}  // namespace sacd
