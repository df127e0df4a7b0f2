// Result files that are written whole or not at all, and checked writes to standard output.
//
// A result file is first written under a temporary name beside its target and then renamed over
// it, so that a program killed at any moment leaves either the previous file or the complete new
// one, never a truncated one. Every write is checked; a failure raises hfchain::Error with
// identifier errid::kWriteFailed (below) and a message naming the file and the
// system's reason.
//
// Each file is named in messages by its caller (`name`: "--csv" on the command line, "checkpoint"
// in Python).
#pragma once

#include <string>
#include <string_view>

namespace hfchain {

namespace errid {
// A result file that cannot be used as asked (a missing folder, a file in use); nothing was run.
// (The identifiers keep the names under which the sweep's callers have always known them.)
inline constexpr const char* kUnusableFile = "hfchain:sweep:UnusableFile";
// A result could not be written (a full disk, a folder in the way, a closed pipe).
inline constexpr const char* kWriteFailed = "hfchain:sweep:WriteFailed";
}  // namespace errid

// Checks, before any work, that `path` can become a result file named `name`: it is not a
// folder, and its folder exists and can be written (an existing device or pipe need only be
// writable itself). Raises errid::kUnusableFile. An empty path is no file and passes.
void check_output_file(const std::string& name, const std::string& path);

// True when the paths `a` and `b` (both not empty) name one file: the same device and inode when
// both exist, else the same canonical path ("s2", "./s2" and "dir/../s2" are one file; so are a
// symbolic link and its target).
bool same_file(const std::string& a, const std::string& b);

// One result file. The writer puts the content into path() (by write() or by handing the name
// to a library or program), then commit() puts the file in place: a regular target (or a new
// one) is replaced by renaming the temporary file ".NAME.hfchain-XXXXXX" made beside it; an
// existing target that is not a regular file (a device such as /dev/null, a pipe) receives a copy
// of the content instead. Symbolic links are followed: the file they lead to is replaced. A
// ResultFile that is destroyed without commit() removes its temporary file; so does a second
// interrupt signal (remove_temporary_files_now()).
class ResultFile {
public:
    // `name` names the file in messages ("--csv", "the table"). Raises errid::kWriteFailed when
    // the temporary file cannot be made.
    ResultFile(std::string name, const std::string& target);
    ResultFile(const ResultFile&) = delete;
    ResultFile& operator=(const ResultFile&) = delete;
    ~ResultFile();

    // Where the content goes until commit().
    const std::string& path() const { return temp_; }
    const std::string& target() const { return target_; }

    // Appends `data` to path(). Raises errid::kWriteFailed.
    void write(std::string_view data);

    // Flushes the content to the disk and puts the file in place. Raises errid::kWriteFailed (the
    // target is then left as it was).
    void commit();

private:
    void discard() noexcept;

    std::string name_;
    std::string target_;  // as given, for messages
    std::string final_;   // the file that will be replaced (symbolic links followed)
    std::string temp_;
    int fd_ = -1;
    int slot_ = -1;      // in the list of temporary files removed on a second interrupt
    bool copy_ = false;  // the target is a device or pipe: copy instead of renaming
};

// Removes every temporary file of the ResultFile objects alive. Safe to call from a signal
// handler (it only calls unlink).
void remove_temporary_files_now() noexcept;

// Writes all of `data` to the file descriptor `fd` (retrying short writes and interruptions).
// Raises errid::kWriteFailed with `what` ("writing the table to standard output") and the reason.
void write_all(int fd, std::string_view data, const std::string& what);

}  // namespace hfchain
