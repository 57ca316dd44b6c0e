#include "engine/context.h"

#include <new>
#include <opencv2/core/utils/logger.hpp>

#include "engine/guard.h"
#include "engine/large_pages.h"

using vantorix::guarded;

namespace vantorix {

std::string& file_error() {
    thread_local std::string message;
    return message;
}

}  // namespace vantorix

extern "C" {

VANTORIX_API int vantorix_init(void) { return 0; }

VANTORIX_API void vantorix_shutdown(void) {}

VANTORIX_API const char* vantorix_version(void) { return VANTORIX_VERSION_STRING; }

VANTORIX_API EngineContext* vantorix_create_context(void) {
    try {
        vantorix::use_large_pages_for_matrices();
        return new EngineContext();
    } catch (...) {
        return nullptr;
    }
}

VANTORIX_API void vantorix_destroy_context(EngineContext* ctx) { delete ctx; }

VANTORIX_API const char* vantorix_last_error(EngineContext* ctx) {
    if (!ctx) return "null context";
    return ctx->last_error.c_str();
}

namespace {
const cv::Mat* reported_image(const EngineContext* ctx) {
    if (ctx->processed_valid && !ctx->pipeline.processed.empty()) return &ctx->pipeline.processed.mat;
    if (!ctx->raw.image.empty()) return &ctx->raw.image.mat;
    return &ctx->pipeline.working.mat;
}
}  // namespace

VANTORIX_API int vantorix_get_width(EngineContext* ctx) { return ctx ? reported_image(ctx)->cols : 0; }

VANTORIX_API int vantorix_get_height(EngineContext* ctx) { return ctx ? reported_image(ctx)->rows : 0; }

VANTORIX_API const char* vantorix_last_file_error(void) { return vantorix::file_error().c_str(); }

VANTORIX_API void vantorix_set_quiet(int quiet) {
    using namespace cv::utils::logging;
    // The level the host had before the first quiet request, restored by quiet 0.
    static LogLevel before = LOG_LEVEL_SILENT;
    static bool saved = false;
    if (quiet != 0) {
        if (!saved) {
            before = getLogLevel();
            saved = true;
        }
        setLogLevel(LOG_LEVEL_SILENT);
    } else if (saved) {
        setLogLevel(before);
        saved = false;
    }
}

}  // extern "C"
