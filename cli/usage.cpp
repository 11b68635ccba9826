#include "cli/usage.h"

#include "i18n/i18n.h"

namespace cli {

namespace {

constexpr std::string_view kUsageEn = R"(velmora-cli - read and extract data from a SACD image

Usage:
  velmora-cli describe <image.iso> [sections] [--ms] [--json]
  velmora-cli extract  <image.iso> --format <f> --area <a> -o <dir> [options]
  velmora-cli edit     <image.iso> [--backup <dir> | --output <new.iso>] [fields...]
  velmora-cli lookup   <image.iso> [--source <discogs|musicbrainz>] [--discogs-token <t>] [--json]
  velmora-cli --version
  velmora-cli --help

Global options:
  --lang ru   show messages in Russian

The describe command - shows the disc data (album, artist, areas, tracks).
By default a short summary. Sections add detail:
  --tracks   per-track detail (ISRC, Genre, flags, addresses)
  --text     all text fields (Master_Text, Area_Text)
  --flags    decoded bit fields
  --links    web links and playlists
  --full     all sections at once
  --ms       time in milliseconds (MM:SS.mmm) instead of frames (MM:SS:FF)
  --json     JSON output (for scripts)

The extract command - pulls the audio out into files. Three keys are required:
  --format <dsf|dsdiff|dsdiff-dst|edit-master|edit-master-dst>
              dsf             - Sony .dsf (unpacked DSD), read by most players
              dsdiff          - Philips .dff, unpacked DSD
              dsdiff-dst      - Philips .dff, DST (exact copy from the disc; plain-DSD stereo is compressed)
              edit-master     - one .dff per area, as is (DST disc -> DST; plain-DSD -> DSD)
              edit-master-dst - one .dff per area, forced DST (plain-DSD stereo is compressed)
  --area <stereo|mch|all>  which area to extract (mch - multichannel)
  -o <dir>                 where to write
Optional extract keys:
  --track <selection>      only these tracks, e.g. 3 or 2-5,7 (not valid for edit-master)
  --album-name <name>      set the album folder name manually
  --with-artist            accepted, but not needed: the artist is always added to the folder name
  --overwrite              overwrite existing files
  --compression <mode>     compression when encoding to DST (the dsdiff-dst
                           format on a stereo area without DST): max (default,
                           maximum compression) | high | fast | turbo
                           (faster - slightly larger files); always lossless

The edit command - changes metadata directly inside the image. A BACKUP IS
MANDATORY and is always created: with no keys, the pre-edit copy is saved in the
folder next to the image being edited. Optional modes:
  --backup <dir>        save the pre-edit copy into <dir> (instead of the image folder)
  --output <new.iso>    write the edited image to a new file, leave the original untouched
--backup and --output cannot be given together.
You can fill the fields from an online database (Discogs or MusicBrainz) - give
a release and its artist/album/year/catalog + per track the title and credits
(performer/songwriter/composer/arranger, by the role table) go into the plan
BEFORE the manual edits, so a manual --set of the same field overrides the
online value:
  --from-discogs <id|url>          take data from a Discogs release (token needed)
  --from-musicbrainz <mbid|url>    take data from a MusicBrainz release (no token)
  --disc N                         which release disc to take tracks from (default 1)
--from-discogs and --from-musicbrainz cannot be given together.
Fields (several allowed, each with its own key):
  --set <field> <value>       fields: album-title album-artist album-publisher
                              album-copyright disc-title disc-artist
                              disc-publisher disc-copyright
                              (and their -phonetic variants, e.g.
                              album-title-phonetic - for the phonetic spelling)
  --set-catalog-album <v>     album catalog number
  --set-catalog-disc <v>      disc catalog number
  --set-date YYYY-MM-DD       disc date (year required, month and day - 0 if absent)
  --set-album-set <n> <m>     disc number in the set: n - sequence, m - size
  --set-track <stereo|mch|N> <track|all> <field> <v>
                              track text (track counts from 1; all - all
                              tracks in the area; stereo / mch - area by type,
                              N - area number)
                              fields: title performer songwriter composer
                              arranger message extra-message copyright
                              (and their -phonetic variants, e.g.
                              title-phonetic - for the phonetic spelling)
  --set-genre-album <genre>   album genre (several keys allowed, up to 4 genres)
  --set-genre-disc <genre>    disc genre (several keys allowed, up to 4 genres)
  --set-genre-track <stereo|mch|N> <track|all> <genre>
                              track genre (area and track - as for --set-track;
                              all - one genre for every track in the area)
  --set-isrc <stereo|mch|N> <track|all> <code|->
                              track ISRC code; - clears the code
                              (area and track - as for --set-track)
  --locale N                  language channel for the following --set/--set-track (default 0)
  --add-locale <ja> [charset] add a language (charset defaults from the language)
  --remove-locale N           remove a language (channel N); the last one cannot be removed
  --normalize                 bring a non-standard disc (declares text but stores
                              none) to standard first, then apply the other edits
Genre names are the English names from the General Genre Table, e.g. Jazz,
Classical, Pop Music, Rhythm & Blues (see the list in the documentation).

The lookup command - searches an online database for releases matching the open
image's data (artist, album, catalog) and prints a numbered list. The id number
from the list can be passed to edit via --from-discogs / --from-musicbrainz.
  --source <discogs|musicbrainz>  where to search (default discogs)
  --discogs-token <t>             Discogs token (otherwise taken from settings)
  --json                          the list as JSON (for scripts)
MusicBrainz needs no token; Discogs - requires one.

Examples:
  velmora-cli describe disc.iso --full
  velmora-cli describe disc.iso --json
  velmora-cli extract disc.iso --format dsf --area stereo -o D:\music
  velmora-cli extract disc.iso --format dsdiff-dst --area all -o D:\music
  velmora-cli extract disc.iso --format dsf --area mch --track 2-5,7 -o D:\out
  velmora-cli edit disc.iso --backup D:\backups --set album-artist "Marbleweir" --set-date 2011-09-26
  velmora-cli edit disc.iso --output disc-edited.iso --set-catalog-album "EMI 5099"
  velmora-cli edit disc.iso --backup D:\bak --set-track stereo 3 title "Time"
  velmora-cli edit disc.iso --backup D:\bak --set-track stereo 2 composer "Quillory"
  velmora-cli edit disc.iso --backup D:\bak --set-genre-album Jazz
  velmora-cli edit disc.iso --backup D:\bak --set-genre-track stereo 2 Classical
  velmora-cli edit disc.iso --backup D:\bak --set-genre-track stereo all Jazz
  velmora-cli edit disc.iso --backup D:\bak --set-isrc stereo 2 GBF080500201
  velmora-cli edit disc.iso --backup D:\bak --add-locale ja --locale 1 --set-track stereo 1 title "日本語"
  velmora-cli lookup disc.iso --source musicbrainz
  velmora-cli edit disc.iso --backup D:\bak --from-discogs 10370353
  velmora-cli edit disc.iso --backup D:\bak --from-musicbrainz a1b2c3d4-... --set album-title "My Name"
)";

constexpr std::string_view kUsageRu = R"(velmora-cli - чтение и извлечение данных из образа SACD

Использование:
  velmora-cli describe <image.iso> [разделы] [--ms] [--json]
  velmora-cli extract  <image.iso> --format <f> --area <a> -o <папка> [ключи]
  velmora-cli edit     <image.iso> [--backup <папка> | --output <new.iso>] [поля...]
  velmora-cli lookup   <image.iso> [--source <discogs|musicbrainz>] [--discogs-token <t>] [--json]
  velmora-cli --version
  velmora-cli --help

Общие ключи:
  --lang ru   показывать сообщения на русском языке

Команда describe - показывает данные диска (альбом, исполнитель, области, треки).
По умолчанию - краткая сводка. Разделы добавляют подробности:
  --tracks   подробности по трекам (ISRC, жанр, флаги, адреса)
  --text     все текстовые поля (Master_Text, Area_Text)
  --flags    расшифрованные битовые поля
  --links    веб-ссылки и плей-листы
  --full     все разделы сразу
  --ms       время в миллисекундах (MM:SS.mmm) вместо кадров (MM:SS:FF)
  --json     вывод в JSON (для скриптов)

Команда extract - извлекает звук в файлы. Обязательны три ключа:
  --format <dsf|dsdiff|dsdiff-dst|edit-master|edit-master-dst>
              dsf             - Sony .dsf (несжатый DSD), читается большинством плееров
              dsdiff          - Philips .dff, несжатый DSD
              dsdiff-dst      - Philips .dff, DST (точная копия с диска; стерео в чистом DSD сжимается)
              edit-master     - один .dff на область, как есть (DST-диск -> DST; чистый DSD -> DSD)
              edit-master-dst - один .dff на область, всегда DST (стерео в чистом DSD сжимается)
  --area <stereo|mch|all>  какую область извлекать (mch - многоканальная)
  -o <папка>               куда записывать
Необязательные ключи extract:
  --track <выбор>          только эти треки, например 3 или 2-5,7 (не для edit-master)
  --album-name <имя>       задать имя папки альбома вручную
  --with-artist            принимается, но не нужен: исполнитель всегда добавляется к имени папки
  --overwrite              перезаписывать существующие файлы
  --compression <режим>    сжатие при кодировании в DST (формат dsdiff-dst
                           для стереообласти без DST): max (по умолчанию,
                           максимальное сжатие) | high | fast | turbo
                           (быстрее - файлы чуть больше); всегда без потерь

Команда edit - меняет метаданные прямо внутри образа. РЕЗЕРВНАЯ КОПИЯ
ОБЯЗАТЕЛЬНА и создаётся всегда: без ключей копия до правки сохраняется в
папке рядом с редактируемым образом. Необязательные режимы:
  --backup <папка>      сохранить копию до правки в <папку> (вместо папки образа)
  --output <new.iso>    записать изменённый образ в новый файл, оригинал не трогать
--backup и --output нельзя указывать вместе.
Поля можно заполнить из онлайн-базы (Discogs или MusicBrainz) - укажите
релиз, и его исполнитель/альбом/год/каталог + для каждого трека название и участники
(исполнитель/автор песни/композитор/аранжировщик, по таблице ролей) попадут в план
ДО ручных правок, так что ручной --set того же поля заменяет
значение из базы:
  --from-discogs <id|url>          взять данные из релиза Discogs (нужен токен)
  --from-musicbrainz <mbid|url>    взять данные из релиза MusicBrainz (токен не нужен)
  --disc N                         с какого диска релиза брать треки (по умолчанию 1)
--from-discogs и --from-musicbrainz нельзя указывать вместе.
Поля (можно несколько, каждое со своим ключом):
  --set <поле> <значение>     поля: album-title album-artist album-publisher
                              album-copyright disc-title disc-artist
                              disc-publisher disc-copyright
                              (и их варианты -phonetic, например
                              album-title-phonetic - для фонетического написания)
  --set-catalog-album <v>     каталожный номер альбома
  --set-catalog-disc <v>      каталожный номер диска
  --set-date YYYY-MM-DD       дата диска (год обязателен, месяц и день - 0, если нет)
  --set-album-set <n> <m>     номер диска в комплекте: n - порядковый номер, m - размер комплекта
  --set-track <stereo|mch|N> <трек|all> <поле> <v>
                              текст трека (треки считаются с 1; all - все
                              треки области; stereo / mch - область по типу,
                              N - номер области)
                              поля: title performer songwriter composer
                              arranger message extra-message copyright
                              (и их варианты -phonetic, например
                              title-phonetic - для фонетического написания)
  --set-genre-album <жанр>    жанр альбома (можно несколько ключей, до 4 жанров)
  --set-genre-disc <жанр>     жанр диска (можно несколько ключей, до 4 жанров)
  --set-genre-track <stereo|mch|N> <трек|all> <жанр>
                              жанр трека (область и трек - как в --set-track;
                              all - один жанр для всех треков области)
  --set-isrc <stereo|mch|N> <трек|all> <код|->
                              код ISRC трека; - очищает код
                              (область и трек - как в --set-track)
  --locale N                  языковой канал для следующих --set/--set-track (по умолчанию 0)
  --add-locale <ja> [кодировка] добавить язык (кодировка по умолчанию - по языку)
  --remove-locale N           удалить язык (канал N); последний удалить нельзя
  --normalize                 сначала привести нестандартный диск (заявляет текст, но
                              не хранит его) к стандарту, затем применить остальные правки
Названия жанров - английские названия из общей таблицы жанров (General Genre Table),
например Jazz, Classical, Pop Music, Rhythm & Blues (см. список в документации).

Команда lookup - ищет в онлайн-базе релизы, совпадающие с данными открытого
образа (исполнитель, альбом, каталог), и выводит нумерованный список. Номер id
из списка можно передать в edit через --from-discogs / --from-musicbrainz.
  --source <discogs|musicbrainz>  где искать (по умолчанию discogs)
  --discogs-token <t>             токен Discogs (иначе берётся из настроек)
  --json                          список в виде JSON (для скриптов)
MusicBrainz токен не нужен; Discogs - требует его.

Примеры:
  velmora-cli describe disc.iso --full
  velmora-cli describe disc.iso --json
  velmora-cli extract disc.iso --format dsf --area stereo -o D:\music
  velmora-cli extract disc.iso --format dsdiff-dst --area all -o D:\music
  velmora-cli extract disc.iso --format dsf --area mch --track 2-5,7 -o D:\out
  velmora-cli edit disc.iso --backup D:\backups --set album-artist "Marbleweir" --set-date 2011-09-26
  velmora-cli edit disc.iso --output disc-edited.iso --set-catalog-album "EMI 5099"
  velmora-cli edit disc.iso --backup D:\bak --set-track stereo 3 title "Time"
  velmora-cli edit disc.iso --backup D:\bak --set-track stereo 2 composer "Quillory"
  velmora-cli edit disc.iso --backup D:\bak --set-genre-album Jazz
  velmora-cli edit disc.iso --backup D:\bak --set-genre-track stereo 2 Classical
  velmora-cli edit disc.iso --backup D:\bak --set-genre-track stereo all Jazz
  velmora-cli edit disc.iso --backup D:\bak --set-isrc stereo 2 GBF080500201
  velmora-cli edit disc.iso --backup D:\bak --add-locale ja --locale 1 --set-track stereo 1 title "日本語"
  velmora-cli lookup disc.iso --source musicbrainz
  velmora-cli edit disc.iso --backup D:\bak --from-discogs 10370353
  velmora-cli edit disc.iso --backup D:\bak --from-musicbrainz a1b2c3d4-... --set album-title "My Name"
)";

}  // namespace

std::string usage() { return i18n::tr(kUsageEn, kUsageRu); }

}  // namespace cli
