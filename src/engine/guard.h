#pragma once
// Every exported function runs its body through one of these guards so that
// no C++ exception (OpenCV errors, allocation failures, LibRaw trouble) ever
// crosses the C interface.
#include <new>
#include <opencv2/core.hpp>
#include <stdexcept>
#include <string>

#include "engine/context.h"

namespace vantorix {

inline std::string describe_exception(const std::exception& e) {
    if (dynamic_cast<const std::bad_alloc*>(&e)) return msg::kOutOfMemory;
    if (auto* cv_err = dynamic_cast<const cv::Exception*>(&e)) {
        std::string text = msg::kOpenCvError + cv_err->err;
        if (!cv_err->func.empty()) text += " in " + cv_err->func;
        return text;
    }
    return std::string(msg::kInternal) + e.what();
}

// Runs body() (returning int). On an exception, stores a message in the
// context (when there is one) and returns failure_code.
template <class Body>
int guarded(EngineContext* ctx, int failure_code, Body&& body) noexcept {
    try {
        return body();
    } catch (const std::exception& e) {
        if (ctx) {
            try {
                ctx->last_error = describe_exception(e);
            } catch (...) {
            }
        }
    } catch (...) {
        if (ctx) {
            try {
                ctx->last_error = msg::kUnknownException;
            } catch (...) {
            }
        }
    }
    return failure_code;
}

// For the functions that take no context: like guarded, with the message of
// an exception stored as the calling thread's file error.
template <class Body>
int guarded_file(int failure_code, Body&& body) noexcept {
    try {
        return body();
    } catch (const std::exception& e) {
        try {
            file_error() = describe_exception(e);
        } catch (...) {
        }
    } catch (...) {
        try {
            file_error() = msg::kUnknownException;
        } catch (...) {
        }
    }
    return failure_code;
}

// For functions without a result: an exception is swallowed.
template <class Body>
void guarded_void(Body&& body) noexcept {
    try {
        body();
    } catch (...) {
    }
}

}  // namespace vantorix
