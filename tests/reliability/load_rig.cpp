#include "load_rig.h"

#include <pthread.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "rt_probe.h"

#ifndef ZE710_PLUGIN_PATH
#error "ZE710_PLUGIN_PATH must name the built plug-in module"
#endif

namespace ze710test {

namespace {

constexpr int kHistogramBuckets = 20000;  // 1 us each; the last one collects the rest
constexpr size_t kNoiseFrames = 1 << 16;
constexpr int kWatchdogTickMs = 100;

double now_seconds()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

double thread_cpu_seconds()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

void thread_switches(long* voluntary, long* involuntary)
{
    rusage ru;
    getrusage(RUSAGE_THREAD, &ru);
    *voluntary = ru.ru_nvcsw;
    *involuntary = ru.ru_nivcsw;
}

void sleep_until(double t)
{
    timespec ts;
    ts.tv_sec = static_cast<time_t>(t);
    ts.tv_nsec = static_cast<long>((t - static_cast<double>(ts.tv_sec)) * 1e9);
    if (ts.tv_nsec >= 1000000000L) {
        ts.tv_sec += 1;
        ts.tv_nsec -= 1000000000L;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) != 0) {
    }
}

// One thread's heartbeat as the watchdog sees it.
struct Heartbeat {
    std::string name;
    std::atomic<long> progress{0};
    std::atomic<bool> finished{false};
};

uint32_t next_random(uint32_t& state)
{
    state = state * 1664525u + 1013904223u;
    return state;
}

float unit_random(uint32_t& state)
{
    return static_cast<float>(next_random(state) >> 8) / 16777215.0f;
}

}  // namespace

double env_seconds(const char* name, double fallback)
{
    const char* text = std::getenv(name);
    if (!text || !*text)
        return fallback;
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    return (end && *end == 0 && v > 0.0 && std::isfinite(v)) ? v : fallback;
}

int env_int(const char* name, int fallback)
{
    const char* text = std::getenv(name);
    if (!text || !*text)
        return fallback;
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    return (end && *end == 0 && v >= 0 && v < 1000000) ? static_cast<int>(v) : fallback;
}

