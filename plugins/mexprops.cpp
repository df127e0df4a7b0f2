// mexprops(path) -> the properties structure a plug-in reports through emlrtMexFcnProperties:
// {Version, EntryPoints {Name, NumberOfInputs, NumberOfOutputs, ConstantInputs}}.
//
// `path` is the plug-in's file ("/opt/hfchain/mex/sendchain.mex") or a name that Octave finds on
// its load path ("sendchain"). Only a regular file is loaded: a FIFO or a device would block the
// loader, beyond the reach of Ctrl-C.
#include <dlfcn.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "plugins/gateway.hpp"

namespace {

struct LibraryCloser {
    void operator()(void* handle) const noexcept { dlclose(handle); }
};

// Octave's own lookup of a function name: the file that `which` reports. A built-in function has
// no file of its own (`which` names the source it was compiled from, a relative path), and
// neither has a variable or a name Octave does not know: none of them is a plug-in.
std::string locate(const std::string& name) {
    using hfchain::gateway::MxPtr;
    MxPtr arg(mxCreateString(name.c_str()));
    mxArray* in[1] = {arg.get()};
    mxArray* out[1] = {nullptr};
    mexCallMATLAB(1, out, 1, in, "which");
    MxPtr found(out[0]);
    if (!found || !mxIsChar(found.get()) || mxGetNumberOfElements(found.get()) == 0) return {};
    char* text = mxArrayToString(found.get());
    std::string path = text != nullptr ? text : "";
    mxFree(text);
    return path.starts_with('/') ? path : std::string();
}

// Refuses anything but an existing regular file (symbolic links are followed).
void check_regular_file(const std::string& file) {
    struct stat info {};
    if (stat(file.c_str(), &info) != 0) {
        const int error = errno;
        hfchain::raise("hfchain:mexprops:CannotLoad",
                       "Cannot load '" + file + "': " + std::strerror(error) + ".");
    }
    if (!S_ISREG(info.st_mode)) {
        hfchain::raise("hfchain:mexprops:CannotLoad",
                       "Cannot load '" + file + "': not a regular file.");
    }
}

struct Mexprops {
    static constexpr const char* kName = "mexprops";
    static constexpr const char* kInputs[] = {"path"};

    static mxArray* call(const mxArray* const in[]) {
        using namespace hfchain::gateway;
        const std::string path = read_text(in[0], "path", kUnbounded);
        const std::size_t nul = path.find('\0');
        if (nul != std::string::npos) {
            hfchain::raise("hfchain:mexprops:InvalidPath",
                           "The path holds a NUL character at position " + std::to_string(nul + 1) +
                               "; no file has such a name.");
        }
        const std::string file = path.find('/') == std::string::npos ? locate(path) : path;
        if (file.empty()) {
            hfchain::raise("hfchain:mexprops:NotFound",
                           "No plug-in named '" + path + "' on Octave's load path.");
        }
        check_regular_file(file);
        std::unique_ptr<void, LibraryCloser> library(dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL));
        if (!library) {
            const char* why = dlerror();
            hfchain::raise(
                "hfchain:mexprops:CannotLoad",
                "Cannot load '" + file + "': " + (why != nullptr ? why : "unknown") + ".");
        }
        using Query = mxArray* (*)();
        auto query = reinterpret_cast<Query>(dlsym(library.get(), "emlrtMexFcnProperties"));
        if (query == nullptr) {
            hfchain::raise("hfchain:mexprops:NoProperties",
                           "'" + file + "' does not export emlrtMexFcnProperties.");
        }
        return query();
    }
};

}  // namespace

HFCHAIN_MEX_PLUGIN(mexprops, Mexprops)
