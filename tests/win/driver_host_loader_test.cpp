// The driver libraries inside the program, written out, loaded by full path
// and bound; libraries that are not ours are refused or never reached.
#include <windows.h>

#include <gtest/gtest.h>

#include <aclapi.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "driver_host/driver_files_win.h"
#include "driver_host/driver_loader_win.h"
#include "download/ui_pump_win.h"
#include "framework/win_handle.h"

namespace kestrel {
namespace {

std::string ExeDirectory() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path, n);
    return s.substr(0, s.find_last_of('\\'));
}

std::string CurrentDir() {
    char buffer[MAX_PATH];
    return std::string(buffer, GetCurrentDirectoryA(MAX_PATH, buffer));
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string LoadedFrom(HMODULE module) {
    char path[MAX_PATH];
    return std::string(path, GetModuleFileNameA(module, path, MAX_PATH));
}

// Runs a test in a fresh folder of its own as the current directory.
class InScratchDirectory : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = CurrentDir();
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        dir_ = std::string(temp) + "kestrel-loader-" + std::to_string(GetCurrentProcessId()) +
               "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        CreateDirectoryA(dir_.c_str(), nullptr);
        ASSERT_TRUE(SetCurrentDirectoryA(dir_.c_str()));
    }
    void TearDown() override {
        SetCurrentDirectoryA(previous_.c_str());
        RemoveDirectoryA(dir_.c_str());
    }
    std::string dir_, previous_;
};

using DriverFiles = InScratchDirectory;

