// User-facing texts of the audio container writers.
#pragma once

#include "i18n/i18n.h"

namespace sacd::audio::msg {

#define VELMORA_CONTAINER_MESSAGES(X)                                                                              \
    X(kBadChannelCount, "N_Channels {n} has no DSDIFF channel layout (expected 2, 5 or 6)",                         \
      "N_Channels {n}: для такого числа каналов нет раскладки DSDIFF (ожидается 2, 5 или 6)")                      \
    X(kFrameLengthMismatch, "frame {i} length mismatch: index said {expected} bytes, stream gave {got}",            \
      "кадр {i}: длина не совпадает - по индексу {expected} байт, поток дал {got}")                                \
    X(kChannelCountMismatch, "frame {i} channel count mismatch: expected {expected} channels, got {got}",           \
      "кадр {i}: число каналов не совпадает - ожидалось каналов: {expected}, получено: {got}")                     \
    X(kDsfBlockCount, "DSF block count invariant: emitted {emitted} blocks, expected {expected}",                   \
      "нарушен инвариант числа блоков DSF: записано блоков: {emitted}, ожидалось: {expected}")                     \
    X(kSourceEndedEarly, "frame source ended early: expected {expected} frames, got {got}",                         \
      "источник кадров иссяк раньше времени: ожидалось кадров: {expected}, получено: {got}")                       \
    X(kTooManyFrames, "track has {n} frames, more than DSDIFF numFrames (u32) can hold",                            \
      "в треке кадров: {n} - больше, чем вмещает поле numFrames (u32) формата DSDIFF")                             \
    X(kMarkerModel, "marker model error - {error}", "ошибка модели маркеров - {error}")                             \
    X(kContainerIo, "container write I/O error: {error}", "ошибка ввода-вывода при записи контейнера: {error}")

VELMORA_MESSAGE_CATALOGUE(VELMORA_CONTAINER_MESSAGES)

}  // namespace sacd::audio::msg
