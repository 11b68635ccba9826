// Readable failure output for the online records.
#pragma once

#include <ostream>

#include "online/model.h"

namespace online::model {

inline void PrintTo(const PerformerCredit& c, std::ostream* os) {
    *os << c.name << (c.instrument ? " (" + *c.instrument + ")" : "");
}

inline void PrintTo(const ReleaseTrack& t, std::ostream* os) {
    *os << "{title '" << t.title << "', performer '" << t.performer << "' [";
    for (const auto& c : t.performer_credits) {
        PrintTo(c, os);
        *os << "; ";
    }
    *os << "], songwriter '" << t.songwriter << "', composer '" << t.composer << "', arranger '" << t.arranger
        << "'}";
}

inline void PrintTo(const ReleaseDisc& d, std::ostream* os) {
    *os << "disc " << d.number << ":";
    for (const auto& t : d.tracks) {
        *os << "\n  ";
        PrintTo(t, os);
    }
}

}  // namespace online::model
