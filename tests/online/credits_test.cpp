// Sorting credits into performer, songwriter, composer and arranger texts; punctuation clean-up.
#include "online/credits.h"

#include <gtest/gtest.h>

namespace {

using namespace online;
using model::PerformerCredit;
using model::ReleaseTrack;

ReleaseTrack filled(const TrackCredits& credits) {
    ReleaseTrack t;
    credits.fill_missing(t);
    return t;
}

TEST(Credits, RoleWordsDecideTheKind) {
    struct Case {
        const char* role;
        std::vector<CreditKind> kinds;
    };
    using K = CreditKind;
    const Case cases[] = {
        {"Composed By, Arranged By", {K::Composer, K::Arranger}},
        {"Written-By", {K::Songwriter}},
        {"Words And Music By", {K::Songwriter}},
        {"Lyrics By, Music By", {K::Songwriter}},
        {"Piano", {K::Performer}},
        {"Soloist", {K::Performer}},
        {"Choir Master", {K::Performer}},
        {"Performer [Piano]", {K::Performer}},
        {"Violin [Solo]", {K::Performer}},
        {"Piano Tuner", {}},
        {"Piano Technician", {}},
        {"Recorded By", {}},
        {"Liner Notes", {}},
        {"Guitar By", {}},
        {"Composer, Composed By", {K::Composer}},
        {"COMPOSER", {K::Composer}},
        {"Vocal Coach", {}},
    };
    for (const auto& c : cases) {
        TrackCredits credits;
        credits.add(c.role, "A", std::nullopt);
        std::vector<CreditKind> kinds;
        if (!credits.performers.empty()) kinds.push_back(K::Performer);
        if (!credits.songwriters.empty()) kinds.push_back(K::Songwriter);
        if (!credits.composers.empty()) kinds.push_back(K::Composer);
        if (!credits.arrangers.empty()) kinds.push_back(K::Arranger);
        auto sorted = c.kinds;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(kinds, sorted) << c.role;
    }
}

TEST(Credits, PerformersAreKeptOncePerNameAndInstrument) {
    TrackCredits credits;
    for (int i = 0; i < 3; ++i) credits.add("Performer [Piano]", " A ", "piano");
    credits.add("Violin", "B", "violin");
    credits.add("Viola", "B", "viola");
    credits.add("Vocals", "C", "  ");
    credits.add("Vocals", "  ", "x");  // no name: nothing
    EXPECT_EQ(credits.performers, (std::vector<PerformerCredit>{
                                      {"A", "piano"}, {"B", "violin"}, {"B", "viola"}, {"C", std::nullopt}}));
    const ReleaseTrack t = filled(credits);
    EXPECT_EQ(t.performer, "A (piano); B (violin); B (viola); C");
    EXPECT_EQ(t.performer_credits, credits.performers);
    EXPECT_EQ(format_performer_names_only(credits.performers), "A; B; C");
}

TEST(Credits, FillingTouchesOnlyEmptyFields) {
    TrackCredits credits;
    credits.add("Composed By", "X", std::nullopt);
    credits.add("Composed By", "Y", std::nullopt);
    credits.add("Composed By", "X", std::nullopt);
    credits.add("Arranged By", "Z", std::nullopt);
    credits.add("Conductor", "P", std::nullopt);
    ReleaseTrack t;
    t.arranger = "kept";
    t.performer = "kept too";
    credits.fill_missing(t);
    EXPECT_EQ(t.composer, "X, Y");
    EXPECT_EQ(t.arranger, "kept");
    EXPECT_EQ(t.performer, "kept too");
    EXPECT_TRUE(t.performer_credits.empty());
    EXPECT_EQ(t.songwriter, "");
}

TEST(Credits, InstrumentOfARole) {
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"Violin [Solo]", "violin"},
        {"Soloist [Violin]", "violin"},
        {"Guitar, Vocals", "guitar"},
        {"Arranged By [Strings]", "strings"},
        {"Producer", std::nullopt},
        {"Performer [Piano, Harpsichord]", "piano, harpsichord"},
        {"Performer [Piano,]", std::nullopt},  // "piano," is no instrument word
        {"Guitar By", std::nullopt},
        {"Soloist [Double-Bass [Upright]", "double bass [upright]"},  // unclosed group runs to the end
        {"Electric-Guitar", "electric guitar"},
    };
    for (const auto& [role, instrument] : cases) EXPECT_EQ(role_instrument(role), instrument) << role;
}

TEST(Credits, BracketsAndParts) {
    EXPECT_EQ(strip_bracketed("Violin [Solo]"), "Violin ");
    EXPECT_EQ(strip_bracketed("a]b[c[d]e]f"), "abf");
    EXPECT_EQ(normalize_part("  Written-By  \u00C9TUDE "), "written by \u00E9tude");
}

TEST(Credits, PunctuationCleanUp) {
    EXPECT_EQ(normalize_external_punctuation("O\u2019Brien \u201CLive\u201D\u2026 a\u2013b\u00A0c \u301C \u2032\u2033"),
              "O'Brien \"Live\"... a-b c \uFF5E '\"");
    model::ReleaseInfo r;
    r.artist = "A\u2019B";
    r.album_catalog = "x\u2019";
    r.discs = {{{ReleaseTrack{"T\u2026", "P\u2019", {{"P\u2019", std::nullopt}}, "", "", ""}}, 1}};
    normalize_release_info(r);
    EXPECT_EQ(r.artist, "A'B");
    EXPECT_EQ(r.album_catalog, "x\u2019");
    EXPECT_EQ(r.discs[0].tracks[0].title, "T...");
    EXPECT_EQ(r.discs[0].tracks[0].performer, "P'");
    EXPECT_EQ(r.discs[0].tracks[0].performer_credits[0].name, "P\u2019");
    EXPECT_EQ(digits_only("5-099 94 a"), "509994");
}

}  // namespace
