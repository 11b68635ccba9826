// The backup manifest, its canonical bytes and integrity hash, and the note beside it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"
#include "sacd/error.h"

namespace sacd::backup {

inline constexpr std::string_view kToolVersion = "2.4.0";
inline constexpr std::uint32_t kSectorSize = 2048;
// A restorer refuses longer ranges, so a backup never stores one.
inline constexpr std::uint32_t kMaxRangeSectors = 128;

struct BackupRange {
    std::uint32_t start_lsn = 0;
    std::uint32_t count = 0;  // 2048-byte sectors
    friend bool operator==(const BackupRange&, const BackupRange&) = default;
};

// A sample of the image that lets a restorer recognise the disc later.
struct Fingerprint {
    std::uint64_t offset = 0;
    std::uint64_t len = 0;
    std::uint64_t hash = 0;
    friend bool operator==(const Fingerprint&, const Fingerprint&) = default;
};

enum class BackupKind { Sectors, FullFile };

struct Manifest {
    std::string iso_path;  // UTF-8
    std::uint64_t iso_size_before = 0;
    std::string timestamp;
    std::string tool_version{kToolVersion};
    BackupKind kind = BackupKind::Sectors;
    std::vector<BackupRange> ranges;  // empty for a full-file backup
    std::optional<Fingerprint> fingerprint;
    std::optional<std::uint64_t> payload_hash;
    std::optional<std::uint64_t> integrity;
};

// manifest.json: two-space indented JSON, keys in the manifest's order, LF line ends and none
// after the closing brace. A failure is BackupManifestBuildFailed with the serialiser's text.
platform::Result<std::string, SacdError> manifest_json(const Manifest& manifest);

// FNV-1a 64 over the canonical manifest bytes of a sector backup, continued over `payload`
// (the whole sectors.bin). Timestamp and tool version are not covered.
std::uint64_t manifest_integrity(std::string_view iso_path, std::uint64_t iso_size_before,
                                 std::span<const BackupRange> ranges, const std::optional<Fingerprint>& fingerprint,
                                 std::span<const std::uint8_t> payload);

// README.txt for the manifest's kind, CR LF line ends.
std::string readme_text(const Manifest& manifest);

}  // namespace sacd::backup
