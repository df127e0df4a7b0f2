// A test-only plug-in that exercises the gateway and the Octave host services without any block:
// hostprobe(mode, arg). Built beside the tests, never installed. hostprobe("heap", 0) reads the
// bytes the process holds from its allocator (NaN where the C library does not tell).
#include <signal.h>
#include <unistd.h>

#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33))
#include <malloc.h>
#define HFCHAIN_HEAP_BYTES 1
#endif

#include <chrono>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>

#include "plugins/gateway.hpp"
#include "plugins/octave_host.hpp"

namespace {

using namespace hfchain;
using namespace hfchain::gateway;

// Seeds the stream, draws rand(n, 1) and randn(2, 3), restores, and returns {u, g}.
mxArray* draw(HostServices& host, double seed, index_t n) {
    static const char* const kFields[] = {"u", "g"};
    SeededStream stream(host, seed);
    const RealArray u = host.rand(n);
    const RealArray g = host.randn(2, 3);
    stream.restore();
    return make_struct(kFields, {to_host(u), to_host(g)});
}

// Octave's own error, as a host call-back failing inside a block would raise it.
void octave_error(const char* id, const char* text) {
    MxPtr args[2] = {MxPtr(mxCreateString(id)), MxPtr(mxCreateString(text))};
    mxArray* in[2] = {args[0].get(), args[1].get()};
    mexCallMATLAB(0, nullptr, 2, in, "error");
}

// Bytes handed out by the allocator and not yet freed, heap and mapped blocks together, in every
// arena: exact, unlike resident memory, which also moves when freed pages are touched again.
double heap_bytes() {
#ifdef HFCHAIN_HEAP_BYTES
    const struct mallinfo2 m = mallinfo2();
    return static_cast<double>(m.uordblks + m.hblkhd);
#else
    return std::numeric_limits<double>::quiet_NaN();
#endif
}

// A host whose restore fails with an Octave error.
class FailingRestoreHost final : public HostServices {
public:
    std::unique_ptr<RngSettings> seed_twister(double seed) override {
        return inner_.seed_twister(seed);
    }
    void restore(const RngSettings&) override {
        octave_error("hfchain:test:RestoreFailed", "restore failed");
    }
    RealArray rand(index_t n) override { return inner_.rand(n); }
    RealArray randn(index_t r, index_t c) override { return inner_.randn(r, c); }

private:
    OctaveHost inner_;
};

struct Hostprobe {
    static constexpr const char* kName = "hostprobe";
    static constexpr const char* kInputs[] = {"mode", "arg"};

    static mxArray* call(const mxArray* const in[]) {
        const std::string mode = read_text(in[0], "mode", 64);
        OctaveHost host;
        if (mode == "draw") return draw(host, read_scalar(in[1], "arg"), 5);
        if (mode == "heap") return to_host(heap_bytes());
        if (mode == "seed") {
            // Seeds and returns without restoring: what the stream looks like to the next call.
            SeededStream stream(host, read_scalar(in[1], "arg"));
            return to_host(host.rand(3));
        }
        if (mode == "fail" || mode == "fail_id") {
            SeededStream stream(host, read_scalar(in[1], "arg"));
            host.rand(7);
            if (mode == "fail") raise_message("ERRO! Falha de teste.");
            raise("hfchain:test:Failure", "Failure with an identifier.");
        }
        if (mode == "octave_error") {
            SeededStream stream(host, read_scalar(in[1], "arg"));
            host.randn(1, 20);
            octave_error("Octave:some-id", "an error of Octave's own");
        }
        if (mode == "restore_fails_after_error") {
            FailingRestoreHost failing;
            SeededStream stream(failing, read_scalar(in[1], "arg"));
            raise("hfchain:test:First", "the first error wins");
        }
        if (mode == "restore_fails") {
            FailingRestoreHost failing;
            SeededStream stream(failing, read_scalar(in[1], "arg"));
            stream.restore();
            return to_host(0.0);
        }
        if (mode == "interrupt") {
            // Ctrl-C from outside, then a long loop that polls.
            SeededStream stream(host, read_scalar(in[1], "arg"));
            host.rand(4);
            kill(getpid(), SIGINT);
            for (long i = 0; i < 50000000; ++i) {
                host.poll_interrupt();
                if (i % 1000 == 0) std::this_thread::sleep_for(std::chrono::microseconds(10));
            }
            stream.restore();
            return to_host(0.0);
        }
        if (mode == "huge_result") {
            // A result Octave cannot allocate (8 TB): its own failure, with our identifier.
            return create_in_host([] {
                return mxCreateUninitNumericMatrix(std::size_t{1} << 20, std::size_t{1} << 20,
                                                   mxDOUBLE_CLASS, mxREAL);
            });
        }
        if (mode == "std_exception") throw std::logic_error("not a block error");
        if (mode == "bad_alloc") throw std::bad_alloc();
        if (mode == "utf8") {
            raise_message(
                "ERRO! N\u00famero de bits insuficientes para representar o s\u00edmbolo (n).");
        }
        if (mode == "complex") return to_host(read_complex(in[1], "arg", kColumn));
        if (mode == "real") return to_host(*read_real(in[1], "arg", {upto(3), fixed(2)}));
        if (mode == "text") return mxCreateString(read_text(in[1], "arg", 5).c_str());
        raise("hfchain:test:UnknownMode", "Unknown mode '" + mode + "'.");
    }
};

}  // namespace

HFCHAIN_MEX_PLUGIN(hostprobe, Hostprobe)
