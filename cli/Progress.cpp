#include "cli/Progress.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <algorithm>
#include <exception>
#include <thread>
#include <vector>

namespace imgdesk::cli {

Progress::Progress(std::string label, std::size_t total)
    : label_(std::move(label)), total_(total), visible_(total > 1 && ::isatty(STDERR_FILENO)) {
    if (visible_)
        Draw();
}

Progress::~Progress() {
    if (visible_)
        std::fputs("\n", stderr);
}

void Progress::Step() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++done_;
    if (visible_)
        Draw();
}

void Progress::Draw() {
    constexpr int kWidth = 30;
    const int filled = total_ ? static_cast<int>(done_ * kWidth / total_) : kWidth;
    std::fprintf(stderr, "\r%s [%.*s%*s] %zu/%zu", label_.c_str(), filled,
                 "##############################", kWidth - filled, "", done_, total_);
    std::fflush(stderr);
}

std::size_t RunOnCores(const std::string& prefix, const std::string& label, std::size_t count,
                       const std::function<void(std::size_t)>& work) {
    std::vector<std::string> errors(count);
    {
        std::atomic<std::size_t> next{0};
        Progress progress(label, count);
        auto worker = [&] {
            for (std::size_t i = next++; i < count; i = next++) {
                try {
                    work(i);
                } catch (const std::exception& error) {
                    errors[i] = error.what();
                }
                progress.Step();
            }
        };
        const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
        std::vector<std::thread> pool;
        for (std::size_t t = 1; t < std::min(count, cores); ++t)
            pool.emplace_back(worker);
        worker();
        for (auto& thread : pool)
            thread.join();
    }

    std::size_t failed = 0;
    for (const auto& message : errors) {
        if (message.empty())
            continue;
        std::fprintf(stderr, "%s: %s\n", prefix.c_str(), message.c_str());
        ++failed;
    }
    return failed;
}

}  // namespace imgdesk::cli
