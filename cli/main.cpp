// imgdesk: the command-line face of the library.
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kUsage =
    "usage: imgdesk <command> [options]\n"
    "\n"
    "Pixel work and document output for photographed and scanned pages.\n"
    "\n"
    "options:\n"
    "  -h, --help     show this help\n"
    "  --version      show the version\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || !std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "--help")) {
        std::fputs(kUsage, argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    if (!std::strcmp(argv[1], "--version")) {
        std::puts("imgdesk 0.1.0");
        return 0;
    }
    std::fprintf(stderr, "imgdesk: unknown command '%s' (see imgdesk --help)\n", argv[1]);
    return 2;
}
