// User-facing texts of DST frame decoding. The detail texts name the decoder's status codes.
#pragma once

#include "i18n/i18n.h"

namespace dst::msg {

#define VELMORA_DST_MESSAGES(X)                                                                                     \
    X(kBadChannels, "N_Channels {n} outside 1..=6", "N_Channels {n} вне диапазона 1..=6")                           \
    X(kBadFrameLength, "Frame_Length {n} outside 1..=4704 bytes per channel",                                       \
      "Frame_Length {n} вне диапазона 1..=4704 байт на канал")                                                      \
    X(kReservedSet, "reserved field {name} was not zero (refusing to guess)",                                       \
      "зарезервированное поле {name} не равно нулю (угадывать не будем)")                                           \
    X(kRawSize, "raw-DSD frame is {len} bytes, expected {expected} (1 + N_Channels * Frame_Length)",                \
      "кадр несжатого DSD занимает {len} байт, ожидалось {expected} (1 + N_Channels * Frame_Length)")               \
    X(kReadError, "DST frame read error: {error}", "ошибка чтения DST-кадра: {error}")                              \
    X(kHeaderPastEnd, "audio header read past end of sector: need {need} bits, have {have}",                        \
      "чтение заголовка аудиосектора за концом сектора: нужно {need} бит, есть {have}")                             \
    X(kWorkerPanicked, "a parallel decode worker thread panicked",                                                  \
      "аварийно завершился поток параллельного декодирования")                                                      \
    X(kBadHeader, "bad DST frame header (refusing to guess): {detail}",                                             \
      "неверный заголовок DST-кадра (угадывать не будем): {detail}")                                                \
    X(kBadSegmentation, "bad DST Segmentation (refusing to guess): {detail}",                                       \
      "неверная сегментация DST (Segmentation, угадывать не будем): {detail}")                                      \
    X(kBadMapping, "bad DST Mapping (refusing to guess): {detail}",                                                 \
      "неверное отображение DST (Mapping, угадывать не будем): {detail}")                                           \
    X(kBadFilterCoefSets, "bad DST Filter_Coef_Sets (refusing to guess): {detail}",                                 \
      "неверные коэффициенты фильтров DST (Filter_Coef_Sets, угадывать не будем): {detail}")                        \
    X(kBadProbabilityTables, "bad DST Probability_Tables (refusing to guess): {detail}",                            \
      "неверные таблицы вероятностей DST (Probability_Tables, угадывать не будем): {detail}")                       \
    X(kDetailTruncated, "C decoder: truncated DST frame", "C-декодер: DST-кадр обрезан")                            \
    X(kDetailSegmentation, "C decoder: bad Segmentation", "C-декодер: неверная сегментация (Segmentation)")         \
    X(kDetailMapping, "C decoder: bad Mapping", "C-декодер: неверное отображение (Mapping)")                        \
    X(kDetailFilterCoefSets, "C decoder: bad Filter_Coef_Sets",                                                     \
      "C-декодер: неверные коэффициенты фильтров (Filter_Coef_Sets)")                                               \
    X(kDetailProbabilityTables, "C decoder: bad Probability_Tables",                                                \
      "C-декодер: неверные таблицы вероятностей (Probability_Tables)")                                              \
    X(kDetailInconsistent, "C decoder: inconsistent frame header",                                                  \
      "C-декодер: поля заголовка кадра противоречат друг другу")                                                    \
    X(kDetailParameters, "C decoder: bad parameters / not DST-coded",                                               \
      "C-декодер: неверные параметры / кадр не сжат DST")                                                           \
    X(kDetailADataTooLong, "C decoder: A_Data too long", "C-декодер: слишком длинные данные A_Data")                \
    X(kDetailUnknown, "C decoder: unknown error", "C-декодер: неизвестная ошибка")                                  \
    X(kDetailTooLarge, "DST frame larger than the maximum possible for its area",                                   \
      "DST-кадр больше максимально возможного для его области")

VELMORA_MESSAGE_CATALOGUE(VELMORA_DST_MESSAGES)

}  // namespace dst::msg
