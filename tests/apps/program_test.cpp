// The `hfchain` program from a user's side: exit statuses, refusals before any work, write errors,
// result files replaced whole or not at all, stop signals, and checkpointed sweeps killed at
// random moments and resumed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "runtime/builtin_host.hpp"
#include "tests/support/programs.hpp"

#ifndef HFCHAIN_EXE
#define HFCHAIN_EXE "hfchain"
#endif

namespace hfchain::app {
namespace {

using testing::read_file;
using testing::run_command;
using testing::ScratchDir;
using testing::table_without_times;

const std::string kExe = HFCHAIN_EXE;

// A small sweep: a second or two in a debug build.
const std::string kSmallSweep =
    " sweep -q -i 0.6 -C awgn,muito_ruim -e 4,12 --min-trials 4 --min-events 3 --min-errors 200 "
    "--max-bits 40000 "
    "-j 2";

// Files in `dir` whose names show a temporary result file.
std::vector<std::string> temporaries(const std::filesystem::path& dir) {
    std::vector<std::string> found;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        if (e.path().filename().string().find(".hfchain-") != std::string::npos) {
            found.push_back(e.path().filename().string());
        }
    }
    return found;
}

std::string in_dir(const ScratchDir& dir, const std::string& command) {
    return "cd '" + dir.path().string() + "' && " + command;
}

TEST(ProgramStatus, RefusalsExitTwoBeforeAnyWorkAndNameTheOption) {
    ScratchDir dir("status");
    struct Case {
        std::string args;
        std::string message;
    };
    const Case cases[] = {
        {"sweep --bogus", "hfchain: The following argument was not expected: --bogus\n"},
        {"sweep -j abc", "hfchain: Could not convert: --threads = abc\n"},
        {"sweep -e", "hfchain: --esno: 1 required DB missing\n"},
        {"run -n 0.11",
         "hfchain: --nframe: 0.11 blocks of 0.6 s at 2400 bit/s do not give a whole number"},
        {"sweep -r baseline --rate 600,9600",
         "hfchain: --rate: 9600 bit/s is not a data rate of the waveform"},
        // About 80 GB: refused from the estimate, long before any allocation.
        {"run -i 4.8 -n 10000",
         "hfchain: --nframe: one transmission of 10000 interleaver blocks of 4.8 s at 2400 bit/s "
         "and 5 samples per symbol needs about "},
        {"sweep -C awgn -i 4.8 -n 10000 -j 1 --max-memory 8G",
         "hfchain: --nframe: trials of 10000 interleaver blocks of 4.8 s at 5 samples per symbol "
         "need about "},
        {"sweep -C awgn -i 0.6 -j 3 --max-memory 6M",
         "hfchain: --threads: trials of 1 interleaver block of 0.6 s at 5 samples per symbol "
         "need about "},
        {"run --save missing/r.mat",
         "hfchain: --save: the folder 'missing' of 'missing/r.mat' does not exist\n"},
        {"sweep -C awgn --plot missing/p.svg",
         "hfchain: --plot: the folder 'missing' of 'missing/p.svg' does not exist\n"},
        {"sweep -C awgn --csv missing/t.csv",
         "hfchain: --csv: the folder 'missing' of 'missing/t.csv' does not exist\n"},
        {"sweep -C awgn --checkpoint .",
         "hfchain: --checkpoint: '.' is a folder; give a file name\n"},
        {"sweep --format tall",
         "hfchain: --format: 'tall' is not accepted; give compact or wide\n"},
    };
    for (const Case& c : cases) {
        const auto r = run_command(in_dir(dir, "timeout 60 " + kExe + " " + c.args), dir);
        EXPECT_EQ(r.status, 2) << c.args << '\n' << r.err;
        EXPECT_EQ(r.out, "") << c.args;
        EXPECT_TRUE(r.err.starts_with(c.message)) << c.args << '\n' << r.err;
        EXPECT_NE(r.err.find("Run 'hfchain --help'"), std::string::npos) << r.err;
    }
    // Bare, the program prints its usage at once (no sweep), naming the commands.
    for (const char* args : {"", "--help", "sweep --help", "--version"}) {
        const auto r = run_command(in_dir(dir, "timeout 10 " + kExe + " " + args), dir);
        EXPECT_EQ(r.status, 0) << args;
        EXPECT_FALSE(r.out.empty()) << args;
    }
    const auto bare = run_command(in_dir(dir, "timeout 10 " + kExe), dir);
    for (const char* command : {"run", "sweep", "requirements", "'hfchain sweep' runs"}) {
        EXPECT_NE(bare.out.find(command), std::string::npos) << bare.out;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "hfchain-sweep.svg"));
}

