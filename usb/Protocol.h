#pragma once

#include "ConfigurationRecord.h"

#include <cstddef>
#include <cstdint>

// The programming protocol of the receiver: one-way HID output reports of a report-ID byte and
// 8 payload bytes, paced by fixed pauses. What the encoder writes, the decoder reads back and the
// tools check against.
namespace Protocol {

// Byte 0 of every report.
constexpr std::uint8_t kReportId = 0x00;

// Payload bytes of a report of the supported receiver; the fixed packings (configuration block,
// switch name blocks, product name) fill exactly this many.
constexpr int kPayloadBytes = 8;
// The smallest report buffer: the report-ID byte and the payload of the fixed packings.
constexpr std::size_t kMinReportBuffer = 1 + std::size_t(kPayloadBytes);

// The receiver gets a flash block's size Q and a remote control's flash block count F as one
// byte each (F in its block header, Q in the configuration block): a pass with more cannot mean
// anything to it.
constexpr int kMaxFlashBlockBytes = 255;
constexpr int kMaxFlashBlocks = 255;

// Payload bytes 1 and 2 of the opening and the closing report.
constexpr std::uint8_t kControlReport = 0x03;
constexpr std::uint8_t kOpen = 0x01;
constexpr std::uint8_t kClose = 0x00;

// Payload byte 1 of a block header; byte 2 is the block ID, byte 3 a remote control's block
// count.
constexpr std::uint8_t kBlockHeader = 0xA5;
constexpr std::uint8_t kConfigurationBlockId = 0x80;
constexpr std::uint8_t kMacroBlockId = 0x81;
// Remote control n (1 ... 8) has block ID n - 1: 0x00 ... 0x07.
constexpr int kRemoteControlBlockIds = ConfigurationRecord::kRemoteControls;

// Payload byte 1 of the report that precedes the product name.
constexpr std::uint8_t kNameHeader = 0x88;

// Data reports of the configuration block (128 bytes), in groups of 8 with a pause after each.
constexpr int kConfigurationReports = 16;
constexpr int kReportsPerGroup = 8;
// Data reports of a switch name block (64 bytes).
constexpr int kNameBlockReports = 8;
// The macro: 256 hex digits, 128 bytes in two groups of 8 data reports.
constexpr int kMacroDigits = 256;
constexpr int kMacroGroups = 2;
// The product name: at most 24 characters, one byte each, in 3 data reports.
constexpr int kProductNameLength = 24;
constexpr int kNameReports = kProductNameLength / kPayloadBytes;

// The pauses: before and after the opening report, and after each group of data reports.
constexpr int kOpeningPauseMs = 20;
constexpr int kGroupPauseMs = 50;

} // namespace Protocol
