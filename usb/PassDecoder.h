#pragma once

#include <QString>

#include <cstdint>
#include <vector>

// Reads back what a receiver got: splits the reports it received into programming passes and
// their blocks, for people (rcprog-sim prints it) and for tests. The reports of a group arrive
// back to back and groups are separated by pauses, so a gap of at least `gapMs` between two
// reports ends a group; that is how the blocks of a remote control are told apart.

struct ReceivedReport
{
    std::vector<std::uint8_t> bytes; // report-ID byte first
    double ms = 0; // arrival time
};

struct DecodedBlock
{
    enum class Kind { Configuration, RemoteControl, Macro, Name };
    Kind kind = Kind::Configuration;
    int id = 0; // block ID (0x00 ... 0x07, 0x80, 0x81); 0x88 for the name
    int count = 0; // byte 3 of a remote-control header: block count (1 also for a name block)
    int reports = 0; // data reports that followed the header
    std::vector<std::uint8_t> payload; // the payload bytes of those data reports, in order
};

struct DecodedPass
{
    std::vector<DecodedBlock> blocks;
    std::vector<double> pausesMs; // the gaps observed between groups, in order
    int reports = 0; // all reports of the pass
    bool closed = false; // the closing report arrived
    QString productName; // the name sent, when the pass had one
};

std::vector<DecodedPass> decodePasses(const std::vector<ReceivedReport> &reports,
                                      double gapMs = 25.0);

// A few lines of text describing a pass.
QString describePass(const DecodedPass &pass);
