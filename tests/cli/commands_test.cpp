// The command line as users meet it: the real binary, its output streams and exit status.
#include "cli/usage.h"
#include "i18n/i18n.h"
#include "platform/file.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>

using testsupport::run_cli;

namespace {

std::string usage_in(bool russian) {
    bool saved = i18n::LANG;
    i18n::LANG = russian;
    std::string u = cli::usage();
    i18n::LANG = saved;
    return u;
}

struct CliCase {
    std::vector<std::string> args;
    int status;
    std::string err;
    bool usage_on_stdout;
    bool russian = false;
};

}  // namespace

TEST(Cli, HelpAndVersion) {
    for (auto args : {std::vector<std::string>{}, {"-h"}, {"--help"}}) {
        auto r = run_cli(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, usage_in(false));
        EXPECT_EQ(r.err, "");
    }
    for (auto v : {"-v", "--version"}) {
        auto r = run_cli({v});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "velmora-cli 2.4.0\n");
        EXPECT_EQ(r.err, "");
    }
    auto ru = run_cli({"--lang", "ru"});
    EXPECT_EQ(ru.out, usage_in(true));
    EXPECT_NE(ru.out.find("Использование:"), std::string::npos);
    EXPECT_EQ(usage_in(false).rfind("velmora-cli - read and extract data from a SACD image\n\nUsage:\n", 0), 0u);
}

TEST(Cli, CommandLineErrors) {
    const CliCase cases[] = {
        {{"frobnicate"}, 2, "Unknown command: frobnicate\n\n", true},
        {{"Describe"}, 2, "Unknown command: Describe\n\n", true},
        {{"--lang", "ru", "frobnicate"}, 2, "Неизвестная команда: frobnicate\n\n", true, true},
        {{"describe"}, 2, "describe: no path to the .iso image given\n\n", true},
        {{"describe", "--full", "--ms"}, 2, "describe: no path to the .iso image given\n\n", true},
        {{"describe", "--lang", "ru"}, 2, "describe: не указан путь к образу .iso\n\n", true, true},
        {{"describe", "--lang=ru", "--bogus"}, 2, "describe: неизвестный ключ: --bogus\n", false, true},
        {{"describe", "x.iso", "--wat"}, 2, "describe: unknown flag: --wat\n", false},
        {{"describe", "x.iso", "y.iso"}, 2, "describe: extra argument: y.iso\n", false},
        {{"describe", "x.iso", "--lang", "de"}, 2, "describe: extra argument: de\n", false},
        {{"describe", "-"}, 2, "describe: unknown flag: -\n", false},
        {{"lookup"}, 2, "lookup: no path to the .iso image given\n\n", true},
        {{"lookup", "x.iso", "--discogs-token"}, 2, "lookup: key --discogs-token requires a value\n", false},
        {{"lookup", "x.iso", "--discogs-token", "-abc"}, 2, "lookup: key --discogs-token requires a value\n", false},
        {{"lookup", "x.iso", "--source"}, 2, "lookup: key --source requires a value\n", false},
        {{"lookup", "x.iso", "--source", "amazon"}, 2,
         "lookup: --source must be discogs or musicbrainz (got 'amazon')\n", false},
        {{"lookup", "x.iso", "--source", ""}, 2, "lookup: --source must be discogs or musicbrainz (got '')\n", false},
        {{"lookup", "x.iso", "--verbose"}, 2, "lookup: unknown flag: --verbose\n", false},
        {{"lookup", "x.iso", "y.iso"}, 2, "lookup: extra argument: y.iso\n", false},
        {{"lookup", "--source", "musicbrainz", "--lang", "ru"}, 2, "lookup: не указан путь к образу .iso\n\n", true,
         true},
    };
    for (const auto& c : cases) {
        std::string joined;
        for (auto& a : c.args) joined += a + " ";
        SCOPED_TRACE(joined);
        auto r = run_cli(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, c.usage_on_stdout ? usage_in(c.russian) : "");
    }
}

TEST(Cli, LookupReadsTheImageBeforeAnythingElse) {
    auto missing = run_cli({"lookup", "/nonexistent/x.iso", "--source", "musicbrainz"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "lookup: could not read the image: The file could not be found - it may have been moved or "
                           "deleted.\n");
    testsupport::TempDir dir;
    const std::string junk = dir.file("junk.iso");
    std::string bytes(4096, 'x');
    ASSERT_TRUE(platform::write_whole_file(junk, bytes.data(), bytes.size()).ok());
    auto junk_run = run_cli({"--lang", "ru", "lookup", junk});
    EXPECT_EQ(junk_run.status, 1);
    EXPECT_EQ(junk_run.err, "lookup: файл не распознан как SACD-образ\n");
}
