// Sweeps over the ranks of an MPI job: the same table for any number of ranks, results from rank
// 0 alone, and a rank that fails or dies ending the whole job with a message, never a hang.
#include <gtest/gtest.h>

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

#ifdef HFCHAIN_EXE_MPI
constexpr bool kBuiltWithMpi = true;
const std::string kMpirun = HFCHAIN_MPIRUN;
#else
constexpr bool kBuiltWithMpi = false;
const std::string kMpirun = "mpirun";
#endif

// Several ranks on a machine of fewer cores; as root, Open MPI wants to be told. `timeout` ends a
// job that would hang. In the sanitized build, what Open MPI itself leaves allocated at its end
// is not hfchain's leak: it is suppressed by library name (mpi_leaks.supp), with full stacks
// (Open MPI's libraries have no frame pointers) so that its frames can be named.
std::string mpirun(int ranks) {
    const std::string suppressions =
        (std::filesystem::path(__FILE__).parent_path() / "mpi_leaks.supp").string();
    return "LSAN_OPTIONS=suppressions='" + suppressions +
           "':print_suppressions=0 ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}fast_unwind_on_"
           "malloc=0 timeout -s KILL 300 " +
           kMpirun + " --allow-run-as-root --oversubscribe -np " + std::to_string(ranks) + " ";
}

const std::string kSweep =
    " sweep -q -i 0.6 -C awgn,muito_ruim -e 3,12 --min-trials 4 --min-events 3 --min-errors 300 "
    "--max-bits 12000 "
    "--seed 3";

class Mpi : public ::testing::Test {
protected:
    void SetUp() override {
        if (!kBuiltWithMpi) GTEST_SKIP() << "hfchain was built without MPI";
        if (!testing::have_program(kMpirun)) GTEST_SKIP() << kMpirun << " not found";
    }
};

TEST_F(Mpi, TheTableIsTheSameForOneTwoAndThreeRanks) {
    ScratchDir dir("mpi");
    const auto single = run_command(kExe + kSweep + " -j 2", dir);
    ASSERT_EQ(single.status, 0) << single.err;
    for (const int ranks : {1, 2, 3}) {
        SCOPED_TRACE(std::to_string(ranks) + " ranks");
        const auto r = run_command(mpirun(ranks) + kExe + kSweep, dir);
        ASSERT_EQ(r.status, 0) << r.err;
        // One table, from rank 0 alone, and the same lines.
        EXPECT_EQ(table_without_times(r.out), table_without_times(single.out));
        if (ranks > 1) {
            EXPECT_NE(
                testing::threads_line(r.out).find(" in " + std::to_string(ranks) + " processes, "),
                std::string::npos)
                << r.out;
        }
    }
}

TEST_F(Mpi, Rank0AloneWritesTheFilesAndTheCheckpoint) {
    ScratchDir dir("mpi-files");
    const auto r = run_command("cd '" + dir.path().string() + "' && " + mpirun(2) + kExe + kSweep +
                                   " --csv t.csv --checkpoint j.txt",
                               dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");  // no progress, no notes from any rank
    // One table on stdout and one CSV, each with the four points.
    const std::string csv = read_file(dir.path() / "t.csv");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + 4);
    std::istringstream table(r.out);
    int rows = 0;
    for (std::string line; std::getline(table, line);) rows += line.starts_with("#") ? 0 : 1;
    EXPECT_EQ(rows, 4) << r.out;
    // The journal holds the trials of both ranks: a single process resumes it without running
    // one more trial.
    const auto resumed = run_command(
        "cd '" + dir.path().string() + "' && " + kExe + kSweep + " --checkpoint j.txt", dir);
    ASSERT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_EQ(table_without_times(resumed.out), table_without_times(r.out));
    std::int64_t counted = 0;
    std::istringstream resumed_rows(resumed.out);
    for (std::string line; std::getline(resumed_rows, line);) {
        if (line.starts_with("#")) continue;
        std::istringstream fields(line);
        double cond = 0, esno = 0, snr3k = 0;
        std::int64_t trials = 0;
        fields >> cond >> esno >> snr3k >> trials;
        counted += trials;
    }
    EXPECT_EQ(testing::checkpoint_trials(resumed.out), counted) << resumed.out;
}

