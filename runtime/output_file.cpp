#include "runtime/output_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "runtime/error.hpp"

namespace hfchain {

namespace fs = std::filesystem;

namespace {

std::string reason(int error) { return std::strerror(error); }

// The temporary files alive, for a signal handler to remove: a slot is 0 (free), 1 (being
// filled) or 2 (holds a path).
struct TempSlot {
    std::atomic<int> state{0};
    char path[4096] = {};
};
static_assert(std::atomic<int>::is_always_lock_free, "read from a signal handler");
TempSlot g_temp_slots[32];

int register_temporary(const std::string& path) {
    if (path.size() >= sizeof g_temp_slots[0].path) return -1;
    for (int i = 0; i < static_cast<int>(std::size(g_temp_slots)); ++i) {
        int expected = 0;
        if (g_temp_slots[i].state.compare_exchange_strong(expected, 1)) {
            std::memcpy(g_temp_slots[i].path, path.c_str(), path.size() + 1);
            g_temp_slots[i].state.store(2, std::memory_order_release);
            return i;
        }
    }
    return -1;  // more than 32 at once: such a file is only removed by its destructor
}

void unregister_temporary(int slot) {
    if (slot >= 0) g_temp_slots[slot].state.store(0, std::memory_order_release);
}

// The permissions a new file gets from open(..., 0666).
mode_t new_file_mode() {
    static const mode_t mode = [] {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        return static_cast<mode_t>(0666 & ~mask);
    }();
    return mode;
}

// Makes the content of `path` durable: a rename after it cannot expose an empty file after a
// crash of the machine.
int sync_file(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    const int status = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return status;
}

}  // namespace

void remove_temporary_files_now() noexcept {
    for (TempSlot& slot : g_temp_slots) {
        if (slot.state.load(std::memory_order_acquire) == 2) ::unlink(slot.path);
    }
}

void write_all(int fd, std::string_view data, const std::string& what) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            raise(errid::kWriteFailed, what + " failed: " + reason(errno));
        }
        if (n == 0) raise(errid::kWriteFailed, what + " failed: nothing could be written");
        data.remove_prefix(static_cast<std::size_t>(n));
    }
}

void check_output_file(const std::string& name, const std::string& path) {
    if (path.empty()) return;
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (fs::is_directory(st)) {
        raise(errid::kUnusableFile, name + ": '" + path + "' is a folder; give a file name");
    }
    if (fs::exists(st) && !fs::is_regular_file(st)) {
        // A device or pipe is written in place.
        if (::access(path.c_str(), W_OK) != 0) {
            raise(errid::kUnusableFile, name + ": cannot write '" + path + "': " + reason(errno));
        }
        return;
    }
    fs::path file = path;
    if (fs::exists(st)) file = fs::canonical(path, ec);
    fs::path folder = file.parent_path();
    if (folder.empty()) folder = ".";
    const fs::file_status fst = fs::status(folder, ec);
    if (!fs::exists(fst)) {
        raise(errid::kUnusableFile,
              name + ": the folder '" + folder.string() + "' of '" + path + "' does not exist");
    }
    if (!fs::is_directory(fst)) {
        raise(errid::kUnusableFile,
              name + ": '" + folder.string() + "' in '" + path + "' is not a folder");
    }
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        raise(errid::kUnusableFile,
              name + ": cannot write into the folder '" + folder.string() + "': " + reason(errno));
    }
}

bool same_file(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0) {
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    }
    std::error_code ea;
    std::error_code eb;
    const fs::path ca = fs::weakly_canonical(fs::absolute(a, ea), ea);
    const fs::path cb = fs::weakly_canonical(fs::absolute(b, eb), eb);
    return ea || eb ? a == b : ca == cb;
}

ResultFile::ResultFile(std::string name, const std::string& target)
    : name_(std::move(name)), target_(target), final_(target) {
    std::error_code ec;
    const fs::file_status st = fs::status(target, ec);
    mode_t mode = new_file_mode();
    if (fs::exists(st)) {
        if (fs::is_directory(st))
            raise(errid::kWriteFailed, name_ + ": '" + target + "' is a folder");
        copy_ = !fs::is_regular_file(st);
        const fs::path real = fs::canonical(target, ec);
        if (!ec) final_ = real.string();
        if (!copy_) mode = static_cast<mode_t>(st.permissions()) & 07777;
    }
    fs::path folder;
    if (copy_) {
        folder = fs::temp_directory_path(ec);
        if (ec) folder = "/tmp";
    } else {
        folder = fs::path(final_).parent_path();
        if (folder.empty()) folder = ".";
    }
    const std::string base = fs::path(final_).filename().string();
    std::string pattern = (folder / ("." + base + ".hfchain-XXXXXX")).string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    fd_ = ::mkstemp(buf.data());
    if (fd_ < 0) {
        raise(errid::kWriteFailed, name_ + ": cannot write '" + target_ +
                                       "': cannot create a file in '" + folder.string() +
                                       "': " + reason(errno));
    }
    temp_ = buf.data();
    slot_ = register_temporary(temp_);
    ::fchmod(fd_, mode);
}

ResultFile::~ResultFile() { discard(); }

void ResultFile::discard() noexcept {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    unregister_temporary(slot_);
    slot_ = -1;
    temp_.clear();
}

void ResultFile::write(std::string_view data) {
    if (fd_ < 0) raise(errid::kWriteFailed, name_ + ": '" + target_ + "' is already closed");
    write_all(fd_, data, name_ + ": writing '" + target_ + "'");
}

void ResultFile::commit() {
    if (temp_.empty()) raise(errid::kWriteFailed, name_ + ": '" + target_ + "' is already closed");
    const std::string what = name_ + ": writing '" + target_ + "'";
    if (fd_ >= 0) {
        const int status = ::close(fd_);
        fd_ = -1;
        if (status != 0) raise(errid::kWriteFailed, what + " failed: " + reason(errno));
    }
    if (const int error = sync_file(temp_); error != 0) {
        raise(errid::kWriteFailed, what + " failed: " + reason(error));
    }
    if (!copy_) {
        if (::rename(temp_.c_str(), final_.c_str()) != 0) {
            raise(errid::kWriteFailed,
                  name_ + ": cannot replace '" + target_ + "': " + reason(errno));
        }
        unregister_temporary(slot_);
        slot_ = -1;
        temp_.clear();
        // The rename itself reaches the disk with its folder.
        fs::path folder = fs::path(final_).parent_path();
        if (folder.empty()) folder = ".";
        const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
        return;
    }
    // A device or pipe: copy the content into it.
    const int in = ::open(temp_.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) raise(errid::kWriteFailed, what + " failed: " + reason(errno));
    const int out = ::open(final_.c_str(), O_WRONLY | O_CLOEXEC);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        raise(errid::kWriteFailed, what + " failed: " + reason(error));
    }
    try {
        char buf[1 << 16];
        for (;;) {
            const ssize_t n = ::read(in, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) raise(errid::kWriteFailed, what + " failed: " + reason(errno));
            if (n == 0) break;
            write_all(out, std::string_view(buf, static_cast<std::size_t>(n)), what);
        }
    } catch (...) {
        ::close(in);
        ::close(out);
        throw;
    }
    ::close(in);
    if (::close(out) != 0) raise(errid::kWriteFailed, what + " failed: " + reason(errno));
    discard();
}

}  // namespace hfchain
