// The driver libraries inside the program, written out, loaded by full path
// and bound; libraries that are not ours are refused or never reached.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "download/driver_files.h"
#include "download/driver_loader.h"

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
    CPortDriver driver;
    EXPECT_TRUE(driver.Load(*path));
    driver.Release();
    const std::string folder = path->substr(0, path->find_last_of('\\'));
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

}  // namespace
}  // namespace kestrel
