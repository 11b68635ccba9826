#include "cli/app.h"
#include "i18n/i18n.h"

#include <gtest/gtest.h>

TEST(StructuralDiagnostic, FiveLinesInEitherLanguageEvenWithoutDetail) {
    testing::internal::CaptureStderr();
    cli::eprint_structural_diagnostic("");
    const std::string en = testing::internal::GetCapturedStderr();
    EXPECT_EQ(en.rfind("edit: this disc cannot be safely edited yet.\n"
                       "  We refuse so as not to damage an irreplaceable disc image.\n"
                       "  Help us add support - send this output to: ",
                       0),
              0u);
    EXPECT_TRUE(en.ends_with("\n  Technical detail:\n    \n")) << en;
    EXPECT_EQ(std::count(en.begin(), en.end(), '\n'), 5);

    i18n::LANG = true;
    testing::internal::CaptureStderr();
    cli::eprint_structural_diagnostic("area 2 has an Area TOC-B");
    const std::string ru = testing::internal::GetCapturedStderr();
    i18n::LANG = false;
    EXPECT_EQ(ru.rfind("edit: этот диск пока нельзя безопасно редактировать.\n", 0), 0u);
    EXPECT_TRUE(ru.ends_with("\n    area 2 has an Area TOC-B\n")) << ru;
}
