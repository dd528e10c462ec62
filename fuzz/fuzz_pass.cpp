// Fuzz target: bytes -> a configuration record, a report length R and a report buffer as a
// previous pass may have left it -> one programming pass. The pass must end, every report must
// be R + 1 bytes with report ID 0, the number of reports and the sum of the pauses must be those
// worked out from the record's counts, the buffer must never shrink and must hold at least
// max(9, R + 1) bytes, and a second pass over a copy of the same buffer must give the same steps.

#include "FuzzSupport.h"
#include "PassInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzz::InputReader in(data, size);
    const fuzz::PassInput input = fuzz::readPassInput(in);

    // The ranges keep every pass below this many reports; a larger one is a failure too.
    constexpr qint64 kLimit = 1'000'000;
    FUZZ_CHECK(expectedPassSize(input.record, input.r).reports < kLimit);

    std::vector<std::uint8_t> first = input.buffer;
    std::vector<std::uint8_t> second = input.buffer;
    const fuzz::CheckingSink a = fuzz::checkPass(input.record, input.r, first, kLimit);
    const fuzz::CheckingSink b = fuzz::checkPass(input.record, input.r, second, kLimit);
    FUZZ_CHECK_EQ(a.reports, b.reports);
    FUZZ_CHECK_EQ(a.pauseMs, b.pauseMs);
    FUZZ_CHECK(a.hash == b.hash);
    FUZZ_CHECK(first == second);

    // The bytes past the report that the pass never writes keep what they held.
    const std::size_t used = std::max<std::size_t>(9, std::size_t(input.r) + 1);
    for (std::size_t i = used; i < input.buffer.size(); ++i)
        FUZZ_CHECK_EQ(first[i], input.buffer[i]);
    return 0;
}
