#include "sacd/region.h"
#include "platform/overloaded.h"

namespace sacd {

std::string_view range_kind_label(RangeKind kind) {
    switch (kind) {
        case RangeKind::PreMaster: return "pre-master";
        case RangeKind::MasterToc: return "master TOC";
        case RangeKind::MasterText: return "master text";
        case RangeKind::MasterTextReserved: return "master text reserved";
        case RangeKind::Manufacturer: return "SACD_Man";
        case RangeKind::MasterTocMirror: return "master TOC mirror";
        case RangeKind::AreaToc: return "area TOC";
        case RangeKind::Trl1: return "SACDTRL1";
        case RangeKind::Trl2: return "SACDTRL2";
        case RangeKind::Igl: return "SACD_IGL";
        case RangeKind::AccessList: return "SACD_ACC";
        case RangeKind::TrackText: return "SACDTTxt";
        case RangeKind::AreaTocList: return "area TOC list";
        case RangeKind::AreaTocPadding: return "area TOC padding";
        case RangeKind::Audio: return "audio";
        case RangeKind::Tail: return "tail";
        case RangeKind::WholeFile: return "whole file";
    }
    return "?";
}

std::uint64_t Region::size() const {
    return std::visit(platform::Overloaded{
                          [](const regions::Untyped& r) -> std::uint64_t { return r.length; },
                          [](const regions::IglRecord&) -> std::uint64_t { return 2 * kSectorSize; },
                          [](const regions::TrackTextRecord& r) -> std::uint64_t { return r.record.block_len; },
                          [](const regions::OwnedBytes& r) -> std::uint64_t { return r.bytes.size(); },
                          [](const regions::StreamedTail& r) -> std::uint64_t { return r.window.size() + r.length; },
                          [](const auto&) -> std::uint64_t { return kSectorSize; },
                      },
                      value);
}

std::string_view Region::kind_label() const {
    return std::visit(platform::Overloaded{
                          [](const regions::Untyped& r) { return range_kind_label(r.kind); },
                          [](const regions::MasterTocRecord&) { return std::string_view("master TOC (typed)"); },
                          [](const regions::MasterTextRecord&) { return std::string_view("master text (typed)"); },
                          [](const regions::AreaTocRecord&) { return std::string_view("area TOC (typed)"); },
                          [](const regions::Trl1Record&) { return std::string_view("SACDTRL1 (typed)"); },
                          [](const regions::Trl2Record&) { return std::string_view("SACDTRL2 (typed)"); },
                          [](const regions::IglRecord&) { return std::string_view("SACD_IGL (typed)"); },
                          [](const regions::TrackTextRecord&) { return std::string_view("SACDTTxt (typed)"); },
                          [](const regions::OwnedBytes& r) { return range_kind_label(r.kind); },
                          [](const regions::StreamedTail&) { return std::string_view("tail"); },
                      },
                      value);
}

std::optional<RangeKind> Region::range_kind() const {
    if (auto* u = as<regions::Untyped>()) return u->kind;
    if (auto* o = as<regions::OwnedBytes>()) return o->kind;
    return std::nullopt;
}

}  // namespace sacd
