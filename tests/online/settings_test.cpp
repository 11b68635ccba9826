// The settings file: where it is looked for, what it may hold, and defaults on every failure.
#include "online/settings.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using online::settings::Settings;

struct Case {
    const char* text;
    std::optional<Settings> expected;  // nothing: the defaults
};

bool same(const Settings& a, const Settings& b) {
    return a.discogs_token == b.discogs_token && a.language == b.language &&
           a.block_track_mismatch == b.block_track_mismatch;
}

TEST(Settings, WhatAFileMayHold) {
    const Case cases[] = {
        {R"({"discogsToken": "abc"})", Settings{"abc", "en", true}},
        {" \n{\"language\": \"ru\", \"blockTrackMismatch\": false, \"discogsToken\": \" t \"}\t\n",
         Settings{" t ", "ru", false}},
        {R"({"discogsToken": "abc", "theme": {"dark": [1, 2]}, "x": null})", Settings{"abc", "en", true}},
        {R"({"nested": {"discogsToken": 1, "discogsToken": 2}, "discogsToken": "k"})", Settings{"k", "en", true}},
        {R"(["tok", "ru", false])", Settings{"tok", "ru", false}},
        {R"(["tok"])", Settings{"tok", "en", true}},
        {"{}", Settings{}},
        {R"({"discogsToken": "a", "discogsToken": "b"})", std::nullopt},
        {R"({"discogsToken": null})", std::nullopt},
        {R"({"discogsToken": 5})", std::nullopt},
        {R"({"blockTrackMismatch": "yes"})", std::nullopt},
        {R"({"discogsToken": "abc"} x)", std::nullopt},
        {R"({"discogsToken": "abc",})", std::nullopt},
        {R"(["tok", "ru", false, 1])", std::nullopt},
        {R"("tok")", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        auto parsed = online::settings::parse(c.text);
        ASSERT_EQ(parsed.has_value(), c.expected.has_value());
        if (parsed) {
            EXPECT_TRUE(same(*parsed, *c.expected));
        }
    }
}

TEST(Settings, LoadLooksInTheApplicationDataFolderAndNeverFails) {
    testsupport::TempDir appdata, xdg, home;
    testsupport::ScopedEnv no_appdata("APPDATA", nullptr);
    testsupport::ScopedEnv xdg_var("XDG_CONFIG_HOME", nullptr);
    testsupport::ScopedEnv home_var("HOME", home.path().c_str());
    auto write = [](const std::string& folder, const std::string& bytes) {
        std::filesystem::create_directories(folder + "/velmora");
        std::ofstream(folder + "/velmora/settings.json", std::ios::binary) << bytes;
    };

    EXPECT_TRUE(same(online::settings::load(), Settings{}));  // no file anywhere
    write(home.path() + "/.config", R"({"discogsToken": "home"})");
    EXPECT_EQ(online::settings::load().discogs_token, "home");
    {
        testsupport::ScopedEnv v("XDG_CONFIG_HOME", xdg.path().c_str());
        write(xdg.path(), R"({"discogsToken": "xdg"})");
        EXPECT_EQ(online::settings::load().discogs_token, "xdg");
        testsupport::ScopedEnv a("APPDATA", appdata.path().c_str());
        write(appdata.path(), R"({"discogsToken": "appdata"})");
        EXPECT_EQ(online::settings::load().discogs_token, "appdata");

        write(appdata.path(), "{\"discogsToken\": \"caf\xE9\"}");  // Latin-1, not UTF-8
        EXPECT_TRUE(same(online::settings::load(), Settings{}));
        write(appdata.path(), "{not json");
        EXPECT_TRUE(same(online::settings::load(), Settings{}));
        std::filesystem::remove(appdata.path() + "/velmora/settings.json");
        std::filesystem::create_directories(appdata.path() + "/velmora/settings.json");  // a folder
        EXPECT_TRUE(same(online::settings::load(), Settings{}));
    }
}

}  // namespace
