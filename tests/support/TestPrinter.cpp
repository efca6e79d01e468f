#include "support/TestPrinter.h"

#include <arpa/inet.h>
#include <cups/cups.h>
#include <cups/raster.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

extern char** environ;

namespace imgdesk::test {
namespace {

constexpr const char* kProgram = "/usr/sbin/ippeveprinter";

int FreeLoopbackPort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    int port = 0;
    if (s >= 0 && ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (s >= 0)
        ::close(s);
    return port;
}

bool Answers(int port) {
    http_t* http =
        httpConnect2("127.0.0.1", port, nullptr, AF_INET, HTTP_ENCRYPTION_NEVER, 1, 500, nullptr);
    if (!http)
        return false;
    httpClose(http);
    return true;
}

}  // namespace

unsigned char RasterPage::At(unsigned x, unsigned y) const {
    return pixels[static_cast<std::size_t>(y) * width * bitsPerPixel / 8 + x * bitsPerPixel / 8];
}

bool TestPrinter::Installed() {
    return ::access(kProgram, X_OK) == 0;
}

TestPrinter::TestPrinter() = default;

TestPrinter::~TestPrinter() {
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < 50; ++i) {
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
}

bool TestPrinter::Start(std::string* why) {
    const std::string spool = folder_.File("spool");
    std::filesystem::create_directories(spool);
    // A taken port shows as a printer that exits early; try a few.
    for (int attempt = 0; attempt < 3; ++attempt) {
        port_ = FreeLoopbackPort();
        const std::string port = std::to_string(port_);
        // Both loopback addresses, never the network: the printer listens on "localhost" only.
        std::vector<std::string> args = {
            kProgram, "-p", port, "-n", "localhost", "-d", spool, "-k", "imgdesk test printer"};
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e)
            if (std::string(*e).rfind("LD_PRELOAD=", 0) != 0)
                env.emplace_back(*e);
        env.push_back(std::string("LD_PRELOAD=") + IMGDESK_DNSSD_STUB);
        std::vector<char*> argv, envp;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        for (auto& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const std::string log = folder_.File("printer.log");
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        const int failed =
            posix_spawn(&pid_, kProgram, &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (failed) {
            pid_ = -1;
            *why = "cannot start ippeveprinter";
            return false;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                break;
            }
            if (Answers(port_))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }
    std::ifstream log(folder_.File("printer.log"));
    *why = "ippeveprinter did not come up: " +
           std::string(std::istreambuf_iterator<char>(log), std::istreambuf_iterator<char>());
    return false;
}

std::string TestPrinter::Uri() const {
    return "ipp://127.0.0.1:" + std::to_string(port_) + "/ipp/print";
}

std::vector<std::string> TestPrinter::Documents() const {
    std::vector<std::string> documents;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder_.File("spool"), error))
        if (entry.is_regular_file())
            documents.push_back(entry.path().string());
    std::sort(documents.begin(), documents.end());
    return documents;
}

std::vector<RasterPage> TestPrinter::ReadPages(const std::string& document) {
    std::vector<RasterPage> pages;
    const int fd = ::open(document.c_str(), O_RDONLY);
    if (fd < 0)
        return pages;
    cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_READ);
    cups_page_header2_t header;
    while (raster && cupsRasterReadHeader2(raster, &header)) {
        RasterPage page;
        page.width = header.cupsWidth;
        page.height = header.cupsHeight;
        page.dpi = header.HWResolution[0];
        page.bitsPerPixel = header.cupsBitsPerPixel;
        page.pixels.resize(static_cast<std::size_t>(header.cupsBytesPerLine) * header.cupsHeight);
        if (cupsRasterReadPixels(raster, page.pixels.data(),
                                 static_cast<unsigned>(page.pixels.size())) < page.pixels.size())
            break;
        pages.push_back(std::move(page));
    }
    if (raster)
        cupsRasterClose(raster);
    ::close(fd);
    return pages;
}

}  // namespace imgdesk::test
