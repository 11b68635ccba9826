// Labels and fixed words of the describe text report. Labels the report keeps in English in
// both languages (Master_Text field names, Loudspeaker_Config, ISRC, ...) are not here.
#pragma once

#include "i18n/i18n.h"

namespace sacd::describe::msg {

#define VELMORA_DESCRIBE_MESSAGES(X)                                                                                \
    X(kDisc, "Disc:", "Диск:")                                                                                      \
    X(kVersion, "Version", "Версия")                                                                                \
    X(kAlbum, "Album", "Альбом")                                                                                    \
    X(kArtist, "Artist", "Исполнитель")                                                                             \
    X(kCatalogAlbum, "Catalog (album)", "Каталог (альбом)")                                                         \
    X(kCatalogDisc, "Catalog (disc)", "Каталог (диск)")                                                             \
    X(kDate, "Date", "Дата")                                                                                        \
    X(kDiscInSet, "Disc in set", "Диск в комплекте")                                                                \
    X(kSetOf, "{sequence} of {size}", "{sequence} из {size}")                                                       \
    X(kAreas, "Areas", "Области")                                                                                   \
    X(kHybrid, "Hybrid (SACD+CD)", "Гибрид (SACD+CD)")                                                              \
    X(kExtraAreas, "Extra areas", "Доп. области")                                                                   \
    X(kWebLink, "Web link", "Веб-ссылка")                                                                           \
    X(kYes, "yes", "да")                                                                                            \
    X(kNo, "no", "нет")                                                                                             \
    X(kAreasNone, "none", "нет")                                                                                    \
    X(kStereoOnly, "stereo only", "только стерео")                                                                  \
    X(kMultichannelOnly, "multichannel only", "только мультиканальная")                                             \
    X(kDifferentContent, "stereo + multichannel (different content)",                                               \
      "стерео + мультиканальная (разное содержимое)")                                                               \
    X(kIdenticalNoTitles, "stereo + multichannel (treated identical, no titles)",                                   \
      "стерео + мультиканальная (считаются идентичными, нет названий)")                                             \
    X(kIdentical, "stereo + multichannel (identical)", "стерео + мультиканальная (идентичны)")                      \
    X(kMasterTextAbsent, "Text (Master_Text): block absent", "Текст (Master_Text): блок отсутствует")               \
    X(kMasterTextLocale, "Master_Text (locale {locale}):", "Master_Text (локаль {locale}):")                        \
    X(kAreaHeader, "Area {n}: {kind} ({channels} ch., {coding}), tracks: {count}, time: {time}",                    \
      "Область {n}: {kind} ({channels} кан., {coding}), треков: {count}, время: {time}")                            \
    X(kKindStereo, "Stereo", "Стерео")                                                                              \
    X(kKindMultichannel, "Multichannel", "Мультиканальная")                                                         \
    X(kQuad, "Quad ({n})", "Квадро ({n})")                                                                          \
    X(kFirstBonusTrack, "First bonus track", "Первый бонус-трек")                                                   \
    X(kAreaText, "Area_Text (channel {i}): description={description}, copyright={copyright}",                       \
      "Area_Text (канал {i}): описание={description}, копирайт={copyright}")                                        \
    X(kTracks, "Tracks:", "Треки:")                                                                                 \
    X(kPause, "pause: {time}", "пауза: {time}")                                                                     \
    X(kStart, "start: {time}", "начало: {time}")                                                                    \
    X(kCoding, "coding", "кодирование")                                                                             \
    X(kLocale, "Locale {locale} ({language} / {char_set}):", "Локаль {locale} ({language} / {char_set}):")          \
    X(kOnDisc, "on disc: sector {lsn} (+{length} sectors)", "на диске: сектор {lsn} (+{length} секторов)")          \
    X(kTrackWebLink, "Track WebLink {k}: {url}", "Веб-ссылка трека {k}: {url}")

VELMORA_MESSAGE_CATALOGUE(VELMORA_DESCRIBE_MESSAGES)

}  // namespace sacd::describe::msg
