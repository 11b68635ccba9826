// User-facing texts of the command-line front end. Command prefixes ("describe: " and the
// like) are added by the caller and stay English in both languages.
#pragma once

#include "i18n/i18n.h"

namespace cli::msg {

#define VELMORA_CLI_MESSAGES(X)                                                                                     \
    X(kUnknownCommand, "Unknown command", "Неизвестная команда")                                                    \
    X(kUnknownFlag, "unknown flag: {arg}", "неизвестный ключ: {arg}")                                               \
    X(kExtraArgument, "extra argument: {arg}", "лишний аргумент: {arg}")                                            \
    X(kNoPath, "no path to the .iso image given", "не указан путь к образу .iso")                                   \
    X(kCouldNotReadImage, "could not read the image", "не удалось прочитать образ")                                 \
    X(kNotRecognised, "file not recognised as a SACD image", "файл не распознан как SACD-образ")                    \
    X(kCouldNotOpen, "could not open {path}: {error}", "не удалось открыть {path}: {error}")                        \
    X(kCouldNotGetSize, "could not get the file size: {error}", "не удалось узнать размер файла: {error}")          \
    X(kNoMasterToc, "the image has no master TOC - nothing to describe",                                            \
      "в образе нет Master TOC - описывать нечего")                                                                 \
    X(kJsonFailed, "error building JSON: {error}", "ошибка построения JSON: {error}")                               \
    X(kTextChannelWarning,                                                                                          \
      "Warning: the disc declares {n} text channels, the spec allows at most 8 - the extras are not shown.",        \
      "Предупреждение: на диске заявлено {n} текстовых каналов, спецификация допускает максимум 8 - лишние не "    \
      "показаны.")                                                                                                  \
    X(kKeyRequiresValue, "key {flag} requires a value", "ключу {flag} требуется значение")                          \
    X(kBadSource, "--source must be discogs or musicbrainz (got '{value}')",                                        \
      "--source должен быть discogs или musicbrainz (получено '{value}')")                                          \
    X(kCouldNotReadMetadata, "could not read the disc metadata", "не удалось прочитать метаданные диска")           \
    X(kDiscogsNeedsToken,                                                                                           \
      "a Discogs search needs a token - pass --discogs-token <t> or set it in the application settings "           \
      "(MusicBrainz needs no token)",                                                                               \
      "для поиска в Discogs нужен токен - передайте --discogs-token <t> или задайте его в настройках "             \
      "приложения (MusicBrainz токен не нужен)")                                                                    \
    X(kNothingFound, "Nothing found.", "Ничего не найдено.")                                                        \
    X(kReleasesFound, "Releases found: {n} (a star marks a catalog match)",                                         \
      "Найдено релизов: {n} (звёздочкой отмечены совпадения каталога)")                                             \
    X(kSpecify, "specify {flag}", "укажите {flag}")                                                                 \
    X(kPromptImagePath, "the path to the .iso image", "путь к образу .iso")                                           \
    X(kUnknownFormat, "unknown format: {value}", "неизвестный формат: {value}")                                     \
    X(kBadCompression, "--compression must be max, high, fast or turbo (got: {value})",                             \
      "--compression должен быть max, high, fast или turbo (получено: {value})")                                    \
    X(kBadArea, "--area must be stereo, mch or all (got: {value})",                                                 \
      "--area должен быть stereo, mch или all (получено: {value})")                                                 \
    X(kTrackWithEditMaster, "--track is not valid for the edit-master / edit-master-dst format (it is one file per area)", \
      "--track не подходит для форматов edit-master / edit-master-dst (это один файл на область)")                 \
    X(kExtractChannelWarning, "Warning: the disc declares {n} text channels, the spec allows at most 8.",           \
      "Предупреждение: на диске заявлено {n} текстовых каналов, спецификация допускает максимум 8.")                \
    X(kNoRequestedArea, "the disc has no requested area ({value})", "на диске нет запрошенной области ({value})")   \
    X(kNotAvailableYet, "this command is not available in this build yet",                                          \
      "эта команда пока недоступна в этой сборке")                                                                  \
    X(kRefuseLine1, "this disc cannot be safely edited yet.", "этот диск пока нельзя безопасно редактировать.")     \
    X(kRefuseLine2, "  We refuse so as not to damage an irreplaceable disc image.",                                 \
      "  Мы отказываемся, чтобы не повредить незаменимый образ диска.")                                             \
    X(kRefuseLine3, "  Help us add support - send this output to: ",                                                \
      "  Помогите нам добавить поддержку - отправьте этот вывод на адрес: ")                                        \
    X(kRefuseLine4, "  Technical detail:", "  Технические подробности:")

VELMORA_MESSAGE_CATALOGUE(VELMORA_CLI_MESSAGES)

}  // namespace cli::msg
