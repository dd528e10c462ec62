#include "ProbeOutput.h"

#include <cstdio>

namespace rcprog::probe {

namespace {

// Four upper-case hexadecimal digits.
std::string hex4(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof(text), "%04X", value & 0xFFFFu);
    return text;
}

const char *yesNo(bool value)
{
    return value ? "yes" : "no";
}

std::string countText(const std::optional<unsigned long> &count, const char *unread)
{
    return count ? std::to_string(*count) : std::string(unread);
}

} // namespace

LineSink standardOutput()
{
    return [](const std::string &line) {
        std::fputs(line.c_str(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    };
}

const char *openErrorName(OpenError error)
{
    switch (error) {
    case OpenError::None:
        return "none";
    case OpenError::AccessDenied:
        return "access-denied";
    case OpenError::SystemDevice:
        return "system-device";
    case OpenError::Other:
        return "other";
    }
    return "unknown";
}

std::string quoted(const std::string &text)
{
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && c != '"') {
            out.push_back(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\x%02X", unsigned(byte));
            out += escaped;
        }
    }
    out.push_back('"');
    return out;
}

std::string handlesLine(const std::string &when, const HandleCount &count)
{
    return "handles " + when + ": process-count=" + countText(count.process, "unreadable")
           + " table-count=" + countText(count.table, "unreadable");
}

std::string verdictLine(const std::string &subject, bool ok, const std::string &detail)
{
    return subject + ": " + (ok ? "ok" : "FAILED") + (detail.empty() ? "" : " - " + detail);
}

// ---- rcprog-hidprobe ---------------------------------------------------------------------------

HidprobeOutput::HidprobeOutput(const ProbePlan &plan, LineSink sink, HandleCounter count)
    : plan_(plan), sink_(std::move(sink)), count_(std::move(count))
{ }

void HidprobeOutput::examined(const InterfaceSeen &) { }

void HidprobeOutput::at(Moment moment)
{
    switch (moment) {
    case Moment::Before:
        sink_("search: " + hex4(unsigned(plan_.vendorId)) + ":" + hex4(unsigned(plan_.productId))
              + (plan_.connect ? " (search pass with connect steps)" : " (search pass)"));
        before_ = count_();
        sink_(handlesLine("before", before_));
        break;
    case Moment::AfterSearch:
        break;
    case Moment::WhileOpen:
        if (matched_)
            sink_(handlesLine("while open", count_()));
        break;
    case Moment::End: {
        const HandleCount after = count_();
        sink_(handlesLine("after", after));
        std::string detail;
        balanced_ = handlesBalanced(before_, after, detail);
        sink_(verdictLine("handle check", balanced_, detail));
        break;
    }
    }
}

void HidprobeOutput::passLines(const SearchResult &result, const std::vector<InterfaceSeen> &seen)
{
    for (const InterfaceSeen &entry : seen) {
        std::string line = "interface:";
        if (entry.opened)
            line += " open=ok";
        else
            line += std::string(" open=failed(") + openErrorName(entry.openError) + ")";
        if (entry.idsRead || entry.idsPeeked)
            line += " vid=" + hex4(entry.vendorId) + " pid=" + hex4(entry.productId);
        else
            line += " vid=unreadable pid=unreadable";
        if (entry.lengthRead)
            line += " input-report-length=" + std::to_string(entry.inputReportLength);
        else if (entry.opened)
            line += " input-report-length=unreadable";
        if (entry.nameRead)
            line += " product=" + quoted(entry.productName);
        else if (entry.opened)
            line += " product=unreadable";
        line += std::string(" match=") + yesNo(entry.matches(plan_.vendorId, plan_.productId))
                + " path=" + quoted(entry.path);
        sink_(line);
    }
    sink_("interfaces examined: " + std::to_string(seen.size()));
    sink_(std::string("result: ") + (result.matched ? "matched" : "no match")
          + (result.accessDenied ? " (a matching interface refused access)" : ""));
}

void HidprobeOutput::searched(const SearchResult &result, const std::vector<InterfaceSeen> &seen)
{
    passLines(result, seen);
}

void HidprobeOutput::connected(const SearchResult &result, const OpenedDevice &device,
                               const std::vector<InterfaceSeen> &seen)
{
    passLines(result, seen);
    matched_ = result.matched;
    if (result.matched) {
        sink_("opened: report-data-length=" + std::to_string(device.reportDataLength)
              + " product=" + quoted(device.productName));
    } else if (plan_.writes > 0) {
        sink_("write: nothing written, no matching device");
        failed_ = true;
    }
}

void HidprobeOutput::wrote(const WriteAttempt &attempt)
{
    if (attempt.refused) {
        sink_("write: refused, " + std::to_string(attempt.given) + " bytes given for reports of "
              + std::to_string(attempt.reportLength) + " bytes");
    } else {
        sink_("write: " + std::to_string(attempt.reportLength) + " bytes "
              + (attempt.ok ? "ok" : "failed") + " after " + std::to_string(attempt.milliseconds)
              + " ms");
    }
    if (attempt.refused || !attempt.ok)
        failed_ = true;
}

// ---- rcprog-hidraw-probe -----------------------------------------------------------------------

ProbePlan HidrawProbeOutput::plan(int writes)
{
    ProbePlan plan;
    plan.examineEach = true;
    plan.search = true;
    plan.connect = true;
    plan.report = {0x00, 0x03, 0x01};
    plan.cutLongReport = true;
    plan.writes = writes;
    plan.pauseAfterWrite = std::chrono::milliseconds(50);
    return plan;
}

HidrawProbeOutput::HidrawProbeOutput(const ProbePlan &plan, LineSink sink, HandleCounter count)
    : plan_(plan), sink_(std::move(sink)), count_(std::move(count))
{ }

void HidrawProbeOutput::examined(const InterfaceSeen &interface)
{
    if (!interface.opened) {
        sink_("interface path=" + interface.path + " open=failed");
        return;
    }
    sink_("interface path=" + interface.path + " vendor=" + hex4(interface.vendorId)
          + " product=" + hex4(interface.productId) + " inputReportLength="
          + std::to_string(interface.lengthRead ? interface.inputReportLength : -1) + " name=\""
          + interface.productName
          + "\" matched=" + yesNo(interface.matches(plan_.vendorId, plan_.productId)));
}

void HidrawProbeOutput::at(Moment moment)
{
    const char *name = "before";
    switch (moment) {
    case Moment::Before:
        break;
    case Moment::AfterSearch:
        name = "afterSearch";
        break;
    case Moment::WhileOpen:
        name = "whileOpen";
        break;
    case Moment::End:
        name = "afterClose";
        break;
    }
    sink_(std::string("fds ") + name + "=" + countText(count_().process, "-1"));
}

void HidrawProbeOutput::searched(const SearchResult &result, const std::vector<InterfaceSeen> &)
{
    sink_(std::string("search matched=") + yesNo(result.matched)
          + " accessDenied=" + yesNo(result.accessDenied));
}

void HidrawProbeOutput::connected(const SearchResult &result, const OpenedDevice &device,
                                  const std::vector<InterfaceSeen> &)
{
    sink_(std::string("open matched=") + yesNo(result.matched) + " reportDataLength="
          + std::to_string(result.matched ? device.reportDataLength : -1) + " name=\""
          + device.productName + "\" infoHandle=" + yesNo(device.infoHandle != kNullHandle)
          + " writeHandle=" + yesNo(device.writeHandle != kNullHandle));
}

void HidrawProbeOutput::wrote(const WriteAttempt &attempt)
{
    sink_("write n=" + std::to_string(attempt.number) + " ok=" + yesNo(attempt.ok));
}

} // namespace rcprog::probe
