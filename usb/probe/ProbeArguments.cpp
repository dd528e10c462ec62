#include "ProbeArguments.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace rcprog::probe {

bool parseIdPair(const std::string &text, int &vendorId, int &productId)
{
    unsigned vendor = 0, product = 0;
    char rest = 0;
    if (std::sscanf(text.c_str(), "%x:%x%c", &vendor, &product, &rest) != 2 || vendor > 0xFFFF
        || product > 0xFFFF)
        return false;
    vendorId = int(vendor);
    productId = int(product);
    return true;
}

bool parseHexBytes(const std::string &text, std::vector<std::uint8_t> &bytes)
{
    if (text.empty() || text.size() % 2 != 0)
        return false;
    bytes.clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        unsigned value = 0;
        char rest = 0;
        const std::string pair = text.substr(i, 2);
        if (std::strspn(pair.c_str(), "0123456789abcdefABCDEF") != 2
            || std::sscanf(pair.c_str(), "%2x%c", &value, &rest) != 1)
            return false;
        bytes.push_back(std::uint8_t(value));
    }
    return true;
}

bool parseId(const char *text, int &id)
{
    if (!text)
        return false;
    errno = 0;
    char *end = nullptr;
    const long value = std::strtol(text, &end, 0);
    if (errno != 0 || end == text || *end != '\0' || value < 0 || value > 0xFFFF)
        return false;
    id = int(value);
    return true;
}

} // namespace rcprog::probe