// The table without its wall time.
std::string without_wall_time(const std::string& table) {
    std::istringstream in(table);
    std::string out;
    for (std::string line; std::getline(in, line);) {
        if (!line.starts_with("# wall time")) out += line + '\n';
    }
    return out;
}

// The minimum-performance table runs point after point over the ranks: the same table as one
// process, for two and three ranks, and its journal, written by rank 0 alone, resumes in a single
// process to the same table without running one more trial. (It was refused under mpirun.)
TEST_F(Mpi, TheRequirementsTableIsTheSameOverTheRanksAndItsJournalResumes) {
    ScratchDir dir("mpi-requirements");
    const std::string table =
        " requirements -q --rows 0,1 --min-trials 4 --min-events 3 --max-bits 30000 --step 4 "
        "--resolution 2 --seed 3";
    const auto single = run_command(kExe + table + " -j 2", dir);
    ASSERT_EQ(single.status, 0) << single.err;
    const std::string in_dir = "cd '" + dir.path().string() + "' && ";
    for (const int ranks : {2, 3}) {
        SCOPED_TRACE(std::to_string(ranks) + " ranks");
        const std::string journal = "j" + std::to_string(ranks) + ".txt";
        const auto r =
            run_command(in_dir + mpirun(ranks) + kExe + table + " --checkpoint " + journal, dir);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");  // no progress, no notes from any rank
        EXPECT_EQ(without_wall_time(r.out), without_wall_time(single.out));
        const std::string written = read_file(dir.path() / journal);
        const auto resumed = run_command(in_dir + kExe + table + " --checkpoint " + journal, dir);
        ASSERT_EQ(resumed.status, 0) << resumed.err;
        EXPECT_EQ(without_wall_time(resumed.out), without_wall_time(single.out));
        EXPECT_EQ(read_file(dir.path() / journal), written) << "a trial ran again";
    }
}

TEST_F(Mpi, ARankThatRefusesItsCommandLineEndsTheJobAtOnce) {
    ScratchDir dir("mpi-other");
    struct Case {
        std::string rank1;  // rank 1's command line; rank 0 runs kSweep
        std::string message;
    };
    const Case cases[] = {
        {kSweep.substr(0, kSweep.find("--seed 3")) + "--seed 4",
         "hfchain: rank 1: started with other parameters than rank 0 (--seed 3 on rank 0, 4 "
         "here); every rank must run the same sweep\n"},
        {kSweep + " --bogus",
         "hfchain: rank 1: The following argument was not expected: --bogus\n"},
        {" run",
         "hfchain: rank 1: started with another command than rank 0; every rank must run "
         "the same sweep\n"},
        {kSweep + " --max-memory 1K",
         "hfchain: rank 1: --nframe: trials of 1 interleaver block of"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rank1);
        const std::string script = "if [ \\$OMPI_COMM_WORLD_RANK = 1 ]; then exec " + kExe +
                                   c.rank1 + "; else exec " + kExe + kSweep + "; fi";
        const auto r = run_command(mpirun(2) + "sh -c \"" + script + "\"", dir);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
}

TEST_F(Mpi, ARankThatDiesEndsTheJobWithAFailure) {
    ScratchDir dir("mpi-dies");
    // Rank 1 is killed a second into a sweep that would take minutes.
    const std::string sweep = " sweep -q -i 0.6 -C awgn -e 0:1:40 --max-bits 1e9 --min-errors 1e9";
    const std::string script = "if [ \\$OMPI_COMM_WORLD_RANK = 1 ]; then timeout -s KILL 1 " +
                               kExe + sweep + "; else exec " + kExe + sweep + "; fi";
    const auto start = std::chrono::steady_clock::now();
    const auto r = run_command(mpirun(2) + "sh -c \"" + script + "\"", dir);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_NE(r.status, 0) << r.err;
    EXPECT_NE(r.status, -1) << "the job hung";  // the watchdog's SIGKILL
    EXPECT_LT(seconds, 250);
}

TEST(MpiLauncher, ABuildWithoutMpiRefusesToRunAsSeveralProcesses) {
    if (kBuiltWithMpi) GTEST_SKIP() << "hfchain was built with MPI";
    ScratchDir dir("nompi");
    const auto r =
        run_command("OMPI_COMM_WORLD_SIZE=2 OMPI_COMM_WORLD_RANK=0 " + kExe + kSweep, dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("built without MPI"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace hfchain::app
