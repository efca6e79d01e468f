#pragma once

// A progress bar on standard error for work on several files, drawn only when standard error is a
// terminal, and a runner that spreads such work over the machine's cores. The library itself
// stays single-threaded: each worker runs its own calls on its own pictures.
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>

namespace imgdesk::cli {

class Progress {
public:
    Progress(std::string label, std::size_t total);
    ~Progress();
    // Counts one item done; safe to call from several threads.
    void Step();

private:
    void Draw();

    std::string label_;
    std::size_t total_;
    std::size_t done_ = 0;
    bool visible_;
    std::mutex mutex_;
};

// Runs work(i) for i = 0 .. count - 1 on up to one thread per core, showing progress under
// label. Returns the number of items whose work threw; the messages go to standard error
// prefixed with prefix, in item order.
std::size_t RunOnCores(const std::string& prefix, const std::string& label, std::size_t count,
                       const std::function<void(std::size_t)>& work);

}  // namespace imgdesk::cli
