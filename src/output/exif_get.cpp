// vantorix_get_exif: the shooting data of the loaded file, read from its EXIF
// block, or taken from the RAW development when the file has none.
#include <cstring>

#include "engine/context.h"
#include "engine/guard.h"
#include "output/exif_reader.h"

extern "C" {

VANTORIX_API int vantorix_get_exif(EngineContext* ctx, ExifSummary* record) {
    if (!ctx || !record) return -1;
    return vantorix::guarded(ctx, -1, [&]() -> int {
        if (ctx->loaded_path.empty()) {
            ctx->fail(vantorix::msg::kNoFile);
            return -1;
        }
        ExifSummary rec;
        if (!vantorix::read_exif_summary(ctx->loaded_path, rec)) vantorix::fill_from_raw(ctx->raw, rec);
        std::memcpy(record, &rec, sizeof rec);
        return 0;
    });
}

}  // extern "C"
