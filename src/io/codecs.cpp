#include "io/codecs.h"

#include <dlfcn.h>

#include <mutex>

#include "io/jpeg_codec.h"
#include "io/module_path.h"

// Null in the library, which loads the module instead; set in programs that link the module in.
extern "C" const vantorix::CodecTable* vantorix_codec_table() __attribute__((weak));

namespace vantorix {
namespace {

constexpr const char* kModule = "libvantorix_codecs.so";

std::once_flag g_once;
const CodecTable* g_table = nullptr;
std::string g_error;

// The module beside this library (the build tree or the installed libdir), then the loader's path.
void load_module() {
    if (vantorix_codec_table) {
        g_table = vantorix_codec_table();
        return;
    }
    for (const std::string& candidate : module_candidates(kModule)) {
        if (void* handle = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            using Entry = const CodecTable* (*)();
            if (auto entry = reinterpret_cast<Entry>(::dlsym(handle, "vantorix_codec_table"))) {
                g_table = entry();
                return;
            }
        }
        const char* e = ::dlerror();
        g_error = e ? e : "no entry point";
    }
}

const CodecTable& table() {
    std::call_once(g_once, load_module);
    if (!g_table) CV_Error(cv::Error::StsError, "cannot load the image codecs (" + g_error + ")");
    return *g_table;
}

}  // namespace

cv::Mat codec_decode(const cv::Mat& bytes, int flags) {
    cv::Mat direct;
    if (jpeg_decode_direct(bytes.ptr<uint8_t>(), bytes.total() * bytes.elemSize(), flags, direct)) return direct;
    return table().decode(bytes, flags);
}

bool codec_encode(const std::string& ext, const cv::Mat& image, std::vector<uint8_t>& out,
                        const std::vector<int>& params) {
    if (jpeg_encode_direct(ext, image, params, out)) return true;
    return table().encode(ext, image, out, params);
}

}  // namespace vantorix
