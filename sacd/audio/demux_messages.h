// User-facing texts of audio sector parsing, demultiplexing and segmentation.
#pragma once

#include "i18n/i18n.h"

namespace sacd::audio::demux_msg {

#define VELMORA_DEMUX_MESSAGES(X)                                                                                   \
    X(kWrongSectorSize, "audio sector is not 2048 bytes (got {len})", "аудиосектор не равен 2048 байтам (получено {len})") \
    X(kHeaderPastEnd, "audio header read past end of sector: need {need} bits, have {have}",                        \
      "чтение заголовка аудиосектора за концом сектора: нужно {need} бит, есть {have}")                             \
    X(kReservedSet, "reserved field {name} was not zero (refusing to guess)",                                       \
      "зарезервированное поле {name} не равно нулю (угадывать не будем)")                                           \
    X(kBadFrameFormat, "reserved Frame_Format value {value} (only 0, 2, 3 are defined)",                            \
      "зарезервированное значение Frame_Format {value} (определены только 0, 2, 3)")                               \
    X(kDstFlagMismatch, "DST_Coded={flag} contradicts Frame_Format={format} (spec 5.3.1.1.3)",                      \
      "DST_Coded={flag} противоречит Frame_Format={format} (spec 5.3.1.1.3)")                                        \
    X(kBadDataType, "reserved Data_Type value {value} (only 2, 3, 7 are defined)",                                  \
      "зарезервированное значение Data_Type {value} (определены только 2, 3, 7)")                                  \
    X(kBadPacketLength, "Packet_Length {len} outside 1..=2045", "Packet_Length {len} вне диапазона 1..=2045")        \
    X(kBadNSectors, "N_Sectors {n} outside 1..=16", "N_Sectors {n} вне диапазона 1..=16")                           \
    X(kNoPackets, "N_Packets {n} below the spec minimum of 1",                                                      \
      "N_Packets {n} меньше минимума спецификации (1)")                                                             \
    X(kOverflow, "header ({h} bytes) + packets ({p} bytes) exceed the 2048-byte sector",                            \
      "заголовок ({h} байт) + пакеты ({p} байт) не помещаются в 2048-байтный сектор")                              \
    X(kStuffing, "stuffing byte at offset {offset} was not zero", "байт заполнения по смещению {offset} не равен нулю") \
    X(kDemux, "cannot demux audio area (refusing to guess): {reason}",                                              \
      "невозможно разобрать аудиообласть на кадры (угадывать не будем): {reason}")                                 \
    X(kSpanNotWhole, "audio span not a whole number of sectors", "аудиодиапазон не кратен размеру сектора")         \
    X(kRangeExceedsLsn, "audio range exceeds the 32-bit LSN", "аудиодиапазон выходит за пределы 32-битного LSN")    \
    X(kFrameStartWithoutInfo, "Frame_Start without matching Frame_Info", "Frame_Start без соответствующей Frame_Info") \
    X(kNSectorsOutOfRange, "N_Sectors out of per-channel range",                                                    \
      "N_Sectors вне допустимого диапазона для числа каналов")                                                      \
    X(kTimeCodeNotIncreasing, "Time_Code not contiguously increasing (spec §5.2); cannot bound a track-subset scan", \
      "Time_Code возрастает не непрерывно (spec §5.2); нельзя ограничить просмотр выбранными треками")              \
    X(kAudioBeforeFrameStart, "Audio packet before first Frame_Start", "Аудиопакет до первого Frame_Start")          \
    X(kZeroTracks, "area has zero tracks", "в области нет треков")                                                  \
    X(kTooManyTracks, "area exceeds 255 tracks", "в области больше 255 треков")                                     \
    X(kTrl2CountMismatch, "Trl2 start/duration count != track count",                                               \
      "число начал/длительностей в Trl2 != числу треков")                                                           \
    X(kStartSentinel, "Track_Start_Time_Code is the invalid sentinel",                                              \
      "Track_Start_Time_Code содержит недействительное значение-метку")                                             \
    X(kDurationSentinel, "Track_Duration is the invalid sentinel",                                                  \
      "Track_Duration содержит недействительное значение-метку")                                                    \
    X(kWindowsOverlap, "track time windows overlap", "временные окна треков перекрываются")                         \
    X(kFrameSentinel, "frame Time_Code is the invalid sentinel",                                                    \
      "Time_Code кадра содержит недействительное значение-метку")

VELMORA_MESSAGE_CATALOGUE(VELMORA_DEMUX_MESSAGES)

}  // namespace sacd::audio::demux_msg
