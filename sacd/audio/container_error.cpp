#include "sacd/audio/container_error.h"

#include "sacd/audio/container_messages.h"

namespace sacd::audio {

namespace {

using i18n::trf;

struct MessageOf {
    std::string operator()(const container_errors::BadChannelCount& e) const {
        return trf(msg::kBadChannelCount, {{"n", e.channels}});
    }
    std::string operator()(const container_errors::FrameLengthMismatch& e) const {
        return trf(msg::kFrameLengthMismatch, {{"i", e.frame}, {"expected", e.expected}, {"got", e.got}});
    }
    std::string operator()(const container_errors::ChannelCountMismatch& e) const {
        return trf(msg::kChannelCountMismatch, {{"i", e.frame}, {"expected", e.expected}, {"got", e.got}});
    }
    std::string operator()(const container_errors::DsfBlockCount& e) const {
        return trf(msg::kDsfBlockCount, {{"emitted", e.emitted}, {"expected", e.expected}});
    }
    std::string operator()(const container_errors::SourceEndedEarly& e) const {
        return trf(msg::kSourceEndedEarly, {{"expected", e.expected}, {"got", e.got}});
    }
    std::string operator()(const container_errors::TooManyFrames& e) const {
        return trf(msg::kTooManyFrames, {{"n", e.frames}});
    }
    std::string operator()(const container_errors::MarkerModel& e) const {
        return trf(msg::kMarkerModel, {{"error", e.error}});
    }
    std::string operator()(const container_errors::Io& e) const {
        return trf(msg::kContainerIo, {{"error", e.error}});
    }
};

}  // namespace

std::string ContainerError::message() const { return std::visit(MessageOf{}, value); }

}  // namespace sacd::audio
