#include "WinHid.h"

#include "SystemCollections.h"

#include "WindowsApi.h"

#include <setupapi.h>

// The HID headers of the Windows SDK and MinGW-w64 declare C functions without C++ guards.
extern "C" {
#include <hidsdi.h>
}

#include <cstdlib>
#include <cstring>
#include <memory>

namespace rcprog {

namespace {

// How long a cancelled write is given to finish before its request is abandoned.
constexpr DWORD kCancelGraceMs = 1000;

HANDLE toWin(HidHandle handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

HidHandle fromWin(HANDLE handle)
{
    return reinterpret_cast<HidHandle>(handle);
}

std::string toUtf8(const wchar_t *text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return {};
    std::string result(std::size_t(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &result[0], size, nullptr, nullptr);
    result.resize(std::size_t(size) - 1); // drop the terminating NUL
    return result;
}

// Empty on failure (including text that is not valid UTF-8): no device path is empty.
std::wstring toUtf16(const std::string &text)
{
    if (text.empty())
        return {};
    const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                         int(text.size()), nullptr, 0);
    if (size <= 0)
        return {};
    std::wstring result(std::size_t(size), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), int(text.size()), &result[0],
                        size);
    return result;
}

HANDLE openPath(const std::string &path, DWORD access, DWORD flags, OpenError *error)
{
    if (error)
        *error = OpenError::None;
    const std::wstring widePath = toUtf16(path);
    if (widePath.empty()) {
        if (error)
            *error = OpenError::Other;
        return INVALID_HANDLE_VALUE;
    }
    const HANDLE handle = CreateFileW(widePath.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE && error)
        *error = GetLastError() == ERROR_ACCESS_DENIED ? OpenError::AccessDenied : OpenError::Other;
    return handle;
}

// The capabilities of the top-level collection behind a handle (any access will do).
bool capsOf(HANDLE handle, HIDP_CAPS &caps)
{
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (!HidD_GetPreparsedData(handle, &preparsed))
        return false;
    const NTSTATUS status = HidP_GetCaps(preparsed, &caps);
    // Only the capabilities are needed; the preparsed data is not kept past this call.
    HidD_FreePreparsedData(preparsed);
    return status == HIDP_STATUS_SUCCESS;
}

// Runs `read` on a handle opened without read or write access, which Windows grants even for
// interfaces that refuse to be opened for reading and writing; false when none can be opened.
template<typename Read>
bool throughHandleWithoutAccess(const std::string &path, Read read)
{
    const HANDLE handle = openPath(path, 0, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = read(fromWin(handle));
    CloseHandle(handle);
    return ok;
}

// Destroys the device information set when the listing ends, however it ends.
struct InfoSetGuard
{
    HDEVINFO set;
    ~InfoSetGuard() { SetupDiDestroyDeviceInfoList(set); }
};

struct FreeDeleter
{
    void operator()(void *memory) const { std::free(memory); }
};

// One report write in flight. The system may use the OVERLAPPED record, the event and the
// bytes until the request has finished, so they live together on the heap.
struct PendingWrite
{
    OVERLAPPED overlapped{};
    std::unique_ptr<std::uint8_t[]> bytes;

    ~PendingWrite()
    {
        if (overlapped.hEvent)
            CloseHandle(overlapped.hEvent);
    }
};

} // namespace

WinHid::WinHid(unsigned long writeTimeoutMs) : writeTimeoutMs_(writeTimeoutMs) { }

std::vector<std::string> WinHid::listInterfaces()
{
    std::vector<std::string> paths;

    GUID hidGuid;
    HidD_GetHidGuid(&hidGuid);
    const HDEVINFO infoSet = SetupDiGetClassDevsW(&hidGuid, nullptr, nullptr,
                                                  DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (infoSet == INVALID_HANDLE_VALUE)
        return paths;
    const InfoSetGuard guard{infoSet};

    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA interfaceData{};
        interfaceData.cbSize = sizeof(interfaceData);
        if (!SetupDiEnumDeviceInterfaces(infoSet, nullptr, &hidGuid, index, &interfaceData))
            break;

        // The size query fails by design (no buffer); only the size it reports counts.
        DWORD requiredSize = 0;
        SetupDiGetDeviceInterfaceDetailW(infoSet, &interfaceData, nullptr, 0, &requiredSize,
                                         nullptr);
        if (requiredSize < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))
            continue;
        const std::unique_ptr<void, FreeDeleter> memory(std::malloc(requiredSize));
        if (!memory)
            continue;
        std::memset(memory.get(), 0, requiredSize);
        auto *detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W *>(memory.get());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (!SetupDiGetDeviceInterfaceDetailW(infoSet, &interfaceData, detail, requiredSize,
                                              nullptr, nullptr))
            continue;

        std::string path = toUtf8(detail->DevicePath);
        if (!path.empty())
            paths.push_back(std::move(path));
    }
    return paths;
}

HidHandle WinHid::open(const std::string &path, OpenError *error)
{
    OpenError why = OpenError::None;
    const HANDLE handle = openPath(path, GENERIC_READ | GENERIC_WRITE, FILE_FLAG_OVERLAPPED, &why);
    if (handle == INVALID_HANDLE_VALUE && why == OpenError::AccessDenied) {
        // A collection the system holds refuses everyone alike: that is not a permission.
        HIDP_CAPS caps{};
        if (throughHandleWithoutAccess(path,
                                       [&](HidHandle peek) { return capsOf(toWin(peek), caps); })
            && heldBySystem(CollectionUsage{caps.UsagePage, caps.Usage}))
            why = OpenError::SystemDevice;
    }
    if (error)
        *error = why;
    return handle == INVALID_HANDLE_VALUE ? kNullHandle : fromWin(handle);
}

bool WinHid::attributes(HidHandle handle, std::uint16_t &vendorId, std::uint16_t &productId)
{
    if (handle == kNullHandle)
        return false;
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof(attributes);
    if (!HidD_GetAttributes(toWin(handle), &attributes))
        return false;
    vendorId = attributes.VendorID;
    productId = attributes.ProductID;
    return true;
}

bool WinHid::inputReportLength(HidHandle handle, int &length)
{
    if (handle == kNullHandle)
        return false;
    HIDP_CAPS caps{};
    if (!capsOf(toWin(handle), caps))
        return false;
    length = caps.InputReportByteLength;
    return true;
}

bool WinHid::productString(HidHandle handle, ProductStringBuffer &buffer)
{
    if (handle == kNullHandle)
        return false;
    return HidD_GetProductString(toWin(handle), buffer.data(), ULONG(buffer.size()));
}

void WinHid::close(HidHandle handle)
{
    if (handle != kNullHandle)
        CloseHandle(toWin(handle));
}

bool WinHid::write(HidHandle handle, const std::uint8_t *data, std::size_t length)
{
    if (handle == kNullHandle || !data || length == 0 || length > MAXDWORD)
        return false;

    auto pending = std::make_unique<PendingWrite>();
    pending->overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!pending->overlapped.hEvent)
        return false;
    pending->bytes.reset(new std::uint8_t[length]);
    std::memcpy(pending->bytes.get(), data, length);

