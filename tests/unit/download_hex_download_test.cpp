#include "download/hex_download.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "firmware/hex_image.h"
#include "firmware/hex_image_file.h"
#include "tests/unit/firmware_hex_test_records.h"

namespace kestrel {
namespace {

using namespace hextest;
namespace fs = std::filesystem;

struct FakeFiles : IDriverFileStore {
    int written = 0;
    std::optional<std::string> WriteDriverFile(DriverKind) override {
        ++written;
        return std::string("com.dll");
    }
    void DeleteDriverFile(const std::string&) override {}
};

struct FakeSpooler : ISpooler {
    void ReleasePrinterPorts(const std::string&) override {}
    void RestorePrinterPorts() override {}
};

// Keeps what reached the wire; can refuse to open the port.
struct FakeDriver : IPortDriver {
    bool openOk = true;
    std::vector<uint8_t> sent;
    bool Load(const std::string&) override { return true; }
    void Release() override {}
    int32_t SetDeviceOption(const ConnectionSettings&) override { return 1; }
    int32_t OpenPort() override { return openOk ? 1 : 0; }
    int32_t Write(const uint8_t* data, uint32_t count) override {
        sent.insert(sent.end(), data, data + count);
        return static_cast<int32_t>(count);
    }
    void ClosePort() override {}
};

struct FakeNetwork : INetworkLink {
    bool Create() override { return false; }
    bool Connect(const std::string&, uint16_t) override { return false; }
    int64_t Send(const uint8_t*, uint64_t) override { return -1; }
    void Close() override {}
};

struct FakeView : IDownloadView {
    std::vector<std::string> messages;
    int notices = 0;
    void RedrawAll() override {}
    void ShowProgress(int32_t) override {}
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void ShowLedNotice() override { ++notices; }
};

struct FakeClock : IClock {
    void Sleep(uint32_t) override {}
    void KeepAlive() override {}
    void BeginFineSleep() override {}
    void EndFineSleep() override {}
};

// The image file as a plain file in one folder, where the test can see it.
struct FolderImageFiles : IImageFileStore {
    std::string dir;
    std::optional<std::string> WriteImageFile(const uint8_t* bytes, size_t size) override {
        const std::string path = HexImagePath(dir);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        if (!out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size)))
            return std::nullopt;
        return path;
    }
    void DeleteImageFile(const std::string& path) override { fs::remove(path); }
};

class HexDownload : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/kestrel_hex_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        tempDir_ = dir_ + "/tmp/";
        fs::create_directory(tempDir_);
        request_.settings.portName = "COM1";
        request_.printerType = 100;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string WriteSource(const std::string& text) {
        const std::string path = dir_ + "/firmware.hex";
        std::ofstream(path, std::ios::binary) << text;
        request_.firmwarePath = path;
        return path;
    }
    HexDownloadResult Run() {
        DownloadPorts ports{files_, spooler_, driver_, network_, view_, clock_};
        images_.dir = tempDir_;
        return RunHexDownload(request_, images_, ports);
    }
    std::string ImagePath() const { return tempDir_ + "temp.fls"; }

    std::string dir_, tempDir_;
    DownloadRequest request_;
    FakeFiles files_;
    FakeSpooler spooler_;
    FakeDriver driver_;
    FakeNetwork network_;
    FakeView view_;
    FakeClock clock_;
    FolderImageFiles images_;
};

TEST_F(HexDownload, SendsHeaderAndImageThenDeletesTheImageFile) {
    WriteSource(Lines({IntelLine(0, 0x0004, {0x12, 0x34}), kIntelEnd}, "\r\n"));
    const HexDownloadResult result = Run();

    ASSERT_TRUE(result.conversion.ok());
    ASSERT_TRUE(result.download.has_value());
    EXPECT_EQ(*result.download, DownloadOutcome::Completed);
    std::vector<uint8_t> expected(kFlashImageHeader.begin(), kFlashImageHeader.end());
    expected.resize(4 + kFlashImageSize, kFlashErased);
    expected[4 + 4] = 0x12;
    expected[4 + 5] = 0x34;
    EXPECT_EQ(driver_.sent, expected);
    EXPECT_EQ(request_.firmwarePath, ImagePath());
    EXPECT_FALSE(fs::exists(ImagePath()));
    EXPECT_TRUE(view_.messages.empty());
}

TEST_F(HexDownload, ImageFileIsDeletedAfterAFailedDownloadToo) {
    WriteSource(kIntelEnd + "\n");
    driver_.openOk = false;
    const HexDownloadResult result = Run();
    EXPECT_EQ(result.download, DownloadOutcome::OpenFailed);
    EXPECT_FALSE(fs::exists(ImagePath()));
}

