#pragma once

#include "ConfigurationRecord.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// The report sequence of one programming pass, as a pure function of the record, the report
// length and the report buffer. The steps are handed to a sink in order; the sink does the
// writing and pausing (the programming thread) or records them (tests, rcprog-cli dump).

// The groups of reports a pass is made of, in the order they may come.
enum class PassSection {
    Opening, // opening report
    Configuration, // header 0x80 and the 16 reports of the configuration block
    FlashData, // header of remote control `id` and `count` flash blocks
    SwitchNameBlock, // header of remote control `id` and its switch name block
    Macro, // header 0x81 and the 16 reports of the macro block
    ProductName, // name header and the 3 name reports
    Closing, // closing report
};

class PassSink
{
public:
    virtual ~PassSink() = default;
    // A section of the pass begins (`id`: block ID; `count`: flash blocks). Default: ignored.
    virtual void section(PassSection section, int id, qint64 count)
    {
        (void)section;
        (void)id;
        (void)count;
    }
    // One report: the first R + 1 bytes of the report buffer. Returns false to stop the pass.
    virtual bool report(const std::uint8_t *bytes, std::size_t length) = 0;
    // A pause of `ms` milliseconds. Returns false to stop the pass.
    virtual bool pause(int ms) = 0;
};

struct PassOutcome
{
    bool finished = false; // every step was handed to the sink
    bool nameSent = false; // the product name was part of the pass
    QString sentName; // the product name as sent (at most 24 characters)
};

// How the block of remote control n (1 ... 8) goes out: its flash data in `blocks` flash blocks
// of Q bytes (`bytes` = blocks x Q, the text read as if padded with "0" to 2 x bytes digits),
// or else its switch name block. Flash data goes when there is some and it fits into rcNNmaxSize
// flash blocks; a Q or rcNNmaxSize of 0 or less never sends flash data.
struct FlashPlan
{
    bool flash = false;
    qint64 bytes = 0;
    qint64 blocks = 0;
};
FlashPlan flashPlan(const ConfigurationRecord &record, int n);

// Why a pass of the record cannot be sent: it would send flash blocks of more than 255 bytes,
// or more than 255 flash blocks for one remote control. The receiver gets only the low 8 bits of
// both, so such a pass cannot mean anything to it, and it could run for hours.
struct PassRefusal
{
    QString key; // the configuration key at fault (quantityOfBytesInFlashBlock or rcNNflashData)
    QString reason; // the key, its value and why, e.g. "quantityOfBytesInFlashBlock=300: ..."
};
// Nothing when every pass of the record can be sent. The programming thread, the window and
// rcprog-cli all ask this before a pass.
std::optional<PassRefusal> passRefusal(const ConfigurationRecord &record);
// What a refused configuration says: "configuration cannot be sent: " and the reason.
QString refusalText(const PassRefusal &refusal);

// Report-ID byte plus at least the 8 payload bytes that the fixed-layout packings fill.
std::size_t reportBufferSize(int reportDataLength);

// How many remote controls a pass programs: quantityOfRemoteControls, at most the record's
// eight (0 or less: none).
int programmedRemoteControls(const ConfigurationRecord &record);

// The number of reports in one pass of `record` for a receiver with `reportDataLength` (R >= 1)
// payload bytes per report; 0 for R below 1.
qint64 passReportCount(const ConfigurationRecord &record, int reportDataLength);

// Runs the steps of one pass for a receiver with `reportDataLength` (R >= 1) payload bytes per
// report. `buffer` is the report buffer as the previous pass left it (all zeros before the
// first); it is grown to reportBufferSize(R) with zeros if needed, and left as the pass leaves
// it. No byte outside the buffer is read or written, and nothing the pass allocates grows with
// Q or the padding of flash data. It sends any record, also one that passRefusal() refuses.
PassOutcome runProgrammingPass(const ConfigurationRecord &record, int reportDataLength,
                               std::vector<std::uint8_t> &buffer, PassSink &sink);

struct PassStep
{
    enum class Kind { Write, Pause };
    Kind kind = Kind::Write;
    std::vector<std::uint8_t> bytes; // Write: the report
    int ms = 0; // Pause: milliseconds

    bool operator==(const PassStep &other) const
    {
        return kind == other.kind && bytes == other.bytes && ms == other.ms;
    }
};

// The steps of one pass, collected (for records whose passes are of a sensible size).
std::vector<PassStep> collectPassSteps(const ConfigurationRecord &record, int reportDataLength,
                                       std::vector<std::uint8_t> &buffer,
                                       PassOutcome *outcome = nullptr);
