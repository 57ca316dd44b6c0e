// The library's front: what a process that only reads metadata needs (EXIF
// summaries, RAW thumbnails, writing bytes, the version) is answered here with
// libexif and LibRaw alone. Everything else goes to the development engine, a
// module loaded beside this library on the first call that needs it, so such
// a process never maps OpenCV and its dependencies.
#include <dlfcn.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>

#include "engine/messages.h"
#include "io/file_io.h"
#include "io/module_path.h"
#include "io/thumb_support.h"
#include "vantorix.h"

namespace vantorix {

std::string& file_error() {
    thread_local std::string message;
    return message;
}

namespace {

constexpr const char* kEngine = "libvantorix_engine.so";

std::atomic<int> g_quiet{-1};           // the last vantorix_set_quiet request, -1 before any
std::atomic<void*> g_handle{nullptr};  // the engine, once loaded

struct Engine {
    void* handle = nullptr;
    std::string error;  // why it did not load
};

void* open_engine(std::string& error) {
    for (const std::string& candidate : module_candidates(kEngine)) {
        if (void* handle = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            // Front and engine come from one build: refuse a module of another version.
            using Version = const char* (*)();
            auto version = reinterpret_cast<Version>(::dlsym(handle, "vantorix_version"));
            if (version && std::strcmp(version(), VANTORIX_VERSION_STRING) == 0) return handle;
            error = candidate + " is version " + (version ? version() : "unknown") + ", not " + VANTORIX_VERSION_STRING;
            ::dlclose(handle);
            return nullptr;
        }
        const char* e = ::dlerror();
        error = e ? e : candidate + ": cannot be loaded";
    }
    return nullptr;
}

const Engine& engine() {
    static const Engine loaded = [] {
        Engine e;
        e.handle = open_engine(e.error);
        if (e.handle) {
            g_handle.store(e.handle);
            const int quiet = g_quiet.load();
            if (quiet >= 0)
                if (auto set = reinterpret_cast<void (*)(int)>(::dlsym(e.handle, "vantorix_set_quiet"))) set(quiet);
        }
        return e;
    }();
    return loaded;
}

// The engine's entry `name`, or null (with the reason as the thread's file
// error) when the engine cannot be loaded.
void* entry(const char* name) {
    const Engine& e = engine();
    void* f = e.handle ? ::dlsym(e.handle, name) : nullptr;
    if (!f) file_error() = "cannot load the development engine: " + (e.handle ? std::string(name) + " missing" : e.error);
    return f;
}

// What an entry gives when the engine cannot be loaded (the reason is the
// thread's file error): -1, NULL (no context), or a message, never NULL text.
template <class R>
R unavailable() {
    if constexpr (std::is_same_v<R, int>) return -1;
    else if constexpr (std::is_same_v<R, const char*>) return "the development engine cannot be loaded";
    else if constexpr (!std::is_void_v<R>) return R{};
}

// The engine's file error after a context-free call, as this thread's.
void take_file_error() {
    using Text = const char* (*)();
    static const auto text = reinterpret_cast<Text>(entry("vantorix_last_file_error"));
    if (text) file_error() = text();
}

// Copies `size` bytes into a block of the C heap (released by vantorix_free_thumb).
int hand_out(const unsigned char* bytes, size_t size, uint8_t** out_data, uint32_t* out_size) {
    if (size == 0) return file_error() = msg::kThumbEmpty, -3;
    if (size > UINT32_MAX) return file_error() = msg::kThumbTooLarge, -4;
    auto* block = static_cast<uint8_t*>(std::malloc(size));
    if (!block) return file_error() = msg::kOutOfMemory, -4;
    std::memcpy(block, bytes, size);
    *out_data = block;
    *out_size = static_cast<uint32_t>(size);
    return 0;
}

}  // namespace
}  // namespace vantorix

// Each forwarded function calls the engine's entry of the same name.
#define VANTORIX_FORWARD(R, name, params, args)                                                       \
    extern "C" VANTORIX_API R name params {                                                           \
        static const auto f = reinterpret_cast<R(*) params>(vantorix::entry(#name));               \
        if (!f) return vantorix::unavailable<R>();                                                    \
        return f args;                                                                                \
    }
#define VANTORIX_SET(name, T)                                                                         \
    VANTORIX_FORWARD(void, name, (EngineContext * ctx, T value), (ctx, value))
#include "front/forwarded.h"
VANTORIX_FORWARD(int, vantorix_init, (void), ())
#undef VANTORIX_SET
#undef VANTORIX_FORWARD

extern "C" {

VANTORIX_API void vantorix_shutdown(void) {}

VANTORIX_API const char* vantorix_version(void) { return VANTORIX_VERSION_STRING; }

VANTORIX_API const char* vantorix_last_file_error(void) { return vantorix::file_error().c_str(); }

VANTORIX_API void vantorix_set_quiet(int quiet) {
    vantorix::g_quiet.store(quiet != 0 ? 1 : 0);
    // Passed on when the engine is there already; otherwise applied when it loads.
    if (void* handle = vantorix::g_handle.load())
        if (auto set = reinterpret_cast<void (*)(int)>(::dlsym(handle, "vantorix_set_quiet"))) set(quiet);
}

VANTORIX_API int vantorix_extract_thumbnail(const char* path, uint8_t** out_data, uint32_t* out_size) {
    if (!path || !out_data || !out_size) return -1;
    *out_data = nullptr;
    *out_size = 0;
    try {
        const std::string p(path);
        if (!vantorix::has_image_extension(p)) {
            // A RAW file's embedded JPEG is copied out here; a bitmap thumbnail is encoded by the engine.
            std::string reason;
            bool bitmap = false;
            const int r = vantorix::with_embedded_thumbnail(p, true, [&](const libraw_processed_image_t& img) -> int {
                if (img.type != LIBRAW_IMAGE_JPEG) return bitmap = true, 0;
                return vantorix::hand_out(img.data, img.data_size, out_data, out_size);
            }, reason);
            if (!reason.empty()) vantorix::file_error() = reason;
            if (!bitmap) return r;
        }
        using Extract = int (*)(const char*, uint8_t**, uint32_t*);
        static const auto f = reinterpret_cast<Extract>(vantorix::entry("vantorix_extract_thumbnail"));
        if (!f) return -1;
        const int r = f(path, out_data, out_size);
        if (r != 0) vantorix::take_file_error();
        return r;
    } catch (const std::bad_alloc&) {
        vantorix::file_error() = vantorix::msg::kOutOfMemory;
        return -4;
    } catch (...) {
        return -1;
    }
}

VANTORIX_API void vantorix_free_thumb(uint8_t* data) { std::free(data); }

VANTORIX_API int vantorix_phash(const char* path, uint64_t* out_hash) {
    using Hash = int (*)(const char*, uint64_t*);
    static const auto f = reinterpret_cast<Hash>(vantorix::entry("vantorix_phash"));
    if (!f) return -1;
    const int r = f(path, out_hash);
    if (r != 0) vantorix::take_file_error();
    return r;
}

}  // extern "C"

