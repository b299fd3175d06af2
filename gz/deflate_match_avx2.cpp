// The matcher's loop compiled for AVX2, so that the 32-byte compares inline into it.
#include "portable/cpu_targets.h"

#if defined(YDR_X86_TARGETS)
#include "gz/deflate_match.h"
#include "gz/match_compare_avx2.h"

namespace ydr::gz {

template <class Position>
template <class Watch>
YDR_AVX2_TARGET void DeflateWriter<Position>::MatchWith32ByteCompares(bool input_ended, Watch *watch) {
  Match<match::VectorSearch<match::Compare32>>(input_ended, watch);
}

template void DeflateWriter<std::uint16_t>::MatchWith32ByteCompares(bool, NoWatch *);
template void DeflateWriter<std::uint16_t>::MatchWith32ByteCompares(bool, ParseWatch *);
template void DeflateWriter<std::uint32_t>::MatchWith32ByteCompares(bool, NoWatch *);
template void DeflateWriter<std::uint32_t>::MatchWith32ByteCompares(bool, ParseWatch *);

}  // namespace ydr::gz
#endif
