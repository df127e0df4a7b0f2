// Reference results for the Python tests, computed by the C++ API alone: every block on fixed
// inputs, written as NumPy .npy files (always rows x cols, Fortran order, as the C++ array holds
// them), and the identifier and message of every failing call of the error table, one
// "case<TAB>identifier<TAB>message" line each in errors.tsv.
//
// Usage: python_reference OUTPUT_FOLDER
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <limits>
#include <string>

#include "chain/road.hpp"
#include "runtime/builtin_host.hpp"
#include "tests/support/signals.hpp"

using namespace hfchain;

namespace {

std::string folder;

template <class T>
void save(const std::string& name, const Array<T>& a) {
    const bool complex = std::is_same_v<T, cdouble>;
    const index_t rows = a.ndims() == 1 ? a.numel() : a.rows();
    const index_t cols = a.ndims() == 1 ? 1 : a.cols();
    std::string header = std::string("{'descr': '") + (complex ? "<c16" : "<f8") +
                         "', 'fortran_order': True, 'shape': (" + std::to_string(rows) + ", " +
                         std::to_string(cols) + "), }";
    // Magic (6) + version (2) + length (2) + header + '\n', padded to a multiple of 64.
    while ((10 + header.size() + 1) % 64 != 0) header += ' ';
    header += '\n';
    std::ofstream out(folder + "/" + name + ".npy", std::ios::binary);
    out.write("\x93NUMPY\x01\x00", 8);
    const auto length = static_cast<std::uint16_t>(header.size());
    const char bytes[2] = {static_cast<char>(length & 0xff), static_cast<char>(length >> 8)};
    out.write(bytes, 2);
    out.write(header.data(), static_cast<std::streamsize>(header.size()));
    out.write(reinterpret_cast<const char*>(a.data()),
              static_cast<std::streamsize>(sizeof(T) * static_cast<std::size_t>(a.numel())));
}

void save(const std::string& name, double v) { save(name, RealArray{v}); }

void save(const std::string& prefix, const Milstd& m) {
    save(prefix + ".rate", m.rate);
    save(prefix + ".interl", m.interl);
    save(prefix + ".interTable", m.interTable);
    save(prefix + ".chSymMapping", m.chSymMapping);
    save(prefix + ".bitsToSym", m.bitsToSym);
    save(prefix + ".repFactor", m.repFactor);
    save(prefix + ".preamSync", m.preamSync);
    save(prefix + ".trein", m.trein);
    save(prefix + ".data", m.data);
    save(prefix + ".probe", m.probe);
}

void save(const std::string& prefix, const SendchainOut& r) {
    save(prefix + ".BitInCodIn", r.BitInCodIn);
    save(prefix + ".CodOutInterIn", r.CodOutInterIn);
    save(prefix + ".InterOutMapIn", r.InterOutMapIn);
    save(prefix + ".MapOutMultiplexIn", r.MapOutMultiplexIn);
    save(prefix + ".ComplexPSKSymbols", r.ComplexPSKSymbols);
    save(prefix + ".ModConstellation", r.ModConstellation);
    save(prefix + ".ProbeInfo", r.ProbeInfo);
    save(prefix + ".MultiplexOut", r.MultiplexOut);
}

void save(const std::string& prefix, const FadesimOut& r) {
    save(prefix + ".raios", r.raios);
    save(prefix + ".RER", r.RER);
    save(prefix + ".ED", r.ED);
    save(prefix + ".WattersonOutAwgnIn", r.WattersonOutAwgnIn);
    save(prefix + ".noise", r.noise);
    save(prefix + ".AwgnOut", r.AwgnOut);
}

void save(const std::string& prefix, const PulsematchOut& r) {
    save(prefix + ".filter", r.filter);
    save(prefix + ".filterDelay", r.filterDelay);
    save(prefix + ".out", r.out);
}

void save(const std::string& prefix, const SymslicerOut& r) {
    save(prefix + ".DemodOutDemapIn", r.DemodOutDemapIn);
    save(prefix + ".DemapOut", r.DemapOut);
}

std::ofstream errors;

void expect_error(const char* name, const std::function<void()>& call) {
    try {
        call();
        errors << name << "\t(no error)\t\n";
    } catch (const Error& e) {
        errors << name << '\t' << e.identifier() << '\t' << e.what() << '\n';
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: python_reference OUTPUT_FOLDER\n");
        return 2;
    }
    folder = argv[1];
    BuiltinHost host;

    // The road block by block, as the README shows it.
    const Milstd m = modeconf(0.6);
    save("modeconf_06", m);
    save("modeconf_48", modeconf(4.8));
    const VarShapping vs{0.35, 6, 5};
    const SendchainOut tx = sendchain(m, 1, 7, host);
    save("sendchain", tx);
    const PulseshaperOut shaped = pulseshaper(tx.MultiplexOut, vs);
    save("pulseshaper.filter", shaped.filter);
    save("pulseshaper.out", shaped.out);
    const FadesimOut faded = fadesim(shaped.out, VarWatterson{"moderado", 12, 3}, vs, host);
    save("fadesim", faded);
    const PulsematchOut matched = pulsematch(faded.AwgnOut, vs);
    save("pulsematch", matched);
    const RealArray start = framelock(matched.out, m, vs);
    save("framelock", start);
    const TickalignOut symbols = tickalign(matched.out, start[0], vs);
    save("tickalign.out", symbols.out);
    const UnframerOut data = unframer(symbols.out, m);
    save("unframer.out", data.out);
    save("symslicer", symslicer(data.out, m));
    save("unshuffle.out", unshuffle(tx.InterOutMapIn, m).out);

    // A fractional number of 4.8 s blocks.
    save("sendchain_48", sendchain(modeconf(4.8), 0.5, 123, host));

    // Blocks on random inputs of other sizes and parameters; the inputs are saved too.
    const VarShapping vs2{0.5, 4, 4};
    const ComplexArray x1 = random_complex(1000, 11);
    save("random.x1", x1);
    save("random.symslicer", symslicer(x1, m));
    const ComplexArray x2 = random_complex(3000, 12);
    save("random.x2", x2);
    save("random.unframer", unframer(x2, m).out);
    const ComplexArray x3 = random_complex(500, 13);
    save("random.x3", x3);
    save("random.pulsematch", pulsematch(x3, vs2));
    const ComplexArray x4 = random_complex(100, 14);
    save("random.x4", x4);
    save("random.pulseshaper", pulseshaper(x4, vs2).out);
    const ComplexArray x5 = random_complex(600, 15);
    save("random.x5", x5);
    save("random.tickalign", tickalign(x5, 7, vs2).out);
    const ComplexArray x6 = random_complex(3000, 16);
    save("random.x6", x6);
    save("random.framelock", framelock(x6, m, vs));
    const ComplexArray x7 = random_complex(2000, 17);
    save("random.x7", x7);
    save("random.fadesim", fadesim(x7, VarWatterson{"muito_ruim", 5, 99}, vs2, host));
    save("random.fadesim_inf", fadesim(x7, VarWatterson{"bom", INFINITY, 4}, vs, host));
    RealArray bits(5760);
    for (index_t k = 0; k < bits.numel(); ++k) bits[k] = (k * 7 + k / 3) % 2;
    save("random.bits", bits);
    save("random.unshuffle", unshuffle(bits, m).out);

    // The whole road through white noise.
    RoadConfig config;
    config.txSeed = 9;
    config.channel = ChannelKind::awgn;
    config.watterson = VarWatterson{"bom", 8, 5};
    const RoadResult road = run_road(m, config, host);
    save("road.codedBitErrors", static_cast<double>(road.codedBitErrors));
    save("road.codedBits", static_cast<double>(road.codedBits));
    save("road.deinterleaved", road.deinterleaved.out);
    save("road.AwgnOut", road.faded.AwgnOut);

    // Failing calls: the pytest makes the same calls from Python.
    errors.open(folder + "/errors.tsv");
    const ComplexArray zeros(100);
    Milstd m4800 = m;
    m4800.rate = 4800;
    expect_error("modeconf_length", [] { modeconf(1.0); });
    expect_error("modeconf_nan", [] { modeconf(NAN); });
    expect_error("sendchain_seed", [&] { sendchain(m, 1, 1.5, host); });
    expect_error("sendchain_negative_seed", [&] { sendchain(m, 1, -1, host); });
    expect_error("sendchain_few_frames", [&] { sendchain(m, 0.01, 1, host); });
    expect_error("sendchain_nan_frames", [&] { sendchain(m, NAN, 1, host); });
    expect_error("pulseshaper_rolloff", [&] { pulseshaper(x4, VarShapping{2, 6, 5}); });
    expect_error("pulseshaper_nan_rolloff", [&] { pulseshaper(x4, VarShapping{NAN, 6, 5}); });
    expect_error("pulseshaper_few_symbols", [&] { pulseshaper(ComplexArray(12), vs); });
    expect_error("pulsematch_rolloff", [&] { pulsematch(x3, VarShapping{0, 6, 5}); });
    expect_error("fadesim_model", [&] { fadesim(x7, VarWatterson{"Bom", 10, 1}, vs, host); });
    expect_error("fadesim_oversampling", [&] {
        fadesim(x7, VarWatterson{"bom", 10, 1}, VarShapping{0.35, 6, 3}, host);
    });
    expect_error("fadesim_seed", [&] { fadesim(x7, VarWatterson{"bom", 10, NAN}, vs, host); });
    expect_error("tickalign_start", [&] { tickalign(x5, 0.5, vs2); });
    expect_error("tickalign_nan_start", [&] { tickalign(x5, NAN, vs2); });
    expect_error("tickalign_short", [&] { tickalign(zeros, 1, vs); });
    expect_error("framelock_short", [&] { framelock(zeros, m, vs); });
    expect_error("unshuffle_4800", [&] { unshuffle(bits, m4800); });
    expect_error("unshuffle_length", [&] { unshuffle(RealArray(100), m); });
    expect_error("symslicer_bits", [&] {
        Milstd odd = m;
        odd.bitsToSym = NAN;
        symslicer(x1, odd);
    });
    return 0;
}