// For people: the compact table keeps to about 100 characters a line (the default receivers hf
// and genie) with a line a point, then the crossings of 1e-3 and 1e-5; the wide table is the
// machine's, which a pipe gets unless told otherwise. A rate list with 4800 bit/s runs it with
// its own 0.6 s frame beside the 4.8 s interleaver, saying so.
TEST(SweepOutput, CompactForPeopleWideForMachines) {
    ScratchDir dir("compact");
    const std::string sweep = kExe +
                              " sweep -q -i 0.6 -C awgn,muito_ruim --snr3k 4,12 --min-trials 2 "
                              "--max-bits 1 -j 2";
    const auto compact = run_command(sweep + " --format compact", dir);
    ASSERT_EQ(compact.status, 0) << compact.err;
    std::istringstream lines(compact.out);
    int points = 0;
    for (std::string line; std::getline(lines, line);) {
        EXPECT_LE(line.size(), 110u) << line;
        points += line.starts_with("awgn ") || line.starts_with("muito_ruim ") ? 1 : 0;
    }
    EXPECT_EQ(points, 4 + 2);  // the points, then the crossings' rows
    EXPECT_NE(compact.out.find("\nCrossings: the SNR in 3 kHz"), std::string::npos);
    EXPECT_NE(compact.out.find("hf @1e-3  genie @1e-3  gap  hf @1e-5  genie @1e-5  gap"),
              std::string::npos)
        << compact.out;
    for (const char* format : {"", " --format wide"}) {
        const auto wide = run_command(sweep + format, dir);
        EXPECT_TRUE(wide.out.starts_with("# hfchain ")) << format;
        EXPECT_EQ(wide.out.find("Crossings"), std::string::npos) << format;
    }

    const auto long_frame =
        run_command(kExe +
                        " sweep --format wide -i 4.8 --rate 2400,4800 -r genie -C awgn -e 20 "
                        "--min-trials 1 --max-bits 1 -j 1",
                    dir);
    ASSERT_EQ(long_frame.status, 0) << long_frame.err;
    EXPECT_NE(long_frame.out.find("# interleaver 4.8 s (4800 bit/s: 0.6 s, its only frame)"),
              std::string::npos)
        << long_frame.out;
    EXPECT_NE(long_frame.err.find("interleaver 4.8 s (4800 bit/s: 0.6 s, its only frame)"),
              std::string::npos)
        << long_frame.err;
}

TEST(ProgramStatus, WriteErrorsExitOneWithThePathAndTheReason) {
    ScratchDir dir("full");
    const std::string sweep = kExe + " sweep -q -C awgn -e 10 --min-trials 1 --max-bits 1";
    struct Case {
        std::string command;
        std::string message;
    };
    const Case cases[] = {
        {sweep + " > /dev/full",
         "hfchain: writing the table to standard output failed: No space left on device\n"},
        {kExe + " run > /dev/full",
         "hfchain: writing the report to standard output failed: No space left on device\n"},
        {kExe + " run --save /dev/full > /dev/null",
         "hfchain: --save: writing '/dev/full' failed: No space left on device\n"},
        {sweep + " --csv /dev/full > /dev/null",
         "hfchain: --csv: writing '/dev/full' failed: No space left on device\n"},
    };
    for (const Case& c : cases) {
        const auto r = run_command(c.command, dir);
        EXPECT_EQ(r.status, 1) << c.command;
        EXPECT_TRUE(r.err.starts_with(c.message) ||
                    r.err.find("\n" + c.message) != std::string::npos)
            << c.command << '\n'
            << r.err;
    }
}

