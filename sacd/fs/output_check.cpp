#include "sacd/fs/output_check.h"

#include <map>

#include "sacd/fs/iso9660.h"
#include "sacd/fs/transform.h"
#include "sacd/fs/udf.h"

namespace sacd::fs {

using platform::err;

namespace {

std::uint64_t sectors_of(std::uint32_t bytes) { return (std::uint64_t{bytes} + kSectorSize - 1) / kSectorSize; }

std::string ascii_upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

FsResult<std::map<std::string, FileSpan>> span_map(const std::vector<FsFile>& files, const char* tree) {
    std::map<std::string, FileSpan> out;
    for (const FsFile& f : files) {
        if (f.extents.empty()) continue;
        FileSpan span{f.extents.front().first, 0};
        for (const auto& [start, length] : f.extents) span.sectors += sectors_of(length);
        std::string key = ascii_upper(f.path);
        if (!out.emplace(key, span).second)
            return layout_error(std::string("FS cross-check: ") + tree + " tree has two files normalising to " +
                                debug_quoted(key) +
                                " (e.g. version-suffix duplicates) - refusing to guess which extent set is authoritative");
    }
    return out;
}

FsResult<void> extents_inside(const std::vector<FsFile>& files, std::uint64_t sectors) {
    for (const FsFile& f : files)
        for (const auto& [start, length] : f.extents) {
            const std::uint64_t end = std::uint64_t{start} + sectors_of(length);
            if (end > sectors)
                return layout_error("output self-check: file " + f.path + " extent ends at sector " + std::to_string(end) +
                                    ", past the disc size " + std::to_string(sectors));
        }
    return {};
}

}  // namespace

std::string FileSpan::debug() const {
    return "FileSpan { start_lsn: " + std::to_string(start_lsn) + ", sectors: " + std::to_string(sectors) + " }";
}

std::string debug_quoted(const std::string& text) {
    static const char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case 0: out += "\\0"; break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    out += "\\u{";
                    if (c >= 0x10) out += kHex[c >> 4];
                    out += kHex[c & 0xF];
                    out += "}";
                } else {
                    out += ch;
                }
        }
    }
    return out + "\"";
}

FsResult<void> verify_transformed_output(ByteSource& source) {
    const std::uint64_t sectors = source.size() / kSectorSize;
    if (!classify(source)) return layout_error("output self-check: no ISO9660/UDF bridge found in the transformed image");
    auto pvd = Pvd::parse(source);
    if (!pvd) return err(std::move(pvd).error());
    auto iso = iso9660_files(source, *pvd);
    if (!iso) return err(std::move(iso).error());
    auto udf = udf_files(source);
    if (!udf) return err(std::move(udf).error());

    auto iso_map = span_map(*iso, "ISO9660");
    if (!iso_map) return err(std::move(iso_map).error());
    auto udf_map = span_map(*udf, "UDF");
    if (!udf_map) return err(std::move(udf_map).error());
    for (const auto& [key, span] : *iso_map)
        if (!udf_map->count(key))
            return layout_error("FS cross-check: file " + debug_quoted(key) + " is in the ISO9660 tree but not the UDF tree");
    for (const auto& [key, span] : *udf_map)
        if (!iso_map->count(key))
            return layout_error("FS cross-check: file " + debug_quoted(key) + " is in the UDF tree but not the ISO9660 tree");
    for (const auto& [key, span] : *iso_map) {
        const FileSpan& other = udf_map->at(key);
        if (!(span == other))
            return layout_error("FS cross-check: file " + debug_quoted(key) + " differs - ISO9660 " + span.debug() + " vs UDF " +
                                other.debug());
    }

    if (pvd->volume_space_size > sectors)
        return layout_error("output self-check: ISO9660 volume_space_size " + std::to_string(pvd->volume_space_size) +
                            " exceeds disc size " + std::to_string(sectors) + " sectors");
    if (auto r = extents_inside(*iso, sectors); !r) return r;
    return extents_inside(*udf, sectors);
}

}  // namespace sacd::fs
