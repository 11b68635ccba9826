// Rewriting the bridge's sector addresses for a new layout: every pointer site is remapped through
// an LsnMap inside copies of the head (everything before the Master TOC) and of the file-system
// part of the tail, and every UDF descriptor tag in them is re-sealed. The image is never written.
#pragma once

#include <cstdint>

#include "platform/file.h"
#include "sacd/disc.h"
#include "sacd/fs/lsn_map.h"
#include "sacd/fs/sites.h"
#include "sacd/image.h"

namespace sacd::fs {

// A byte range of the source image.
struct Window {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

// Whether the image carries an ISO 9660 or UDF bridge.
bool classify(ByteSource& source);
// The same for an image file; a file that cannot be opened or sized is a read failure.
FsResult<bool> source_is_bridge(const platform::Path& image);

// Every site of both trees in transform order (ISO 9660, UDF volume, UDF files), with the UDF
// partition start that partition-relative sites are based on.
struct CollectedSites : BridgeSites {
    std::uint32_t partition_start = 0;
};
FsResult<CollectedSites> collect_bridge_sites(ByteSource& source);

// The value a site must hold in the new layout (ByteLength sites keep theirs).
FsResult<std::uint32_t> new_value(const PointerSite& site, const LsnMap& map, std::uint32_t partition_start);

// The re-imported source's head (its first disc-level region, from byte 0) and tail.
FsResult<Window> head_region(const Disc& source);
FsResult<Window> tail_region(const Disc& source);

// The part of the tail that holds file-system structures, and the rest of the file after it.
struct FsTail {
    Window window;
    std::uint64_t padding = 0;
};
FsResult<FsTail> bounded_fs_tail(const BridgeSites& sites, Window tail, std::uint64_t file_length);
// Every site and checksum site must lie wholly inside the head or the FS tail window.
FsResult<void> coverage_guard(const BridgeSites& sites, Window head, Window fs_tail);
// A copy of the window with every site in it rewritten and every tag in it re-sealed.
FsResult<Bytes> transform_window(ByteSource& source, Window window, const CollectedSites& sites, const LsnMap& map);

struct TransformedBridge {
    Bytes head;                   // replaces the head region
    Bytes fs_tail;                // the tail's file-system window, patched
    std::uint64_t fs_tail_end = 0;  // F: the source byte where the copied rest of the tail starts
    std::uint64_t padding = 0;      // bytes copied from F to the end of the source
};
// The transform of already collected sites over a head and a tail window of `source`.
FsResult<TransformedBridge> transform_bridge_windows(ByteSource& source, const CollectedSites& sites, const LsnMap& map,
                                                     Window head, Window tail);
// The whole transform of `source` through `map`, with head and tail taken from the re-imported
// source disc.
FsResult<TransformedBridge> transform_bridge(ByteSource& source, const LsnMap& map, const Disc& source_disc);
// Puts the patched head and tail into the relaid disc.
FsResult<void> install_transformed_bridge(Disc& relaid, TransformedBridge bridge);

}  // namespace sacd::fs
