#include "config/usb_interfaces_win.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace kestrel {
namespace {

// GUID_DEVINTERFACE_USB_DEVICE
constexpr GUID kUsbDeviceInterfaceClass = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
constexpr const char* kDeviceClassesKey = "System\\CurrentControlSet\\Control\\DeviceClasses\\"
                                          "{a5dcbf10-6530-11d2-901f-00c04fb951ed}\\##.#";

int32_t TypeCodeForThisSystem(const std::string& path, int32_t wanted) {
    if (IsWindows9xVersion(::GetVersion()))
        return UsbTypeCodeFromRegistry(path, wanted);
    return UsbTypeCodeFromPath(path);
}

// Opens a device path as discovery does: both lines on standard output,
// reading and writing, shared, existing devices only.
UniqueHandle OpenDevicePath(const std::string& path) {
    std::printf("Attempting to open %s\n", path.c_str());
    UniqueHandle device(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                      nullptr));
    if (!device)
        std::printf("FAILED to open %s\n", path.c_str());
    std::fflush(stdout);
    return device;
}

class DeviceInfoSet {
  public:
    DeviceInfoSet()
        : set_(::SetupDiGetClassDevsA(&kUsbDeviceInterfaceClass, nullptr, nullptr,
                                      DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)) {}
    ~DeviceInfoSet() {
        if (set_ != INVALID_HANDLE_VALUE)
            ::SetupDiDestroyDeviceInfoList(set_);
    }
    DeviceInfoSet(const DeviceInfoSet&) = delete;
    DeviceInfoSet& operator=(const DeviceInfoSet&) = delete;
    HDEVINFO Get() const { return set_; }

  private:
    HDEVINFO set_;
};

class CSetupDiUsbInterfaces : public IUsbInterfaces {
  public:
    UsbInterfaceProbe OpenAt(uint32_t index) override {
        UsbInterfaceProbe probe;
        if (set_.Get() == INVALID_HANDLE_VALUE)
            return probe; // nothing to walk
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        if (!::SetupDiEnumDeviceInterfaces(set_.Get(), nullptr, &kUsbDeviceInterfaceClass, index,
                                           &data)) {
            const DWORD error = ::GetLastError();
            probe.result = error == ERROR_NO_MORE_ITEMS ? UsbInterfaceProbe::Result::NoMoreItems
                                                        : UsbInterfaceProbe::Result::EnumFailed;
            return probe;
        }
        const UniqueHandle device = OpenUsbInterface(set_.Get(), data, probe.devicePath);
        probe.result =
            device ? UsbInterfaceProbe::Result::Opened : UsbInterfaceProbe::Result::NotOpened;
        return probe;
    }
    int32_t TypeCodeOf(const std::string& path, int32_t wanted) override {
        return TypeCodeForThisSystem(path, wanted);
    }

  private:
    DeviceInfoSet set_;
};

#ifdef KESTREL_TEST_USB_SOURCE
// Test builds only: Wine's SetupDi finds no USB device, so an end-to-end
// test names its printers' device paths in KESTREL_TEST_USB_INTERFACES,
// separated by '|'. They are opened as real devices all the same.
class CListedUsbInterfaces : public IUsbInterfaces {
  public:
    explicit CListedUsbInterfaces(const std::string& list) {
        size_t start = 0;
        while (start <= list.size()) {
            const size_t end = std::min(list.find('|', start), list.size());
            if (end > start)
                paths_.push_back(list.substr(start, end - start));
            start = end + 1;
        }
    }
    UsbInterfaceProbe OpenAt(uint32_t index) override {
        if (index >= paths_.size())
            return {};
        UsbInterfaceProbe probe{UsbInterfaceProbe::Result::NotOpened, paths_[index]};
        if (OpenDevicePath(probe.devicePath))
            probe.result = UsbInterfaceProbe::Result::Opened;
        return probe;
    }
    int32_t TypeCodeOf(const std::string& path, int32_t wanted) override {
        return TypeCodeForThisSystem(path, wanted);
    }

  private:
    std::vector<std::string> paths_;
};
#endif

} // namespace

UniqueHandle OpenUsbInterface(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& interfaceData,
                              std::string& path) {
    path.clear();
    DWORD needed = 0;
    ::SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, nullptr, 0, &needed, nullptr);
    if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
        return UniqueHandle();
    // Sized as the system asks, so a path of any length fits.
    std::vector<char> buffer(needed + 1, 0);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!::SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, detail, needed, nullptr, nullptr))
        return UniqueHandle();
    path = detail->DevicePath;
    return OpenDevicePath(path);
}

int32_t UsbTypeCodeFromRegistry(const std::string& path, int32_t wanted) {
    if (path.size() < 4)
        return kNoUsbTypeCode;
    const std::string keyName = kDeviceClassesKey + path.substr(4);
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, KEY_ALL_ACCESS, &key) !=
        ERROR_SUCCESS)
        return kNoUsbTypeCode;
    char value[256] = {};
    DWORD type = 0;
    DWORD size = sizeof value - 1;
    const LONG read = ::RegQueryValueExA(key, "DeviceInstance", nullptr, &type,
                                         reinterpret_cast<BYTE*>(value), &size);
    ::RegCloseKey(key);
    if (read != ERROR_SUCCESS || type != REG_SZ)
        return kNoUsbTypeCode;
    value[std::min<DWORD>(size, sizeof value - 1)] = '\0';
    const int32_t code = UsbTypeCodeFromDeviceInstance(value);
    return code == wanted ? code : kNoUsbTypeCode;
}

std::unique_ptr<IUsbInterfaces> SystemUsbInterfaces() {
#ifdef KESTREL_TEST_USB_SOURCE
    if (const char* listed = std::getenv("KESTREL_TEST_USB_INTERFACES"))
        return std::make_unique<CListedUsbInterfaces>(listed);
#endif
    return std::make_unique<CSetupDiUsbInterfaces>();
}

} // namespace kestrel
