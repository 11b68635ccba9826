#include "online/credits.h"

#include <algorithm>

#include "online/text.h"
#include "sacd/charset.h"
#include "sacd/charset_codec.h"

namespace online {

namespace {

using model::PerformerCredit;
using model::ReleaseInfo;
using model::ReleaseTrack;

using Words = std::vector<std::string_view>;

const Words kIgnoredWords = {"technician", "technicians", "tuner", "tuning", "coach"};
const Words kComposerWords = {"composer", "composed"};
const Words kSongwriterWords = {"songwriter", "lyricist", "librettist", "writer", "written", "lyrics", "words"};
const Words kArrangerWords = {"arranger", "arranged", "orchestrator", "orchestrated"};
const Words kPerformerWords = {"performer", "performed", "conductor", "conducted", "orchestra",
                               "ensemble",  "soloist",   "vocals",    "vocal",     "vocalist",
                               "voice",     "instrument", "instruments", "choir",   "chorus"};
const Words kInstrumentWords = {
    "accordion",  "bagpipes",   "balalaika",   "bandoneon",    "banjo",        "bass",       "bassoon",
    "bells",      "bongos",     "bouzouki",    "brass",        "celesta",      "cello",      "cimbalom",
    "clarinet",   "clavichord", "clavinet",    "congas",       "contrabass",   "cornet",     "cymbals",
    "dobro",      "drum",       "drums",       "dulcimer",     "euphonium",    "fiddle",     "flugelhorn",
    "flute",      "fortepiano", "glockenspiel", "guitar",      "guitars",      "harmonica",  "harmonium",
    "harp",       "harpsichord", "horn",       "horns",        "keyboard",     "keyboards",  "koto",
    "lute",       "mandolin",   "marimba",     "martenot",     "mellotron",    "oboe",       "ocarina",
    "ondes",      "organ",      "oud",         "percussion",   "piano",        "piccolo",    "recorder",
    "sax",        "saxophone",  "shakuhachi",  "sitar",        "strings",      "synth",      "synthesizer",
    "synthesizers", "tabla",    "tambourine",  "theorbo",      "theremin",     "timpani",    "trombone",
    "trumpet",    "tuba",       "ukulele",     "vibraphone",   "viol",         "viola",      "violin",
    "violins",    "violoncello", "whistle",    "xylophone",    "zither"};

bool any_word_in(const Words& words, const Words& table) {
    return std::any_of(words.begin(), words.end(),
                       [&](std::string_view w) { return std::find(table.begin(), table.end(), w) != table.end(); });
}

bool has_word(const Words& words, std::string_view word) {
    return std::find(words.begin(), words.end(), word) != words.end();
}

std::vector<std::string_view> split_at_commas(std::string_view text) {
    std::vector<std::string_view> pieces;
    for (std::size_t start = 0;;) {
        const std::size_t comma = text.find(',', start);
        pieces.push_back(text.substr(start, comma == std::string_view::npos ? comma : comma - start));
        if (comma == std::string_view::npos) return pieces;
        start = comma + 1;
    }
}

// The contents of the top-level bracket groups, in order; an unclosed last group runs to the end.
std::vector<std::string> bracket_groups(std::string_view text) {
    std::vector<std::string> groups;
    int depth = 0;
    for (char c : text) {
        if (c == '[') {
            if (depth++ == 0) {
                groups.emplace_back();
                continue;
            }
        } else if (c == ']' && depth > 0) {
            if (--depth == 0) continue;
        }
        if (depth > 0) groups.back().push_back(c);
    }
    return groups;
}

std::string join(const std::vector<std::string>& parts, std::string_view separator) {
    std::string out;
    for (const auto& p : parts) {
        if (!out.empty()) out += separator;
        out += p;
    }
    return out;
}

}  // namespace

std::optional<CreditKind> map_credit_role(std::string_view normalised_part) {
    const Words words = split_white_space(normalised_part);
    if (any_word_in(words, kIgnoredWords)) return std::nullopt;
    if (any_word_in(words, kComposerWords)) return CreditKind::Composer;
    if (any_word_in(words, kSongwriterWords)) return CreditKind::Songwriter;
    if (any_word_in(words, kArrangerWords)) return CreditKind::Arranger;
    if (any_word_in(words, kPerformerWords)) return CreditKind::Performer;
    if (!has_word(words, "by") && any_word_in(words, kInstrumentWords)) return CreditKind::Performer;
    return std::nullopt;
}

std::string strip_bracketed(std::string_view text) {
    std::string out;
    int depth = 0;
    for (char c : text) {
        if (c == '[') {
            ++depth;
        } else if (c == ']') {
            if (depth > 0) --depth;
        } else if (depth == 0) {
            out.push_back(c);
        }
    }
    return out;
}

std::string normalize_part(std::string_view text) {
    std::string lower = sacd::charset_codec::to_lower(text);
    std::replace(lower.begin(), lower.end(), '-', ' ');
    std::string out;
    for (std::string_view w : split_white_space(lower)) {
        if (!out.empty()) out.push_back(' ');
        out += w;
    }
    return out;
}

void push_name(std::vector<std::string>& names, std::string_view name) {
    if (std::find(names.begin(), names.end(), name) == names.end()) names.emplace_back(name);
}

void TrackCredits::add(std::string_view role, std::string_view name, std::optional<std::string_view> instrument) {
    name = trim(name);
    if (name.empty()) return;
    std::optional<std::string> kept_instrument;
    if (instrument && !trim(*instrument).empty()) kept_instrument = std::string(trim(*instrument));

    std::vector<CreditKind> kinds;
    const std::string unbracketed = strip_bracketed(role);
    for (std::string_view piece : split_at_commas(unbracketed)) {
        auto kind = map_credit_role(normalize_part(strip_bracketed(piece)));
        if (kind && std::find(kinds.begin(), kinds.end(), *kind) == kinds.end()) kinds.push_back(*kind);
    }
    for (CreditKind kind : kinds) {
        switch (kind) {
            case CreditKind::Performer: {
                PerformerCredit credit{std::string(name), kept_instrument};
                if (std::find(performers.begin(), performers.end(), credit) == performers.end()) {
                    performers.push_back(std::move(credit));
                }
                break;
            }
            case CreditKind::Songwriter: push_name(songwriters, name); break;
            case CreditKind::Composer: push_name(composers, name); break;
            case CreditKind::Arranger: push_name(arrangers, name); break;
        }
    }
}

void TrackCredits::fill_missing(ReleaseTrack& track) const {
    if (track.performer.empty() && !performers.empty()) {
        track.performer = format_performer(performers);
        track.performer_credits = performers;
    }
    if (track.songwriter.empty()) track.songwriter = join(songwriters, ", ");
    if (track.composer.empty()) track.composer = join(composers, ", ");
    if (track.arranger.empty()) track.arranger = join(arrangers, ", ");
}

bool TrackCredits::empty() const {
    return performers.empty() && songwriters.empty() && composers.empty() && arrangers.empty();
}

std::optional<std::string> role_instrument(std::string_view role) {
    for (const std::string& group : bracket_groups(role)) {
        std::string normalised = normalize_part(group);
        if (any_word_in(split_white_space(normalised), kInstrumentWords)) return normalised;
    }
    const std::string unbracketed = strip_bracketed(role);
    for (std::string_view piece : split_at_commas(unbracketed)) {
        std::string normalised = normalize_part(piece);
        const Words words = split_white_space(normalised);
        if (has_word(words, "by")) continue;
        if (any_word_in(words, kInstrumentWords)) return normalised;
    }
    return std::nullopt;
}

std::string format_performer(const std::vector<PerformerCredit>& credits) {
    std::vector<std::string> parts;
    for (const auto& c : credits) parts.push_back(c.instrument ? c.name + " (" + *c.instrument + ")" : c.name);
    return join(parts, "; ");
}

std::string format_performer_names_only(const std::vector<PerformerCredit>& credits) {
    std::vector<std::string> names;
    for (const auto& c : credits) push_name(names, c.name);
    return normalize_external_punctuation(join(names, "; "));
}

std::string normalize_external_punctuation(std::string_view text) {
    std::vector<char32_t> out;
    for (char32_t c : sacd::utf8_to_chars(text)) {
        if (c == 0x00A0) {
            out.push_back(U' ');
        } else if ((c >= 0x2010 && c <= 0x2015) || c == 0x2212) {
            out.push_back(U'-');
        } else if (c == 0x2018 || c == 0x2019 || c == 0x201B || c == 0x2032) {
            out.push_back(U'\'');
        } else if (c == 0x201C || c == 0x201D || c == 0x201E || c == 0x2033) {
            out.push_back(U'"');
        } else if (c == 0x2026) {
            out.insert(out.end(), {U'.', U'.', U'.'});
        } else if (c == 0x301C) {
            out.push_back(0xFF5E);
        } else {
            out.push_back(c);
        }
    }
    return sacd::chars_to_utf8(out);
}

void normalize_release_info(ReleaseInfo& release) {
    for (std::string* text : {&release.artist, &release.title, &release.disc_catalog}) {
        *text = normalize_external_punctuation(*text);
    }
    for (auto& disc : release.discs) {
        for (auto& t : disc.tracks) {
            for (std::string* text : {&t.title, &t.performer, &t.songwriter, &t.composer, &t.arranger}) {
                *text = normalize_external_punctuation(*text);
            }
        }
    }
}

std::string digits_only(std::string_view text) {
    std::string out;
    for (char c : text)
        if (is_ascii_digit(c)) out.push_back(c);
    return out;
}

}  // namespace online