TEST_F(DriverFiles, EachDriverIsWrittenLoadedByFullPathBoundAndDeleted) {
    struct Case {
        DriverKind kind;
        const char* name;
    } cases[] = {{DriverKind::Com, "com.dll"}, {DriverKind::Lpt, "lpt.dll"}, {DriverKind::Usb, "usb.dll"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CDriverFileStore store;
        const auto path = store.WriteDriverFile(c.kind);
        ASSERT_TRUE(path.has_value());
        EXPECT_EQ(*path, dir_ + "\\" + c.name);
        // Until it is loaded, nobody else may change or delete it.
        EXPECT_FALSE(DeleteFileA(path->c_str()));
        EXPECT_FALSE(UniqueHandle(CreateFileA(path->c_str(), GENERIC_WRITE,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                              nullptr, OPEN_EXISTING, 0, nullptr)));
        {
            CPortDriver driver;
            ASSERT_TRUE(driver.Load(*path));
            EXPECT_TRUE(driver.Read() && driver.Clear() && driver.GetInputBufferCount() &&
                        driver.IsPowerState() && driver.GetASBState());
            HMODULE loaded = GetModuleHandleA(path->c_str());
            ASSERT_NE(loaded, nullptr);
            EXPECT_EQ(LoadedFrom(loaded), *path);
            // A library that is not open refuses to write.
            const uint8_t byte = 0;
            EXPECT_EQ(driver.Write(&byte, 1), 0);
            driver.Release();
            EXPECT_EQ(GetModuleHandleA(path->c_str()), nullptr);
        }
        store.DeleteDriverFile(*path);
        EXPECT_FALSE(Exists(*path));
    }
}

TEST_F(DriverFiles, ALibraryWithoutAllNineEntriesIsRefused) {
    const std::string eight = ExeDirectory() + "\\eight_exports.dll";
    ASSERT_TRUE(Exists(eight));
    CPortDriver driver;
    EXPECT_FALSE(driver.Load(eight));
    EXPECT_FALSE(driver.IsLoaded());
    // Refused libraries are not left loaded.
    EXPECT_EQ(GetModuleHandleA(eight.c_str()), nullptr);
    EXPECT_FALSE(driver.Load(dir_ + "\\no-such.dll"));
}

TEST_F(DriverFiles, APlantedLibraryOnTheSearchPathIsNeverLoaded) {
    // A com.dll beside the program (this test has a folder of its own) and
    // in a folder named by SetDllDirectory: both are searched first for a
    // bare name.
    const std::string planted = ExeDirectory() + "\\planted_com.dll";
    const std::string besideExe = ExeDirectory() + "\\com.dll";
    const std::string plantDir = dir_ + "\\plant";
    CreateDirectoryA(plantDir.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(planted.c_str(), besideExe.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(planted.c_str(), (plantDir + "\\com.dll").c_str(), FALSE));
    SetDllDirectoryA(plantDir.c_str());
    {
        // The plant is where a bare name would find it.
        HMODULE bare = LoadLibraryA("com.dll");
        ASSERT_NE(bare, nullptr);
        auto power = reinterpret_cast<PFN_IsPowerState>(
            reinterpret_cast<void*>(GetProcAddress(bare, "IsPowerState")));
        ASSERT_NE(power, nullptr);
        EXPECT_EQ(power(), 4242);
        FreeLibrary(bare);
    }

    // The program's own copy is written to a different folder than both.
    const std::string work = dir_ + "\\work";
    CreateDirectoryA(work.c_str(), nullptr);
    CDriverFileStore store;
    store.SetPreferredDirectory(work);
    const auto path = store.WriteDriverFile(DriverKind::Com);
    ASSERT_TRUE(path.has_value());
    {
        CPortDriver driver;
        ASSERT_TRUE(driver.Load(*path));
        EXPECT_NE(driver.IsPowerState()(), 4242) << "the planted library answered";
        EXPECT_EQ(LoadedFrom(GetModuleHandleA(path->c_str())), *path);
    }
    store.DeleteDriverFile(*path);
    // Deleting ours never touches a same-named file elsewhere.
    EXPECT_TRUE(Exists(besideExe));
    EXPECT_TRUE(Exists(plantDir + "\\com.dll"));

    SetDllDirectoryA(nullptr);
    DeleteFileA(besideExe.c_str());
    DeleteFileA((plantDir + "\\com.dll").c_str());
    RemoveDirectoryA(plantDir.c_str());
    RemoveDirectoryA(work.c_str());
}

TEST_F(DriverFiles, ALinkOrAReadOnlyFileOfThatNameIsNeitherFollowedNorLoaded) {
    const std::string planted = ExeDirectory() + "\\planted_com.dll";
    const std::string named = dir_ + "\\com.dll";
    const std::string victim = dir_ + "\\victim.dll";
    const auto loadsOurs = [](CDriverFileStore& store, const std::string& path) {
        CPortDriver driver;
        ASSERT_TRUE(driver.Load(path));
        EXPECT_NE(driver.IsPowerState()(), 4242) << "the planted library answered";
        driver.Release();
        store.DeleteDriverFile(path);
    };
    // A link named com.dll to somebody else's file: writing through it
    // would change that file. The link goes; the file stays as it was.
    ASSERT_TRUE(CopyFileA(planted.c_str(), victim.c_str(), FALSE));
    ASSERT_TRUE(CreateHardLinkA(named.c_str(), victim.c_str(), nullptr));
    {
        CDriverFileStore store;
        const auto path = store.WriteDriverFile(DriverKind::Com);
        ASSERT_TRUE(path.has_value());
        EXPECT_EQ(*path, named);
        EXPECT_EQ(FileBytes(victim), FileBytes(planted)) << "written through the link";
        loadsOurs(store, *path);
    }
    // A read-only com.dll cannot be taken away: a private folder is used.
    ASSERT_TRUE(CopyFileA(planted.c_str(), named.c_str(), FALSE));
    ASSERT_TRUE(SetFileAttributesA(named.c_str(), FILE_ATTRIBUTE_READONLY));
    {
        CDriverFileStore store;
        const auto path = store.WriteDriverFile(DriverKind::Com);
        ASSERT_TRUE(path.has_value());
        EXPECT_NE(*path, named);
        loadsOurs(store, *path);
    }
    EXPECT_EQ(FileBytes(named), FileBytes(planted));
    SetFileAttributesA(named.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(named.c_str());
    DeleteFileA(victim.c_str());
}

TEST_F(DriverFiles, AFileChangedAfterWritingIsRefused) {
    CDriverFileStore store;
    int changed = 0;
    store.SetAfterWriteForTest([&](const std::string& path) {
        UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
        DWORD written = 0;
        if (file && WriteFile(file.Get(), "MZ!", 3, &written, nullptr)) ++changed;
    });
    EXPECT_FALSE(store.WriteDriverFile(DriverKind::Com).has_value());
    EXPECT_EQ(changed, 1) << "refused without trying the private folder";
    EXPECT_FALSE(Exists(dir_ + "\\com.dll"));
}

TEST_F(DriverFiles, AnUnwritableFolderFallsBackToAPrivateTemporaryFolder) {
    // /proc cannot be written even by root, which is what the tests run as.
    CDriverFileStore store;
    store.SetPreferredDirectory("Z:\\proc");
    const auto path = store.WriteDriverFile(DriverKind::Lpt);
    ASSERT_TRUE(path.has_value());
    char temp[MAX_PATH];
    const std::string tempDir(temp, GetTempPathA(MAX_PATH, temp));
    EXPECT_EQ(path->rfind(tempDir, 0), 0u) << *path;
    EXPECT_NE(*path, tempDir + "lpt.dll") << "must be a folder of its own";
    // Its access list lets in this user only. Wine keeps no access list; it
    // shows one made from the folder's Unix mode, with the system account
    // beside the owner, and Everyone for a folder made without ours.
    const std::string folder = path->substr(0, path->find_last_of('\\'));
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                    nullptr, nullptr, &dacl, nullptr, &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_NE(dacl, nullptr);
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    UniqueHandle ownedToken(token);
    char user[256];
    DWORD size = sizeof user;
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, user, size, &size));
    char system[SECURITY_MAX_SID_SIZE];
    DWORD systemSize = sizeof system;
    ASSERT_TRUE(CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &systemSize));
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, &ace));
        PSID sid = &static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart;
        EXPECT_TRUE(EqualSid(sid, reinterpret_cast<TOKEN_USER*>(user)->User.Sid) ||
                    EqualSid(sid, system))
            << "ACE " << i;
    }
    LocalFree(descriptor);
    CPortDriver driver;
    EXPECT_TRUE(driver.Load(*path));
    driver.Release();
    store.DeleteDriverFile(*path);
    EXPECT_FALSE(Exists(*path));
    EXPECT_FALSE(Exists(folder)) << "the private folder is left behind";
}

