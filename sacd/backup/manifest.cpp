#include "sacd/backup/manifest.h"

#include <exception>

#include <nlohmann/json.hpp>

#include "platform/bytes.h"
#include "sacd/backup/fnv1a.h"

namespace sacd::backup {

namespace {

std::string_view kind_text(BackupKind kind) { return kind == BackupKind::Sectors ? "sectors" : "full_file"; }

template <class T>
nlohmann::ordered_json or_null(const std::optional<T>& v) {
    return v ? nlohmann::ordered_json(*v) : nlohmann::ordered_json(nullptr);
}

void put_u64(std::vector<std::uint8_t>& out, std::uint64_t v) {
    std::uint8_t b[8];
    platform::write_u64_le(b, v);
    out.insert(out.end(), b, b + 8);
}

void put_u32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    std::uint8_t b[4];
    platform::write_u32_le(b, v);
    out.insert(out.end(), b, b + 4);
}

}  // namespace

platform::Result<std::string, SacdError> manifest_json(const Manifest& m) {
    try {
        nlohmann::ordered_json j;
        j["iso_path"] = m.iso_path;
        j["iso_size_before"] = m.iso_size_before;
        j["timestamp"] = m.timestamp;
        j["tool_version"] = m.tool_version;
        j["kind"] = kind_text(m.kind);
        j["ranges"] = nlohmann::ordered_json::array();
        for (const auto& r : m.ranges) {
            nlohmann::ordered_json range;
            range["start_lsn"] = r.start_lsn;
            range["count"] = r.count;
            j["ranges"].push_back(std::move(range));
        }
        if (m.fingerprint) {
            nlohmann::ordered_json fp;
            fp["offset"] = m.fingerprint->offset;
            fp["len"] = m.fingerprint->len;
            fp["hash"] = m.fingerprint->hash;
            j["fingerprint"] = std::move(fp);
        } else {
            j["fingerprint"] = nullptr;
        }
        j["payload_hash"] = or_null(m.payload_hash);
        j["integrity"] = or_null(m.integrity);
        return j.dump(2);
    } catch (const std::exception& e) {
        return platform::err(SacdError::localized(LocalizedKind::BackupManifestBuildFailed, e.what()));
    }
}

std::uint64_t manifest_integrity(std::string_view iso_path, std::uint64_t iso_size_before,
                                 std::span<const BackupRange> ranges, const std::optional<Fingerprint>& fingerprint,
                                 std::span<const std::uint8_t> payload) {
    std::vector<std::uint8_t> canonical;
    put_u64(canonical, iso_path.size());
    canonical.insert(canonical.end(), iso_path.begin(), iso_path.end());
    put_u64(canonical, iso_size_before);
    canonical.push_back(0);  // kind: sectors, the only kind with an integrity hash
    put_u64(canonical, ranges.size());
    for (const auto& r : ranges) {
        put_u32(canonical, r.start_lsn);
        put_u32(canonical, r.count);
    }
    canonical.push_back(fingerprint ? 1 : 0);
    if (fingerprint) {
        put_u64(canonical, fingerprint->offset);
        put_u64(canonical, fingerprint->len);
        put_u64(canonical, fingerprint->hash);
    }
    Fnv1a64 h;
    h.update(canonical);
    h.update(payload);
    return h.value();
}

std::string readme_text(const Manifest& m) {
    const bool full = m.kind == BackupKind::FullFile;
    const std::string title = full ? "Velmora - backup (full file)" : "Velmora - backup";
    std::vector<std::string> lines = {
        title,
        std::string(title.size(), '='),
        "Created:     " + m.timestamp,
        "Tool:        " + m.tool_version,
        "",
        "Source ISO:  " + m.iso_path,
        "Size:        " + std::to_string(m.iso_size_before) + " bytes",
        "",
    };
    if (full) lines.push_back("This is a FULL copy of the original ISO (the edit grew the disc).");
    lines.insert(lines.end(), {
                                  "To restore: open Velmora, click \"Restore backup\",",
                                  "then pick this folder.",
                                  "",
                                  "Files in this folder:",
                                  "  manifest.json  - machine-readable metadata (used by Restore)",
                                  full ? "  original.iso   - the complete original disc image"
                                       : "  sectors.bin    - the original sector data",
                                  "  README.txt     - this file (human-readable summary)",
                              });
    std::string text;
    for (const auto& line : lines) text += line + "\r\n";
    return text;
}

}  // namespace sacd::backup
