#include "sacd/disc.h"

namespace sacd {

using namespace sacd::edit_errors;
using platform::err;

namespace {

template <class T>
const T* first_typed(const std::vector<Region>& regions) {
    for (const Region& r : regions)
        if (auto* t = r.template as<T>()) return t;
    return nullptr;
}

// The disc-level region that starts at `lsn`, if the regions reach it exactly.
template <class D>
auto* region_at_lsn(D& disc, std::uint64_t lsn) {
    std::uint64_t offset = 0;
    for (auto& r : disc.regions) {
        if (offset == lsn * kSectorSize) return &r;
        if (offset > lsn * kSectorSize) break;
        offset += r.size();
    }
    return static_cast<decltype(&disc.regions[0])>(nullptr);
}

}  // namespace

const AreaToc* DiscArea::area_toc() const {
    auto* r = first_typed<regions::AreaTocRecord>(toc1);
    return r ? &r->record : nullptr;
}

AreaToc* DiscArea::area_toc_mut() { return const_cast<AreaToc*>(std::as_const(*this).area_toc()); }

const Trl1* DiscArea::trl1() const {
    auto* r = first_typed<regions::Trl1Record>(toc1);
    return r ? &r->record : nullptr;
}

const Trl2* DiscArea::trl2() const {
    auto* r = first_typed<regions::Trl2Record>(toc1);
    return r ? &r->record : nullptr;
}

const IsrcGenreList* DiscArea::isrc_genre_list() const {
    auto* r = first_typed<regions::IglRecord>(toc1);
    return r ? &r->record : nullptr;
}

const TrackText* DiscArea::track_text() const {
    auto* r = first_typed<regions::TrackTextRecord>(toc1);
    return r ? &r->record : nullptr;
}

TrackText* DiscArea::track_text_mut() { return const_cast<TrackText*>(std::as_const(*this).track_text()); }

std::uint64_t DiscArea::audio_offset() const {
    if (auto* u = audio.as<regions::Untyped>()) return u->offset;
    return 0;
}

std::uint64_t RepairReport::total_slots_de_aliased() const {
    std::uint64_t total = 0;
    for (const auto& r : master_text) total += r.slots;
    for (const auto& r : track_text) total += r.slots;
    return total;
}

bool Disc::is_not_recognised() const {
    return areas.empty() && !tail && regions.size() == 1 && regions[0].is_untyped(RangeKind::WholeFile);
}

std::uint64_t Disc::region_offset(std::size_t index) const {
    std::uint64_t offset = 0;
    for (std::size_t i = 0; i < index && i < regions.size(); ++i) offset += regions[i].size();
    return offset;
}

const MasterToc* Disc::master_toc() const {
    const Region* r = region_at_lsn(*this, kMasterTocLsn);
    auto* t = r ? r->as<regions::MasterTocRecord>() : nullptr;
    return t ? &t->record : nullptr;
}

MasterToc* Disc::master_toc_mut() { return const_cast<MasterToc*>(std::as_const(*this).master_toc()); }

std::uint8_t Disc::master_text_channel_count() const {
    const MasterToc* toc = master_toc();
    return toc ? toc->text_channel_count() : 0;
}

const MasterText* Disc::master_text(std::uint8_t channel) const {
    if (!master_toc() || channel >= master_text_channel_count()) return nullptr;
    const Region* r = region_at_lsn(*this, kMasterTextLsn + channel);
    auto* t = r ? r->as<regions::MasterTextRecord>() : nullptr;
    if (!t || t->slot != channel || t->copy != 0) return nullptr;
    return &t->record;
}

platform::Result<MasterText*, EditError> Disc::master_text_mut(std::uint8_t channel) {
    const std::uint8_t n = master_text_channel_count();
    if (channel >= n) return err(EditError{LocaleOutOfRange{channel, n}});
    auto* t = const_cast<MasterText*>(std::as_const(*this).master_text(channel));
    if (!t) return err(EditError{RequiredRegionMissing{"MasterText primary for locale"}});
    return t;
}

MasterText* Disc::master_text_copy_mut(std::uint8_t channel, std::uint8_t copy) {
    if (channel >= 8 || copy > 2) return nullptr;
    Region* r = region_at_lsn(*this, kMasterTextLsn + channel + 10u * copy);
    auto* t = r ? r->as<regions::MasterTextRecord>() : nullptr;
    if (!t || t->slot != channel || t->copy != copy) return nullptr;
    return &t->record;
}

bool Disc::all_text_empty() const {
    const std::uint8_t n = master_text_channel_count();
    for (std::uint8_t c = 0; c < n && c < 8; ++c) {
        const Region* r = region_at_lsn(*this, kMasterTextLsn + c);
        if (r && r->is_untyped(RangeKind::MasterText)) return false;
        if (const MasterText* t = master_text(c)) {
            for (std::size_t f = 0; f < kMasterFieldCount; ++f)
                if (t->positions[f] != 0) return false;
        }
    }
    for (const DiscArea& area : areas) {
        const AreaToc* toc = area.area_toc();
        if (toc) {
            for (const AreaTextChannel& ch : toc->area_text_decoded())
                if (ch.description || ch.copyright || ch.description_phonetic || ch.copyright_phonetic) return false;
        }
        if (const TrackText* tt = area.track_text()) {
            for (const TrackTextChannel& channel : tt->entries)
                for (const auto& slot : channel)
                    if (slot)
                        for (const TrackItem& item : slot->entry.items)
                            if (!item.text.empty()) return false;
        }
    }
    return true;
}

bool needs_text_normalization(std::span<const DiscArea> areas) {
    for (const DiscArea& area : areas) {
        const AreaToc* toc = area.area_toc();
        if (!toc || toc->track_count == 0 || toc->text_channel_count() == 0) continue;
        if (!area.track_text() && toc->track_text_ptr == 0) return true;
    }
    return false;
}

platform::Result<CharSet, EditError> derive_master_charset(const Disc& disc, std::uint8_t locale) {
    const MasterToc* toc = disc.master_toc();
    if (!toc) return err(EditError{RequiredRegionMissing{"MasterToc primary (LSN 510)"}});
    const std::uint8_t n = toc->text_channel_count();
    auto entry = toc->text_channel(locale);
    if (locale >= n || !entry) return err(EditError{LocaleOutOfRange{locale, n}});
    if (entry->charset_code < 1 || entry->charset_code > 7)
        return err(EditError{Sacd{"unknown or spec-reserved Character_Set_Code " + std::to_string(entry->charset_code) +
                                  " on master locale " + std::to_string(locale)}});
    return CharSet::from_disc_code(entry->charset_code);
}

platform::Result<void, EditError> Disc::repair_master_text_all(RepairReport& report) {
    const std::uint8_t n = master_text_channel_count();
    RepairReport added;
    Disc copy = *this;  // all or nothing
    for (std::uint8_t c = 0; c < n && c < 8; ++c) {
        auto charset = derive_master_charset(copy, c);
        if (!charset) return err(std::move(charset).error());
        auto text = copy.master_text_mut(c);
        if (!text) return err(EditError{RequiredRegionMissing{"MasterText Primary cell for repair"}});
        auto slots = (*text)->repair_aliased_positions(*charset);
        if (!slots) return err(std::move(slots).error());
        if (*slots > 0) added.master_text.push_back({c, *slots});
    }
    *this = std::move(copy);
    report.master_text.insert(report.master_text.end(), added.master_text.begin(), added.master_text.end());
    return {};
}

platform::Result<void, EditError> Disc::repair_track_text_area(std::size_t area, RepairReport& report) {
    if (area >= areas.size())
        return err(EditError{AreaOutOfRange{static_cast<std::uint32_t>(area), static_cast<std::uint32_t>(areas.size())}});
    TrackText* tt = areas[area].track_text_mut();
    if (!tt) return {};
    std::vector<RepairReport::TrackTextRepair> added;
    for (std::size_t c = 0; c < tt->entries.size(); ++c)
        if (std::size_t n = tt->aliased_slot_count(c))
            added.push_back({static_cast<std::uint32_t>(area), static_cast<std::uint8_t>(c), static_cast<std::uint32_t>(n)});
    if (added.empty()) return {};
    // A repack lays every slot out on its own, which is exactly the de-aliasing wanted.
    auto repacked = tt->repack();
    if (!repacked) return err(std::move(repacked).error());
    report.track_text.insert(report.track_text.end(), added.begin(), added.end());
    return {};
}

}  // namespace sacd