TEST(ResultFiles, AFullDiskLeavesThePreviousFilesAndNoTemporaries) {
    if (!testing::have_program("bash")) GTEST_SKIP() << "bash not installed";
    ScratchDir dir("fulldisk");
    // The file-size limit makes every write beyond it fail as on a full disk; the messages go
    // through a pipe, which the limit does not touch.
    struct Case {
        const char* args;
        std::vector<std::pair<std::string, std::string>> files;  // option, file
    };
    const Case cases[] = {
        {"sweep -q -C awgn -e 10 --min-trials 1 --max-bits 1",
         {{"--csv", "t.csv"}, {"--json", "t.json"}, {"--output", "t.txt"}}},
        {"run -c awgn", {{"--save", "r.mat"}}},
    };
    for (const Case& c : cases) {
        std::string options;
        for (const auto& [option, file] : c.files) {
            std::ofstream(dir / file) << "previous " << file << '\n';
            options += " " + option + " " + file;
        }
        const std::string command = "(trap '' XFSZ; ulimit -f 0; exec " + kExe + " " + c.args +
                                    options + " >/dev/null) 2>&1 | cat; exit \\${PIPESTATUS[0]}";
        const auto r = run_command(in_dir(dir, "bash -c \"" + command + "\""), dir);
        EXPECT_EQ(r.status, 1) << c.args;
        for (const auto& [option, file] : c.files) {
            EXPECT_NE(r.out.find("hfchain: " + option + ": writing '" + file + "' failed: "),
                      std::string::npos)
                << r.out;
            EXPECT_EQ(read_file(dir.path() / file), "previous " + file + "\n");
        }
        EXPECT_EQ(temporaries(dir.path()), std::vector<std::string>{});
    }
}

