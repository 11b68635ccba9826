// The image-model error and its rendering for users.
#pragma once

#include <string>
#include <variant>

#include "platform/io_error.h"

namespace sacd {

// Failures of the backup step that users see as fixed sentences.
enum class LocalizedKind {
    BackupRangeTooLarge,
    IsoChangedDuringBackup,
    BackupManifestBuildFailed,  // carries a detail text
    BackupCopyIncomplete,
    TooManyBackupsOneTimestamp,
};

struct SacdError {
    struct Io {
        platform::IoError error;
    };
    struct Malformed {
        std::string text;
    };
    struct Localized {
        LocalizedKind kind;
        std::string detail;  // BackupManifestBuildFailed only
    };
    std::variant<Io, Malformed, Localized> value;

    static SacdError io(platform::IoError e) { return SacdError{Io{std::move(e)}}; }
    static SacdError malformed(std::string text) { return SacdError{Malformed{std::move(text)}}; }
    static SacdError localized(LocalizedKind kind, std::string detail = {}) {
        return SacdError{Localized{kind, std::move(detail)}};
    }

    const std::string* malformed_text() const {
        auto* m = std::get_if<Malformed>(&value);
        return m ? &m->text : nullptr;
    }

    // Developer-facing form, English only (the kind's name for Localized errors).
    std::string display() const;
};

// The sentence shown to users, in the selected language.
std::string render_error(const SacdError& error);

}  // namespace sacd
