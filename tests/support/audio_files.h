// Reading back what the audio writers and the extract command leave on disk: whole files,
// folder listings, and the DSF and DSDIFF layouts taken apart field by field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

// ---- files --------------------------------------------------------------------------------

// The whole file; a file that cannot be read is a test failure and gives no bytes.
Bytes read_file(const std::filesystem::path& path);
// Creates or replaces the file; a failed write is a test failure.
void write_file(const std::filesystem::path& path, const Bytes& bytes);
// The names in a folder, sorted; empty when it does not exist.
std::vector<std::string> listing(const std::filesystem::path& folder);

// ---- fields -------------------------------------------------------------------------------

// A little- or big-endian number of `width` bytes at `at` (out of range throws).
std::uint64_t le(const Bytes& b, std::size_t at, int width);
std::uint64_t be(const Bytes& b, std::size_t at, int width);
// The four-character id at `at`.
std::string id_at(const Bytes& b, std::size_t at);

// ---- DSD layouts --------------------------------------------------------------------------

// Channels interleaved byte by byte, as DSDIFF stores them.
Bytes interleave(const std::vector<Bytes>& planar);
// Bit 7 <-> bit 0 and so on.
std::uint8_t reversed(std::uint8_t b);
// The DSF sound data of planar channels: 4096-byte blocks per channel in turn, each byte's bit
// order reversed, the last block of each channel filled up with zeros.
Bytes dsf_blocks(const std::vector<Bytes>& planar);

// A DSF file's header fields and sound data, read by the file layout; the fixed fields are
// checked on the way.
struct DsfFile {
    std::uint32_t channel_type = 0, channels = 0, rate = 0, bits = 0, block = 0;
    std::uint64_t samples = 0, total_size = 0, metadata = 0;
    Bytes data;
};
DsfFile read_dsf(const std::filesystem::path& path);

// The chunks of a DSDIFF file (inside FRM8) or of a chunk's body: id, body offset, body size.
struct Chunk {
    std::string id;
    std::size_t body = 0;
    std::uint64_t size = 0;
};
// The chunks between `from` and `to`; one running past `to` is a test failure and ends the list.
std::vector<Chunk> chunks(const Bytes& f, std::size_t from, std::size_t to);
// The chunks of the FRM8 form, after checking its header.
std::vector<Chunk> dff_chunks(const Bytes& f);
// The first chunk with that id, or null.
const Chunk* find_chunk(const std::vector<Chunk>& cs, const std::string& id);
Bytes chunk_body(const Bytes& f, const Chunk& c);
// The sound data of a DSDIFF DSD file: its "DSD " chunk, which must be there.
Bytes dff_sound(const std::filesystem::path& path);

}  // namespace testsupport
