#include "tests/support/backup_check.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

namespace testsupport {

namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
           std::uint32_t(b[at + 3]) << 24;
}

void le64_into(std::vector<std::uint8_t>& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

struct Saved {
    std::uint32_t start = 0, count = 0;
    std::size_t offset = 0;  // of the sector bytes in sectors.bin
};

// Parses sectors.bin; throws on a malformed file.
std::vector<Saved> parse_payload(const std::vector<std::uint8_t>& payload) {
    if (payload.size() < 4) throw std::runtime_error("sectors.bin is shorter than its count");
    std::vector<Saved> out;
    std::size_t at = 4;
    for (std::uint32_t i = 0, n = le32(payload, 0); i < n; ++i) {
        if (payload.size() - at < 8) throw std::runtime_error("sectors.bin ends inside a record header");
        Saved s{le32(payload, at), le32(payload, at + 4), at + 8};
        at += 8 + std::size_t{s.count} * 2048;
        if (at > payload.size()) throw std::runtime_error("sectors.bin ends inside a record");
        out.push_back(s);
    }
    if (at != payload.size()) throw std::runtime_error("sectors.bin has bytes after its last record");
    return out;
}

std::string check_parsed(const fs::path& dir, const nlohmann::ordered_json& m) {
    const char* order[] = {"iso_path", "iso_size_before", "timestamp", "tool_version", "kind",
                           "ranges",   "fingerprint",     "payload_hash", "integrity"};
    std::vector<std::string> keys;
    for (auto it = m.begin(); it != m.end(); ++it) keys.push_back(it.key());
    if (keys != std::vector<std::string>(std::begin(order), std::end(order))) return "manifest keys out of order";
    if (!fs::exists(dir / "README.txt")) return "README.txt missing";
    const auto size = m["iso_size_before"].get<std::uint64_t>();
    if (m["kind"] == "full_file") {
        if (!m["ranges"].empty() || !m["fingerprint"].is_null() || !m["payload_hash"].is_null() ||
            !m["integrity"].is_null())
            return "full_file manifest carries sector fields";
        if (!fs::exists(dir / "original.iso")) return "original.iso missing";
        if (fs::file_size(dir / "original.iso") != size) return "original.iso has another size";
        return "";
    }
    if (m["kind"] != "sectors") return "unknown kind";
    const auto payload = slurp(dir / "sectors.bin");
    std::vector<Saved> saved;
    try {
        saved = parse_payload(payload);
    } catch (const std::exception& e) {
        return e.what();
    }
    if (saved.size() != m["ranges"].size()) return "sectors.bin holds another number of ranges";
    for (std::size_t i = 0; i < saved.size(); ++i) {
        if (saved[i].start != m["ranges"][i]["start_lsn"].get<std::uint32_t>() ||
            saved[i].count != m["ranges"][i]["count"].get<std::uint32_t>())
            return "sectors.bin range " + std::to_string(i) + " differs from the manifest";
    }
    if (reference_fnv1a64(payload) != m["payload_hash"].get<std::uint64_t>()) return "payload_hash does not match";
    std::vector<std::uint8_t> canonical;
    const auto path = m["iso_path"].get<std::string>();
    le64_into(canonical, path.size());
    canonical.insert(canonical.end(), path.begin(), path.end());
    le64_into(canonical, size);
    canonical.push_back(0);
    le64_into(canonical, saved.size());
    for (const auto& s : saved) {
        for (int i = 0; i < 4; ++i) canonical.push_back(static_cast<std::uint8_t>(s.start >> (8 * i)));
        for (int i = 0; i < 4; ++i) canonical.push_back(static_cast<std::uint8_t>(s.count >> (8 * i)));
    }
    const auto& fp = m["fingerprint"];
    canonical.push_back(fp.is_null() ? 0 : 1);
    if (!fp.is_null()) {
        le64_into(canonical, fp["offset"].get<std::uint64_t>());
        le64_into(canonical, fp["len"].get<std::uint64_t>());
        le64_into(canonical, fp["hash"].get<std::uint64_t>());
    }
    if (reference_fnv1a64(payload, reference_fnv1a64(canonical)) != m["integrity"].get<std::uint64_t>())
        return "integrity does not match";
    return "";
}

nlohmann::ordered_json read_manifest(const fs::path& dir) {
    const auto bytes = slurp(dir / "manifest.json");
    return nlohmann::ordered_json::parse(bytes.begin(), bytes.end());
}

}  // namespace