    const HANDLE file = toWin(handle);
    // On an overlapped handle the event is signalled whether the write completes at once or
    // later, so both cases are waited for the same way.
    if (!WriteFile(file, pending->bytes.get(), DWORD(length), nullptr, &pending->overlapped)
        && GetLastError() != ERROR_IO_PENDING)
        return false;

    if (WaitForSingleObject(pending->overlapped.hEvent, DWORD(writeTimeoutMs_)) != WAIT_OBJECT_0) {
        CancelIoEx(file, &pending->overlapped);
        if (WaitForSingleObject(pending->overlapped.hEvent, kCancelGraceMs) != WAIT_OBJECT_0) {
            // The driver has not finished the cancelled request and may still write into the
            // OVERLAPPED record: leave the record, its event and the bytes to it for good.
            (void)pending.release();
            return false;
        }
        DWORD ignored = 0;
        GetOverlappedResult(file, &pending->overlapped, &ignored, FALSE);
        return false;
    }

    DWORD written = 0;
    return GetOverlappedResult(file, &pending->overlapped, &written, FALSE)
           && written == DWORD(length);
}

bool WinHid::peekAttributes(const std::string &path, std::uint16_t &vendorId,
                            std::uint16_t &productId)
{
    return throughHandleWithoutAccess(
            path, [&](HidHandle handle) { return attributes(handle, vendorId, productId); });
}

bool WinHid::peekReportLength(const std::string &path, int &length)
{
    return throughHandleWithoutAccess(
            path, [&](HidHandle handle) { return inputReportLength(handle, length); });
}

bool WinHid::peekProductString(const std::string &path, ProductStringBuffer &buffer)
{
    return throughHandleWithoutAccess(
            path, [&](HidHandle handle) { return productString(handle, buffer); });
}

} // namespace rcprog
