#include "driver_host/driver_loader_win.h"

#include <memory>
#include <vector>

namespace kestrel {
namespace {

template <typename Fn> bool Bind(HMODULE module, const char* name, Fn& entry) {
    entry = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return entry != nullptr;
}

// What the driver thread found; handed back only once the load returned.
struct Entries {
    HMODULE module = nullptr;
    PFN_Write write = nullptr;
    PFN_Read read = nullptr;
    PFN_ClosePort closePort = nullptr;
    PFN_OpenPort openPort = nullptr;
    PFN_Clear clear = nullptr;
    PFN_SetDeviceOption setDeviceOption = nullptr;
    PFN_GetInputBufferCount inputCount = nullptr;
    PFN_IsPowerState powerState = nullptr;
    PFN_GetASBState asbState = nullptr;
};

int32_t LoadAndBind(const std::string& fullPath, Entries& e) {
    // A full path means the loader takes this file and no other; the altered
    // search path keeps the library's own imports from looking in the
    // current directory first.
    HMODULE module = LoadLibraryExA(fullPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr)
        return 0;
    const bool bound =
        Bind(module, "Write", e.write) && Bind(module, "Read", e.read) &&
        Bind(module, "ClosePort", e.closePort) && Bind(module, "OpenPort", e.openPort) &&
        Bind(module, "Clear", e.clear) && Bind(module, "SetDeviceOption", e.setDeviceOption) &&
        Bind(module, "GetInputBufferCount", e.inputCount) &&
        Bind(module, "IsPowerState", e.powerState) && Bind(module, "GetASBState", e.asbState);
    if (!bound) {
        FreeLibrary(module);
        return 0;
    }
    e.module = module;
    return 1;
}

} // namespace

CPortDriver::~CPortDriver() {
    Release();
}

bool CPortDriver::Load(const std::string& fullPath) {
    Release();
    // The call may outlive this object if it is given up on: it owns what it
    // works with.
    auto found = std::make_shared<Entries>();
    const std::optional<int32_t> loaded =
        calls_.Run([fullPath, found] { return LoadAndBind(fullPath, *found); }, bounds_.setupMs);
    if (!loaded || *loaded == 0)
        return false;
    module_ = found->module;
    write_ = found->write;
    read_ = found->read;
    closePort_ = found->closePort;
    openPort_ = found->openPort;
    clear_ = found->clear;
    setDeviceOption_ = found->setDeviceOption;
    inputCount_ = found->inputCount;
    powerState_ = found->powerState;
    asbState_ = found->asbState;
    return true;
}

void CPortDriver::Release() {
    if (module_ == nullptr)
        return;
    HMODULE module = module_;
    Unbind();
    module_ = nullptr;
    // Freed on the thread that loaded it and made its calls, so windows the
    // library made there go with their code. A library whose call was given
    // up on may still be running: it stays.
    calls_.Run(
        [module] {
            FreeLibrary(module);
            return 0;
        },
        bounds_.setupMs);
}

void CPortDriver::Unbind() {
    write_ = nullptr;
    read_ = nullptr;
    closePort_ = nullptr;
    openPort_ = nullptr;
    clear_ = nullptr;
    setDeviceOption_ = nullptr;
    inputCount_ = nullptr;
    powerState_ = nullptr;
    asbState_ = nullptr;
}

int32_t CPortDriver::SetDeviceOption(const ConnectionSettings& settings) {
    if (!setDeviceOption_)
        return 0;
    PFN_SetDeviceOption call = setDeviceOption_;
    // The record's text lives in the caller's storage; the call takes a copy.
    auto name = std::make_shared<std::string>(settings.portName ? settings.portName : "");
    ConnectionSettings record = settings;
    const bool hasName = settings.portName != nullptr;
    return calls_
        .Run(
            [call, name, record, hasName]() mutable {
                record.portName = hasName ? name->c_str() : nullptr;
                return call(record);
            },
            bounds_.setupMs)
        .value_or(0);
}

int32_t CPortDriver::OpenPort() {
    if (!openPort_)
        return 0;
    PFN_OpenPort call = openPort_;
    return calls_.Run([call] { return call(); }, bounds_.setupMs).value_or(0);
}

int32_t CPortDriver::Write(const uint8_t* data, uint32_t count) {
    return WriteOnThread(data, count, 0);
}

std::optional<int32_t> CPortDriver::WriteThenRest(const uint8_t* data, uint32_t count,
                                                  uint32_t restMs) {
    return WriteOnThread(data, count, restMs);
}

int32_t CPortDriver::WriteOnThread(const uint8_t* data, uint32_t count, uint32_t restMs) {
    if (!write_)
        return 0;
    PFN_Write call = write_;
    // A copy: a write given up on must not read the image after it is freed.
    auto bytes = std::make_shared<std::vector<uint8_t>>(data, data + (data ? count : 0));
    const uint64_t bound = bounds_.writeMs + static_cast<uint64_t>(bounds_.writePerByteMs) * count;
    CDriverCallThread::Interrupt interrupt{interrupt_, [close = closePort_] { close(); },
                                           kAfterCloseMs};
    return calls_
        .Run([call, bytes, count,
              null = data == nullptr] { return call(null ? nullptr : bytes->data(), count); },
             static_cast<uint32_t>(bound < UINT32_MAX ? bound : UINT32_MAX), restMs,
             interrupt_ ? &interrupt : nullptr)
        .value_or(0);
}

void CPortDriver::ClosePort() {
    if (!closePort_)
        return;
    PFN_ClosePort call = closePort_;
    calls_.Run(
        [call] {
            call();
            return 0;
        },
        bounds_.setupMs);
}

} // namespace kestrel
