// The download engine against recording fakes: what it writes, which
// progress values the bar shows, how long it waits, what it gives back.
#include "download/download_engine.h"
#include "download/bounded_wait.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace kestrel {
namespace {

namespace fs = std::filesystem;

// Every call the engine makes, in order, as one log.
struct World : IDriverFileStore, ISpooler, IPortDriver, INetworkLink, IDownloadView, IClock {
    std::vector<std::string> log;
    std::vector<uint32_t> writes;
    std::vector<int32_t> progress;
    std::vector<uint8_t> received;
    uint64_t sleptMs = 0;
    int sleeps1 = 0;
    int keepAlives = 0;
    bool fine = false;

    bool fileWritable = true;
    bool loadOk = true;
    int32_t optionResult = 1;
    int32_t openResult = 1;
    int failWriteAt = -1;  // index of the Write that comes back short
    bool restsItself = false;  // the binding pauses after a write on its own
    int rests = 0;
    bool createOk = true;
    bool connectOk = true;
    int64_t sendResult = 0;  // 0: send everything
    std::string connectedHost;
    uint16_t connectedPort = 0;

    std::optional<std::string> WriteDriverFile(DriverKind kind) override {
        log.push_back(std::string("write-file ") + DriverFileName(kind));
        if (!fileWritable) return std::nullopt;
        return std::string("/drivers/") + DriverFileName(kind);
    }
    void DeleteDriverFile(const std::string& path) override { log.push_back("delete " + path); }
    void ReleasePrinterPorts(const std::string& port) override { log.push_back("spool-release " + port); }
    void RestorePrinterPorts() override { log.push_back("spool-restore"); }
    bool Load(const std::string& path) override {
        log.push_back("load " + path);
        return loadOk;
    }
    void Release() override { log.push_back("release"); }
    int32_t SetDeviceOption(const ConnectionSettings&) override {
        log.push_back("set-option");
        return optionResult;
    }
    int32_t OpenPort() override {
        log.push_back("open");
        return openResult;
    }
    int32_t Write(const uint8_t* data, uint32_t count) override {
        const int index = static_cast<int>(writes.size());
        writes.push_back(count);
        if (index == failWriteAt) return static_cast<int32_t>(count / 2);
        received.insert(received.end(), data, data + count);
        return static_cast<int32_t>(count);
    }
    std::optional<int32_t> WriteThenRest(const uint8_t* data, uint32_t count,
                                         uint32_t restMs) override {
        if (!restsItself) return std::nullopt;
        EXPECT_EQ(restMs, 1u);
        ++rests;
        return Write(data, count);
    }
    void ClosePort() override { log.push_back("close-port"); }
    bool Create() override {
        log.push_back("socket-create");
        return createOk;
    }
    bool Connect(const std::string& host, uint16_t port) override {
        log.push_back("socket-connect");
        connectedHost = host;
        connectedPort = port;
        return connectOk;
    }
    int64_t Send(const uint8_t* data, uint64_t count) override {
        log.push_back("socket-send");
        if (sendResult != 0) return sendResult;
        received.insert(received.end(), data, data + count);
        return static_cast<int64_t>(count);
    }
    void Close() override { log.push_back("socket-close"); }
    void RedrawAll() override { log.push_back("redraw"); }
    void ShowProgress(int32_t value) override { progress.push_back(value); }
    void ShowMessage(const std::string& text) override { log.push_back("message " + text); }
    void ShowLedNotice() override { log.push_back("led"); }
    void Sleep(uint32_t ms) override {
        sleptMs += ms;
        if (ms == 1) {
            ++sleeps1;
            EXPECT_TRUE(fine) << "1 ms sleeps need fine timer resolution";
        }
    }
    void KeepAlive() override { ++keepAlives; }
    void BeginFineSleep() override {
        EXPECT_FALSE(fine);
        fine = true;
        log.push_back("fine-begin");
    }
    void EndFineSleep() override {
        EXPECT_TRUE(fine);
        fine = false;
        log.push_back("fine-end");
    }

    DownloadPorts Ports() { return DownloadPorts{*this, *this, *this, *this, *this, *this}; }

