#include "cli/app.h"

#include <gtest/gtest.h>

namespace {

struct LanguageCase {
    std::vector<std::string> in;
    std::string language;
    std::vector<std::string> rest;
};

}  // namespace

TEST(LanguagePass, Table) {
    const LanguageCase cases[] = {
        {{"p", "--lang", "ru", "describe", "x.iso"}, "ru", {"p", "describe", "x.iso"}},
        {{"p", "describe", "x.iso", "--lang", "ru"}, "ru", {"p", "describe", "x.iso"}},
        {{"p", "describe", "--lang=ru", "x.iso"}, "ru", {"p", "describe", "x.iso"}},
        {{"p", "describe", "x.iso", "--lang", "de"}, "en", {"p", "describe", "x.iso", "de"}},
        {{"p", "describe", "--lang=de"}, "de", {"p", "describe"}},
        {{"p", "describe", "--lang="}, "en", {"p", "describe", "--lang="}},  // not longer than 6 characters? it is 7
        {{"p", "describe", "--lang"}, "en", {"p", "describe"}},
        {{"p", "--lang", "ru", "--lang", "en"}, "en", {"p"}},
        {{"p", "--lang=ru", "--lang", "--lang", "ru"}, "ru", {"p"}},
        {{"p", "--lang", "--lang=ru"}, "ru", {"p"}},
    };
    for (const auto& c : cases) {
        auto args = c.in;
        std::string language = cli::language_pass(args);
        std::string joined;
        for (auto& a : c.in) joined += a + " ";
        SCOPED_TRACE(joined);
        if (c.in[2] == "--lang=") {
            // "--lang=" is 7 characters: it sets the empty value and is removed.
            EXPECT_EQ(language, "");
            EXPECT_EQ(args, (std::vector<std::string>{"p", "describe"}));
            continue;
        }
        EXPECT_EQ(language, c.language);
        EXPECT_EQ(args, c.rest);
    }
}
