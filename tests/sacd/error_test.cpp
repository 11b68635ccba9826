#include "sacd/error.h"

#include "i18n/i18n.h"

#include <gtest/gtest.h>

#include <cerrno>

using sacd::LocalizedKind;
using sacd::render_error;
using sacd::SacdError;

namespace {

struct RenderCase {
    const char* name;
    SacdError error;
    const char* en;
    const char* ru;
};

}  // namespace

TEST(RenderError, EveryKindInBothLanguages) {
    const RenderCase cases[] = {
        {"not found", SacdError::io(platform::IoError::from_errno(ENOENT)),
         "The file could not be found - it may have been moved or deleted.",
         "Файл не найден - возможно, он был перемещён или удалён."},
        {"denied", SacdError::io(platform::IoError::from_errno(EACCES)),
         "Access to the file was denied - it may be open in another program, or read-only.",
         "Доступ к файлу запрещён - возможно, он открыт в другой программе или доступен только для чтения."},
        {"other io", SacdError::io(platform::IoError{platform::IoError::Kind::Other, EIO, "Input/output error"}),
         "Could not access the file: Input/output error", "Не удалось обратиться к файлу: Input/output error"},
        {"malformed", SacdError::malformed("missing SACDMTOC magic"), "missing SACDMTOC magic",
         "missing SACDMTOC magic"},
        {"manifest", SacdError::localized(LocalizedKind::BackupManifestBuildFailed, "disk full"),
         "Could not build the backup manifest: disk full", "Не удалось составить манифест резервной копии: disk full"},
        {"range", SacdError::localized(LocalizedKind::BackupRangeTooLarge),
         "a backup range is too large to be restored - backup aborted.",
         "диапазон резервной копии слишком велик для восстановления - резервное копирование прервано."},
        {"changed", SacdError::localized(LocalizedKind::IsoChangedDuringBackup),
         "the ISO changed while it was being backed up - backup aborted",
         "ISO-образ изменился во время резервного копирования - резервное копирование прервано"},
        {"incomplete", SacdError::localized(LocalizedKind::BackupCopyIncomplete),
         "the backup copy is incomplete - backup aborted.", "резервная копия неполная - резервное копирование прервано."},
        {"timestamp", SacdError::localized(LocalizedKind::TooManyBackupsOneTimestamp),
         "too many backups share one timestamp - clean up the backup folder",
         "слишком много резервных копий с одной отметкой времени - очистите папку резервных копий"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        i18n::LANG = false;
        EXPECT_EQ(render_error(c.error), c.en);
        i18n::LANG = true;
        EXPECT_EQ(render_error(c.error), c.ru);
    }
    i18n::LANG = false;
}

TEST(RenderError, NotFoundNeverShowsTheSystemText) {
    auto e = SacdError::io(platform::IoError{platform::IoError::Kind::NotFound, ENOENT, "No such file or directory"});
    EXPECT_EQ(render_error(e).find("No such file"), std::string::npos);
    EXPECT_EQ(SacdError::localized(LocalizedKind::BackupManifestBuildFailed, "x").display(),
              "BackupManifestBuildFailed { detail: x }");
}
