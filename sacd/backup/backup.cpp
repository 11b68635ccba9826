#include "sacd/backup/backup.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/bytes.h"
#include "sacd/backup/fnv1a.h"
#include "sacd/charset.h"

namespace sacd::backup {

namespace {

constexpr std::uint64_t kFingerprintSkip = 128 * 1024;
constexpr std::uint64_t kFingerprintLen = 256 * 1024;
constexpr int kMaxSuffix = 999;

constexpr const char* kPayloadName = "sectors.bin";
constexpr const char* kCopyName = "original.iso";
constexpr const char* kManifestName = "manifest.json";
constexpr const char* kManifestSideName = "manifest.json.partial";
constexpr const char* kReadmeName = "README.txt";

platform::Err<SacdError> io_err(platform::IoError e) { return platform::err(SacdError::io(std::move(e))); }

platform::UtcTime clamped(const platform::UtcTime& t) { return t.year < 1970 ? platform::UtcTime{} : t; }

// Writes a new file and flushes it to the device.
platform::Result<void, SacdError> write_durable(const platform::Path& path, std::string_view text) {
    auto f = platform::File::create_new(path);
    if (!f) return io_err(f.error());
    if (auto r = f->write_all(text.data(), text.size()); !r) return io_err(r.error());
    if (auto r = f->flush_to_device(); !r) return io_err(r.error());
    if (auto r = f->close(); !r) return io_err(r.error());
    return {};
}

// The note first, then the manifest through a side name, then the folder: once manifest.json
// exists, everything else in the folder is already on the device.
platform::Result<void, SacdError> finish_folder(const platform::Path& folder, const Manifest& manifest) {
    auto json = manifest_json(manifest);
    if (!json) return platform::err(json.error());
    if (auto r = write_durable(folder / kReadmeName, readme_text(manifest)); !r) return r;
    const platform::Path side = folder / kManifestSideName;
    if (auto r = write_durable(side, *json); !r) return r;
    if (auto r = platform::rename_replace(side, folder / kManifestName); !r) return io_err(r.error());
    if (auto r = platform::flush_folder(folder); !r) return io_err(r.error());
    return {};
}

platform::Result<platform::Path, SacdError> new_backup_folder(const platform::Path& parent) {
    return create_unique_dir(parent, "backup_" + timestamp_compact());
}

// Writes sectors.bin and returns the FNV-1a 64 of the bytes handed to the file.
platform::Result<std::uint64_t, SacdError> write_payload(platform::File& image, std::uint64_t image_size,
                                                         std::span<const BackupRange> ranges,
                                                         const platform::Path& path) {
    auto out = platform::File::create_new(path);
    if (!out) return io_err(out.error());
    Fnv1a64 written;
    std::uint8_t head[4];
    platform::write_u32_le(head, static_cast<std::uint32_t>(ranges.size()));
    if (auto r = out->write_all(head, sizeof head); !r) return io_err(r.error());
    written.update(head);
    for (const auto& range : ranges) {
        const std::uint64_t start = std::uint64_t{range.start_lsn} * kSectorSize;
        const std::uint64_t len = std::uint64_t{range.count} * kSectorSize;
        // Record header and sectors in one buffer, zero-filled so that a tail past the end of
        // the image is saved as zeros.
        std::vector<std::uint8_t> record(8 + len, 0);
        platform::write_u32_le(record.data(), range.start_lsn);
        platform::write_u32_le(record.data() + 4, range.count);
        if (auto r = image.seek(start); !r) return io_err(r.error());
        auto got = read_tolerant(image, std::span(record).subspan(8));
        if (!got) return platform::err(got.error());
        if (*got < len && start + len <= image_size)
            return platform::err(SacdError::localized(LocalizedKind::IsoChangedDuringBackup));
        if (auto r = out->write_all(record.data(), record.size()); !r) return io_err(r.error());
        written.update(record);
    }
    if (auto r = out->flush_to_device(); !r) return io_err(r.error());
    if (auto r = out->close(); !r) return io_err(r.error());
    return written.value();
}

}  // namespace

bool Backup::covers(std::uint32_t lsn) const {
    if (manifest.kind == BackupKind::FullFile) return true;
    return std::any_of(manifest.ranges.begin(), manifest.ranges.end(), [lsn](const BackupRange& r) {
        return lsn >= r.start_lsn && std::uint64_t{lsn} < std::uint64_t{r.start_lsn} + r.count;
    });
}

platform::Result<Backup, SacdError> create_backup(const platform::Path& image, std::span<const BackupRange> ranges,
                                                  const platform::Path& parent, std::uint32_t anchor_lsn) {
    auto file = platform::File::open_read(image);
    if (!file) return io_err(file.error());
    auto size = file->size();
    if (!size) return io_err(size.error());
    for (const auto& r : ranges)
        if (r.count > kMaxRangeSectors) return platform::err(SacdError::localized(LocalizedKind::BackupRangeTooLarge));

    auto folder = new_backup_folder(parent);
    if (!folder) return platform::err(folder.error());
    const platform::Path payload_path = *folder / kPayloadName;
    auto written = write_payload(*file, *size, ranges, payload_path);
    if (!written) return platform::err(written.error());

    const auto fingerprint = read_fingerprint(*file, anchor_lsn);

    // The hashes describe the file as the device returns it, not the buffers it was written from.
    auto payload = platform::read_whole_file(payload_path);
    if (!payload) return io_err(payload.error());
    const std::uint64_t payload_hash = fnv1a64(*payload);
    if (payload_hash != *written)
        return io_err(platform::IoError::custom("sectors.bin reads back other bytes than were written to it"));

    Manifest m;
    m.iso_path = path_text(image);
    m.iso_size_before = *size;
    m.kind = BackupKind::Sectors;
    m.ranges.assign(ranges.begin(), ranges.end());
    m.fingerprint = fingerprint;
    m.payload_hash = payload_hash;
    m.integrity = manifest_integrity(m.iso_path, m.iso_size_before, m.ranges, m.fingerprint, *payload);
    m.timestamp = timestamp_iso();
    if (auto r = finish_folder(*folder, m); !r) return platform::err(r.error());
    return Backup{*folder, std::move(m)};
}

platform::Result<Backup, SacdError> create_full_file_backup(const platform::Path& image, const platform::Path& parent) {
    std::uint64_t size = 0;
    {
        auto file = platform::File::open_read(image);
        if (!file) return io_err(file.error());
        auto s = file->size();
        if (!s) return io_err(s.error());
        size = *s;
    }
    auto folder = new_backup_folder(parent);
    if (!folder) return platform::err(folder.error());
    const platform::Path copy = *folder / kCopyName;
    // An incomplete copy of a whole image is of no use and may be large: it goes with its folder.
    if (auto r = platform::copy_whole_file(image, copy); !r) {
        (void)platform::remove_tree(*folder);
        return io_err(r.error());
    }
    auto copied = platform::size_of_file(copy);
    if (!copied) {
        (void)platform::remove_tree(*folder);
        return io_err(copied.error());
    }
    if (*copied != size) {
        (void)platform::remove_tree(*folder);
        return platform::err(SacdError::localized(LocalizedKind::BackupCopyIncomplete));
    }

    Manifest m;
    m.iso_path = path_text(image);
    m.iso_size_before = size;
    m.kind = BackupKind::FullFile;
    m.timestamp = timestamp_iso();
    if (auto r = finish_folder(*folder, m); !r) return platform::err(r.error());
    return Backup{*folder, std::move(m)};
}

platform::Result<platform::Path, SacdError> create_unique_dir(const platform::Path& parent, const std::string& name) {
    // An empty parent is the current folder, as for an image given by its bare name.
    const platform::Path base = parent.empty() ? platform::Path(".") : parent;
    if (auto r = platform::make_directories(base); !r) return io_err(r.error());
    for (int i = 1; i <= kMaxSuffix; ++i) {
        const platform::Path candidate = base / (i == 1 ? name : name + "_" + std::to_string(i));
        auto made = platform::create_folder(candidate);
        if (made) {
            // The new folder's entry in its parent is as durable as the files about to go in it.
            if (auto r = platform::flush_folder(base); !r) return io_err(r.error());
            return candidate;
        }
        if (made.error().kind != platform::IoError::Kind::AlreadyExists) return io_err(made.error());
    }
    return platform::err(SacdError::localized(LocalizedKind::TooManyBackupsOneTimestamp));
}

std::string timestamp_compact(const platform::UtcTime& time) {
    const auto t = clamped(time);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d-%02d%02d%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
    return buf;
}

std::string timestamp_iso(const platform::UtcTime& time) {
    const auto t = clamped(time);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02dZ", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return buf;
}

platform::Result<std::size_t, SacdError> read_tolerant(platform::File& file, std::span<std::uint8_t> buffer) {
    std::size_t done = 0;
    while (done < buffer.size()) {
        auto got = file.read(buffer.data() + done, buffer.size() - done);
        if (!got) {
            if (got.error().kind == platform::IoError::Kind::BrokenPipe) break;
            return io_err(got.error());
        }
        if (*got == 0) break;
        done += *got;
    }
    return done;
}

std::optional<Fingerprint> read_fingerprint(platform::File& file, std::uint32_t anchor_lsn) {
    if (anchor_lsn == 0) return std::nullopt;
    const std::uint64_t base = std::uint64_t{anchor_lsn} * kSectorSize;
    auto size = file.size();
    if (!size || *size < base + kFingerprintSkip + kFingerprintLen) return std::nullopt;
    std::vector<std::uint8_t> sample(kFingerprintLen);
    if (!file.seek(base + kFingerprintSkip)) return std::nullopt;
    auto got = read_tolerant(file, sample);
    if (!got || *got != sample.size()) return std::nullopt;
    if (std::all_of(sample.begin(), sample.end(), [&](std::uint8_t b) { return b == sample[0]; })) return std::nullopt;
    return Fingerprint{base + kFingerprintSkip, kFingerprintLen, fnv1a64(sample)};
}

std::string path_text(const platform::Path& path) { return chars_to_utf8(utf8_to_chars(path.native())); }

}  // namespace sacd::backup