TEST(ResultFiles, AreReplacedWholeKeepingTheirPermissionsAndLinks) {
    ScratchDir dir("replace");
    std::ofstream(dir / "real.csv") << "previous\n";
    ::chmod((dir / "real.csv").c_str(), 0640);
    std::filesystem::create_symlink("real.csv", dir.path() / "link.csv");
    const auto r = run_command(
        in_dir(
            dir,
            kExe +
                " sweep -q -C awgn -e 10 --min-trials 1 --max-bits 1 --csv link.csv -o table.txt"),
        dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");  // the table went to its file
    EXPECT_TRUE(std::filesystem::is_symlink(dir.path() / "link.csv"));
    EXPECT_TRUE(read_file(dir.path() / "real.csv").starts_with("condition,esno_db,"));
    EXPECT_EQ(std::filesystem::status(dir.path() / "real.csv").permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                  std::filesystem::perms::group_read);
    EXPECT_TRUE(read_file(dir.path() / "table.txt").starts_with("# hfchain "));
    EXPECT_EQ(temporaries(dir.path()), std::vector<std::string>{});
}

TEST(StopSignals, TheFirstStopsBetweenTrialsAndWritesWhatIsFinished) {
    if (!testing::have_program("bash")) GTEST_SKIP() << "bash not installed";
    struct Case {
        const char* signal;
        int status;
    };
    for (const Case c : {Case{"INT", 130}, Case{"TERM", 143}, Case{"HUP", 129}}) {
        SCOPED_TRACE(c.signal);
        ScratchDir dir("signal");
        std::ofstream(dir / "out.csv") << "previous\n";
        // Job control gives the background job its own SIGINT (otherwise it is ignored); a
        // watchdog ends it should the signal be lost.
        const std::string script =
            "set -m; " + kExe +
            " sweep -q -C awgn -e 0:1:40 --max-bits 1e9 --min-errors 1e9 --csv out.csv > out.txt "
            "& pid=\\$!; (sleep 60; kill -KILL \\$pid) >/dev/null 2>&1 & dog=\\$!; sleep 2; "
            "kill -" +
            std::string(c.signal) + " \\$pid; wait \\$pid; echo \\$?; kill -- -\\$dog";
        const auto r = run_command(in_dir(dir, "bash -c \"" + script + "\""), dir);
        EXPECT_EQ(r.out, std::to_string(c.status) + "\n") << r.err;
        const std::string table = read_file(dir.path() / "out.txt");
        EXPECT_NE(table.find("INTERRUPTED"), std::string::npos) << table;
        EXPECT_NE(table.find("\n     1    0.00"), std::string::npos) << table;
        EXPECT_NE(read_file(dir.path() / "out.csv").find(",interrupted\n"), std::string::npos);
        EXPECT_EQ(temporaries(dir.path()), std::vector<std::string>{});
    }
}

TEST(StopSignals, ASecondOneWhileWritingLeavesThePreviousFiles) {
    if (!testing::have_program("bash") || !testing::have_program("mkfifo")) {
        GTEST_SKIP() << "bash or mkfifo not installed";
    }
    ScratchDir dir("second");
    std::ofstream(dir / "t.json") << "previous\n";
    // The CSV goes into a pipe nobody reads: the program blocks there while writing its results,
    // with the JSON file already written under its temporary name; then comes the second signal.
    const std::string script =
        "mkfifo fifo.csv; " + kExe +
        " sweep -q -C awgn -e 0:1:40 --max-bits 1e9 --min-errors 1e9 --json t.json "
        "--csv fifo.csv > /dev/null & pid=\\$!; (sleep 60; kill -KILL \\$pid) >/dev/null 2>&1 & "
        "dog=\\$!; sleep 2; kill -TERM \\$pid; "
        "for i in \\$(seq 300); do ls -a | grep -q '^[.]t[.]json[.]hfchain-' && break; sleep 0.1; "
        "done; sleep 0.2; kill -TERM \\$pid; wait \\$pid; echo \\$?; kill \\$dog";
    const auto r = run_command(in_dir(dir, "bash -c \"" + script + "\""), dir);
    EXPECT_EQ(r.out, "3\n") << r.err;  // not 143: the results were not written
    EXPECT_NE(r.err.find("stopped by a second signal"), std::string::npos) << r.err;
    EXPECT_EQ(read_file(dir.path() / "t.json"), "previous\n");
    EXPECT_EQ(temporaries(dir.path()), std::vector<std::string>{});
}

TEST(StopSignals, OneThatComesWhileWritingFinishesTheWriteAndEndsWithItsStatus) {
    if (!testing::have_program("bash") || !testing::have_program("mkfifo")) {
        GTEST_SKIP() << "bash or mkfifo not installed";
    }
    // The file goes into a pipe: the program blocks there, after its computation and its report
    // on stdout, until the pipe is read; the signal comes in between.
    const std::string commands[] = {
        kExe + " run -i 0.6 -n 1 -c awgn --save fifo",
        kExe + " sweep -q -C awgn -e 10 --min-trials 1 --max-bits 1 --csv fifo",
    };
    for (const std::string& command : commands) {
        SCOPED_TRACE(command);
        ScratchDir dir("late-signal");
        const std::string script =
            "mkfifo fifo; " + command +
            " > out.txt & pid=\\$!; (sleep 60; kill -KILL \\$pid) >/dev/null 2>&1 & dog=\\$!; "
            "for i in \\$(seq 600); do [ -s out.txt ] && break; sleep 0.1; done; sleep 0.3; "
            "kill -TERM \\$pid; cat fifo > piped.txt; wait \\$pid; echo \\$?; kill \\$dog";
        const auto r = run_command(in_dir(dir, "bash -c \"" + script + "\""), dir);
        EXPECT_EQ(r.out, "143\n") << r.err;
        EXPECT_FALSE(read_file(dir.path() / "piped.txt").empty());
    }
}

TEST(Checkpoint, KilledAtRandomMomentsAndResumedGivesTheUninterruptedTable) {
    if (!testing::have_program("bash")) GTEST_SKIP() << "bash not installed";
    ScratchDir dir("checkpoint");
    const auto full = run_command(in_dir(dir, kExe + kSmallSweep), dir);
    ASSERT_EQ(full.status, 0) << full.err;

    // Three kills (SIGKILL: no chance to clean up), each run resuming the journal of the last,
    // then a run to the end. Each kill comes at a moment drawn from a seeded stream, counted from
    // the run's first new record, so that it lands amid the work however slow the build is.
    BuiltinHost host(20240);
    const RealArray moments = host.rand(3);
    std::ofstream script(dir / "kills.sh");
    script << "sweep=\"" << kExe << kSmallSweep << " --checkpoint j.txt\"\n";
    for (index_t k = 0; k < moments.numel(); ++k) {
        script << "before=$(cat j.txt 2>/dev/null | wc -l)\n"
               << "$sweep > /dev/null & pid=$!\n"
               << "for i in $(seq 1200); do\n"
               << "  [ \"$(cat j.txt 2>/dev/null | wc -l)\" -gt \"$before\" ] && break\n"
               << "  kill -0 $pid 2>/dev/null || break\n"
               << "  sleep 0.05\n"
               << "done\n"
               << "sleep " << 0.6 * moments[k] << "\n"
               << "kill -KILL $pid; wait $pid\n";
    }
    script << "$sweep > resumed.txt; echo $?\n";
    script.close();
    const auto r = run_command(in_dir(dir, "bash kills.sh"), dir);
    EXPECT_EQ(r.out, "0\n") << r.err;
    const std::string resumed = read_file(dir.path() / "resumed.txt");
    EXPECT_EQ(table_without_times(resumed), table_without_times(full.out));
    // The killed runs did leave finished trials behind.
    EXPECT_GT(testing::checkpoint_trials(resumed), 0) << resumed;

    // Rerunning a finished sweep runs nothing and gives the table again.
    const auto again = run_command(in_dir(dir, kExe + kSmallSweep + " --checkpoint j.txt"), dir);
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(table_without_times(again.out), table_without_times(full.out));

    // Other parameters are refused, naming the one that differs, and the journal is kept.
    const std::string journal = read_file(dir.path() / "j.txt");
    const auto other =
        run_command(in_dir(dir, kExe + kSmallSweep + " --seed 5 --checkpoint j.txt"), dir);
    EXPECT_EQ(other.status, 2);
    EXPECT_TRUE(other.err.starts_with(
        "hfchain: --checkpoint: 'j.txt' holds the trials of another sweep (--seed 1 in the "
        "journal, 5 here)"))
        << other.err;
    EXPECT_EQ(read_file(dir.path() / "j.txt"), journal);
}

}  // namespace
}  // namespace hfchain::app

