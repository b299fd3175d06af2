// What a step of the decoder ended with. The first three let decoding go on; every other
// value is one form of corrupt data, so that a damaged stream says exactly why it failed.
#pragma once

#include <cstdint>

namespace ydr::gz {

enum class [[nodiscard]] InflateStatus : std::uint8_t{
    kDone,                  // the step (a block, a header, a run of symbols) is complete
    kWindowFull,            // the window filled: it is handed out and decoding resumes here
    kNeedsInput,            // the source ended inside the compressed data
    kBadBlockType,          // block type 3
    kStoredLengthMismatch,  // a stored block's NLEN is not the complement of its LEN
    kTooManyCodes,          // more than 286 literal/length codes or 30 distance codes
    kBadBitLengthCode,      // the code-length code is over-subscribed, incomplete or empty
    kRepeatPastEnd,         // a code-length repeat runs past the last length
    kBadLiteralLengthCode,  // the literal/length code is over-subscribed or incomplete
    kBadDistanceCode,       // the distance code is over-subscribed or incomplete
    kNoCode,                // a symbol of a code that has no lengths at all
    kInvalidSymbol,         // a code the format leaves unused (lengths 286, 287; distances 30, 31)
    kNoMemory,              // the fixed code's tables could not be made
};

// Whether decoding can go on after a step that ended so.
inline bool Continues(InflateStatus status) {
  return status == InflateStatus::kDone || status == InflateStatus::kWindowFull;
}

}  // namespace ydr::gz
