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
#include "channel/fadesim.hpp"
#include "receiver/decoder/sisodecode.hpp"
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

void save(const std::string& prefix, const ModeParams& m) {
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

void save(const std::string& prefix, const VitdecodeOut& r) {
    save(prefix + ".DecodOut", r.DecodOut);
    save(prefix + ".InfoBits", r.InfoBits);
}

void save(const std::string& prefix, const SisodecodeOut& r) {
    save(prefix + ".Extrinsic", r.Extrinsic);
    save(prefix + ".InfoLLR", r.InfoLLR);
    save(prefix + ".InfoBits", r.InfoBits);
}

void save(const std::string& prefix, const ChansoundOut& r) {
    save(prefix + ".start", r.start);
    save(prefix + ".delays", r.delays);
    save(prefix + ".basis", r.basis);
    save(prefix + ".out", r.out);
    save(prefix + ".gains", r.gains);
    save(prefix + ".gainVar", r.gainVar);
    save(prefix + ".pathPower", r.pathPower);
    save(prefix + ".windowGains", r.windowGains);
    save(prefix + ".windowVar", r.windowVar);
    save(prefix + ".windowTime", r.windowTime);
    save(prefix + ".noiseVar", r.noiseVar);
    save(prefix + ".doppler", r.doppler);
    save(prefix + ".frames", r.frames);
    save(prefix + ".profile", r.profile);
    save(prefix + ".profileStart", r.profileStart);
}

void save(const std::string& prefix, const TurboequalOut& r) {
    save(prefix + ".out", r.out);
    save(prefix + ".noiseVar", r.noiseVar);
    save(prefix + ".gains", r.gains);
    save(prefix + ".gainVar", r.gainVar);
    save(prefix + ".doppler", r.doppler);
    save(prefix + ".passes", r.passes);
}

void save(const std::string& prefix, const GeniecombineOut& r) {
    save(prefix + ".out", r.out);
    save(prefix + ".noiseVar", r.noiseVar);
    save(prefix + ".gain", r.gain);
}

void save(const std::string& prefix, const Reception& r) {
    save(prefix + ".ran", r.ran ? 1.0 : 0.0);
    save(prefix + ".symbols", r.symbols);
    save(prefix + ".noiseVar", r.noiseVar);
    save(prefix + ".soft.LLR", r.soft.LLR);
    save(prefix + ".deinterleaved.out", r.deinterleaved.out);
    save(prefix + ".decoded", r.decoded);
    save(prefix + ".codedBits", static_cast<double>(r.codedBits));
    save(prefix + ".codedBitErrors", static_cast<double>(r.codedBitErrors));
    save(prefix + ".infoBits", static_cast<double>(r.infoBits));
    save(prefix + ".infoBitErrors", static_cast<double>(r.infoBitErrors));
    save(prefix + ".blocks", static_cast<double>(r.blocks));
    save(prefix + ".blockErrors", static_cast<double>(r.blockErrors));
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

    // The road block by block, as docs/python-blocks.md shows it.
    const ModeParams m = modeconf(0.6);
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
    config.channel = road_channel("awgn", 8, 5);
    const RoadResult road = run_road(m, config, host);
    save("road.codedBitErrors", static_cast<double>(road.codedBitErrors));
    save("road.codedBits", static_cast<double>(road.codedBits));
    save("road.deinterleaved", road.deinterleaved.out);
    save("road.AwgnOut", road.faded.AwgnOut);

    // The decoding blocks. Soft values of the coded bits of `tx` through Gaussian noise (some
    // of them wrong in sign), and noise variances that differ from symbol to symbol.
    const index_t nc = tx.CodOutInterIn.numel();
    const ComplexArray w = random_complex(nc, 21);
    RealArray llr(nc);
    for (index_t k = 0; k < nc; ++k) llr[k] = 2 * (1 - 2 * tx.CodOutInterIn[k]) + 1.5 * w[k].real();
    save("random.llr", llr);
    save("vitdecode", vitdecode(llr, m, 1));
    save("sisodecode", sisodecode(llr, m, 1));
    RealArray nv(x1.numel());
    for (index_t k = 0; k < nv.numel(); ++k) nv[k] = 0.1 + 0.2 * static_cast<double>(k % 7);
    save("random.nv", nv);
    save("random.softslicer", softslicer(x1, RealArray{0.5}, m).LLR);
    save("random.softslicer_each", softslicer(x1, nv, m).LLR);
    save("random.softslicer_exact", softslicer(x1, nv, m, SoftRule::exact).LLR);

    // The HF receiver and the genie on the road above.
    const ChansoundOut sounding = chansound(matched.out, start[0], m, vs);
    save("chansound", sounding);
    save("turboequal", turboequal(sounding, m, 1, 1));
    save("geniecombine", geniecombine(tx.MultiplexOut, faded.raios, faded.noise, 12, m, vs));

    // The whole road with both decoding receivers on a fading channel.
    RoadConfig hf_config;
    hf_config.txSeed = 4;
    hf_config.channel = road_channel("moderado", 9, 6);
    hf_config.receivers = {ReceiverKind::hf, ReceiverKind::genie};
    hf_config.iterations = 1;
    hf_config.softRule = SoftRule::exact;
    const RoadResult hf_road = run_road(m, hf_config, host);
    save("hfroad.frameFound", hf_road.frameFound ? 1.0 : 0.0);
    save("hfroad.sounding", hf_road.sounding);
    save("hfroad.equalised", hf_road.equalised);
    save("hfroad.genieView", hf_road.genieView);
    save("hfroad.hf", hf_road.hf);
    save("hfroad.genie", hf_road.genie);

    // Failing calls: the pytest makes the same calls from Python.
    errors.open(folder + "/errors.tsv");
    const ComplexArray zeros(100);
    ModeParams m4800 = m;
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
        ModeParams odd = m;
        odd.bitsToSym = NAN;
        symslicer(x1, odd);
    });
    ModeParams m75 = m;
    m75.rate = 75;
    ModeParams m_bits4 = m;
    m_bits4.bitsToSym = 4;
    ComplexArray x_nan = x1;
    x_nan[3] = {NAN, 0};
    RealArray llr_nan = llr;
    llr_nan[5] = NAN;
    ChansoundOut bad_gains = sounding;
    bad_gains.gains = ComplexArray(1, 3);
    expect_error("softslicer_rate75", [&] { softslicer(x1, RealArray{1}, m75); });
    expect_error("softslicer_bits", [&] { softslicer(x1, RealArray{1}, m_bits4); });
    expect_error("softslicer_noise_size", [&] { softslicer(x1, RealArray{1, 2}, m); });
    expect_error("softslicer_noise_zero", [&] { softslicer(x1, RealArray{0}, m); });
    expect_error("softslicer_noise_nan", [&] { softslicer(x1, RealArray{NAN}, m); });
    expect_error("softslicer_nonfinite", [&] { softslicer(x_nan, RealArray{1}, m); });
    expect_error("vitdecode_uncoded", [&] { vitdecode(llr, m4800, 1); });
    expect_error("vitdecode_length", [&] { vitdecode(RealArray(100), m, 1); });
    expect_error("vitdecode_nan", [&] { vitdecode(llr_nan, m, 1); });
    expect_error("vitdecode_few_frames", [&] { vitdecode(llr, m, 0.01); });
    expect_error("sisodecode_mode", [&] { sisodecode(llr, m4800, 1); });
    expect_error("sisodecode_length", [&] { sisodecode(RealArray(100), m, 1); });
    expect_error("chansound_short", [&] { chansound(ComplexArray(3000), 1, m, vs); });
    expect_error("chansound_start", [&] { chansound(matched.out, 0.5, m, vs); });
    expect_error("chansound_oversampling", [&] {
        chansound(matched.out, start[0], m, VarShapping{0.35, 6, 2.5});
    });
    ModeParams no_probes = m;  // a hand-made 2400 bit/s set without probes
    no_probes.trein = 0;
    expect_error("chansound_mode", [&] { chansound(matched.out, start[0], no_probes, vs); });
    expect_error("turboequal_iterations", [&] { turboequal(sounding, m, 1, 11); });
    expect_error("turboequal_empty", [&] { turboequal(ChansoundOut{}, m, 1, 0); });
    expect_error("turboequal_gains", [&] { turboequal(bad_gains, m, 1, 0); });
    expect_error("turboequal_frames", [&] { turboequal(sounding, m, 2, 1); });
    expect_error("geniecombine_symbols",
                 [&] { geniecombine(zeros, faded.raios, faded.noise, 12, m, vs); });
    expect_error("geniecombine_raios", [&] {
        geniecombine(tx.MultiplexOut, ComplexArray(10, 2), faded.noise, 12, m, vs);
    });
    expect_error("geniecombine_mode", [&] {
        geniecombine(tx.MultiplexOut, faded.raios, faded.noise, 12, no_probes, vs);
    });
    // Non-finite and huge values: refused naming the variable and the element.
    expect_error("sisodecode_nan", [&] { sisodecode(llr_nan, m, 1); });
    ComplexArray matched_inf = matched.out;
    matched_inf[9] = {0, INFINITY};
    ComplexArray matched_huge = matched.out;
    for (cdouble& v : matched_huge) v *= 1e300;
    ModeParams probe_nan = m;
    probe_nan.probe(2, 1) = NAN;
    expect_error("chansound_nonfinite", [&] { chansound(matched_inf, start[0], m, vs); });
    expect_error("chansound_huge", [&] { chansound(matched_huge, start[0], m, vs); });
    expect_error("chansound_probe", [&] { chansound(matched.out, start[0], probe_nan, vs); });
    ChansoundOut nan_var = sounding;
    nan_var.gainVar[4] = NAN;
    ChansoundOut huge_out = sounding;
    for (cdouble& v : huge_out.out) v *= 1e300;
    expect_error("turboequal_nonfinite", [&] { turboequal(nan_var, m, 1, 0); });
    expect_error("turboequal_huge", [&] { turboequal(huge_out, m, 1, 0); });
    ComplexArray raios_nan = faded.raios;
    raios_nan(40, 1) = {NAN, 0};
    expect_error("geniecombine_nonfinite",
                 [&] { geniecombine(tx.MultiplexOut, raios_nan, faded.noise, 12, m, vs); });
    expect_error("geniecombine_esno",
                 [&] { geniecombine(tx.MultiplexOut, faded.raios, faded.noise, NAN, m, vs); });
    return 0;
}
