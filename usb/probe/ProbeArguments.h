#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rcprog::probe {

// "VVVV:PPPP", both hexadecimal and at most FFFF (rcprog-hidprobe --ids).
bool parseIdPair(const std::string &text, int &vendorId, int &productId);
// An even number of hexadecimal digits, at least two, as bytes (rcprog-hidprobe --write).
bool parseHexBytes(const std::string &text, std::vector<std::uint8_t> &bytes);
// One ID from 0 to 0xFFFF in C notation: decimal, 0x hexadecimal or 0 octal
// (rcprog-hidraw-probe --vendor, --product).
bool parseId(const char *text, int &id);

} // namespace rcprog::probe
