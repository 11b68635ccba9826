// Every message catalogue: both forms present, the same placeholders in the same order,
// and a Russian form that is really Russian.
#include "cli/messages.h"
#include "dst/messages.h"
#include "i18n/i18n.h"
#include "online/messages.h"
#include "sacd/audio/container_messages.h"
#include "sacd/audio/demux_messages.h"
#include "sacd/audio/extract_messages.h"
#include "sacd/audio/parallel_messages.h"
#include "sacd/describe/messages.h"
#include "sacd/messages.h"

#include <gtest/gtest.h>

#include <span>
#include <string>
#include <vector>

namespace {

std::vector<std::string> placeholders(std::string_view s) {
    std::vector<std::string> names;
    for (std::size_t i = s.find('{'); i != std::string_view::npos; i = s.find('{', i + 1)) {
        std::size_t close = s.find('}', i);
        if (close == std::string_view::npos) break;
        names.emplace_back(s.substr(i + 1, close - i - 1));
    }
    return names;
}

bool has_cyrillic(std::string_view s) {
    // Cyrillic letters U+0400..U+04FF start with the UTF-8 lead bytes D0..D3.
    for (unsigned char c : s)
        if (c >= 0xD0 && c <= 0xD3) return true;
    return false;
}

bool has_latin_word(std::string_view s) {
    int run = 0;
    for (char c : s) {
        run = ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) ? run + 1 : 0;
        if (run >= 3) return true;
    }
    return false;
}

struct Catalogue {
    const char* name;
    std::span<const i18n::Message> messages;
};

const Catalogue kCatalogues[] = {
    {"cli", cli::msg::kAll},
    {"sacd", sacd::msg::kAll},
    {"describe", sacd::describe::msg::kAll},
    {"audio containers", sacd::audio::msg::kAll},
    {"parallel decoding", sacd::audio::parallel_msg::kAll},
    {"audio sectors", sacd::audio::demux_msg::kAll},
    {"extraction", sacd::audio::extract_msg::kAll},
    {"dst", dst::msg::kAll},
    {"online", online::msg::kAll},
};

}  // namespace

TEST(Catalogue, PairsAreCompleteAndConsistent) {
    for (const auto& cat : kCatalogues) {
        for (const auto& m : cat.messages) {
            SCOPED_TRACE(std::string(cat.name) + ": " + std::string(m.en));
            EXPECT_FALSE(m.en.empty());
            EXPECT_FALSE(m.ru.empty());
            EXPECT_EQ(placeholders(m.en), placeholders(m.ru));
            if (has_latin_word(m.en)) {
                EXPECT_TRUE(has_cyrillic(m.ru));
            }
        }
    }
}

TEST(Catalogue, TrFollowsTheSwitch) {
    i18n::LANG = false;
    EXPECT_EQ(i18n::tr(cli::msg::kNothingFound), "Nothing found.");
    i18n::LANG = true;
    EXPECT_EQ(i18n::tr(cli::msg::kNothingFound), "Ничего не найдено.");
    EXPECT_EQ(i18n::trf(cli::msg::kReleasesFound, {{"n", 3}}),
              "Найдено релизов: 3 (звёздочкой отмечены совпадения каталога)");
    i18n::LANG = false;
}

TEST(Format, FillsNamedPlaceholdersAndLeavesOthers) {
    EXPECT_EQ(i18n::format("{a}-{b}-{a} {c} {", {{"a", "x"}, {"b", 42}}), "x-42-x {c} {");
}
