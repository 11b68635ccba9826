// User-facing texts of the disc model.
#pragma once

#include "i18n/i18n.h"

namespace sacd::msg {

#define VELMORA_SACD_MESSAGES(X)                                                                                   \
    X(kIoNotFound, "The file could not be found - it may have been moved or deleted.",                              \
      "Файл не найден - возможно, он был перемещён или удалён.")                                                   \
    X(kIoPermissionDenied, "Access to the file was denied - it may be open in another program, or read-only.",      \
      "Доступ к файлу запрещён - возможно, он открыт в другой программе или доступен только для чтения.")         \
    X(kIoOther, "Could not access the file: {error}", "Не удалось обратиться к файлу: {error}")                    \
    X(kBackupRangeTooLarge, "a backup range is too large to be restored - backup aborted.",                         \
      "диапазон резервной копии слишком велик для восстановления - резервное копирование прервано.")              \
    X(kIsoChangedDuringBackup, "the ISO changed while it was being backed up - backup aborted",                     \
      "ISO-образ изменился во время резервного копирования - резервное копирование прервано")                     \
    X(kBackupManifestBuildFailed, "Could not build the backup manifest: {detail}",                                  \
      "Не удалось составить манифест резервной копии: {detail}")                                                   \
    X(kBackupCopyIncomplete, "the backup copy is incomplete - backup aborted.",                                     \
      "резервная копия неполная - резервное копирование прервано.")                                                \
    X(kTooManyBackupsOneTimestamp, "too many backups share one timestamp - clean up the backup folder",             \
      "слишком много резервных копий с одной отметкой времени - очистите папку резервных копий")

VELMORA_MESSAGE_CATALOGUE(VELMORA_SACD_MESSAGES)

}  // namespace sacd::msg
