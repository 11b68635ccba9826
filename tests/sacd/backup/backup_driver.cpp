// Test-only program: takes one backup, so that tests can run it under the fault shim.
//   backup_driver sectors IMAGE PARENT ANCHOR [START:COUNT ...]
//   backup_driver full IMAGE PARENT
// Prints the backup folder on success (status 0), the error's display text otherwise (status 1).
#include "sacd/backup/backup.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    using namespace sacd::backup;
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() < 3 || (args[0] != "sectors" && args[0] != "full") || (args[0] == "sectors" && args.size() < 4)) {
        std::fprintf(stderr, "usage: backup_driver sectors IMAGE PARENT ANCHOR [START:COUNT ...] | full IMAGE PARENT\n");
        return 2;
    }
    platform::Result<Backup, sacd::SacdError> made = [&]() -> platform::Result<Backup, sacd::SacdError> {
        if (args[0] == "full") return create_full_file_backup(args[1], args[2]);
        std::vector<BackupRange> ranges;
        for (std::size_t i = 4; i < args.size(); ++i) {
            const auto colon = args[i].find(':');
            ranges.push_back({static_cast<std::uint32_t>(std::stoul(args[i].substr(0, colon))),
                              static_cast<std::uint32_t>(std::stoul(args[i].substr(colon + 1)))});
        }
        return create_backup(args[1], ranges, args[2], static_cast<std::uint32_t>(std::stoul(args[3])));
    }();
    if (!made) {
        std::fprintf(stderr, "%s\n", made.error().display().c_str());
        return 1;
    }
    std::printf("%s\n", made->folder.c_str());
    return 0;
}