    // The log without the entries that every run shares at its start.
    std::vector<std::string> Tail(size_t from) const {
        return std::vector<std::string>(log.begin() + static_cast<long>(from), log.end());
    }
};

class TempFile {
public:
    explicit TempFile(const std::vector<uint8_t>& bytes) {
        path_ = (fs::temp_directory_path() /
                 ("kestrel-engine-" + std::to_string(::getpid()) + "-" + std::to_string(next_++)))
                    .string();
        std::ofstream out(path_, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    ~TempFile() { fs::remove(path_); }
    const std::string& path() const { return path_; }

private:
    static inline int next_ = 0;
    std::string path_;
};

std::vector<uint8_t> Pattern(size_t n) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return bytes;
}

DownloadRequest Request(const char* port, const std::string& path, int32_t type = 200) {
    DownloadRequest request;
    request.settings.portName = port;
    request.settings.baudRate = 115200;
    request.printerType = type;
    request.firmwarePath = path;
    return request;
}

// The values the closing wait shows after the send ended at `from`.
std::vector<int32_t> ClosingSteps(int32_t from) {
    std::vector<int32_t> steps;
    for (int32_t v = from + 1; v <= kProgressFull; ++v) steps.push_back(v);
    return steps;
}

std::vector<int32_t> Concat(std::vector<int32_t> a, const std::vector<int32_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(Engine, SerialDownloadSendsBlocksWaitsAndGivesEverythingBack) {
    const auto image = Pattern(10000);
    TempFile file(image);
    World w;
    DownloadPorts ports = w.Ports();
    EXPECT_EQ(RunDownload(Request("COM1", file.path()), ports), DownloadOutcome::Completed);

    EXPECT_EQ(w.writes, (std::vector<uint32_t>{4096, 4096, 1808}));
    EXPECT_EQ(w.received, image);
    EXPECT_EQ(w.progress, Concat({0, 98, 196, 240}, ClosingSteps(240)));
    EXPECT_EQ(w.sleptMs, 27u * 800u);  // 28 steps, 27 pauses
    EXPECT_EQ(w.log, (std::vector<std::string>{
                         "write-file com.dll", "redraw", "spool-release COM1",
                         "load /drivers/com.dll", "set-option", "open", "led", "close-port",
                         "release", "delete /drivers/com.dll", "spool-restore"}));
    EXPECT_GE(w.keepAlives, 3);
}

TEST(Engine, BlockSplittingAndProgress) {
    struct Case {
        const char* name;
        const char* port;
        int32_t type;
        size_t length;
        std::vector<uint32_t> writes;
        int sleeps1;
    } cases[] = {
        {"exact multiple", "COM1", 200, 3 * 4096, {4096, 4096, 4096}, 0},
        {"shorter than a block", "LPT1", 300, 100, {100}, 0},
        {"usb 64-byte family, exact", "\\\\?\\usb#vid_1", 203, 3 * 64, {64, 64, 64}, 3},
        {"usb 64-byte family, partial last", "\\\\?\\usb#vid_1", 352, 130, {64, 64, 2}, 2},
        {"usb other family", "\\\\?\\usb#vid_1", 200, 5000, {4096, 904}, 0},
        // COM10 and above are serial: 4096-byte blocks whatever the type.
        {"com10 is serial", "\\\\.\\COM12", 203, 5000, {4096, 904}, 0},
    };
    for (const Case& c : cases) for (bool restsItself : {false, true}) {
        SCOPED_TRACE(c.name);
        SCOPED_TRACE(restsItself);
        TempFile file(Pattern(c.length));
        World w;
        w.restsItself = restsItself;
        DownloadPorts ports = w.Ports();
        EXPECT_EQ(RunDownload(Request(c.port, file.path(), c.type), ports),
                  DownloadOutcome::Completed);
        EXPECT_EQ(w.writes, c.writes);
        // Every full 64-byte block is followed by one pause, here or there.
        EXPECT_EQ(w.sleeps1, restsItself ? 0 : c.sleeps1);
        EXPECT_EQ(w.rests, restsItself ? c.sleeps1 : 0);
        EXPECT_FALSE(w.fine);
        ASSERT_GE(w.progress.size(), 2u);
        EXPECT_EQ(w.progress[0], 0);
        // The bar only repaints when the value moves, and ends full.
        for (size_t i = 1; i < w.progress.size(); ++i)
            EXPECT_GT(w.progress[i], w.progress[i - 1]);
        EXPECT_EQ(w.progress.back(), kProgressFull);
    }
}

// A Linux device path says nothing by itself: the kind given with the
// request decides, where the name alone would make it a network address.
TEST(Engine, AKindGivenWithTheRequestOutranksThePortName) {
    TempFile file(Pattern(5000));
    for (PortKind kind : {PortKind::Serial, PortKind::Usb}) {
        World w;
        DownloadPorts ports = w.Ports();
        DownloadRequest request = Request("/dev/ttyS0", file.path(), 203);
        request.kind = kind;
        EXPECT_EQ(RunDownload(request, ports), DownloadOutcome::Completed);
        EXPECT_EQ(w.log.at(0), kind == PortKind::Serial ? "write-file com.dll" : "write-file usb.dll");
        EXPECT_EQ(w.writes.size(), kind == PortKind::Serial ? 2u : 79u);
    }
}

TEST(Engine, SixtyFourByteBlocksRepaintOnlyWhenTheValueMoves) {
    TempFile file(Pattern(262148));
    World w;
    DownloadPorts ports = w.Ports();
    EXPECT_EQ(RunDownload(Request("\\\\?\\usb#x", file.path(), 352), ports),
              DownloadOutcome::Completed);
    EXPECT_EQ(w.writes.size(), 4097u);
    EXPECT_EQ(w.sleeps1, 4096);
    // 0, then 1..240 once each, then the closing wait.
    EXPECT_EQ(w.progress.size(), 1u + 240u + 28u);
    EXPECT_EQ(w.log.front(), "write-file usb.dll");
    EXPECT_NE(std::find(w.log.begin(), w.log.end(), "fine-end"), w.log.end());
}

TEST(Engine, SendFailedStillWaitsShowsNoticeAndCleansUp) {
    TempFile file(Pattern(10000));
    World w;
    w.failWriteAt = 2;
    DownloadPorts ports = w.Ports();
    EXPECT_EQ(RunDownload(Request("COM1", file.path()), ports), DownloadOutcome::SendFailed);
    EXPECT_EQ(w.writes, (std::vector<uint32_t>{4096, 4096, 1808}));
    EXPECT_EQ(w.progress, Concat({0, 98, 196}, ClosingSteps(196)));
    EXPECT_EQ(w.sleptMs, uint64_t(kProgressFull - 196 - 1) * 800u);
    EXPECT_EQ(w.Tail(6), (std::vector<std::string>{"message Send Failed", "led", "close-port",
                                                   "release", "delete /drivers/com.dll",
                                                   "spool-restore"}));

    // A binding that rests on its own still hands back each block's result
    // before the next is sent: nothing follows a short block.
    World usb;
    usb.restsItself = true;
    usb.failWriteAt = 1;
    DownloadPorts usbPorts = usb.Ports();
    EXPECT_EQ(RunDownload(Request("\\\\?\\usb#x", file.path(), 203), usbPorts),
              DownloadOutcome::SendFailed);
    EXPECT_EQ(usb.writes, (std::vector<uint32_t>{64, 64}));
}

TEST(Engine, EarlyEndsShowTheirMessageAndGiveBackWhatWasTaken) {
    const auto image = Pattern(5000);
    TempFile file(image);
    TempFile empty({});
    struct Case {
        const char* name;
        void (*arrange)(World&);
        std::string path;
        DownloadOutcome outcome;
        std::vector<std::string> tail;  // after "write-file", "redraw", "spool-release"
    } cases[] = {
        {"driver file cannot be written", [](World& w) { w.fileWritable = false; }, file.path(),
         DownloadOutcome::DriverFileFailed,
         {"message Failed Port Create Failed!", "spool-restore"}},
        {"library refused", [](World& w) { w.loadOk = false; }, file.path(),
         DownloadOutcome::LoadFailed,
         {"load /drivers/com.dll", "message Failed Port Create Failed!",
          "delete /drivers/com.dll", "spool-restore"}},
        {"settings refused", [](World& w) { w.optionResult = 0; }, file.path(),
         DownloadOutcome::ConfigurationFailed,
         {"load /drivers/com.dll", "set-option", "message Port Configuration Set Error!",
          "release", "delete /drivers/com.dll", "spool-restore"}},
        {"port does not open", [](World& w) { w.openResult = 0; }, file.path(),
         DownloadOutcome::OpenFailed,
         {"load /drivers/com.dll", "set-option", "open", "message Port Open Error", "close-port",
          "release", "delete /drivers/com.dll", "spool-restore"}},
        {"firmware file missing", [](World&) {}, "/nonexistent/kestrel/fw.fls",
         DownloadOutcome::FileOpenFailed,
         {"load /drivers/com.dll", "set-option", "open", "message File Open Error", "close-port",
          "release", "delete /drivers/com.dll", "spool-restore"}},
        {"firmware file empty", [](World&) {}, empty.path(), DownloadOutcome::FileEmpty,
         {"load /drivers/com.dll", "set-option", "open",
          std::string("message ") + msg::kFileEmpty, "close-port", "release",
          "delete /drivers/com.dll", "spool-restore"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        World w;
        c.arrange(w);
        DownloadPorts ports = w.Ports();
        EXPECT_EQ(RunDownload(Request("COM3", c.path), ports), c.outcome);
        EXPECT_TRUE(w.writes.empty());
        EXPECT_EQ(w.progress, std::vector<int32_t>{0});
        EXPECT_EQ(w.sleptMs, 0u);
        ASSERT_GE(w.log.size(), 3u);
        EXPECT_EQ(w.log[2], "spool-release COM3");
        EXPECT_EQ(w.Tail(3), c.tail);
    }
}

TEST(Engine, NetworkDownloadSendsOnceThenWaitsFromHundred) {
    const auto image = Pattern(70000);
    TempFile file(image);
    World w;
    DownloadPorts ports = w.Ports();
    DownloadRequest request = Request("127.0.0.1", file.path());
    request.settings.baudRate = 9100;
    EXPECT_EQ(RunDownload(request, ports), DownloadOutcome::Completed);
    EXPECT_EQ(w.received, image);
    EXPECT_EQ(w.connectedHost, "127.0.0.1");
    EXPECT_EQ(w.connectedPort, 9100);
    EXPECT_EQ(w.progress, Concat({0, 100}, ClosingSteps(100)));
    EXPECT_EQ(w.sleptMs, 167u * 800u);
    // The usb library is put on disk and taken away but never loaded; the
    // spooler is not touched.
    EXPECT_EQ(w.log, (std::vector<std::string>{"write-file usb.dll", "redraw", "socket-create",
                                               "socket-connect", "socket-send", "led",
                                               "socket-close", "delete /drivers/usb.dll"}));
}

TEST(Engine, NetworkEarlyEnds) {
    TempFile file(Pattern(100));
    struct Case {
        const char* name;
        void (*arrange)(World&);
        int32_t port;
        DownloadOutcome outcome;
        std::vector<std::string> tail;  // after "write-file", "redraw"
        const char* address = "10.0.0.5";
    } cases[] = {
        {"no socket", [](World& w) { w.createOk = false; }, 9100,
         DownloadOutcome::SocketCreateFailed,
         {"socket-create", "message Failed Port Create Failed!", "delete /drivers/usb.dll"}},
        {"refused", [](World& w) { w.connectOk = false; }, 9100, DownloadOutcome::ConnectFailed,
         {"socket-create", "socket-connect", "message Socket Connect Error!", "socket-close",
          "delete /drivers/usb.dll"}},
        {"port out of range", [](World&) {}, 70000, DownloadOutcome::ConnectFailed,
         {"socket-create", "message Socket Connect Error!", "socket-close",
          "delete /drivers/usb.dll"}},
        // Refused without a connect: the empty address control, broadcast,
        // multicast, and text that is no address at all.
        {"unspecified", [](World&) {}, 9100, DownloadOutcome::ConnectFailed,
         {"socket-create", "message Socket Connect Error!", "socket-close",
          "delete /drivers/usb.dll"}, "0.0.0.0"},
        {"broadcast", [](World&) {}, 9100, DownloadOutcome::ConnectFailed,
         {"socket-create", "message Socket Connect Error!", "socket-close",
          "delete /drivers/usb.dll"}, "255.255.255.255"},
        {"multicast", [](World&) {}, 9100, DownloadOutcome::ConnectFailed,
         {"socket-create", "message Socket Connect Error!", "socket-close",
          "delete /drivers/usb.dll"}, "239.255.255.250"},
        {"no address", [](World&) {}, 9100, DownloadOutcome::ConnectFailed,
         {"socket-create", "message Socket Connect Error!", "socket-close",
          "delete /drivers/usb.dll"}, "printer.local"},
        {"send error", [](World& w) { w.sendResult = -1; }, 9100,
         DownloadOutcome::NetworkWriteFailed,
         {"socket-create", "socket-connect", "socket-send", "message Write Failed!",
          "socket-close", "delete /drivers/usb.dll"}},
        {"short send", [](World& w) { w.sendResult = 10; }, 9100,
         DownloadOutcome::NetworkWriteFailed,
         {"socket-create", "socket-connect", "socket-send", "message Write Failed!",
          "socket-close", "delete /drivers/usb.dll"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        World w;
        c.arrange(w);
        DownloadPorts ports = w.Ports();
        DownloadRequest request = Request(c.address, file.path());
        request.settings.baudRate = c.port;
        EXPECT_EQ(RunDownload(request, ports), c.outcome);
        EXPECT_EQ(w.progress, std::vector<int32_t>{0});
        EXPECT_EQ(w.Tail(2), c.tail);
    }
}

// The socket's connect and stall bounds: painting between slices counts
// against the bound, which ends by the clock, not by the number of slices.
TEST(BoundedWait, EndsByTheClockWhateverTheSlicesCost) {
    struct Case {
        const char* name;
        uint64_t paintMs;  // time a slice takes beyond its own wait
        int readyAfter;    // slices until the socket is ready; -1 never
        WaitResult result;
        int slices;
    } cases[] = {
        {"idle window", 0, -1, WaitResult::TimedOut, 1500},
        {"slow painting", 100, -1, WaitResult::TimedOut, 250},
        {"ready in time", 100, 10, WaitResult::Ready, 11},
        {"failure ends at once", 0, 0, WaitResult::Failed, 1},
    };
    for (const Case& c : cases) {
        uint64_t now = 1000;
        int slices = 0;
        std::vector<uint32_t> asked;
        const WaitResult r = WaitInSlices(
            30000, [&] { return now; },
            [&](uint32_t sliceMs) {
                asked.push_back(sliceMs);
                if (c.readyAfter == slices++)
                    return c.name[0] == 'f' ? SliceResult::Failed : SliceResult::Ready;
                now += sliceMs + c.paintMs;
                return SliceResult::NotYet;
            });
        EXPECT_EQ(r, c.result) << c.name;
        EXPECT_EQ(slices, c.slices) << c.name;
        EXPECT_LE(*std::max_element(asked.begin(), asked.end()), kWaitSliceMs) << c.name;
    }
    // The last slice waits only for what is left of the bound.
    uint64_t now = 0;
    std::vector<uint32_t> asked;
    WaitInSlices(50, [&] { return now; }, [&](uint32_t ms) {
        asked.push_back(ms);
        now += ms;
        return SliceResult::NotYet;
    });
    EXPECT_EQ(asked, (std::vector<uint32_t>{20, 20, 10}));
}

TEST(Engine, ProgressOfImagesBeyondThirtyTwoBitProducts) {
    // 18,000,000 x 240 does not fit in 32 bits.
    const size_t length = 18000000;
    EXPECT_EQ(SendProgress(length / 2, length), 120);
    EXPECT_EQ(SendProgress(length - 1, length), 239);
    EXPECT_EQ(SendProgress(length, length), 240);
    TempFile file(std::vector<uint8_t>(length, 0x5A));
    World w;
    DownloadPorts ports = w.Ports();
    EXPECT_EQ(RunDownload(Request("COM1", file.path()), ports), DownloadOutcome::Completed);
    EXPECT_EQ(w.received.size(), length);
    ASSERT_GE(w.progress.size(), 241u);
    for (int32_t v = 0; v <= 240; ++v) EXPECT_EQ(w.progress[static_cast<size_t>(v)], v);
}

}  // namespace
}  // namespace kestrel
