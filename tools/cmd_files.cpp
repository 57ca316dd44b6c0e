// Subcommands on files: `info` (EXIF summary), `thumb` (small JPEG),
// `phash` (perceptual hashes) and `dupes` (groups of near-duplicates).
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bitset>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <numeric>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "commands.h"
#include "progress_line.h"
#include "vantorix.h"

namespace cli {

namespace {

namespace fs = std::filesystem;

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool has_suffix(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Files `dupes` looks at: the ordinary image formats and the usual camera RAW
// extensions (everything else in a folder is left alone).
bool is_image_file_name(const std::string& name) {
    static const char* const kExtensions[] = {
        ".jpg", ".jpeg", ".png", ".tif", ".tiff", ".bmp", ".webp",  // decoded directly
        ".3fr", ".ari", ".arw", ".bay", ".cap", ".cr2", ".cr3", ".crw", ".dcr", ".dcs", ".dng", ".drf",
        ".eip", ".erf", ".fff", ".gpr", ".iiq", ".k25", ".kdc", ".mdc", ".mef", ".mos", ".mrw", ".nef",
        ".nrw", ".orf", ".pef", ".ptx", ".pxn", ".qtk", ".raf", ".raw", ".rw2", ".rwl", ".rwz", ".sr2",
        ".srf", ".srw", ".x3f"};
    const std::string l = lower(name);
    for (const char* ext : kExtensions)
        if (has_suffix(l, ext)) return true;
    return false;
}

// Why the last vantorix_phash / vantorix_extract_thumbnail of this thread failed.
std::string file_failure() {
    const std::string why = vantorix_last_file_error();
    return why.empty() ? std::string("unknown reason") : why;
}

std::string hex64(uint64_t v) {
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(v));
    return buf;
}

int hamming(uint64_t a, uint64_t b) { return static_cast<int>(std::bitset<64>(a ^ b).count()); }

// ---- info ---------------------------------------------------------------

// A text field of the shooting data without the blanks (spaces, tabs) that
// cameras pad it with; the text and the JSON output both show it so.
std::string trimmed(const char* s) {
    std::string out(s);
    while (!out.empty() && (out.back() == ' ' || out.back() == '\t')) out.pop_back();
    return out;
}

// Text for a terminal: control characters become '?'.
std::string printable(const std::string& s) {
    std::string out;
    for (const char ch : s) {
        const unsigned char c = static_cast<unsigned char>(ch);
        out.push_back(c < 0x20 || c == 0x7F ? '?' : ch);
    }
    return out;
}

// A JSON string: escapes, and U+FFFD for bytes that are not UTF-8.
std::string json_string(const std::string& s) {
    std::string out = "\"";
    size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            if (c == '"' || c == '\\') {
                out.push_back('\\');
                out.push_back(static_cast<char>(c));
            } else if (c < 0x20 || c == 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out.push_back(static_cast<char>(c));
            }
            ++i;
            continue;
        }
        // A multi-byte sequence: its length from the lead byte, then checks of
        // the continuation bytes, overlong forms, surrogates and the range.
        size_t len = 0;
        uint32_t cp = 0;
        if (c >= 0xC2 && c <= 0xDF) len = 2, cp = c & 0x1F;
        else if (c >= 0xE0 && c <= 0xEF) len = 3, cp = c & 0x0F;
        else if (c >= 0xF0 && c <= 0xF4) len = 4, cp = c & 0x07;
        bool ok = len > 0 && i + len <= s.size();
        for (size_t k = 1; ok && k < len; ++k) {
            const unsigned char cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) ok = false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (ok && ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
                   (cp >= 0xD800 && cp <= 0xDFFF)))
            ok = false;
        if (ok) {
            out.append(s, i, len);
            i += len;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    out.push_back('"');
    return out;
}

// The shortest text that reads back as the same float / double; null when not finite.
std::string json_float(float v) {
    if (!std::isfinite(v)) return "null";
    char buf[32];
    for (int precision = 6; precision <= 9; ++precision) {
        std::snprintf(buf, sizeof buf, "%.*g", precision, static_cast<double>(v));
        if (std::strtof(buf, nullptr) == v) break;
    }
    return buf;
}

std::string json_double(double v) {
    if (!std::isfinite(v)) return "null";
    char buf[40];
    for (int precision = 15; precision <= 17; ++precision) {
        std::snprintf(buf, sizeof buf, "%.*g", precision, v);
        if (std::strtod(buf, nullptr) == v) break;
    }
    return buf;
}

std::string format_number(double v, const char* fmt) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

std::string text_exposure(float t) {
    if (!(t > 0.0f)) return "-";
    if (t >= 1.0f || !std::isfinite(t)) return format_number(t, "%.4g s");
    return "1/" + format_number(1.0 / static_cast<double>(t), "%.4g") + " s";
}

void print_text_summary(const std::string& file, const ExifSummary& s) {
    auto text = [](const char* v) {
        const std::string t = trimmed(v);
        return t.empty() ? std::string("-") : printable(t);
    };
    auto number = [](double v, const char* fmt) {
        return v == 0.0 ? std::string("-") : format_number(v, fmt);
    };
    std::printf("%s\n", printable(file).c_str());
    std::printf("  make           %s\n", text(s.make).c_str());
    std::printf("  model          %s\n", text(s.model).c_str());
    std::printf("  lens           %s\n", text(s.lens).c_str());
    std::printf("  focal length   %s\n", number(s.focal_length, "%.4g mm").c_str());
    std::printf("  aperture       %s\n", number(s.aperture, "f/%.3g").c_str());
    std::printf("  exposure time  %s\n", text_exposure(s.exposure_time).c_str());
    std::printf("  iso            %s\n", s.iso ? std::to_string(s.iso).c_str() : "-");
    std::printf("  date/time      %s\n", text(s.datetime).c_str());
    if (s.width || s.height)
        std::printf("  size           %d x %d\n", s.width, s.height);
    else
        std::printf("  size           -\n");
    std::printf("  orientation    %s\n", s.orientation ? std::to_string(s.orientation).c_str() : "-");
    if (std::isnan(s.gps_latitude) && std::isnan(s.gps_longitude)) {
        std::printf("  gps            -\n");
    } else {
        auto coord = [](double v) { return std::isnan(v) ? std::string("-") : format_number(v, "%.6f"); };
        std::printf("  gps            %s, %s\n", coord(s.gps_latitude).c_str(), coord(s.gps_longitude).c_str());
    }
}

std::string json_summary(const std::string& file, const ExifSummary& s) {
    std::string o = "  {";
    o += "\"file\": " + json_string(file);
    o += ", \"make\": " + json_string(trimmed(s.make));
    o += ", \"model\": " + json_string(trimmed(s.model));
    o += ", \"lens\": " + json_string(trimmed(s.lens));
    o += ", \"focal_length\": " + json_float(s.focal_length);
    o += ", \"aperture\": " + json_float(s.aperture);
    o += ", \"exposure_time\": " + json_float(s.exposure_time);
    o += ", \"iso\": " + std::to_string(s.iso);
    o += ", \"datetime\": " + json_string(trimmed(s.datetime));
    o += ", \"width\": " + std::to_string(s.width);
    o += ", \"height\": " + std::to_string(s.height);
    o += ", \"orientation\": " + std::to_string(s.orientation);
    o += ", \"gps_latitude\": " + json_double(s.gps_latitude);
    o += ", \"gps_longitude\": " + json_double(s.gps_longitude);
    o += "}";
    return o;
}

// ---- dupes ----------------------------------------------------------------

struct UnionFind {
    std::vector<size_t> parent;
    explicit UnionFind(size_t n) : parent(n) { std::iota(parent.begin(), parent.end(), size_t(0)); }
    size_t find(size_t x) {
        while (parent[x] != x) x = parent[x] = parent[parent[x]];
        return x;
    }
    void unite(size_t a, size_t b) {
        a = find(a);
        b = find(b);
        if (a != b) parent[std::max(a, b)] = std::min(a, b);  // the root is the smallest index
    }
};

}  // namespace

