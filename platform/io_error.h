#pragma once

#include <string>

namespace platform {

// An operating-system failure, classified so that callers can phrase "not found" and
// "permission denied" for users without parsing the system's text.
struct IoError {
    enum class Kind { NotFound, PermissionDenied, AlreadyExists, BrokenPipe, Other };
    Kind kind = Kind::Other;
    int code = 0;      // the system's error number, 0 when the failure is not from the system
    std::string text;  // the system's own wording

    static IoError from_errno(int errnum);
    static IoError custom(std::string text) { return IoError{Kind::Other, 0, std::move(text)}; }
};

}  // namespace platform
