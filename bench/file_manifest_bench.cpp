// Manifest load, save and pruning, and the boot list built from it, at 10k, 100k and 1M records;
// `wc -l` on the same files gives the reading speed to compare load_file with.
#include "launcher/boot_sequence.h"
#include "launcher/launcher_globals.h"
#include "support/debug_log.h"
#include "updater/file_manifest.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

// Names are "L<k>/f<j>" (present) or "L<k>/gone<j>" (missing, every tenth record): the L<k> are
// symbolic links to one directory of f0 .. f999, so a million distinct names resolve to
// regular files without a million files on disk.
constexpr int files_per_directory = 1000;

class bench_data {
public:
    bench_data()
    {
        const char *base = getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/manifest-bench-XXXXXX";
        if (!mkdtemp(pattern.data()))
            abort();
        root_ = pattern;
        std::string real = root_ + "/real";
        mkdir(real.c_str(), 0700);
        for (int j = 0; j < files_per_directory; j++) {
            FILE *f = fopen((real + "/f" + std::to_string(j)).c_str(), "wb");
            if (!f)
                abort();
            fclose(f);
        }
        report_error_disable();
    }
    ~bench_data()
    {
        std::string command = "rm -rf '" + root_ + "'";
        if (system(command.c_str()) != 0)
            fprintf(stderr, "could not remove %s\n", root_.c_str());
    }

    const std::string &directory() const { return root_; }

    // The manifest file of `records` records (made on first use), and its size in bytes.
    const std::string &manifest(int records, long *bytes = nullptr)
    {
        auto found = manifests_.find(records);
        if (found == manifests_.end()) {
            std::string path = root_ + "/manifest_" + std::to_string(records) + ".lst";
            write_manifest(path, records);
            found = manifests_.emplace(records, path).first;
        }
        if (bytes) {
            struct stat st;
            *bytes = stat(found->second.c_str(), &st) == 0 ? long(st.st_size) : 0;
        }
        return found->second;
    }

private:
    void write_manifest(const std::string &path, int records)
    {
        for (int k = 0; k * files_per_directory < records; k++) {
            std::string link = root_ + "/L" + std::to_string(k);
            if (access(link.c_str(), F_OK) != 0 && symlink("real", link.c_str()) != 0)
                abort();
        }
        FILE *f = fopen(path.c_str(), "wb");
        if (!f)
            abort();
        fputs("# generated for the benchmark\n\n", f);
        unsigned state = 12345;
        for (int i = 0; i < records; i++) {
            char hash[41];
            for (int h = 0; h < 40; h++) {
                state = state * 1103515245u + 12345u;
                hash[h] = "0123456789abcdef"[(state >> 16) & 15];
            }
            hash[40] = '\0';
            const char *kind = i % 10 == 9 ? "gone" : "f";
            fprintf(f, "%s %10d L%d/%s%d\n", hash, i, i / files_per_directory, kind,
                    i % files_per_directory);
        }
        if (fclose(f) != 0)
            abort();
    }

    std::string root_;
    std::map<int, std::string> manifests_;
};

bench_data &data()
{
    static bench_data instance;
    return instance;
}

// Loads the file once untimed, so that every size is measured with the heap and the page cache
// already holding what one load needs, not only the large sizes' single iteration paying for
// first use.
void warm_up(const std::string &path)
{
    fenu_file_manifest manifest;
    if (manifest.load_file(path.c_str()) < 0)
        abort();
    (void)manifest.find_record("");
}

void BM_load_file(benchmark::State &state)
{
    long bytes = 0;
    const std::string &path = data().manifest(int(state.range(0)), &bytes);
    fenu_file_manifest manifest;
    warm_up(path);
    for (auto _ : state) {
        int loaded = manifest.load_file(path.c_str());
        if (loaded != state.range(0))
            state.SkipWithError("load_file failed");
        state.PauseTiming();
        manifest.clear();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes);
}

// `wc -l` of the same file, started and waited for in each iteration.
void BM_wc_lines(benchmark::State &state)
{
    long bytes = 0;
    const std::string &path = data().manifest(int(state.range(0)), &bytes);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    char *const argv[] = {const_cast<char *>("wc"), const_cast<char *>("-l"),
                          const_cast<char *>(path.c_str()), nullptr};
    for (auto _ : state) {
        pid_t pid;
        int status = 0;
        if (posix_spawnp(&pid, "wc", &actions, nullptr, argv, environ) != 0 ||
            waitpid(pid, &status, 0) != pid || status != 0)
            state.SkipWithError("wc -l failed");
    }
    posix_spawn_file_actions_destroy(&actions);
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes);
}

void BM_save_file(benchmark::State &state)
{
    long bytes = 0;
    const std::string &path = data().manifest(int(state.range(0)), &bytes);
    fenu_file_manifest manifest;
    if (manifest.load_file(path.c_str()) != state.range(0))
        state.SkipWithError("load_file failed");
    std::string out = data().directory() + "/saved.lst";
    for (auto _ : state)
        if (!manifest.save_file(out.c_str()))
            state.SkipWithError("save_file failed");
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes);
}

void BM_remove_missing_files(benchmark::State &state)
{
    const std::string &path = data().manifest(int(state.range(0)));
    fenu_file_manifest manifest;
    warm_up(path);
    for (auto _ : state) {
        state.PauseTiming();
        manifest.clear();
        if (manifest.load_file(path.c_str()) != state.range(0))
            state.SkipWithError("load_file failed");
        state.ResumeTiming();
        int kept = manifest.remove_missing_files(data().directory().c_str());
        if (kept != state.range(0) - state.range(0) / 10)
            state.SkipWithError("unexpected number of records kept");
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0));
}

void BM_build_executable_list(benchmark::State &state)
{
    manifest_path.assign(data().manifest(int(state.range(0))).c_str());
    executables_dir.assign(data().directory().c_str());
    build_executable_list();
    for (auto _ : state) {
        build_executable_list();
        if (executable_list.count != state.range(0) - state.range(0) / 10)
            state.SkipWithError("unexpected list length");
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0));
}

#define MANIFEST_SIZES \
    RangeMultiplier(10)->Range(10000, 1000000)->Unit(benchmark::kMillisecond)->UseRealTime()

BENCHMARK(BM_load_file)->MANIFEST_SIZES;
BENCHMARK(BM_wc_lines)->MANIFEST_SIZES;
BENCHMARK(BM_save_file)->MANIFEST_SIZES;
BENCHMARK(BM_remove_missing_files)->MANIFEST_SIZES;
BENCHMARK(BM_build_executable_list)->MANIFEST_SIZES;

} // namespace

BENCHMARK_MAIN();
