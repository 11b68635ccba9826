#include "sacd/edit_error.h"

#include <gtest/gtest.h>

using namespace sacd;
using namespace sacd::edit_errors;

TEST(EditError, MessagesFillTheirValues) {
    struct Case {
        EditError error;
        const char* text;
    };
    auto inner = std::make_shared<const EditError>(InvalidDate{1900, 2, 29});
    const Case cases[] = {
        {FieldTooLong{"AlbumCatalogNumber", 17, 16},
         "field AlbumCatalogNumber is 17 bytes after encoding - exceeds the 16-byte on-disc slot"},
        {AliasedPositionsRequireRepairFirst{{40}},
         "cannot set field - MasterText has 1 distinct heap byte offset with multiple position-table slots aliased "
         "to them: 40 (cannot safely edit without corrupting the shared string); run a RepairAliasedPositions edit "
         "first to de-alias, then retry the SetField"},
        {AliasedPositionsRequireRepairFirst{{40, 96}},
         "cannot set field - MasterText has 2 distinct heap byte offsets with multiple position-table slots aliased "
         "to them: 40, 96 (cannot safely edit without corrupting the shared string); run a RepairAliasedPositions "
         "edit first to de-alias, then retry the SetField"},
        {CharacterNotInCharset{"AlbumTitle", U'€', 2}, "character € cannot be encoded in charset code 2 (field AlbumTitle)"},
        {PlanEditFailed{1, inner}, "edit #2 in plan failed: invalid Disc_Date: year = 1900, month = 2, day = 29"},
        {WireOpFieldMismatch{"SetMasterTextField", "AlbumTitlePhonetic", false},
         "SetMasterTextField dispatched with MasterField::AlbumTitlePhonetic - that variant is phonetic but "
         "SetMasterTextField requires a non-phonetic field"},
        {LocaleAlreadyExists{{'j', 'a'}, 3}, "locale (language=\"ja\", char_set_code=3) already exists on this disc"},
        {LocaleAlreadyExists{{0, 200}, 3}, "locale (language=[0, 200], char_set_code=3) already exists on this disc"},
        {InvalidAlbumSet{2, 3}, "invalid Album_Set: size = 2, sequence = 3 (require 1 <= sequence <= size)"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.error.message(), c.text);
}
