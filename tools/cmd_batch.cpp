// `develop IN... --out-dir DIR`: develops many files in one process, one
// engine context per worker thread, with a progress line and a summary.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "commands.h"
#include "progress_line.h"
#include "vantorix.h"

namespace cli {

namespace {

struct Item {
    std::string in, out, error;  // error empty: not failed (yet)
    bool done = false;
};

std::string base_name(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// DIR/<input name without its extension>.<format>
std::string output_for(const std::string& dir, const std::string& in, const std::string& format) {
    std::string name = base_name(in);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return dir + (dir.back() == '/' ? "" : "/") + name + "." + format;
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Develops one file into a hidden temporary name in the output folder, then
// puts it in place: with link(), which fails when the name exists (so nothing
// is ever overwritten, even if the file appeared meanwhile), or with rename()
// under --overwrite.
bool develop_item(EngineContext* ctx, const ParsedDevelop& p, const Item& item, size_t index, std::string& error) {
    if (!p.overwrite && exists(item.out)) {
        error = item.out + " exists (--overwrite replaces it)";
        return false;
    }
    if (vantorix_load_arw(ctx, item.in.c_str(), p.size_level) != 0) {
        error = std::string("cannot load: ") + vantorix_last_error(ctx);
        return false;
    }
    if (!apply_develop_settings(ctx, p, error)) return false;
    const size_t slash = item.out.find_last_of('/');
    const std::string tmp = item.out.substr(0, slash + 1) + "." + item.out.substr(slash + 1) + ".part" +
                            std::to_string(static_cast<long>(::getpid())) + "-" + std::to_string(index) + "." +
                            p.format;
    if (!develop_and_write(ctx, p, tmp, error)) {
        std::remove(tmp.c_str());
        // Name the real output, not the temporary one.
        for (size_t at; (at = error.find(tmp)) != std::string::npos;) error.replace(at, tmp.size(), item.out);
        return false;
    }
    const bool placed = p.overwrite ? std::rename(tmp.c_str(), item.out.c_str()) == 0
                                    : ::link(tmp.c_str(), item.out.c_str()) == 0;
    const int err = errno;
    std::remove(tmp.c_str());
    if (!placed) {
        error = err == EEXIST ? item.out + " exists (--overwrite replaces it)"
                              : "cannot write " + item.out + ": " + std::strerror(err);
        return false;
    }
    return true;
}

}  // namespace

int run_batch(const ParsedDevelop& p) {
    const std::string& dir = p.out_dir;
    if (::mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "vantorix: cannot make the folder %s: %s\n", dir.c_str(), std::strerror(errno));
        return 1;
    }
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        std::fprintf(stderr, "vantorix: %s is not a folder\n", dir.c_str());
        return 1;
    }
    if (!p.edit_path.empty()) {  // a refused document would fail every file: say it once
        EngineContext* probe = vantorix_create_context();
        const bool ok = probe && vantorix_set_settings_json(probe, p.edit_json.c_str()) == 0;
        if (!ok) std::fprintf(stderr, "vantorix: edit %s: %s\n", p.edit_path.c_str(), vantorix_last_error(probe));
        vantorix_destroy_context(probe);
        if (!ok) return 1;
    }

    std::vector<Item> items(p.positional.size());
    std::map<std::string, size_t> first_with_name;
    for (size_t i = 0; i < items.size(); ++i) {
        items[i].in = p.positional[i];
        items[i].out = output_for(dir, items[i].in, p.format);
        const auto seen = first_with_name.emplace(items[i].out, i);
        if (!seen.second) {
            items[i].error = "same output name as " + items[seen.first->second].in;
            items[i].done = true;
        }
    }

    const unsigned cores = std::thread::hardware_concurrency();
    const size_t workers = std::max<size_t>(1, std::min<size_t>(p.jobs > 0 ? p.jobs : (cores ? cores : 1), items.size()));
    ProgressLine line("developing", items.size(), stderr_is_terminal() && !p.quiet, true);
    std::mutex mutex;  // guards items' state and `current`
    std::vector<std::string> current(workers);
    std::atomic<size_t> next{0}, finished{0};
    for (const Item& item : items)
        if (item.done) {
            line.message("vantorix: " + item.in + ": " + item.error);
            ++finished;
        }

    // Largest files first, so that no big file is left for the end while the
    // other workers have nothing to do.
    std::vector<size_t> order(items.size());
    std::vector<off_t> sizes(items.size(), 0);
    for (size_t i = 0; i < items.size(); ++i) {
        order[i] = i;
        struct stat in_st {};
        if (::stat(items[i].in.c_str(), &in_st) == 0) sizes[i] = in_st.st_size;
    }
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return sizes[a] > sizes[b]; });

    auto work = [&](size_t worker) {
        EngineContext* ctx = vantorix_create_context();
        for (size_t k = next++; k < items.size(); k = next++) {
            const size_t i = order[k];
            if (items[i].done) continue;
            {
                std::lock_guard<std::mutex> lock(mutex);
                current[worker] = base_name(items[i].in);
            }
            std::string error;
            bool ok = false;
            if (!ctx)
                error = "could not create an engine context";
            else
                ok = develop_item(ctx, p, items[i], i, error);
            {
                std::lock_guard<std::mutex> lock(mutex);
                items[i].error = ok ? std::string() : (error.empty() ? "failed" : error);
                items[i].done = true;
                current[worker].clear();
            }
            if (!ok) line.message("vantorix: " + items[i].in + ": " + items[i].error);
            ++finished;
        }
        vantorix_destroy_context(ctx);
    };
    // The workers are the batch's parallelism: each develops on its own
    // thread, without OpenCV's thread pool (shared by all workers, it would
    // only add hand-offs; measured: about 20 % more processor time).
    vantorix_set_thread_count(1);
    std::vector<std::thread> pool;
    for (size_t w = 0; w < workers; ++w) {
        try {
            pool.emplace_back(work, w);
        } catch (const std::system_error&) {
            break;  // fewer workers
        }
    }
    if (pool.empty()) {
        work(0);
    } else if (line.enabled()) {
        while (finished.load() < items.size()) {
            std::string now;
            {
                std::lock_guard<std::mutex> lock(mutex);
                for (const std::string& name : current)
                    if (!name.empty()) now += (now.empty() ? "" : ", ") + name;
            }
            line.update(finished.load(), now);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    for (std::thread& t : pool) t.join();
    line.finish(items.size());

    size_t failed = 0;
    std::string failed_names;
    for (const Item& item : items)
        if (!item.error.empty()) {
            failed_names += (failed++ ? ", " : "") + item.in;
        }
    std::printf("developed %zu of %zu files into %s", items.size() - failed, items.size(), dir.c_str());
    if (failed) std::printf("; %zu failed: %s", failed, failed_names.c_str());
    std::printf("\n");
    return failed ? 1 : 0;
}

}  // namespace cli
