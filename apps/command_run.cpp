// `hfchain run`: one transmission through the whole chain.
#include <memory>
#include <string>

#include "apps/commands.hpp"
#include "apps/option_groups.hpp"
#include "sweep/config.hpp"

namespace hfchain::app {

namespace {

// What run's options give as text, read once the command line is parsed.
struct RunText {
    double nFrame = 0;  // not given: the rate's fewest blocks
    std::string receivers = "baseline,hf,genie";
    std::string memory;
};

void read_run(const RunText& t, const CLI::App& run, RunOptions& r) {
    r.receivers = parse_receiver_list(t.receivers);
    if (run.count("--nframe") > 0) {
        r.nFrame = t.nFrame;
    } else {
        // A rate or interleaver without parameter set is refused below, naming its option.
        try {
            r.nFrame = sweep::default_nframe(r.rate, r.interLen);
        } catch (const Error&) {
        }
    }
    if (r.channel != "none") r.channel = sweep::canonical_condition(r.channel);
    if (!t.memory.empty()) r.maxMemory = parse_memory_size(t.memory);
    check_run_options(r);
}

}  // namespace

CommandParser add_run_command(CLI::App& app, RunOptions& r) {
    const auto t = std::make_shared<RunText>();
    CLI::App* run = app.add_subcommand(
        "run", "One transmission through the whole chain, reported stage by stage");
    run->add_option(
           "--rate", r.rate,
           "Data rate in bit/s: " + sweep::rate_list() + " (4800: the 0.6 s interleaver only)")
        ->type_name("BIT/S")
        ->capture_default_str();
    add_shaping_options(*run, r.interLen, t->nFrame, r.shaping,
                        "Interleaver blocks of data (above 0; need not be whole, but must give a "
                        "whole number of information bits; default: the fewest whole blocks that "
                        "carry information bits at the rate, 1 from 300 to 4800 bit/s)");
    run->add_option("--tx-seed", r.txSeed, "Seed of the information bits (0..4294967295)")
        ->type_name("SEED")
        ->capture_default_str();
    run->add_option("-c,--channel", r.channel,
                    "Channel: none, awgn (white noise only), a preset (bom, moderado, ruim, "
                    "muito_ruim, the itu_* conditions) or a written channel such as "
                    "2p:2ms:1Hz:off=30Hz (as sweep's --conditions)")
        ->type_name("NAME")
        ->capture_default_str();
    run->add_option("-e,--esno", r.esno, "Es/N0 in dB (ignored for --channel none)")
        ->type_name("DB")
        ->capture_default_str();
    run->add_option("--channel-seed", r.channelSeed, "Seed of the fading and noise (0..4294967295)")
        ->type_name("SEED")
        ->capture_default_str();
    run->add_option(
           "-r,--receiver", t->receivers,
           "Receivers, comma-separated: baseline (hard decisions, then decoded), hf (channel "
           "sounding, turbo equalisation), genie (told the ray gains)")
        ->type_name("LIST")
        ->capture_default_str();
    run->add_option("--save", r.save, "Write every intermediate signal to this MAT file")
        ->type_name("FILE.mat");
    run->add_option("--plot", r.plot,
                    "Draw into this .svg or .png file the received and equalised symbols of each "
                    "receiver and the path gains in dB, the HF receiver's estimate over the "
                    "true ones")
        ->type_name("FILE");
    run->add_option("--max-memory", t->memory,
                    "Refuse a transmission that needs more memory than this (512M, 4G; "
                    "default: the machine's)")
        ->type_name("SIZE");
    run->add_flag("-q,--quiet", r.quiet,
                  "No notes on stderr (where the signals and pictures were written); failures "
                  "are still reported");

    run->footer(
        "--save names: the blocks' own field names (BitInCodIn ... MultiplexOut, raios, RER, ED, "
        "WattersonOutAwgnIn, noise, AwgnOut, DemodOutDemapIn, DemapOut); shared names carry "
        "their block: pulseshaper_filter, pulseshaper_out, pulsematch_filter, "
        "pulsematch_filterDelay, pulsematch_out, framelock_out, tickalign_out, unframer_out, "
        "unshuffle_out. Per receiver R (baseline_, hf_, genie_): R_symbols, R_noiseVar, R_LLR, "
        "R_unshuffle_LLR, R_DecodOut, R_InfoBits, R_codedBitErrors, R_infoBits, R_infoBitErrors, "
        "R_blocks, R_blockErrors; structures freqlock, chansound and turboequal (hf: frequency "
        "offset in Hz and start, channel estimates, equalised symbols; at 75 bit/s patterntrack "
        "instead of turboequal: the pattern detector's ratios and track) and geniecombine "
        "(genie).");
    return {run, [run, t, &r] { read_run(*t, *run, r); }};
}

}  // namespace hfchain::app