TEST_F(DriverFiles, NowhereToWriteIsAFailureNotAStaleCopy) {
    char oldTmp[MAX_PATH] = "", oldTemp[MAX_PATH] = "";
    GetEnvironmentVariableA("TMP", oldTmp, MAX_PATH);
    GetEnvironmentVariableA("TEMP", oldTemp, MAX_PATH);
    SetEnvironmentVariableA("TMP", "Z:\\proc");
    SetEnvironmentVariableA("TEMP", "Z:\\proc");
    CDriverFileStore store;
    store.SetPreferredDirectory("Z:\\proc");
    EXPECT_FALSE(store.WriteDriverFile(DriverKind::Com).has_value());
    SetEnvironmentVariableA("TMP", oldTmp);
    SetEnvironmentVariableA("TEMP", oldTemp);
}

// The driver thread serves the windows a library makes on it between calls
// (usb.dll's device-change window), and a call that never returns is given
// up after its bound instead of holding the program.
TEST(DriverCallThread, ServesItsWindowsBetweenCallsAndGivesUpAStalledCall) {
    CDriverCallThread calls;
    HWND window = nullptr;
    ASSERT_TRUE(calls.Run(
        [&window] {
            window = CreateWindowExA(0, "STATIC", "notices", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                     nullptr, nullptr);
            return 1;
        },
        5000));
    ASSERT_NE(window, nullptr);
    EXPECT_NE(GetWindowThreadProcessId(window, nullptr), GetCurrentThreadId());
    // Sent right after a call and again once the thread has gone to sleep.
    for (DWORD pause : {0, 300}) {
        Sleep(pause);
        DWORD_PTR answer = 0;
        EXPECT_NE(SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &answer), 0)
            << "after " << pause << " ms";
    }
    EXPECT_EQ(calls.Run([window] { return DestroyWindow(window) ? 7 : 0; }, 5000), 7);

    // A rest after a call keeps the next one away from the library for at
    // least that long, counted from when the first returned.
    for (int i = 0; i < 20; ++i) {
        int64_t returned = 0, next = 0;
        ASSERT_EQ(calls.Run([&returned] { returned = NowMicros(); return 1; }, 5000, 1), 1);
        ASSERT_EQ(calls.Run([&next] { next = NowMicros(); return 2; }, 5000), 2);
        EXPECT_GE(next - returned, 1000) << i;
    }

    auto stalled = std::make_shared<std::vector<int>>(64, 1);
    const DWORD before = GetTickCount();
    EXPECT_FALSE(calls.Run(
        [stalled] {
            Sleep(3000);
            return (*stalled)[63];
        },
        200));
    EXPECT_LT(GetTickCount() - before, 2500u);
    EXPECT_TRUE(calls.Abandoned());
    EXPECT_FALSE(calls.Run([] { return 1; }, 5000)) << "a later call must not queue behind it";
    stalled.reset();  // the call keeps its own share
}

// kestrelc's Ctrl+C: the wait wakes on the interrupt and cancels the call in
// flight from the waiting thread (the library's ClosePort under a write to a
// printer that stopped reading), instead of sitting out the call's bound. A
// call the cancel does not end is given up shortly after it.
TEST(DriverCallThread, AnInterruptCancelsTheCallInFlightFromTheWaitingThread) {
    CDriverCallThread calls;
    UniqueHandle interrupt(CreateEventA(nullptr, TRUE, TRUE, nullptr));
    auto closed = std::make_shared<UniqueHandle>(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    DWORD cancelledOn = 0;
    const CDriverCallThread::Interrupt closing{interrupt.Get(),
                                               [&] {
                                                   cancelledOn = GetCurrentThreadId();
                                                   SetEvent(closed->Get());
                                               },
                                               5000};
    DWORD before = GetTickCount();
    EXPECT_EQ(calls.Run([closed] { return WaitForSingleObject(closed->Get(), 30000) ? 0 : 3; },
                        60000, 0, &closing),
              3);
    EXPECT_LT(GetTickCount() - before, 10000u);
    EXPECT_EQ(cancelledOn, GetCurrentThreadId());
    EXPECT_FALSE(calls.Abandoned());

    const CDriverCallThread::Interrupt deaf{interrupt.Get(), [] {}, 300};
    before = GetTickCount();
    EXPECT_FALSE(calls.Run(
        [] {
            Sleep(4000);
            return 1;
        },
        60000, 0, &deaf));
    EXPECT_LT(GetTickCount() - before, 3000u);
    EXPECT_TRUE(calls.Abandoned());
}

}  // namespace
}  // namespace kestrel
