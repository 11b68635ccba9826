// Backups taken before an image is written: a sector backup of exactly the sectors an in-place
// edit rewrites, or a full copy of the image file before it is replaced.
//
// A backup folder is complete once its manifest.json exists: the manifest is written last,
// under a side name, flushed and renamed into place, after every other file of the folder has
// been written, flushed to the device and (for sectors.bin) read back. A folder without
// manifest.json is a backup that was interrupted and must not be restored from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/file.h"
#include "platform/result.h"
#include "platform/system.h"
#include "sacd/backup/manifest.h"
#include "sacd/error.h"

namespace sacd::backup {

// A backup that is complete on stable storage.
struct Backup {
    platform::Path folder;
    Manifest manifest;

    // Whether the backup holds the original bytes of sector `lsn`: it lies in a saved range, or
    // the backup is a full copy. The in-place writer checks every sector against this before
    // writing it.
    bool covers(std::uint32_t lsn) const;
};

// Saves `ranges` of the image (each at most 128 sectors; the parts of a range past the end of
// the image are saved as zeros) into a new folder under `parent`, created with its ancestors.
// `anchor_lsn` places the fingerprint sample; 0 takes none. Returns only when the whole backup
// is durable, so the image may be opened for writing as soon as it returns; on failure the
// image has not been touched and any folder left behind has no manifest.json.
platform::Result<Backup, SacdError> create_backup(const platform::Path& image, std::span<const BackupRange> ranges,
                                                  const platform::Path& parent, std::uint32_t anchor_lsn);

// Copies the whole image file into original.iso in a new folder under `parent`. Returns only
// when the copy, its note and its manifest are durable. A copy that fails or comes out with
// another size than the image is removed with its folder.
platform::Result<Backup, SacdError> create_full_file_backup(const platform::Path& image, const platform::Path& parent);

// The steps above, open to tests.

// parent/name, or parent/name_2 ... parent/name_999 when taken; creates `parent` first.
platform::Result<platform::Path, SacdError> create_unique_dir(const platform::Path& parent, const std::string& name);

// "YYYYMMDD-hhmmss" and "YYYY-MM-DDThh:mm:ssZ"; a time before 1970 counts as 1970-01-01 00:00:00.
std::string timestamp_compact(const platform::UtcTime& time = platform::utc_now());
std::string timestamp_iso(const platform::UtcTime& time = platform::utc_now());

// Reads from the file position until `buffer` is full or the file ends (a broken pipe counts as
// the end). Returns the number of bytes read.
platform::Result<std::size_t, SacdError> read_tolerant(platform::File& file, std::span<std::uint8_t> buffer);

// The 256 KiB sample 128 KiB past `anchor_lsn`, when the anchor is not 0, the image holds all
// of it and it is not one byte value repeated; otherwise nothing.
std::optional<Fingerprint> read_fingerprint(platform::File& file, std::uint32_t anchor_lsn);

// The path as UTF-8 text, with U+FFFD for bytes that are not UTF-8.
std::string path_text(const platform::Path& path);

}  // namespace sacd::backup