namespace hfchain::app {
namespace {

TEST(Checkpoint, AJournalThatCannotBeOpenedForWritingIsRefusedBeforeAnyWork) {
    ScratchDir dir("journal-readonly");
    std::ofstream(dir / "j.txt") << "";
    ::chmod((dir / "j.txt").c_str(), 0444);
    // The super-user writes any file: the program then runs as nobody (the folder open to all).
    std::string as_user;
    if (::geteuid() == 0) {
        if (!testing::have_program("setpriv")) GTEST_SKIP() << "setpriv not installed";
        ::chmod(dir.path().c_str(), 0777);
        as_user = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    }
    const auto r =
        run_command(in_dir(dir, as_user + kExe +
                                    " sweep -q -C awgn -e 10 --min-trials 1 --max-bits 1 "
                                    "--checkpoint j.txt"),
                    dir);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(r.err.starts_with(
        "hfchain: --checkpoint: 'j.txt' cannot be opened for writing: Permission denied\n"))
        << r.err;
}

TEST(Checkpoint, AJournalThatCannotBeWrittenStopsTheSweepAndIsReported) {
    if (!testing::have_program("bash")) GTEST_SKIP() << "bash not installed";
    ScratchDir dir("journal-full");
    // A file-size limit of 1 KiB: the journal's header fits, the 48 records do not.
    const std::string sweep =
        " sweep -q -i 0.6 -C awgn,muito_ruim -e 4,12 --min-trials 12 --min-events 3 --min-errors "
        "200 --max-bits "
        "40000 "
        "-j 2";
    const std::string command = "(trap '' XFSZ; ulimit -f 1; exec " + kExe + sweep +
                                " --checkpoint j.txt) 2>err.txt | cat; exit \\${PIPESTATUS[0]}";
    const auto r = run_command(in_dir(dir, "bash -c \"" + command + "\""), dir);
    EXPECT_EQ(r.status, 1);
    const std::string err = read_file(dir.path() / "err.txt");
    EXPECT_NE(err.find("hfchain: --checkpoint: writing 'j.txt' failed: File too large\n"),
              std::string::npos)
        << err;
    // What was finished is still written, as after a stop signal ...
    EXPECT_NE(r.out.find("INTERRUPTED"), std::string::npos) << r.out;
    // ... and the records that did reach the journal are resumed from.
    const auto resumed = run_command(in_dir(dir, kExe + sweep + " --checkpoint j.txt"), dir);
    EXPECT_EQ(resumed.status, 0) << resumed.err;
    const auto full = run_command(in_dir(dir, kExe + sweep), dir);
    EXPECT_EQ(table_without_times(resumed.out), table_without_times(full.out));
    EXPECT_GT(testing::checkpoint_trials(resumed.out), 0) << resumed.out;
}

}  // namespace
}  // namespace hfchain::app
