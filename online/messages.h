// User-facing texts of the online clients: network, status and decoding failures, and the
// service configuration. The commands print them after their own prefix ("lookup: ").
#pragma once

#include "i18n/i18n.h"

namespace online::msg {

#define VELMORA_ONLINE_MESSAGES(X)                                                                                  \
    X(kTlsInitFailed, "TLS init failed: {error}", "не удалось инициализировать TLS: {error}")                       \
    X(kStatusDescription, "the server answered with status {status}", "сервер ответил со статусом {status}")        \
    X(kResponseTooBig, "response too big for into_string", "ответ слишком велик для into_string")                   \
    X(kDiscogsUnreachable, "could not reach Discogs - check your internet connection",                              \
      "не удалось связаться с Discogs - проверьте подключение к интернету")                                         \
    X(kDiscogsRejected, "Discogs rejected the request - check your API token",                                      \
      "Discogs отклонил запрос - проверьте свой токен API")                                                         \
    X(kDiscogsNotFound, "Discogs found nothing for that request", "Discogs ничего не нашёл по этому запросу")       \
    X(kDiscogsRateLimit, "Discogs rate limit reached - wait a minute and retry",                                    \
      "превышен лимит запросов к Discogs - подождите минуту и повторите")                                           \
    X(kDiscogsFailed, "Discogs request failed: {error}", "запрос к Discogs не удался: {error}")                     \
    X(kDiscogsUnexpected, "unexpected Discogs response: {error}", "неожиданный ответ Discogs: {error}")             \
    X(kMusicBrainzUnreachable, "could not reach MusicBrainz - check your internet connection",                      \
      "не удалось связаться с MusicBrainz - проверьте подключение к интернету")                                     \
    X(kMusicBrainzNotFound, "MusicBrainz found nothing for that request",                                           \
      "MusicBrainz ничего не нашёл по этому запросу")                                                               \
    X(kMusicBrainzRateLimit, "MusicBrainz rate limit reached - wait a minute and retry",                            \
      "превышен лимит запросов к MusicBrainz - подождите минуту и повторите")                                       \
    X(kMusicBrainzBusy, "MusicBrainz is busy - wait a moment and retry",                                            \
      "MusicBrainz перегружен - подождите немного и повторите")                                                     \
    X(kMusicBrainzFailed, "MusicBrainz request failed: {error}", "запрос к MusicBrainz не удался: {error}")         \
    X(kMusicBrainzUnexpected, "unexpected MusicBrainz response: {error}", "неожиданный ответ MusicBrainz: {error}") \
    X(kBadServiceAddress, "{name} must be a base address of the form scheme://host[:port] (got '{value}')",         \
      "{name} должен быть базовым адресом вида scheme://host[:port] (получено '{value}')")                          \
    X(kBadTimeout, "{name} must be a whole number of milliseconds above 0 (got '{value}')",                         \
      "{name} должен быть целым числом миллисекунд больше 0 (получено '{value}')")

VELMORA_MESSAGE_CATALOGUE(VELMORA_ONLINE_MESSAGES)

}  // namespace online::msg
