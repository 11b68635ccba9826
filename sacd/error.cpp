#include "sacd/error.h"

#include "sacd/messages.h"

namespace sacd {

namespace {

const char* kind_name(LocalizedKind kind) {
    switch (kind) {
        case LocalizedKind::BackupRangeTooLarge: return "BackupRangeTooLarge";
        case LocalizedKind::IsoChangedDuringBackup: return "IsoChangedDuringBackup";
        case LocalizedKind::BackupManifestBuildFailed: return "BackupManifestBuildFailed";
        case LocalizedKind::BackupCopyIncomplete: return "BackupCopyIncomplete";
        case LocalizedKind::TooManyBackupsOneTimestamp: return "TooManyBackupsOneTimestamp";
    }
    return "?";
}

const i18n::Message& localized_message(LocalizedKind kind) {
    switch (kind) {
        case LocalizedKind::BackupRangeTooLarge: return msg::kBackupRangeTooLarge;
        case LocalizedKind::IsoChangedDuringBackup: return msg::kIsoChangedDuringBackup;
        case LocalizedKind::BackupManifestBuildFailed: return msg::kBackupManifestBuildFailed;
        case LocalizedKind::BackupCopyIncomplete: return msg::kBackupCopyIncomplete;
        case LocalizedKind::TooManyBackupsOneTimestamp: return msg::kTooManyBackupsOneTimestamp;
    }
    return msg::kBackupCopyIncomplete;
}

std::string render_io(const platform::IoError& e, bool english_only) {
    auto pick = [&](const i18n::Message& m) { return std::string(english_only ? m.en : i18n::tr(m)); };
    switch (e.kind) {
        case platform::IoError::Kind::NotFound: return pick(msg::kIoNotFound);
        case platform::IoError::Kind::PermissionDenied: return pick(msg::kIoPermissionDenied);
        default: return i18n::format(pick(msg::kIoOther), {{"error", e.text}});
    }
}

}  // namespace

std::string SacdError::display() const {
    if (auto* io = std::get_if<Io>(&value)) return render_io(io->error, true);
    if (auto* m = std::get_if<Malformed>(&value)) return m->text;
    const auto& l = std::get<Localized>(value);
    std::string s = kind_name(l.kind);
    if (l.kind == LocalizedKind::BackupManifestBuildFailed) s += " { detail: " + l.detail + " }";
    return s;
}

std::string render_error(const SacdError& error) {
    if (auto* io = std::get_if<SacdError::Io>(&error.value)) return render_io(io->error, false);
    if (auto* m = std::get_if<SacdError::Malformed>(&error.value)) return m->text;
    const auto& l = std::get<SacdError::Localized>(error.value);
    return i18n::trf(localized_message(l.kind), {{"detail", l.detail}});
}

}  // namespace sacd