int cmd_info(const Args& args) {
    bool json = false;
    std::vector<std::string> files;
    for (const std::string& a : args) {
        if (a == "--json")
            json = true;
        else if (a.size() > 1 && a[0] == '-' && a[1] == '-')
            return usage_error("unknown option for info: " + a);
        else
            files.push_back(a);
    }
    if (files.empty()) return usage_error("info needs at least one file");
    int status = 0;
    std::vector<std::string> entries;
    bool first = true;
    for (const std::string& file : files) {
        // Metadata only: no pixel is decoded, so damaged pixels do not matter.
        ExifSummary s;
        const int r = vantorix_read_exif(file.c_str(), &s);
        if (r != 0) {
            struct stat st {};
            const std::string why = r == -2                           ? "no EXIF block, and LibRaw cannot open it"
                                    : ::stat(file.c_str(), &st) != 0 ? std::strerror(errno)
                                                                      : "not a regular file";
            std::fprintf(stderr, "vantorix: cannot read the shooting data of %s: %s\n", file.c_str(), why.c_str());
            status = 1;
            continue;
        }
        if (json) {
            entries.push_back(json_summary(file, s));
        } else {
            if (!first) std::printf("\n");
            first = false;
            print_text_summary(file, s);
        }
    }
    if (json) {
        std::printf("[");
        for (size_t i = 0; i < entries.size(); ++i) std::printf("%s\n%s", i ? "," : "", entries[i].c_str());
        std::printf("\n]\n");
    }
    return status;
}

