// User-facing texts of the extraction pipeline.
#pragma once

#include "i18n/i18n.h"

namespace sacd::audio::extract_msg {

#define VELMORA_EXTRACT_MESSAGES(X)                                                                                 \
    X(kAreaNotTyped, "area is not typed: {error}", "область не разобрана: {error}")                                 \
    X(kNoAreaWithIndex, "no area with index {i}", "нет области с индексом {i}")                                     \
    X(kPlainMustBeStereo, "Plain DSD must be stereo, but channels: {n}",                                            \
      "несжатый DSD должен быть стерео, а каналов: {n}")                                                            \
    X(kUnsupportedFrameFormat, "unsupported Frame_Format {value} (expected 0 = DST or 2/3 = Plain DSD)",            \
      "неподдерживаемый Frame_Format {value} (ожидается 0 = DST или 2/3 = несжатый DSD)")                           \
    X(kNoTrl1, "no Track_List_1 in area", "в области нет Track_List_1")                                             \
    X(kNoTrl2, "no Track_List_2 in area", "в области нет Track_List_2")                                             \
    X(kDemuxFailed, "demultiplexing failed: {error}", "не удалось разобрать поток на кадры: {error}")               \
    X(kCouldNotCreate, "could not create {path}: {error}", "не удалось создать {path}: {error}")                    \
    X(kFileExists, "file already exists: {path}", "файл уже существует: {path}")                                    \
    X(kSegmentationFailed, "segmentation failed: {error}", "не удалось разделить на треки: {error}")                \
    X(kTrackNotInArea, "track {n} is not in the area (tracks in area: {count})",                                    \
      "трека {n} нет в области (треков в области: {count})")                                                        \
    X(kNoTrackSelected, "no track selected", "не выбран ни один трек")                                              \
    X(kTrackFailed, "track {n}: {message}", "трек {n}: {message}")                                                  \
    X(kCouldNotRename, "could not rename {partial} -> {final}: {error}",                                            \
      "не удалось переименовать {partial} -> {final}: {error}")                                                     \
    X(kWriteFailed, "write failed: {error}", "ошибка записи: {error}")                                              \
    X(kCancelled, "extract cancelled", "извлечение отменено")                                                       \
    X(kTrackProgress, "  track {i} of {n} ...", "  трек {i} из {n} ...")                                            \
    X(kTrackProgressNumbered, "  (track {number}) {i} of {n} ...", "  (трек {number}) {i} из {n} ...")              \
    X(kExtracted, "Extracted: {n} file(s) -> {folder}", "Извлечено: файлов: {n} -> {folder}")                       \
    X(kDone, "Done: {total} file(s) total in {mm}:{ss}.", "Готово: всего файлов: {total} за {mm}:{ss}.")            \
    X(kEmptySelectionItem, "empty item in track selection: \"{selection}\"",                                        \
      "пустой элемент в выборе треков: \"{selection}\"")                                                            \
    X(kBadRange, "incorrect track range: \"{item}\"", "неверный диапазон треков: \"{item}\"")                       \
    X(kBadNumber, "incorrect track number: \"{item}\"", "неверный номер трека: \"{item}\"")                         \
    X(kTrackOutOfRange, "track {n} out of range (tracks in area: {count})",                                         \
      "трек {n} вне диапазона (треков в области: {count})")                                                         \
    X(kNoTracksSelected, "no tracks selected", "треки не выбраны")                                                  \
    X(kDstEncodingUnavailable,                                                                                      \
      "compressing plain DSD to DST is not available in this build - use --format dsdiff for unpacked DSD",         \
      "сжатие несжатого DSD в DST в этой сборке недоступно - используйте --format dsdiff для несжатого DSD")        \
    X(kEditMasterUnavailable, "the edit-master formats are not available in this build",                            \
      "форматы edit-master в этой сборке недоступны")

VELMORA_MESSAGE_CATALOGUE(VELMORA_EXTRACT_MESSAGES)

}  // namespace sacd::audio::extract_msg
