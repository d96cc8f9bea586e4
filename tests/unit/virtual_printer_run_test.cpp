// Runs the virtual printer program on a real pty and plays the host's part
// from this side: line settings, bytes in both directions, commands.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Only to keep a broken printer from hanging the test run.
constexpr auto kPatience = 30s;

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

template <class Pred> bool WaitFor(Pred pred, std::chrono::milliseconds limit = kPatience) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        if (pred())
            return true;
        std::this_thread::sleep_for(10ms);
    }
    return pred();
}

class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0)
            close(fd_);
    }
    int get() const { return fd_; }

  private:
    int fd_;
};

class RunningPrinter {
  public:
    enum class Line { Pty, Tcp };

    RunningPrinter(const fs::path& dir, std::vector<std::string> extra, Line kind = Line::Pty)
        : dir_(dir) {
        const char* program = std::getenv("VIRTUAL_PRINTER");
        if (program == nullptr) {
            error_ = "VIRTUAL_PRINTER is not set";
            return;
        }
        std::vector<std::string> args = {program,
                                         "--record",
                                         (dir / "record.bin").string(),
                                         "--settings",
                                         (dir / "settings.txt").string(),
                                         "--control",
                                         (dir / "control").string(),
                                         "--idle-exit",
                                         "60"};
        if (kind == Line::Pty) {
            args.push_back("--link");
            args.push_back((dir / "com5").string());
        }
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);

        int out[2];
        if (pipe(out) != 0) {
            error_ = "pipe failed";
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        const std::string log = (dir / "printer.log").string();
        posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        const int rc = posix_spawn(&pid_, program, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        Fd stdoutRead(out[0]);
        if (rc != 0) {
            error_ = std::string("spawn: ") + std::strerror(rc);
            pid_ = -1;
            return;
        }
        // The ready line, read with a bound.
        std::string line;
        const auto end = Clock::now() + kPatience;
        while (line.find('\n') == std::string::npos && Clock::now() < end) {
            pollfd p{stdoutRead.get(), POLLIN, 0};
            if (poll(&p, 1, 100) <= 0)
                continue;
            char c[256];
            const ssize_t n = read(stdoutRead.get(), c, sizeof c);
            if (n <= 0)
                break;
            line.append(c, static_cast<std::size_t>(n));
        }
        const std::string want = kind == Line::Pty ? "PTY /" : "TCP 127.0.0.1:";
        if (!line.starts_with(want) || line.find('\n') == std::string::npos) {
            error_ = "no ready line, got '" + line + "'";
            return;
        }
        if (kind == Line::Pty)
            pty_ = line.substr(4, line.find('\n') - 4);
        else
            port_ = std::stoi(line.substr(want.size()));
    }

    ~RunningPrinter() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    const std::string& error() const { return error_; }
    const std::string& pty() const { return pty_; }
    int port() const { return port_; }
    fs::path path(const char* name) const { return dir_ / name; }

    void Command(const std::string& line) { std::ofstream(path("control")) << line << "\n"; }

    // The printer's exit status, or -1 if it did not end within the bound.
    int WaitExit(std::chrono::milliseconds limit = kPatience) {
        int status = 0;
        const bool ended = WaitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, limit);
        if (!ended)
            return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    int Stop() {
        kill(pid_, SIGTERM);
        return WaitExit();
    }

  private:
    fs::path dir_;
    pid_t pid_ = -1;
    std::string pty_;
    int port_ = 0;
    std::string error_;
};

class VirtualPrinterRun : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/vprinter-test-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path dir_;
};

std::string Pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return s;
}

void WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        ASSERT_GT(n, 0) << std::strerror(errno);
        done += static_cast<std::size_t>(n);
    }
}

std::string ReadSome(int fd, std::size_t want) {
    std::string got;
    const auto end = Clock::now() + kPatience;
    while (got.size() < want && Clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        char buf[256];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        got.append(buf, static_cast<std::size_t>(n));
    }
    return got;
}

void SetLine(int fd, speed_t speed, tcflag_t flow) {
    termios t{};
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    ASSERT_EQ(cfsetospeed(&t, speed), 0);
    ASSERT_EQ(cfsetispeed(&t, speed), 0);
    t.c_iflag = (t.c_iflag & ~static_cast<tcflag_t>(IXON | IXOFF)) | flow;
    ASSERT_EQ(tcsetattr(fd, TCSANOW, &t), 0);
}

