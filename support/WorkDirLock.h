#pragma once
// One upload at a time per work directory: the window, the terminal front end
// and the scheduled run each hold this lock while they upload from a work
// directory. It is an advisory lock (flock) on a file in the user's runtime
// directory named after the work directory's real path, so the kernel lets
// it go when its holder ends in any way, a crash included: a lock is never
// left behind. The holder writes who it is into the file, so that a run that
// has to wait can say for whom.

#include <chrono>
#include <functional>
#include <string>

namespace workdir {

// The lock file of `workDir`: $XDG_RUNTIME_DIR/quillmark/workdir-HASH.lock,
// or /tmp/quillmark-UID/ when there is no runtime directory.
std::string LockPath(const std::string& workDir);

class Lock {
public:
    enum class Result {
        Acquired,
        Busy,        // another holder still has it after the wait
        Unavailable, // the lock file cannot be made; Error() says why
    };

    // `holder`: who takes it, as told to whoever waits ("quillmark-cli").
    Lock(std::string workDir, std::string holder);
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

    // Tries now and then every `poll` until `wait` has passed. `onWait` is
    // called once, with who holds it, when the first try finds it held.
    Result Acquire(std::chrono::milliseconds wait,
                   const std::function<void(const std::string& holder)>& onWait = {},
                   std::chrono::milliseconds poll = std::chrono::milliseconds(200));
    void Release();
    bool Held() const { return m_fd >= 0 && m_held; }

    // Who holds the lock now, as its holder wrote it ("" when unknown).
    std::string Holder() const;
    const std::string& Error() const { return m_error; }
    const std::string& Path() const { return m_path; }

private:
    bool Open();
    bool TryOnce();

    std::string m_path;
    std::string m_holder;
    std::string m_error;
    int m_fd = -1;
    bool m_held = false;
};

} // namespace workdir