TEST_F(HexDownload, RefusedFileSendsNothingAndSaysWhichLine) {
    struct Case {
        std::string text;
        const char* message;
        size_t imageFileSize; // what stays behind
    };
    const Case cases[] = {
        {Lines({kIntelEnd, "garbage"}),
         "Failed File Loaded!!\nLine 2: The line does not begin like the other records of the "
         "file.",
         4},
        {Lines({"", IntelLine(0, 0, {1}), ":0100000055AB"}),
         "Failed File Loaded!!\nLine 3: The checksum does not match.", 4 + kFlashImageSize},
        {Lines({SLine(0, 0, {}), SLine(1, 0, {1})}),
         "Failed File Loaded!!\nThe file holds no Intel HEX, S2 or S3 records.", 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        WriteSource(c.text);
        view_.messages.clear();
        const HexDownloadResult result = Run();
        EXPECT_FALSE(result.conversion.ok());
        EXPECT_FALSE(result.download.has_value());
        EXPECT_EQ(view_.messages, std::vector<std::string>{c.message});
        EXPECT_TRUE(driver_.sent.empty());
        EXPECT_EQ(files_.written, 0);
        EXPECT_EQ(view_.notices, 0);
        // The path names the image file, which stays for the user to find.
        EXPECT_EQ(request_.firmwarePath, ImagePath());
        EXPECT_EQ(fs::file_size(ImagePath()), c.imageFileSize);
    }
}

TEST_F(HexDownload, ASecondDownloadWithoutANewFileIsRefused) {
    const std::string source = WriteSource(kIntelEnd + "\n");
    ASSERT_TRUE(Run().conversion.ok());
    ASSERT_EQ(request_.firmwarePath, ImagePath());
    driver_.sent.clear();

    const HexDownloadResult again = Run();
    EXPECT_EQ(again.conversion.failure, HexFailure::SourceOpenFailed);
    EXPECT_EQ(view_.messages,
              std::vector<std::string>{"Failed File Loaded!!\nThe file cannot be opened or read."});
    EXPECT_TRUE(driver_.sent.empty());
    EXPECT_FALSE(fs::exists(ImagePath()));
}

TEST_F(HexDownload, MissingSourceLeavesPathAndDiskAlone) {
    request_.firmwarePath = dir_ + "/absent.hex";
    EXPECT_EQ(Run().conversion.failure, HexFailure::SourceOpenFailed);
    EXPECT_EQ(request_.firmwarePath, dir_ + "/absent.hex");
    EXPECT_FALSE(fs::exists(ImagePath()));
}

TEST_F(HexDownload, UnwritableImageFileSendsNothing) {
    WriteSource(kIntelEnd + "\n");
    fs::remove(tempDir_); // the directory the caller named is gone
    const HexDownloadResult result = Run();
    EXPECT_EQ(result.conversion.failure, HexFailure::OutputCreateFailed);
    EXPECT_FALSE(result.download.has_value());
    EXPECT_TRUE(driver_.sent.empty());
    EXPECT_EQ(view_.messages.size(), 1u);
}

TEST(HexImageFile, LinesLongerThanTheReadBufferKeepTheirNumbers) {
    char pattern[] = "/tmp/kestrel_hex_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string source = std::string(pattern) + "/f.hex";
    const std::string output = std::string(pattern) + "/temp.fls";
    struct Case {
        std::string text;
        HexConversion expected;
    };
    const Case cases[] = {
        // Blanks after the record, far past the buffer, are still trimmed.
        {":00000001FF" + std::string(200000, ' ') + "\n", {}},
        {std::string(100000, '\n') + ":0100000055AB\n", {HexFailure::ChecksumMismatch, 100001}},
        {":00000001FF\n" + std::string(100000, 'x'), {HexFailure::WrongFirstCharacter, 2}},
        // The end-of-text byte past the first buffer's worth ends the text there.
        {std::string(100000, '\n') + ":00000001FF\n\x1a" + std::string(100, 'x'), {}},
        {IntelLine(0, 0, {1}) + "\n\x1a" + kIntelEnd + "\n", {HexFailure::EndMissing, 0}},
    };
    for (const Case& c : cases) {
        std::ofstream(source, std::ios::binary) << c.text;
        const HexConversion result = ConvertHexImage(source, output);
        EXPECT_EQ(result.failure, c.expected.failure);
        EXPECT_EQ(result.line, c.expected.line);
    }
    fs::remove_all(pattern);
}

TEST(HexImageFile, ImageThatCannotBeWrittenInFullFails) {
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    char pattern[] = "/tmp/kestrel_hex_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string source = std::string(pattern) + "/f.hex";
    std::ofstream(source) << kIntelEnd << "\n";
    EXPECT_EQ(ConvertHexImage(source, "/dev/full").failure, HexFailure::OutputWriteFailed);
    fs::remove_all(pattern);
}

TEST(HexImagePath, JoinsWithOrWithoutASeparator) {
    EXPECT_EQ(HexImagePath("C:\\Users\\me\\AppData\\Local\\Temp\\"),
              "C:\\Users\\me\\AppData\\Local\\Temp\\temp.fls");
    EXPECT_EQ(HexImagePath("/tmp/"), "/tmp/temp.fls");
    EXPECT_EQ(HexImagePath("/tmp"), "/tmp/temp.fls");
}

} // namespace
} // namespace kestrel