TEST_F(VirtualPrinterRun, RecordsWhatTheHostWritesAndReportsItsLineSettings) {
    RunningPrinter printer(dir_, {});
    ASSERT_TRUE(printer.error().empty()) << printer.error();
    EXPECT_EQ(fs::read_symlink(dir_ / "com5"), printer.pty());

    const std::string payload = Pattern(100'000) + std::string("\x11\x13\r\n\x00", 5);
    {
        Fd host(open(printer.pty().c_str(), O_RDWR | O_NOCTTY));
        ASSERT_GE(host.get(), 0) << std::strerror(errno);
        SetLine(host.get(), B115200, IXON | IXOFF);
        WriteAll(host.get(), payload.substr(0, 60'000));
    }
    // A host that closes and reopens the port finds its settings kept.
    Fd host(open(printer.pty().c_str(), O_RDWR | O_NOCTTY));
    ASSERT_GE(host.get(), 0);
    WriteAll(host.get(), payload.substr(60'000));
    EXPECT_TRUE(
        WaitFor([&] { return fs::file_size(printer.path("record.bin")) >= payload.size(); }));
    EXPECT_TRUE(ReadFile(printer.path("record.bin")) == payload) << "record differs";
    EXPECT_TRUE(WaitFor([&] {
        return ReadFile(printer.path("settings.txt")) == "baud=115200 ixon=1 ixoff=1\n";
    })) << ReadFile(printer.path("settings.txt"));

    SetLine(host.get(), B9600, 0);
    EXPECT_TRUE(WaitFor([&] {
        return ReadFile(printer.path("settings.txt")) == "baud=9600 ixon=0 ixoff=0\n";
    })) << ReadFile(printer.path("settings.txt"));

    EXPECT_EQ(printer.Stop(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir_ / "com5"))) << "link left behind";
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir_ / "control"))) << "FIFO left behind";
}

TEST_F(VirtualPrinterRun, SendsScheduledAndCommandedBytesToTheHost) {
    RunningPrinter printer(dir_, {"--send-at", "300:14 00 00 0f"});
    ASSERT_TRUE(printer.error().empty()) << printer.error();
    Fd host(open(printer.pty().c_str(), O_RDWR | O_NOCTTY));
    ASSERT_GE(host.get(), 0);
    EXPECT_EQ(ReadSome(host.get(), 4), std::string("\x14\x00\x00\x0f", 4));
    printer.Command("send 35 40 41 00");
    printer.Command("bogus command"); // reported, then ignored
    printer.Command("send 41");
    EXPECT_EQ(ReadSome(host.get(), 5), std::string("\x35\x40\x41\x00\x41", 5));
    printer.Command("quit");
    EXPECT_EQ(printer.WaitExit(), 0);
    EXPECT_NE(ReadFile(printer.path("printer.log")).find("unknown command 'bogus'"),
              std::string::npos)
        << "refused commands are reported";
}

TEST_F(VirtualPrinterRun, StopsResumesAndDropsTheLine) {
    RunningPrinter printer(dir_, {"--stop-reading-after", "100", "--drop-after", "250"});
    ASSERT_TRUE(printer.error().empty()) << printer.error();
    Fd host(open(printer.pty().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
    ASSERT_GE(host.get(), 0);
    const std::string payload = Pattern(300);
    WriteAll(host.get(), payload);
    EXPECT_TRUE(WaitFor([&] { return fs::file_size(printer.path("record.bin")) >= 100; }));
    std::this_thread::sleep_for(300ms); // it must not read on past the limit
    EXPECT_EQ(ReadFile(printer.path("record.bin")), payload.substr(0, 100));

    printer.Command("resume-reading");
    EXPECT_TRUE(WaitFor([&] {
        return ReadFile(printer.path("printer.log")).find("applied: resume-reading") !=
               std::string::npos;
    })) << ReadFile(printer.path("printer.log"));
    EXPECT_TRUE(WaitFor([&] { return fs::file_size(printer.path("record.bin")) >= 250; }));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(ReadFile(printer.path("record.bin")), payload.substr(0, 250));

    // Hung up: the host's next transfer fails instead of vanishing.
    EXPECT_TRUE(
        WaitFor([&] { return write(host.get(), "x", 1) < 0 && (errno == EIO || errno == EBADF); }));
    EXPECT_EQ(printer.Stop(), 0);
}

TEST_F(VirtualPrinterRun, UsbPrinterSendsChunksAndIsPulledOutAndPluggedIn) {
    RunningPrinter printer(dir_, {"--chunks", (dir_ / "chunks").string()});
    ASSERT_TRUE(printer.error().empty()) << printer.error();
    Fd host(open((dir_ / "chunks").c_str(), O_RDONLY | O_NONBLOCK));
    ASSERT_GE(host.get(), 0) << std::strerror(errno);
    // Each chunk is one read, however much the host asks for.
    const std::pair<const char*, std::string> chunks[] = {
        {"chunk 10 00 00 0f 00 00", std::string("\x10\0\0\x0f\0\0", 6)}, {"chunk 41 42", "AB"}};
    for (const auto& [command, chunk] : chunks) {
        printer.Command(command);
        pollfd p{host.get(), POLLIN, 0};
        ASSERT_GT(poll(&p, 1, 10'000), 0);
        char buf[16];
        EXPECT_EQ(read(host.get(), buf, sizeof buf), static_cast<ssize_t>(chunk.size()));
        EXPECT_EQ(std::string(buf, chunk.size()), chunk);
    }
    printer.Command("unplug");
    EXPECT_TRUE(WaitFor([&] { return !fs::exists(fs::symlink_status(dir_ / "com5")); }));
    printer.Command("plug");
    EXPECT_TRUE(WaitFor([&] { return fs::exists(fs::symlink_status(dir_ / "com5")); }));
    EXPECT_EQ(fs::read_symlink(dir_ / "com5"), printer.pty());
    EXPECT_EQ(printer.Stop(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir_ / "chunks"))) << "FIFO left behind";
}

TEST_F(VirtualPrinterRun, ReadsNoFasterThanItsRateAndLeavesWhenIdle) {
    RunningPrinter printer(dir_, {"--rate", "20000", "--idle-exit", "1"});
    ASSERT_TRUE(printer.error().empty()) << printer.error();
    Fd host(open(printer.pty().c_str(), O_RDWR | O_NOCTTY));
    ASSERT_GE(host.get(), 0);
    const auto start = Clock::now();
    WriteAll(host.get(), Pattern(10'000));
    ASSERT_TRUE(WaitFor([&] { return fs::file_size(printer.path("record.bin")) >= 10'000; }));
    // 10,000 bytes at 20,000 B/s take half a second at the least.
    EXPECT_GE(Clock::now() - start, 490ms);
    EXPECT_EQ(printer.WaitExit(), 0) << "idle exit";
}

TEST_F(VirtualPrinterRun, FollowsTheHostsBaudRate) {
    RunningPrinter printer(dir_, {"--rate", "line"});
    ASSERT_TRUE(printer.error().empty()) << printer.error();
    Fd host(open(printer.pty().c_str(), O_RDWR | O_NOCTTY));
    ASSERT_GE(host.get(), 0);
    SetLine(host.get(), B19200, 0); // 1,920 bytes/s
    ASSERT_TRUE(WaitFor(
        [&] { return ReadFile(printer.path("settings.txt")) == "baud=19200 ixon=0 ixoff=0\n"; }));
    const auto start = Clock::now();
    WriteAll(host.get(), Pattern(1000));
    ASSERT_TRUE(WaitFor([&] { return fs::file_size(printer.path("record.bin")) >= 1000; }));
    EXPECT_GE(Clock::now() - start, 490ms);
    EXPECT_EQ(printer.Stop(), 0);
}

int ConnectLocal(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

TEST_F(VirtualPrinterRun, NetworkPrinterKeepsOneRecordAcrossConnections) {
    RunningPrinter printer(dir_, {"--tcp", "0"}, RunningPrinter::Line::Tcp);
    ASSERT_TRUE(printer.error().empty()) << printer.error();
    ASSERT_GT(printer.port(), 0);
    const std::string payload = Pattern(70'000);
    {
        Fd host(ConnectLocal(printer.port()));
        ASSERT_GE(host.get(), 0) << std::strerror(errno);
        WriteAll(host.get(), payload.substr(0, 50'000));
    }
    // The next download's connection: the printer listens again.
    Fd host(ConnectLocal(printer.port()));
    ASSERT_GE(host.get(), 0) << std::strerror(errno);
    WriteAll(host.get(), payload.substr(50'000));
    EXPECT_TRUE(
        WaitFor([&] { return fs::file_size(printer.path("record.bin")) >= payload.size(); }));
    EXPECT_TRUE(ReadFile(printer.path("record.bin")) == payload) << "record differs";
    printer.Command("send 14 00 00 0f");
    EXPECT_EQ(ReadSome(host.get(), 4), std::string("\x14\x00\x00\x0f", 4));
    EXPECT_FALSE(fs::exists(printer.path("settings.txt"))) << "a network line has no settings";

    printer.Command("drop");
    EXPECT_TRUE(WaitFor([&] { return ReadSome(host.get(), 1).empty(); })) << "connection closed";
    EXPECT_TRUE(WaitFor([&] {
        Fd again(ConnectLocal(printer.port()));
        return again.get() < 0;
    })) << "no longer listening";
    EXPECT_EQ(printer.Stop(), 0);
}

} // namespace
