// Several meters at the line's limit through the station: each meter is a
// velquor-meter-sim process on its own pseudo-terminal sending tagged frames at
// 213 per second; this program opens them by path and takes every reading from one
// subscription. It reports, per meter, frames received, frames missing from the
// tag sequence and frames out of order, and the CPU this process used.
//
//   bench_station --sim build/tools/meter_sim/velquor-meter-sim [--meters 4] [--seconds 20]
//
// Exit status 1 when a frame was lost, reordered or dropped.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "station/station.h"

extern char** environ;

namespace {

using namespace velquor::station;
using Clock = std::chrono::steady_clock;

constexpr int kTagModulus = 500;

struct Sim {
    pid_t pid = -1;
    std::string path;
};

Sim StartSim(const std::string& program) {
    Sim sim;
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return sim;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::vector<std::string> args = {program, "--rate", "213", "--tag"};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&sim.pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        sim.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < end) {
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        char c;
        if (read(out[0], &c, 1) != 1 || c == '\n')
            break;
        sim.path += c;
    }
    close(out[0]);
    return sim;
}

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Tally {
    long frames = 0;
    long missing = 0;
    long repeated = 0;  // the same tag again: a request's answer repeats the last frame
    long disorder = 0;
    int last = -1;
};

}  // namespace

int main(int argc, char** argv) {
    std::string sim;
    int meters = 4;
    double seconds = 20.0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        if (name == "--sim")
            sim = argv[i + 1];
        else if (name == "--meters")
            meters = std::atoi(argv[i + 1]);
        else if (name == "--seconds")
            seconds = std::atof(argv[i + 1]);
    }
    if (sim.empty() || meters < 1 || meters > 16 || !(seconds > 0.0)) {
        std::fprintf(stderr, "usage: bench_station --sim PROGRAM [--meters N] [--seconds S]\n");
        return 2;
    }
    std::vector<Sim> sims;
    std::vector<MeterTarget> targets;
    for (int i = 0; i < meters; ++i) {
        sims.push_back(StartSim(sim));
        targets.push_back(MeterTarget::ByPath(sims.back().path));
    }
    int status = 0;
    {
        Station station;
        auto sub = station.Subscribe(65536);
        std::vector<std::string> errors;
        if (!station.Open(targets, false, errors)) {
            for (const auto& e : errors)
                std::fprintf(stderr, "bench_station: %s\n", e.c_str());
            status = 1;
        } else {
            std::vector<Tally> tally(static_cast<std::size_t>(meters));
            std::vector<Reading> got;
            got.reserve(65536);
            const auto start = Clock::now();
            const double cpu0 = CpuSeconds();
            const auto end = start + std::chrono::duration_cast<Clock::duration>(
                                         std::chrono::duration<double>(seconds));
            while (Clock::now() < end) {
                got.clear();
                sub->PopAll(got, std::chrono::milliseconds(50));
                for (const Reading& r : got) {
                    if (r.kind != ReadingKind::Measurement) {
                        std::fprintf(stderr, "bench_station: %s: link event %d\n",
                                     station.MeterName(r.meter).c_str(), static_cast<int>(r.kind));
                        status = 1;
                        continue;
                    }
                    Tally& t = tally[r.meter];
                    const int tag = static_cast<int>(std::lround(r.power_dbm * 10.0));
                    ++t.frames;
                    if (t.last >= 0) {
                        const int step = (tag - t.last + kTagModulus) % kTagModulus;
                        if (step == 0)
                            ++t.repeated;
                        else if (step > kTagModulus / 2)
                            ++t.disorder;
                        else
                            t.missing += step - 1;
                    }
                    t.last = tag;
                }
            }
            const double wall = std::chrono::duration<double>(Clock::now() - start).count();
            const double cpu = CpuSeconds() - cpu0;
            std::printf("%d meters, %.1f s: CPU %.2f %% of one core, %llu dropped\n", meters,
                        wall, 100.0 * cpu / wall,
                        static_cast<unsigned long long>(sub->Dropped()));
            for (int i = 0; i < meters; ++i) {
                const Tally& t = tally[static_cast<std::size_t>(i)];
                std::printf("  %s: %ld frames (%.1f/s), %ld missing, %ld out of order, %ld repeated\n",
                            station.MeterName(static_cast<std::size_t>(i)).c_str(), t.frames,
                            static_cast<double>(t.frames) / wall, t.missing, t.disorder,
                            t.repeated);
                if (t.missing != 0 || t.disorder != 0 || t.frames == 0)
                    status = 1;
            }
            if (sub->Dropped() != 0)
                status = 1;
        }
    }
    for (const Sim& s : sims) {
        if (s.pid > 0) {
            kill(s.pid, SIGTERM);
            waitpid(s.pid, nullptr, 0);
        }
    }
    return status;
}