RigResult run_rig(const RigOptions& opt)
{
    RigResult result;
    result.instances = opt.instances;
    const RtProbe probe;
    result.probe_loaded = probe.loaded();

    if (opt.editors > 0 && (!opt.open_editor || !opt.close_editor)) {
        result.failure = "editors asked for without open_editor/close_editor hooks";
        return result;
    }
    const int max_block = *std::max_element(opt.block_frames.begin(), opt.block_frames.end());

    // ---- the session: instances loaded and started, editors opened ----------
    std::vector<std::unique_ptr<vsthost::VstPlugin>> owned;
    std::vector<vsthost::VstPlugin*> plugins;
    for (int i = 0; i < opt.instances; ++i) {
        std::string error;
        owned.push_back(vsthost::VstPlugin::load(ZE710_PLUGIN_PATH, &error));
        if (!owned.back()) {
            result.failure = "instance " + std::to_string(i) + ": " + error;
            return result;
        }
        owned.back()->start(static_cast<float>(opt.sample_rate), max_block);
        plugins.push_back(owned.back().get());
    }
    for (int i = 0; i < opt.editors && i < opt.instances; ++i) {
        if (!opt.open_editor(*plugins[i], i)) {
            result.failure = "editor of instance " + std::to_string(i) + " did not open";
            for (int j = 0; j < i; ++j)
                opt.close_editor(*plugins[j], j);
            return result;
        }
    }

    std::vector<float> noise(kNoiseFrames + static_cast<size_t>(max_block));
    uint32_t seed = 12345;
    for (float& s : noise)
        s = 0.5f * (unit_random(seed) - 0.5f);

    std::atomic<bool> stop{false};
    std::atomic<bool> watchdog_stop{false};
    std::atomic<long> parameter_sets{0};
    std::vector<std::unique_ptr<Heartbeat>> beats;
    auto heartbeat = [&](const std::string& name) {
        beats.push_back(std::make_unique<Heartbeat>());
        beats.back()->name = name;
        return beats.back().get();
    };
    Heartbeat* audio_beat = heartbeat("audio thread");
    std::vector<Heartbeat*> automation_beats, extra_beats;
    for (int t = 0; t < opt.automation_threads; ++t)
        automation_beats.push_back(heartbeat("automation thread " + std::to_string(t)));
    Heartbeat* control_beat = opt.control_thread ? heartbeat("program/bypass thread") : nullptr;
    for (size_t t = 0; t < opt.extra_control.size(); ++t)
        extra_beats.push_back(heartbeat("extra control thread " + std::to_string(t)));

    // ---- watchdog ------------------------------------------------------------
    std::thread watchdog([&] {
        std::vector<long> last(beats.size(), -1);
        std::vector<double> since(beats.size(), now_seconds());
        while (!watchdog_stop.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kWatchdogTickMs));
            const double t = now_seconds();
            for (size_t i = 0; i < beats.size(); ++i) {
                const long p = beats[i]->progress.load();
                if (p != last[i] || beats[i]->finished.load()) {
                    last[i] = p;
                    since[i] = t;
                } else if (t - since[i] > opt.watchdog_seconds) {
                    std::fprintf(stderr, "watchdog: %s made no progress for %.1f s (stuck at %ld); aborting\n",
                                 beats[i]->name.c_str(), t - since[i], p);
                    std::fflush(stderr);
                    std::abort();
                }
            }
        }
    });

    // ---- audio thread ------------------------------------------------------------
    std::vector<long> histogram(kHistogramBuckets, 0);
    std::vector<std::vector<float>> out_l(plugins.size(), std::vector<float>(max_block)),
        out_r(plugins.size(), std::vector<float>(max_block));
    double block_us_sum = 0.0;
    std::thread audio([&] {
        size_t read_pos = 0;
        const double start = now_seconds();
        double due = start;
        long blocks = 0;
        for (;;) {
            const int frames = opt.block_frames[static_cast<size_t>(blocks) % opt.block_frames.size()];
            float* ins[2] = {&noise[read_pos], &noise[(read_pos + 7919) % kNoiseFrames]};
            long vol0, invol0, vol1, invol1;
            thread_switches(&vol0, &invol0);
            const double c0 = thread_cpu_seconds();
            const double t0 = now_seconds();
            for (size_t i = 0; i < plugins.size(); ++i) {
                float* outs[2] = {out_l[i].data(), out_r[i].data()};
                AEffect* e = plugins[i]->effect();
                probe.enter();
                e->processReplacing(e, ins, outs, frames);
                probe.leave();
            }
            const double t1 = now_seconds();
            const double c1 = thread_cpu_seconds();
            thread_switches(&vol1, &invol1);
            result.voluntary_switches += vol1 - vol0;
            result.involuntary_switches += invol1 - invol0;
            result.block_cpu_us_max = std::max(result.block_cpu_us_max, (c1 - c0) * 1e6);
            const double us = (t1 - t0) * 1e6;
            block_us_sum += us;
            result.block_us_max = std::max(result.block_us_max, us);
            ++histogram[std::min(static_cast<long>(us), static_cast<long>(kHistogramBuckets - 1))];
            for (size_t i = 0; i < plugins.size(); ++i)
                for (int k = 0; k < frames; ++k)
                    result.non_finite_samples += !std::isfinite(out_l[i][k]) + !std::isfinite(out_r[i][k]);
            ++blocks;
            result.frames_per_instance += frames;
            audio_beat->progress.store(blocks);
            read_pos = (read_pos + static_cast<size_t>(frames)) % kNoiseFrames;

            due += frames / opt.sample_rate;
            if (t1 - start >= opt.seconds || (opt.max_blocks > 0 && blocks >= opt.max_blocks))
                break;
            if (opt.paced) {
                if (t1 > due) {
                    ++result.late_blocks;
                    // A sound card drops what it could not play; start afresh.
                    if (t1 - due > 0.1)
                        due = t1;
                } else {
                    sleep_until(due);
                }
            }
        }
        result.blocks = blocks;
        result.seconds = now_seconds() - start;
        audio_beat->finished.store(true);
    });

    // ---- automation: every parameter of every instance, once per period ------
    std::vector<std::thread> controls;
    for (int t = 0; t < opt.automation_threads; ++t) {
        controls.emplace_back([&, t] {
            Heartbeat* beat = automation_beats[static_cast<size_t>(t)];
            uint32_t state = 777u + static_cast<uint32_t>(t);
            const double period = opt.automation_period_ms * 1e-3;
            double due = now_seconds();
            long rounds = 0;
            while (!stop.load()) {
                for (vsthost::VstPlugin* p : plugins) {
                    AEffect* e = p->effect();
                    for (int index = 0; index < e->numParams; ++index) {
                        e->setParameter(e, index, unit_random(state));
                        (void)e->getParameter(e, index);
                    }
                    parameter_sets.fetch_add(e->numParams, std::memory_order_relaxed);
                }
                beat->progress.store(++rounds);
                due += period;
                const double t_now = now_seconds();
                if (due < t_now - 0.1)
                    due = t_now;
                sleep_until(due);
            }
            beat->finished.store(true);
        });
    }

    // ---- programs, host bypass, renames, texts ---------------------------------
    if (control_beat) {
        controls.emplace_back([&] {
            uint32_t state = 4242u;
            const double period = opt.control_period_ms * 1e-3;
            double due = now_seconds();
            long rounds = 0;
            while (!stop.load()) {
                for (vsthost::VstPlugin* p : plugins) {
                    p->dispatch(effSetProgram, 0, static_cast<VstIntPtr>(next_random(state) % 9));
                    p->dispatch(effSetBypass, 0, (next_random(state) & 3) == 0);
                    (void)p->parameter_display(static_cast<VstInt32>(next_random(state) % 9));
                    (void)p->current_program_name();
                    if (rounds % 16 == 0) {
                        char name[] = "Live 24-character rename";
                        p->dispatch(effSetProgramName, 0, 0, name);
                    }
                }
                control_beat->progress.store(++rounds);
                due += period;
                const double t_now = now_seconds();
                if (due < t_now - 0.1)
                    due = t_now;
                sleep_until(due);
            }
            for (vsthost::VstPlugin* p : plugins)
                p->dispatch(effSetBypass, 0, 0);
            result.control_rounds = rounds;
            control_beat->finished.store(true);
        });
    }
    for (size_t t = 0; t < opt.extra_control.size(); ++t) {
        controls.emplace_back([&, t] {
            opt.extra_control[t](plugins, stop, extra_beats[t]->progress);
            extra_beats[t]->finished.store(true);
        });
    }

    audio.join();
    stop.store(true);
    for (std::thread& c : controls)
        c.join();
    watchdog_stop.store(true);
    watchdog.join();

    for (int i = 0; i < opt.editors && i < opt.instances; ++i)
        opt.close_editor(*plugins[i], i);
    owned.clear();

    result.process_calls = result.blocks * opt.instances;
    result.parameter_sets = parameter_sets.load();
    result.automation_rounds = 0;
    for (Heartbeat* b : automation_beats)
        result.automation_rounds += b->progress.load();
    if (result.blocks > 0) {
        result.block_us_mean = block_us_sum / static_cast<double>(result.blocks);
        long seen = 0;
        const long p99_rank = (result.blocks * 99 + 99) / 100;
        for (int b = 0; b < kHistogramBuckets; ++b) {
            seen += histogram[static_cast<size_t>(b)];
            if (seen >= p99_rank) {
                result.block_us_p99 = b + 1;
                break;
            }
        }
    }
    double frames_sum = 0.0;
    for (int f : opt.block_frames)
        frames_sum += f;
    result.block_period_us = 1e6 * frames_sum / static_cast<double>(opt.block_frames.size()) / opt.sample_rate;
    result.blocking_calls = probe.total();
    result.blocking_report = probe.report();
    return result;
}

std::string describe(const RigResult& r)
{
    char line[1024];
    std::snprintf(line, sizeof line,
                  "%d instances, %ld blocks (%ld processReplacing calls, %ld frames each) in %.1f s; "
                  "%ld automation rounds (%ld parameter sets), %ld program/bypass rounds; "
                  "block time mean %.1f us, p99 <= %.0f us, max %.1f us (CPU time max %.1f us; period %.1f us, "
                  "%ld late); context switches while processing: %ld voluntary, %ld involuntary; "
                  "non-finite samples %ld; blocking calls inside processReplacing: %s",
                  r.instances, r.blocks, r.process_calls, r.frames_per_instance, r.seconds,
                  r.automation_rounds, r.parameter_sets, r.control_rounds, r.block_us_mean, r.block_us_p99,
                  r.block_us_max, r.block_cpu_us_max, r.block_period_us, r.late_blocks, r.voluntary_switches,
                  r.involuntary_switches, r.non_finite_samples,
                  r.probe_loaded ? (std::to_string(r.blocking_calls) + " (" + r.blocking_report + ")").c_str()
                                 : "probe not loaded");
    return line;
}

}  // namespace ze710test
