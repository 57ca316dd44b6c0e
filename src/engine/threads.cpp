#include <opencv2/core/utility.hpp>

#include "engine/context.h"

extern "C" VANTORIX_API void vantorix_set_thread_count(int count) {
    try {
        cv::setNumThreads(count < 0 ? -1 : count);
    } catch (...) {
    }
}
