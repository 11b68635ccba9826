// Reads backup folders the way a restorer would, independently of the product's backup code:
// its own JSON reading, its own FNV-1a 64, its own reading of sectors.bin.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// The folders named "backup_..." directly under `parent`, sorted by name.
std::vector<std::string> backup_folders(const std::string& parent);

// FNV-1a 64, written out here so that tests do not check the product against itself.
std::uint64_t reference_fnv1a64(const std::vector<std::uint8_t>& bytes, std::uint64_t value = 0xcbf29ce484222325ull);

// Whether the folder claims to be a complete backup (it holds manifest.json).
bool claims_complete(const std::string& folder);

// Checks a complete backup: manifest.json parses with every key in order; README.txt exists;
// for a sector backup sectors.bin holds exactly the manifest's ranges, its hash is payload_hash
// and the integrity hash recomputed here matches; for a full-file backup original.iso has the
// size the manifest gives. Returns an empty text when sound, otherwise what is wrong.
std::string check_backup(const std::string& folder);

// The same, and the saved bytes equal `image` (the image's bytes as they were before any write):
// each range's sectors, with zeros past the end of the image, or the whole original.iso.
std::string check_backup_against(const std::string& folder, const std::vector<std::uint8_t>& image);

// The invariant after an interrupted or failed write of `image`: it still equals `original`, or
// exactly one backup under `parent` claims to be complete, checks against `original`, and
// restoring it onto a copy of the image gives `original` back. Empty when it holds, otherwise
// what is wrong. The image itself is left as it is.
std::string untouched_or_restorable(const std::string& image, const std::vector<std::uint8_t>& original,
                                    const std::string& parent);

// Puts the saved bytes back: sector ranges written into `image` (clipped to the size the
// manifest gives), or original.iso copied over it.
void restore_backup(const std::string& folder, const std::string& image);

}  // namespace testsupport
