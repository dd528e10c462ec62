#pragma once

// Shared by the fuzz targets: an invariant check that aborts (so the same target bodies run
// under libFuzzer and in the g++ replay test), a small reader that turns fuzzer bytes into
// values, its mirror image for writing seed inputs, and a pass sink that checks every step.

#include "PassFormula.h"
#include "ProgrammingPass.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#define FUZZ_CHECK(condition) \
    do { \
        if (!(condition)) { \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort(); \
        } \
    } while (0)

#define FUZZ_CHECK_EQ(actual, expected) \
    do { \
        const long long fuzzActual_ = (long long)(actual); \
        const long long fuzzExpected_ = (long long)(expected); \
        if (fuzzActual_ != fuzzExpected_) { \
            std::fprintf(stderr, "%s:%d: check failed: %s == %s (%lld != %lld)\n", __FILE__, \
                         __LINE__, #actual, #expected, fuzzActual_, fuzzExpected_); \
            std::abort(); \
        } \
    } while (0)

namespace fuzz {

// Reads values from the front of the fuzzer's bytes. Past the end every byte reads as 0, so any
// input decodes to something. Integers are little-endian and taken modulo the size of the range,
// so a value v in [lo, hi] is written as v - lo (InputWriter).
class InputReader
{
public:
    InputReader(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) { }

    bool exhausted() const { return pos_ >= size_; }

    std::uint64_t raw(int bytes)
    {
        std::uint64_t v = 0;
        for (int i = 0; i < bytes; ++i) {
            const std::uint64_t b = pos_ < size_ ? data_[pos_] : 0;
            if (pos_ < size_)
                ++pos_;
            v |= b << (8 * i);
        }
        return v;
    }

    // A value in [lo, hi], with hi - lo < 2^32.
    qint64 inRange(qint64 lo, qint64 hi)
    {
        const std::uint64_t span = std::uint64_t(hi - lo);
        return lo + qint64(raw(widthOf(span)) % (span + 1));
    }

    // Up to maxLength UTF-16 units; the text ends early when the input does. A byte below 0xFF
    // is the unit of that value (ASCII and Latin-1); 0xFF is followed by any unit, low byte first.
    QString text(int maxLength)
    {
        const int length = int(inRange(0, maxLength));
        QString s;
        s.reserve(length);
        for (int i = 0; i < length && !exhausted(); ++i) {
            const auto b = std::uint8_t(raw(1));
            s += QChar(b < 0xFF ? char16_t(b) : char16_t(raw(2)));
        }
        return s;
    }

    static int widthOf(std::uint64_t span)
    {
        return span < 0x100 ? 1 : span < 0x10000 ? 2 : span < 0x100000000ULL ? 4 : 8;
    }

private:
    const std::uint8_t *data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// Writes values so that InputReader reads them back: for seed inputs.
class InputWriter
{
public:
    void raw(std::uint64_t v, int bytes)
    {
        for (int i = 0; i < bytes; ++i)
            bytes_.push_back(std::uint8_t(v >> (8 * i)));
    }
    // v must lie in [lo, hi].
    void inRange(qint64 v, qint64 lo, qint64 hi)
    {
        raw(std::uint64_t(v - lo), InputReader::widthOf(std::uint64_t(hi - lo)));
    }
    // s must be at most maxLength units long.
    void text(const QString &s, int maxLength)
    {
        inRange(s.size(), 0, maxLength);
        for (QChar c : s) {
            if (c.unicode() < 0xFF) {
                raw(c.unicode(), 1);
            } else {
                raw(0xFF, 1);
                raw(c.unicode(), 2);
            }
        }
    }
    const std::vector<std::uint8_t> &bytes() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

// Checks every step of a pass as it comes: each report is R + 1 bytes with report ID 0, each
// pause is one of the pass's two lengths. Counts reports and pauses and hashes every step, so
// two passes can be compared without keeping their steps. Stops the pass after `limit` reports.
class CheckingSink : public PassSink
{
public:
    CheckingSink(int r, qint64 limit) : r_(r), limit_(limit) { }

    bool report(const std::uint8_t *bytes, std::size_t length) override
    {
        FUZZ_CHECK_EQ(length, std::size_t(r_) + 1);
        FUZZ_CHECK_EQ(bytes[0], 0);
        if (reports == 0) {
            first.assign(bytes, bytes + length);
        }
        last.assign(bytes, bytes + length);
        mix('W');
        for (std::size_t i = 0; i < length; ++i)
            mix(bytes[i]);
        ++reports;
        return reports < limit_;
    }

    bool pause(int ms) override
    {
        FUZZ_CHECK(ms == 20 || ms == 50);
        mix('P');
        mix(std::uint8_t(ms));
        pauseMs += ms;
        return true;
    }

    qint64 reports = 0;
    qint64 pauseMs = 0;
    std::uint64_t hash = 1469598103934665603ULL; // FNV-1a over every step
    std::vector<std::uint8_t> first;
    std::vector<std::uint8_t> last;

private:
    void mix(std::uint8_t b)
    {
        hash ^= b;
        hash *= 1099511628211ULL;
    }

    int r_;
    qint64 limit_;
};

// Runs one pass over `record` with the buffer `buffer` and checks what every pass must satisfy:
// it ends, every report is well formed, and its size is the one worked out from the counts.
// Passes larger than `limit` reports are stopped there, which must stop them at once.
inline CheckingSink checkPass(const ConfigurationRecord &record, int r,
                              std::vector<std::uint8_t> &buffer, qint64 limit)
{
    const std::size_t sizeBefore = buffer.size();
    const PassSize expected = expectedPassSize(record, r);
    CheckingSink sink(r, limit);
    const PassOutcome outcome = runProgrammingPass(record, r, buffer, sink);

    FUZZ_CHECK(buffer.size() >= sizeBefore);
    FUZZ_CHECK(buffer.size() >= 9 && buffer.size() >= std::size_t(r) + 1);
    if (expected.reports >= limit) {
        // The sink said stop at report `limit`: nothing more may come.
        FUZZ_CHECK(!outcome.finished);
        FUZZ_CHECK_EQ(sink.reports, limit);
        return sink;
    }
    FUZZ_CHECK(outcome.finished);
    FUZZ_CHECK_EQ(sink.reports, expected.reports);
    FUZZ_CHECK_EQ(sink.pauseMs, expected.pauseMs);
    // Opening report first, closing report last (byte 2 goes out only when R >= 2).
    FUZZ_CHECK_EQ(sink.first[1], 0x03);
    FUZZ_CHECK_EQ(sink.last[1], 0x03);
    if (r >= 2) {
        FUZZ_CHECK_EQ(sink.first[2], 0x01);
        FUZZ_CHECK_EQ(sink.last[2], 0x00);
    }
    FUZZ_CHECK(outcome.nameSent == (record.canChangeProductName == 1));
    if (outcome.nameSent)
        FUZZ_CHECK(outcome.sentName == record.newNameOfDevice.left(24));
    return sink;
}

} // namespace fuzz