int cmd_thumb(const Args& args) {
    for (const std::string& a : args)
        if (a.size() > 1 && a[0] == '-' && a[1] == '-') return usage_error("unknown option for thumb: " + a);
    if (args.size() != 2) return usage_error("thumb needs an input file and an output file");
    const std::string& in = args[0];
    const std::string& out = args[1];
    uint8_t* data = nullptr;
    uint32_t size = 0;
    const int r = vantorix_extract_thumbnail(in.c_str(), &data, &size);
    if (r != 0) {
        std::fprintf(stderr, "vantorix: cannot make a thumbnail of %s: %s\n", in.c_str(), file_failure().c_str());
        return 1;
    }
    char why[512];
    const int w = vantorix_write_file(out.c_str(), data, size, why, sizeof why);
    vantorix_free_thumb(data);
    if (w != 0) {
        std::fprintf(stderr, "vantorix: %s\n", why);
        return 1;
    }
    return 0;
}

int cmd_phash(const Args& args) {
    for (const std::string& a : args)
        if (a.size() > 1 && a[0] == '-' && a[1] == '-') return usage_error("unknown option for phash: " + a);
    if (args.empty()) return usage_error("phash needs at least one file");
    int status = 0;
    for (const std::string& file : args) {
        uint64_t h = 0;
        const int r = vantorix_phash(file.c_str(), &h);
        if (r != 0) {
            std::fprintf(stderr, "vantorix: cannot hash %s: %s\n", file.c_str(), file_failure().c_str());
            status = 1;
            continue;
        }
        std::printf("%s  %s\n", hex64(h).c_str(), file.c_str());
    }
    return status;
}

namespace {

// Every image file under `dir` (symbolic links to folders are not followed),
// sorted. False after printing why the folder cannot be read.
bool list_image_files(const std::string& dir, std::vector<std::string>& files) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        std::fprintf(stderr, "vantorix: %s is not a folder\n", dir.c_str());
        return false;
    }
    fs::recursive_directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec), end;
    if (ec) {
        std::fprintf(stderr, "vantorix: cannot read the folder %s: %s\n", dir.c_str(), ec.message().c_str());
        return false;
    }
    for (; it != end; it.increment(ec)) {
        if (ec) {
            std::fprintf(stderr, "vantorix: cannot read the folder %s: %s\n", dir.c_str(), ec.message().c_str());
            return false;
        }
        std::error_code fec;
        if (it->is_regular_file(fec) && is_image_file_name(it->path().filename().string()))
            files.push_back(it->path().string());
    }
    std::sort(files.begin(), files.end());
    return true;
}