std::vector<std::string> backup_folders(const std::string& parent) {
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(parent, ec))
        if (e.is_directory() && e.path().filename().string().starts_with("backup_")) out.push_back(e.path().string());
    std::sort(out.begin(), out.end());
    return out;
}

std::uint64_t reference_fnv1a64(const std::vector<std::uint8_t>& bytes, std::uint64_t value) {
    for (std::uint8_t b : bytes) value = (value ^ b) * 1099511628211ull;
    return value;
}

bool claims_complete(const std::string& folder) { return fs::exists(fs::path(folder) / "manifest.json"); }

std::string check_backup(const std::string& folder) {
    try {
        return check_parsed(folder, read_manifest(folder));
    } catch (const std::exception& e) {
        return std::string("unreadable backup: ") + e.what();
    }
}

std::string check_backup_against(const std::string& folder, const std::vector<std::uint8_t>& image) {
    if (auto problem = check_backup(folder); !problem.empty()) return problem;
    const fs::path dir(folder);
    const auto m = read_manifest(dir);
    if (m["iso_size_before"].get<std::uint64_t>() != image.size()) return "iso_size_before is not the image's size";
    if (m["kind"] == "full_file") return slurp(dir / "original.iso") == image ? "" : "original.iso differs from the image";
    const auto payload = slurp(dir / "sectors.bin");
    for (const auto& s : parse_payload(payload)) {
        for (std::size_t i = 0; i < std::size_t{s.count} * 2048; ++i) {
            const std::size_t at = std::size_t{s.start} * 2048 + i;
            const std::uint8_t expected = at < image.size() ? image[at] : 0;
            if (payload[s.offset + i] != expected) {
                std::ostringstream why;
                why << "saved byte of LSN " << s.start << "+" << i / 2048 << " at image offset " << at
                    << " differs from the image";
                return why.str();
            }
        }
    }
    return "";
}

std::string untouched_or_restorable(const std::string& image, const std::vector<std::uint8_t>& original,
                                    const std::string& parent) {
    if (slurp(image) == original) return "";
    std::vector<std::string> complete;
    for (const auto& f : backup_folders(parent))
        if (claims_complete(f)) complete.push_back(f);
    if (complete.size() != 1)
        return "the image changed and " + std::to_string(complete.size()) + " complete backups exist";
    if (auto problem = check_backup_against(complete[0], original); !problem.empty()) return problem;
    const std::string copy = image + ".restore-check";
    fs::copy_file(image, copy, fs::copy_options::overwrite_existing);
    restore_backup(complete[0], copy);
    const bool restored = slurp(copy) == original;
    fs::remove(copy);
    return restored ? "" : "restoring " + complete[0] + " does not give the original image back";
}

void restore_backup(const std::string& folder, const std::string& image) {
    const fs::path dir(folder);
    const auto m = read_manifest(dir);
    if (m["kind"] == "full_file") {
        fs::copy_file(dir / "original.iso", image, fs::copy_options::overwrite_existing);
        return;
    }
    const auto size = m["iso_size_before"].get<std::uint64_t>();
    const auto payload = slurp(dir / "sectors.bin");
    std::fstream out(image, std::ios::binary | std::ios::in | std::ios::out);
    if (!out) throw std::runtime_error("cannot open " + image);
    for (const auto& s : parse_payload(payload)) {
        const std::uint64_t start = std::uint64_t{s.start} * 2048;
        if (start >= size) continue;
        const std::uint64_t len = std::min<std::uint64_t>(std::uint64_t{s.count} * 2048, size - start);
        out.seekp(static_cast<std::streamoff>(start));
        out.write(reinterpret_cast<const char*>(payload.data() + s.offset), static_cast<std::streamsize>(len));
    }
    if (!out) throw std::runtime_error("cannot write " + image);
}

}  // namespace testsupport
