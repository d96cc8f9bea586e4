// Binds the nine entries of a driver library loaded from one full path.
#pragma once

#include <windows.h>

#include <string>

#include "download/download_engine.h"
#include "driver_host/driver_call_thread_win.h"

namespace kestrel {

class CPortDriver : public IPortDriver {
public:
    CPortDriver() = default;
    ~CPortDriver() override;
    CPortDriver(const CPortDriver&) = delete;
    CPortDriver& operator=(const CPortDriver&) = delete;

    // Loads exactly the file at `fullPath` (never a same-named library found
    // through the search path) and binds all nine entries; a library that
    // lacks any one of them is freed again and refused.
    bool Load(const std::string& fullPath) override;
    void Release() override;
    bool IsLoaded() const { return module_ != nullptr; }

    // These run on the driver thread while this thread keeps the window
    // painting. A call that has not returned within its bound counts as
    // failed (0), and the binding is given up: no further call, and the
    // library, still in use, is never freed.
    int32_t SetDeviceOption(const ConnectionSettings& settings) override;
    int32_t OpenPort() override;
    int32_t Write(const uint8_t* data, uint32_t count) override;
    // The rest is kept on the driver thread (never nothing).
    std::optional<int32_t> WriteThenRest(const uint8_t* data, uint32_t count,
                                         uint32_t restMs) override;
    void ClosePort() override;

    // The entries the program never calls, bound all the same.
    PFN_Read Read() const { return read_; }
    PFN_Clear Clear() const { return clear_; }
    PFN_GetInputBufferCount GetInputBufferCount() const { return inputCount_; }
    PFN_IsPowerState IsPowerState() const { return powerState_; }
    PFN_GetASBState GetASBState() const { return asbState_; }

    // How long the program waits for one call. The libraries bound their own
    // waits well within these; the program's bound is for one that does not.
    struct CallBounds {
        uint32_t setupMs = 30000; // load, free, SetDeviceOption, OpenPort, ClosePort
        uint32_t writeMs = 60000; // plus writePerByteMs for each byte
        uint32_t writePerByteMs = 10;
    };
    void SetCallBounds(const CallBounds& bounds) { bounds_ = bounds; }
    bool GivenUp() const { return calls_.Abandoned(); }

    // kestrelc's Ctrl+C: once `event` is signalled, a write in flight is
    // ended from this thread by the library's own ClosePort (the libraries
    // let a close from another thread cut a transfer short), and given
    // kAfterCloseMs more to come back before the binding is given up.
    void InterruptWritesOn(HANDLE event) { interrupt_ = event; }
    static constexpr uint32_t kAfterCloseMs = 1000;

private:
    void Unbind();
    int32_t WriteOnThread(const uint8_t* data, uint32_t count, uint32_t restMs);

    PFN_Write write_ = nullptr;
    PFN_Read read_ = nullptr;
    PFN_ClosePort closePort_ = nullptr;
    PFN_OpenPort openPort_ = nullptr;
    PFN_Clear clear_ = nullptr;
    PFN_SetDeviceOption setDeviceOption_ = nullptr;
    PFN_GetInputBufferCount inputCount_ = nullptr;
    PFN_IsPowerState powerState_ = nullptr;
    PFN_GetASBState asbState_ = nullptr;
    HMODULE module_ = nullptr; // owned: freed by Release or the destructor
    CallBounds bounds_;
    HANDLE interrupt_ = nullptr; // not owned
    CDriverCallThread calls_; // where the library is loaded, called and freed
};

} // namespace kestrel
