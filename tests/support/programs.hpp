// Helpers for the tests of the program and the sweep library: running commands, a scratch
// folder, and tables compared without their timing.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace hfchain::testing {

struct CommandResult {
    int status = -1;  // exit status, or -1 when the command did not exit normally
    std::string out;  // stdout
    std::string err;  // stderr
};

inline std::string read_file(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A fresh folder under the system's temporary folder, removed at the end of the scope.
class ScratchDir {
public:
    explicit ScratchDir(const std::string& name)
        : path_(std::filesystem::temp_directory_path() /
                ("hfchain-" + name + "-" + std::to_string(::getpid()))) {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Runs `command` with /bin/sh, capturing stdout and stderr (stderr through a file in `dir`).
inline CommandResult run_command(const std::string& command, const ScratchDir& dir) {
    const std::string err_file = dir / "stderr.txt";
    CommandResult r;
    std::FILE* pipe = ::popen((command + " 2>'" + err_file + "'").c_str(), "r");
    if (pipe == nullptr) return r;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) r.out.append(buf, n);
    const int status = ::pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.err = read_file(err_file);
    return r;
}

// A sweep's table without what depends on the run: the threads and wall-time line and the
// seconds column. Numeric lines are compared by their fields, single-spaced, so that a seconds
// value that widens its column (or any change of alignment) cannot make two tables differ.
inline std::string table_without_times(const std::string& table) {
    std::istringstream in(table);
    std::string line;
    std::string out;
    while (std::getline(in, line)) {
        if (line.starts_with("# threads")) continue;
        if (!line.starts_with("#")) {
            const std::size_t comment = line.find('#');
            std::istringstream fields(line.substr(0, comment));
            std::vector<std::string> values;
            for (std::string v; fields >> v;) values.push_back(v);
            if (!values.empty()) values.pop_back();  // seconds, the last column
            std::string joined;
            for (const std::string& v : values) joined += (joined.empty() ? "" : " ") + v;
            if (comment != std::string::npos) joined += " " + line.substr(comment);
            line = joined;
        }
        out += line + '\n';
    }
    return out;
}

// The table's "# threads" line, or empty.
inline std::string threads_line(const std::string& table) {
    const std::size_t at = table.find("\n# threads ");
    if (at == std::string::npos) return {};
    return table.substr(at + 1, table.find('\n', at + 1) - at - 1);
}

// The trials a resumed sweep took from its checkpoint (", N trials from the checkpoint" on the
// threads line), or -1.
inline long long checkpoint_trials(const std::string& table) {
    const std::string line = threads_line(table);
    const std::size_t end = line.find(" trials from the checkpoint");
    const std::size_t start = line.rfind(", ", end);
    if (end == std::string::npos || start == std::string::npos) return -1;
    return std::stoll(line.substr(start + 2, end - start - 2));
}

// True when `program` can be found on the PATH.
inline bool have_program(const std::string& program) {
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace hfchain::testing
