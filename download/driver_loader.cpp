#include "download/driver_loader.h"

namespace kestrel {
namespace {

template <typename Fn>
bool Bind(HMODULE module, const char* name, Fn& entry) {
    entry = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return entry != nullptr;
}

}  // namespace

CPortDriver::~CPortDriver() { Release(); }

bool CPortDriver::Load(const std::string& fullPath) {
    Release();
    // A full path means the loader takes this file and no other; the altered
    // search path keeps the library's own imports from looking in the
    // current directory first.
    HMODULE module = LoadLibraryExA(fullPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr) return false;
    const bool bound = Bind(module, "Write", write_) && Bind(module, "Read", read_) &&
                       Bind(module, "ClosePort", closePort_) &&
                       Bind(module, "OpenPort", openPort_) && Bind(module, "Clear", clear_) &&
                       Bind(module, "SetDeviceOption", setDeviceOption_) &&
                       Bind(module, "GetInputBufferCount", inputCount_) &&
                       Bind(module, "IsPowerState", powerState_) &&
                       Bind(module, "GetASBState", asbState_);
    if (!bound) {
        Unbind();
        FreeLibrary(module);
        return false;
    }
    module_ = module;
    return true;
}

void CPortDriver::Release() {
    if (module_ == nullptr) return;
    Unbind();
    FreeLibrary(module_);
    module_ = nullptr;
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
    if (!setDeviceOption_) return 0;
    int32_t result = 0;
    calls_.Run([&] { result = setDeviceOption_(settings); });
    return result;
}

int32_t CPortDriver::OpenPort() {
    if (!openPort_) return 0;
    int32_t result = 0;
    calls_.Run([&] { result = openPort_(); });
    return result;
}

int32_t CPortDriver::Write(const uint8_t* data, uint32_t count) {
    if (!write_) return 0;
    int32_t result = 0;
    calls_.Run([&] { result = write_(data, count); });
    return result;
}

void CPortDriver::ClosePort() {
    if (closePort_) calls_.Run([&] { closePort_(); });
}

}  // namespace kestrel
