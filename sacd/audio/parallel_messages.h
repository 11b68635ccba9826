// User-facing texts of parallel DST decoding.
#pragma once

#include "i18n/i18n.h"

namespace sacd::audio::parallel_msg {

#define VELMORA_PARALLEL_MESSAGES(X)                                                                                \
    X(kDecode, "decode: {error}", "декодирование: {error}")                                                         \
    X(kRead, "read: {error}", "чтение: {error}")                                                                    \
    X(kSliceOutsideSpan, "frame slice outside the chunk span (short read or inconsistent frame map)",               \
      "часть кадра вне прочитанного участка образа (неполное чтение или противоречивая карта кадров)")              \
    X(kProducerStopped, "producer stopped before all frames were delivered",                                        \
      "источник кадров остановился, не передав все кадры")                                                          \
    X(kDecodeThreadPanicked, "decode thread panicked", "аварийно завершился поток декодирования")                   \
    X(kWriterThreadPanicked, "writer thread panicked", "аварийно завершился поток записи")                          \
    X(kThreadStart, "could not start a thread: {error}", "не удалось запустить поток: {error}")

VELMORA_MESSAGE_CATALOGUE(VELMORA_PARALLEL_MESSAGES)

}  // namespace sacd::audio::parallel_msg
