#pragma once
#include <opencv2/core.hpp>
#include <string>

#include "engine/adjustments.h"
#include "engine/messages.h"
#include "engine/progress.h"
#include "engine/raw_image.h"
#include "engine/working_images.h"
#include "vantorix.h"

// The object behind the host's handle: all state of the work on one photograph.
struct EngineContext {
    vantorix::RawImage raw;
    vantorix::ImagePipeline pipeline;
    vantorix::Adjustments adjustments;
    bool processed_valid = false;
    // settings_fingerprint of the settings `processed` was last developed
    // with; empty when unknown or when that development was not repeatable.
    std::string developed_settings;
    std::string last_error;
    std::string loaded_path;
    cv::Mat subject_mask;
    float bg_blur = 0.0f;
    bool mask_ready = false;
    // The host's progress callback (vantorix_set_progress_callback); null: none.
    vantorix::ProgressFn progress_fn = nullptr;
    void* progress_user = nullptr;

    bool has_image() const { return !raw.image.empty() || !pipeline.working.empty(); }
    // The loaded picture the analysis tools measure: raw.image, else working.
    const vantorix::ImageBuffer& source_image() const {
        return raw.image.empty() ? pipeline.working : raw.image;
    }
    void fail(const char* message) { last_error = message; }
    void fail(std::string message) { last_error = std::move(message); }

    // The precondition of every call that needs a loaded image: true when one
    // is loaded, else stores "no image loaded" and gives false.
    bool require_image() {
        if (has_image()) return true;
        fail(vantorix::msg::kNoImage);
        return false;
    }
};
