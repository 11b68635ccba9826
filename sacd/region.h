// A region of the image: either a range of the source file left uninterpreted, or a record the
// program understands and re-emits. The regions of a disc, in order, partition the whole image.
#pragma once

#include <cstdint>
#include <string_view>
#include <variant>

#include "sacd/area_toc.h"
#include "sacd/image.h"
#include "sacd/isrc_genre_list.h"
#include "sacd/master_text.h"
#include "sacd/master_toc.h"
#include "sacd/track_list.h"
#include "sacd/track_text.h"

namespace sacd {

// Kinds of uninterpreted ranges.
enum class RangeKind : std::uint8_t {
    PreMaster = 0,
    MasterToc = 1,
    MasterText = 2,
    MasterTextReserved = 3,
    Manufacturer = 4,
    MasterTocMirror = 5,
    AreaToc = 6,
    Trl1 = 7,
    Trl2 = 8,
    Igl = 9,
    AccessList = 10,
    TrackText = 11,
    AreaTocList = 12,
    AreaTocPadding = 13,
    Audio = 14,
    Tail = 15,
    WholeFile = 16,
};

// "pre-master", "master TOC", ..., "whole file".
std::string_view range_kind_label(RangeKind kind);

namespace regions {

struct Untyped {
    std::uint64_t offset = 0;  // in the source image
    std::uint64_t length = 0;
    RangeKind kind = RangeKind::AreaTocPadding;
};
struct MasterTocRecord {
    MasterToc record;
};
struct MasterTextRecord {
    MasterText record;
    std::uint8_t copy = 0;  // 0 primary, 1 and 2 the mirrors
    std::uint8_t slot = 0;  // text channel 0..7
};
struct AreaTocRecord {
    AreaToc record;
};
struct Trl1Record {
    Trl1 record;
};
struct Trl2Record {
    Trl2 record;
};
struct IglRecord {
    IsrcGenreList record;
};
struct TrackTextRecord {
    TrackText record;
};
// Bytes the edit engine holds in memory in place of a source range.
struct OwnedBytes {
    Bytes bytes;
    RangeKind kind = RangeKind::AreaTocPadding;
};
// The part of a grown image after its last area: a rewritten file-system window, then a range
// copied from the source image.
struct StreamedTail {
    Bytes window;
    std::uint64_t offset = 0, length = 0;
};

}  // namespace regions

struct Region {
    std::variant<regions::Untyped, regions::MasterTocRecord, regions::MasterTextRecord, regions::AreaTocRecord,
                 regions::Trl1Record, regions::Trl2Record, regions::IglRecord, regions::TrackTextRecord,
                 regions::OwnedBytes, regions::StreamedTail>
        value;

    static Region untyped(std::uint64_t offset, std::uint64_t length, RangeKind kind) {
        return Region{regions::Untyped{offset, length, kind}};
    }

    // Size in bytes: 2048 for the one-sector records, 4096 for the ISRC and genre list, the block
    // length for Track Text, the stored length for ranges.
    std::uint64_t size() const;
    // "audio", "master TOC (typed)", ...
    std::string_view kind_label() const;

    template <class T>
    const T* as() const { return std::get_if<T>(&value); }
    template <class T>
    T* as() { return std::get_if<T>(&value); }
    // The range kind of an untyped range or owned bytes; nothing for typed records.
    std::optional<RangeKind> range_kind() const;
    bool is_untyped(RangeKind kind) const {
        auto* u = as<regions::Untyped>();
        return u && u->kind == kind;
    }
};

}  // namespace sacd
