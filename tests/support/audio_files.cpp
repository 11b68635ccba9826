#include "tests/support/audio_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "platform/file.h"

namespace fs = std::filesystem;

namespace testsupport {

Bytes read_file(const fs::path& path) {
    auto bytes = platform::read_whole_file(path);
    EXPECT_TRUE(bytes.ok()) << path;
    return bytes.ok() ? std::move(bytes).value() : Bytes();
}

void write_file(const fs::path& path, const Bytes& bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(f.good()) << path;
}

std::vector<std::string> listing(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::uint64_t le(const Bytes& b, std::size_t at, int width) {
    std::uint64_t v = 0;
    for (int i = width - 1; i >= 0; --i) v = v << 8 | b.at(at + static_cast<std::size_t>(i));
    return v;
}

std::uint64_t be(const Bytes& b, std::size_t at, int width) {
    std::uint64_t v = 0;
    for (int i = 0; i < width; ++i) v = v << 8 | b.at(at + static_cast<std::size_t>(i));
    return v;
}

std::string id_at(const Bytes& b, std::size_t at) { return std::string(b.begin() + at, b.begin() + at + 4); }

Bytes interleave(const std::vector<Bytes>& planar) {
    Bytes out(planar[0].size() * planar.size());
    for (std::size_t i = 0; i < planar[0].size(); ++i)
        for (std::size_t c = 0; c < planar.size(); ++c) out[i * planar.size() + c] = planar[c][i];
    return out;
}

std::uint8_t reversed(std::uint8_t b) {
    std::uint8_t r = 0;
    for (int i = 0; i < 8; ++i) r = static_cast<std::uint8_t>(r | (((b >> i) & 1) << (7 - i)));
    return r;
}

Bytes dsf_blocks(const std::vector<Bytes>& planar) {
    const std::size_t length = planar[0].size();
    const std::size_t blocks = (length + 4095) / 4096;
    Bytes out;
    for (std::size_t b = 0; b < blocks; ++b)
        for (const Bytes& channel : planar)
            for (std::size_t i = b * 4096; i < (b + 1) * 4096; ++i) out.push_back(i < length ? reversed(channel[i]) : 0);
    return out;
}

DsfFile read_dsf(const fs::path& path) {
    const Bytes f = read_file(path);
    DsfFile d;
    EXPECT_GE(f.size(), 92u);
    if (f.size() < 92) return d;
    EXPECT_EQ(id_at(f, 0), "DSD ");
    EXPECT_EQ(le(f, 4, 8), 28u);
    d.total_size = le(f, 12, 8);
    d.metadata = le(f, 20, 8);
    EXPECT_EQ(id_at(f, 28), "fmt ");
    EXPECT_EQ(le(f, 32, 8), 52u);
    EXPECT_EQ(le(f, 40, 4), 1u);
    EXPECT_EQ(le(f, 44, 4), 0u);
    d.channel_type = static_cast<std::uint32_t>(le(f, 48, 4));
    d.channels = static_cast<std::uint32_t>(le(f, 52, 4));
    d.rate = static_cast<std::uint32_t>(le(f, 56, 4));
    d.bits = static_cast<std::uint32_t>(le(f, 60, 4));
    d.samples = le(f, 64, 8);
    d.block = static_cast<std::uint32_t>(le(f, 72, 4));
    EXPECT_EQ(id_at(f, 80), "data");
    const std::uint64_t size = le(f, 84, 8);
    EXPECT_LE(92 + size - 12, f.size());
    d.data.assign(f.begin() + 92, f.begin() + static_cast<std::ptrdiff_t>(std::min<std::uint64_t>(80 + size, f.size())));
    EXPECT_EQ(d.total_size, f.size());
    return d;
}

std::vector<Chunk> chunks(const Bytes& f, std::size_t from, std::size_t to) {
    std::vector<Chunk> out;
    while (from + 12 <= to) {
        Chunk c{id_at(f, from), from + 12, be(f, from + 4, 8)};
        if (c.body + c.size > to) {
            ADD_FAILURE() << "chunk " << c.id << " runs past its parent";
            break;
        }
        out.push_back(c);
        from = c.body + c.size + c.size % 2;
    }
    return out;
}

std::vector<Chunk> dff_chunks(const Bytes& f) {
    EXPECT_GE(f.size(), 16u);
    if (f.size() < 16) return {};
    EXPECT_EQ(id_at(f, 0), "FRM8");
    EXPECT_EQ(be(f, 4, 8) + 12, f.size());
    EXPECT_EQ(id_at(f, 12), "DSD ");
    return chunks(f, 16, f.size());
}

const Chunk* find_chunk(const std::vector<Chunk>& cs, const std::string& id) {
    for (const Chunk& c : cs)
        if (c.id == id) return &c;
    return nullptr;
}

Bytes chunk_body(const Bytes& f, const Chunk& c) {
    return Bytes(f.begin() + static_cast<std::ptrdiff_t>(c.body), f.begin() + static_cast<std::ptrdiff_t>(c.body + c.size));
}

Bytes dff_sound(const fs::path& path) {
    const Bytes f = read_file(path);
    const auto cs = dff_chunks(f);
    const Chunk* dsd = find_chunk(cs, "DSD ");
    EXPECT_NE(dsd, nullptr) << path;
    return dsd ? chunk_body(f, *dsd) : Bytes();
}

}  // namespace testsupport