struct HashResult {
    uint64_t hash = 0;
    int code = 0;
    std::string why;  // the engine's reason when code is not 0
};

// Hashes the files on a few threads (the engine's file functions need no
// context), with a progress bar on a terminal.
std::vector<HashResult> hash_files(const std::vector<std::string>& files, bool progress) {
    std::vector<HashResult> results(files.size());
    std::atomic<size_t> next{0}, done{0};
    ProgressLine line("hashing", files.size(), progress, false);
    const unsigned hw = std::thread::hardware_concurrency();
    const size_t workers = std::max<size_t>(1, std::min<size_t>({hw ? hw : 2u, 8u, files.size()}));
    auto work = [&] {
        for (size_t i = next++; i < files.size(); i = next++) {
            results[i].code = vantorix_phash(files[i].c_str(), &results[i].hash);
            if (results[i].code != 0) results[i].why = file_failure();  // this thread's message
            ++done;
        }
    };
    std::vector<std::thread> pool;
    for (size_t w = 0; w < workers && !files.empty(); ++w) {
        try {
            pool.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // fewer threads; the calling thread takes over below if none started
        }
    }
    if (pool.empty()) work();
    if (line.enabled()) {
        size_t shown = SIZE_MAX;
        while (done.load() < files.size()) {
            if (done.load() != shown) line.update(shown = done.load());
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        line.finish(files.size());
    }
    for (auto& t : pool) t.join();
    return results;
}

// Prints the groups of near-duplicates among the hashed files: files linked by
// chains of pairs at most max_distance apart. Returns the number of groups.
size_t print_groups(const std::vector<std::string>& files, const std::vector<HashResult>& results,
                    const std::vector<size_t>& hashed, int max_distance) {
    UnionFind groups(files.size());
    for (size_t a = 0; a < hashed.size(); ++a)
        for (size_t b = a + 1; b < hashed.size(); ++b)
            if (hamming(results[hashed[a]].hash, results[hashed[b]].hash) <= max_distance)
                groups.unite(hashed[a], hashed[b]);
    std::vector<std::vector<size_t>> members(files.size());
    for (size_t i : hashed) members[groups.find(i)].push_back(i);
    size_t group_count = 0;
    for (size_t root = 0; root < files.size(); ++root) {
        const std::vector<size_t>& g = members[root];
        if (g.size() < 2) continue;
        std::printf("%sgroup %zu: %zu files\n", group_count ? "\n" : "", group_count + 1, g.size());
        for (size_t i : g)
            std::printf("  %2d  %s  %s\n", hamming(results[g.front()].hash, results[i].hash),
                        hex64(results[i].hash).c_str(), files[i].c_str());
        ++group_count;
    }
    return group_count;
}

}  // namespace

int cmd_dupes(const Args& args) {
    int max_distance = 8;
    std::vector<std::string> dirs;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--max-distance") {
            if (i + 1 >= args.size() || !parse_int(args[i + 1], max_distance) || max_distance < 0 || max_distance > 64)
                return usage_error("--max-distance needs a whole number from 0 to 64");
            ++i;
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            return usage_error("unknown option for dupes: " + a);
        } else {
            dirs.push_back(a);
        }
    }
    if (dirs.size() != 1) return usage_error("dupes needs one folder");

    std::vector<std::string> files;
    if (!list_image_files(dirs[0], files)) return 1;
    const bool progress = stderr_is_terminal();
    const std::vector<HashResult> results = hash_files(files, progress);

    int status = 0;
    std::vector<size_t> hashed;
    for (size_t i = 0; i < files.size(); ++i) {
        if (results[i].code == 0) {
            hashed.push_back(i);
        } else {
            std::fprintf(stderr, "vantorix: cannot hash %s: %s\n", files[i].c_str(), results[i].why.c_str());
            status = 1;
        }
    }
    const size_t group_count = print_groups(files, results, hashed, max_distance);
    if (progress)
        std::fprintf(stderr, "%zu image files, %zu hashed, %zu group(s) of near-duplicates (distance at most %d)\n",
                     files.size(), hashed.size(), group_count, max_distance);
    return status;
}

}  // namespace cli
