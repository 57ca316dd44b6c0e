/*
 * Vantorix: a photo-development engine with a flat C interface.
 *
 * A host creates a context, loads one photograph into it (camera RAW files
 * through LibRaw; JPEG, PNG, TIFF, BMP and WebP through OpenCV), changes
 * development settings, and reads back an 8-bit RGBA preview, histograms or
 * exported files.
 *
 * Conventions
 *  - Status functions return 0 on success and a negative value on failure
 *    (-1 unless a function documents further codes). A null context or a null
 *    required pointer gives -1 and stores no message; every other failure
 *    stores a message that vantorix_last_error() returns. Success never
 *    clears the last message.
 *  - Out-values are written only on success unless documented otherwise.
 *  - Paths are NUL-terminated UTF-8.
 *  - Settings are mostly percentages: 0 neutral, -100..100 full strength.
 *  - No exception ever crosses this interface.
 *  - Threads: the engine starts no thread and has no global mutable state.
 *    Different contexts may be used on different threads at the same time;
 *    one context must not be used by two threads at once.
 */
#ifndef VANTORIX_H
#define VANTORIX_H

#include <stdint.h>

#if defined(_WIN32)
#  if defined(VANTORIX_BUILDING)
#    define VANTORIX_API __declspec(dllexport)
#  else
#    define VANTORIX_API __declspec(dllimport)
#  endif
#else
#  define VANTORIX_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/** Opaque engine context. */
typedef struct EngineContext EngineContext;

/** Shooting data of the loaded file (see vantorix_get_exif). */
typedef struct ExifSummary {
    char make[64];          /* camera maker, NUL-terminated */
    char model[64];         /* camera model */
    char lens[128];         /* lens model */
    float focal_length;     /* millimetres */
    float aperture;         /* f-number */
    float exposure_time;    /* seconds */
    int32_t iso;            /* ISO speed */
    char datetime[32];      /* capture time as "YYYY:MM:DD HH:MM:SS" */
    int32_t width;          /* pixel width recorded in the file */
    int32_t height;         /* pixel height recorded in the file */
    int32_t orientation;    /* EXIF orientation 1..8 (LibRaw flip code for the RAW fallback) */
    double gps_latitude;    /* degrees, negative in the south; NaN when absent */
    double gps_longitude;   /* degrees, negative in the west; NaN when absent */
} ExifSummary;

/**
 * Proposed settings from vantorix_auto_enhance: slots 0..18 follow the scalar
 * settings in this order: exposure, brightness, contrast, highlights, shadows,
 * whites, blacks, temperature, tint, saturation, vibrance, sharpen amount,
 * sharpen radius, sharpen threshold, nr luminance, nr color, clarity, texture,
 * dehaze. Slots 19..31 are always 0.
 */
typedef struct AutoEnhanceResult {
    float slots[32];
} AutoEnhanceResult;

/* ---- Lifecycle and errors ------------------------------------------------ */

/** Does nothing; returns 0. May be called any number of times, or never. */
VANTORIX_API int vantorix_init(void);
/** Does nothing. */
VANTORIX_API void vantorix_shutdown(void);
/** The engine version, "1.0.0". */
VANTORIX_API const char* vantorix_version(void);
/** A new context, or NULL when it cannot be created. */
VANTORIX_API EngineContext* vantorix_create_context(void);
/** Releases a context; NULL is ignored. */
VANTORIX_API void vantorix_destroy_context(EngineContext* ctx);
/** The last failure message ("" when none; "null context" for NULL). Valid until the next call on ctx. */
VANTORIX_API const char* vantorix_last_error(EngineContext* ctx);
/** Width of the developed image while a development is current, else of the loaded image; 0 for NULL. */
VANTORIX_API int vantorix_get_width(EngineContext* ctx);
/** Height, chosen like vantorix_get_width. */
VANTORIX_API int vantorix_get_height(EngineContext* ctx);

/* ---- Development settings -------------------------------------------------
 * Setters store their value unchanged (no clamping) and ignore a NULL context.
 * They do not redevelop: call vantorix_process (or read a preview) afterwards. */

VANTORIX_API void vantorix_set_exposure(EngineContext* ctx, float stops);
VANTORIX_API void vantorix_set_brightness(EngineContext* ctx, float value);
VANTORIX_API void vantorix_set_contrast(EngineContext* ctx, float value);
VANTORIX_API void vantorix_set_highlights(EngineContext* ctx, float value);
VANTORIX_API void vantorix_set_shadows(EngineContext* ctx, float value);
VANTORIX_API void vantorix_set_whites(EngineContext* ctx, float value);
VANTORIX_API void vantorix_set_blacks(EngineContext* ctx, float value);
/** Colour temperature in kelvin (default 5500; 6500 is neutral). */
VANTORIX_API void vantorix_set_temperature(EngineContext* ctx, float kelvin);
VANTORIX_API void vantorix_set_tint(EngineContext* ctx, float value);
VANTORIX_API void vantorix_set_saturation(EngineContext* ctx, float value);
VANTORIX_API void vantorix_set_vibrance(EngineContext* ctx, float value);
VANTORIX_API void vantorix_set_sharpening_amount(EngineContext* ctx, float value);
VANTORIX_API void vantorix_set_sharpening_radius(EngineContext* ctx, float value);
VANTORIX_API void vantorix_set_sharpening_threshold(EngineContext* ctx, float value);
VANTORIX_API void vantorix_set_nr_luminance(EngineContext* ctx, float value);
VANTORIX_API void vantorix_set_nr_color(EngineContext* ctx, float value);
VANTORIX_API void vantorix_set_clarity(EngineContext* ctx, float value);
VANTORIX_API void vantorix_set_texture(EngineContext* ctx, float value);
VANTORIX_API void vantorix_set_dehaze(EngineContext* ctx, float value);
VANTORIX_API void vantorix_set_distortion(EngineContext* ctx, float value);
VANTORIX_API void vantorix_set_ca_correction(EngineContext* ctx, float value);
VANTORIX_API void vantorix_set_lens_vignette(EngineContext* ctx, float value);
VANTORIX_API void vantorix_set_defringe(EngineContext* ctx, float value);
/** Rotation in degrees; positive angles turn the picture counter-clockwise. */
VANTORIX_API void vantorix_set_rotation(EngineContext* ctx, float degrees);
VANTORIX_API void vantorix_set_perspective_h(EngineContext* ctx, float value);
VANTORIX_API void vantorix_set_perspective_v(EngineContext* ctx, float value);
/** 0: no flip; any other value flips. */
VANTORIX_API void vantorix_set_flip_h(EngineContext* ctx, int flip);
VANTORIX_API void vantorix_set_flip_v(EngineContext* ctx, int flip);
/** Creative vignette in percent: positive values lighten the edges, negative values darken them; 0 is off. */
VANTORIX_API void vantorix_set_vignette_amount(EngineContext* ctx, float value);
VANTORIX_API void vantorix_set_vignette_midpoint(EngineContext* ctx, float value);
VANTORIX_API void vantorix_set_vignette_roundness(EngineContext* ctx, float value);
/** Film grain strength in percent (0 or less: off; 100: noise of standard deviation 0.05 of full scale).
 * Grain is random noise drawn from OpenCV's random generator of the calling thread, which the engine never
 * seeds: it differs from run to run, so two developments with grain on never give identical pixels. */
VANTORIX_API void vantorix_set_grain_amount(EngineContext* ctx, float value);
/** Grain coarseness in percent (default 25); 1 or less gives per-pixel noise. */
VANTORIX_API void vantorix_set_grain_size(EngineContext* ctx, float value);
/** Kept region as fractions of width (x, w) and height (y, h); w or h <= 0 means no crop. A crop of
 * 10 pixels or fewer in either direction, or values that are not finite, leave the image uncropped. */
VANTORIX_API void vantorix_set_crop(EngineContext* ctx, float x, float y, float w, float h);
/** Shifts of one of eight hue bands (0 red, 1 orange, 2 yellow, 3 green, 4 aqua, 5 blue, 6 purple, 7 magenta). */
VANTORIX_API void vantorix_set_hsl(EngineContext* ctx, int band, float hue, float saturation, float luminance);
/** which 0: highlights (hue, saturation and balance); any other: shadows (balance ignored). */
VANTORIX_API void vantorix_set_split_toning(EngineContext* ctx, int which, float hue, float saturation, float balance);
/** channel 0 master, 1 red, 2 green, 3 blue; points holds count (x, y) pairs; ignored when count < 2. */
VANTORIX_API void vantorix_set_tone_curve(EngineContext* ctx, int channel, const float* points, int count);
VANTORIX_API void vantorix_reset_tone_curve(EngineContext* ctx, int channel);
/** Restores every development setting to its default. */
VANTORIX_API void vantorix_reset_adjustments(EngineContext* ctx);
/** Background blur of the preview behind a segmented subject, clamped to 0..100. */
VANTORIX_API void vantorix_set_bg_blur(EngineContext* ctx, float amount);

/* ---- Loading -------------------------------------------------------------- */

/**
 * Loads a photograph. JPEG/PNG/TIFF/BMP/WebP (by extension) are decoded and
 * reduced to 4096 pixels on the longer side; anything else is developed as a
 * camera RAW file at size_level 1 (full) .. 4 (quarter), at most 2000 pixels.
 * Settings return to their defaults. A failed load keeps the earlier image.
 */
VANTORIX_API int vantorix_load_arw(EngineContext* ctx, const char* path, int size_level);
VANTORIX_API void vantorix_unload(EngineContext* ctx);

/* ---- Development and read-out -------------------------------------------- */

/** Develops the loaded image with the current settings. */
VANTORIX_API int vantorix_process(EngineContext* ctx);
/** Develops and copies width*height*4 bytes of RGBA into buffer. */
VANTORIX_API int vantorix_get_preview(EngineContext* ctx, uint8_t* buffer, int buffer_size);
/** Four 256-bin histograms (red, green, blue, Rec. 709 luminance) of the developed image. */
VANTORIX_API int vantorix_get_histogram(EngineContext* ctx, uint32_t* out_red, uint32_t* out_green,
                                        uint32_t* out_blue, uint32_t* out_luminance);

/* ---- Export --------------------------------------------------------------
 * The encoder follows the path's extension. Files are replaced atomically: a
 * failed export leaves an existing file untouched. */

/** quality is limited to 1..100; reserved is not read; keep_metadata carries the source's EXIF. */
VANTORIX_API int vantorix_export_jpeg(EngineContext* ctx, const char* path, int quality, int reserved,
                                      int keep_metadata);
/** bits 16 writes 16-bit samples, any other value 8-bit. */
VANTORIX_API int vantorix_export_png(EngineContext* ctx, const char* path, int bits);
/** 16-bit TIFF. */
VANTORIX_API int vantorix_export_tiff(EngineContext* ctx, const char* path);

/* ---- Metadata and files without a context --------------------------------- */

/**
 * Fills record with the loaded file's shooting data, read from its EXIF block.
 * A file without EXIF is not a failure: the record then holds what the RAW
 * development reported (or zeros, empty texts and NaN GPS for an ordinary
 * image). Absent or malformed entries leave their field at 0 / "" / NaN.
 * Returns 0, or -1 for a NULL argument (nothing stored) or when no file is
 * loaded ("no file loaded"); the record is written only on success.
 */
VANTORIX_API int vantorix_get_exif(EngineContext* ctx, ExifSummary* record);
/**
 * A small JPEG for a file, without a context: a RAW file's embedded thumbnail
 * (its JPEG bytes unchanged, or its bitmap encoded), or a copy of an ordinary
 * image reduced to 160 pixels on the longer side. Returns 0, or -1 (NULL
 * argument, unreadable image, or LibRaw cannot open the file), -2 (no embedded
 * thumbnail could be unpacked), -3 (thumbnail could not be produced), -4 (out
 * of memory). Unless an argument is NULL, *out_data and *out_size are reset to
 * NULL / 0 first. Free the bytes with vantorix_free_thumb.
 */
VANTORIX_API int vantorix_extract_thumbnail(const char* path, uint8_t** out_data, uint32_t* out_size);
/** Releases bytes from vantorix_extract_thumbnail; NULL is allowed. */
VANTORIX_API void vantorix_free_thumb(uint8_t* data);
/**
 * 64-bit perceptual (DCT) hash of an image file, for near-duplicate search by
 * Hamming distance; RAW files are hashed through their embedded thumbnail.
 * Stable across versions. Returns 0, or -1 (NULL argument, unreadable image,
 * or LibRaw cannot open the file), -2 (no embedded thumbnail), -3 (no
 * thumbnail in memory), -4 (the thumbnail decodes to nothing). Unless an
 * argument is NULL, *out_hash is 0 after every failure.
 */
VANTORIX_API int vantorix_phash(const char* path, uint64_t* out_hash);

/* ---- Automatic tools (they measure the loaded image, never change settings) */

/*
 * Each tool measures the image as loaded (the RAW development, else the
 * decoded file), never the developed one, so settings made before do not
 * influence it. Proposals go to the out-values only; apply them with the
 * setters. Returns 0 on success; -1 for a NULL argument (no message), when no
 * image is loaded ("no image loaded") or on an internal failure such as lack
 * of memory (a message). Out-values are written only on success.
 */

/**
 * Proposed exposure in stops for vantorix_set_exposure, within [-1, 1]: moves
 * the median luminance of a 256 x 256 copy toward 0.42 (0.35 * log2(0.42 / median)).
 */
VANTORIX_API int vantorix_auto_exposure(EngineContext* ctx, float* out_exposure);
/** Proposed white balance: always the neutral temperature 6500 K and tint 0. */
VANTORIX_API int vantorix_auto_white_balance(EngineContext* ctx, float* out_temperature, float* out_tint);
/**
 * Proposed basic settings, measured on a 512-pixel-wide copy: exposure from
 * the median luminance, contrast from the luminance spread, highlights and
 * shadows from the clipped pixels, luminance noise reduction from the fine
 * detail, fixed values for the rest (see AutoEnhanceResult). All 32 slots are
 * written on success.
 */
VANTORIX_API int vantorix_auto_enhance(EngineContext* ctx, AutoEnhanceResult* out_settings);
/**
 * Proposed rotation in degrees for vantorix_set_rotation, which levels the
 * long edges within 30 degrees of the horizontal: their length-weighted mean
 * tilt. Positive means turn counter-clockwise: an edge whose right end is
 * lower (the picture is turned clockwise) gives a positive proposal, one
 * whose right end is higher a negative one. 0 when no such edge is found.
 */
VANTORIX_API int vantorix_auto_straighten(EngineContext* ctx, float* out_angle);
/**
 * Proposed 3:2 landscape crop for vantorix_set_crop, as fractions of the
 * width (x, w) and height (y, h). Chosen by saliency, edges and the rule of
 * thirds among sizes of 80 to 100 % of the largest 3:2 rectangle in the frame
 * that stay inside 2 % margins (so normally at most 95 %). The crop is
 * landscape for portrait pictures too.
 */
VANTORIX_API int vantorix_auto_crop(EngineContext* ctx, float* out_x, float* out_y, float* out_w, float* out_h);

/* ---- Subject segmentation -------------------------------------------------- */

/** Finds the main subject of the loaded image (as loaded: development settings play no part) with
 *  GrabCut, seeded by a rectangle of 60 % of each side around (center_x, center_y), given as fractions
 *  of width and height (a negative value: the image centre). Keeps a feathered 8-bit mask the size of
 *  the loaded image (255 subject, 0 background). The same image and centre always give the same mask;
 *  the mask stays through loads and unloads until the next successful segmentation.
 *  0; -1 null context or "no image loaded"; -2 "GrabCut failed" (for example an image too small for a
 *  seed rectangle); a failure leaves an earlier mask as it was. */
VANTORIX_API int vantorix_segment_subject(EngineContext* ctx, float center_x, float center_y);
/** Copies the mask: width x height bytes of the segmented image, top row first, no gaps between rows.
 *  0; -1 null argument, or no mask yet ("no segmentation mask", an em dash U+2014, "call
 *  vantorix_segment_subject first", 60 bytes); -2 when capacity is smaller than width x height
 *  (nothing written, no message). */
VANTORIX_API int vantorix_get_mask(EngineContext* ctx, uint8_t* out_mask, int capacity);
/** Writes the developed image as an 8-bit RGBA PNG whose alpha is the mask (colour not premultiplied),
 *  developing first when no valid development exists. 0; -1 null argument, "no segmentation mask", or
 *  "segmentation mask does not match the developed image" (after a crop, a load of an image of another
 *  size or an unload; nothing is written); -2 "failed to write PNG". */
VANTORIX_API int vantorix_export_subject_png(EngineContext* ctx, const char* path);

/* ---- Edits as documents, progress and cancellation -------------------------- */

/**
 * Writes the context's complete development settings (every setting of the
 * setters above, the four tone curves and the background-blur amount) as a
 * small JSON document:
 *
 *   {"vantorix": 1, "settings": {"exposure": 0.5, ..., "flip_h": 0,
 *     "crop": {"x": 0, "y": 0, "w": 0, "h": 0},
 *     "split_toning": {"highlight_hue": 0, "highlight_saturation": 0,
 *                      "shadow_hue": 0, "shadow_saturation": 0, "balance": 0},
 *     "hsl": [8 x {"hue": 0, "saturation": 0, "luminance": 0}],
 *     "tone_curve": {"master": [[0, 0], [1, 1]], "red": ..., "green": ..., "blue": ...},
 *     "bg_blur": 0}}
 *
 * Scalar keys are the setter names without "vantorix_set_" (exposure,
 * brightness, ..., sharpening_amount, sharpening_radius, ..., grain_size),
 * in the setters' units. Every number is written with the fewest digits
 * that read back as the same float, so getting and then setting a document
 * gives identical settings and identical pixels; NaN and infinities are
 * written as the strings "NaN", "Infinity" and "-Infinity". The text does
 * not depend on the C locale.
 *
 * buf: where the document goes, NUL-terminated; capacity: its size in bytes.
 * The document is written only when it fits whole (capacity > length);
 * otherwise buf is not touched, so a host can ask with buf NULL and capacity
 * 0 first, then call again with length + 1 bytes.
 * Returns the document's length in bytes WITHOUT the terminating NUL (>= 0),
 * whether or not it was written; -1 for a NULL context, a negative capacity
 * or a NULL buf with capacity > 0 (no message), or when memory runs out
 * ("out of memory"). Needs no loaded image.
 */
VANTORIX_API int vantorix_get_settings_json(EngineContext* ctx, char* buf, int capacity);

/**
 * Applies a settings document (the form written by
 * vantorix_get_settings_json). The whole record is replaced: settings the
 * document leaves out take their defaults, so a partial document is a preset
 * (for example {"vantorix": 1, "settings": {"exposure": 0.5}}). Numbers may be
 * written as integers or decimals; flip_h and flip_v need whole numbers. An
 * "hsl" array must hold the 8 bands (each band's keys are optional); a tone
 * curve needs at least 2 points. "bg_blur" is clamped as
 * vantorix_set_bg_blur does. Like the setters it does not redevelop and does
 * not change the validity of the last development.
 *
 * json: NUL-terminated UTF-8 text. Returns 0 on success. Returns -1 for a
 * NULL argument (no message), or when the document is refused, with a message
 * naming the faulty key and leaving every setting exactly as it was (all or
 * nothing):
 *   "settings document: not valid JSON (at byte N)"
 *   "settings document: must be a JSON object"
 *   "settings document: "vantorix" (the format version) is missing"
 *   "settings document: "vantorix" is version N, newer than this engine reads (1)"
 *   "settings document: "KEY" is not a known key"
 *   "settings document: "KEY" must be a number (...)" / "must be an object" /
 *   "must be an array" / "must be a whole number (0: no flip)" /
 *   "is beyond the range of a float" / "needs at least 2 points" / ...
 * where KEY is the path of the value, e.g. "settings.hsl[2].hue".
 * Needs no loaded image.
 */
VANTORIX_API int vantorix_set_settings_json(EngineContext* ctx, const char* json);

/** Stages reported to a progress callback (its stage argument). */
enum VantorixStage {
    VANTORIX_STAGE_LOAD = 1,        /* vantorix_load_arw decoding an ordinary image file */
    VANTORIX_STAGE_RAW_DEVELOP = 2, /* vantorix_load_arw developing a camera RAW file with LibRaw */
    VANTORIX_STAGE_PROCESS = 3,     /* the development pipeline (vantorix_process, the preview, the
                                       histogram and the exports when they develop) */
    VANTORIX_STAGE_SEGMENT = 4,     /* vantorix_segment_subject (after each GrabCut iteration) */
    VANTORIX_STAGE_EXPORT = 5       /* encoding and writing a file (the four export functions) */
};

/**
 * Installs a progress callback on the context, replacing an earlier one; a
 * NULL fn removes it. user is handed back unchanged to every call; the engine
 * never dereferences it.
 *
 * During vantorix_load_arw, vantorix_process, vantorix_get_preview,
 * vantorix_get_histogram (when it develops), vantorix_segment_subject and the
 * export functions, the engine calls fn(user, stage, fraction): stage is a
 * VantorixStage, fraction goes from 0 to 1 and never decreases within one
 * stage; a call that finishes its work has reported fraction 1 for each of
 * its stages (an export that develops first reports VANTORIX_STAGE_PROCESS,
 * then VANTORIX_STAGE_EXPORT). fn is called only on the thread that made the
 * engine call, never from the engine's or a library's worker threads, between
 * steps of the work: RAW development at each LibRaw step, the pipeline after
 * each of its eighteen steps, segmentation after each of its five GrabCut
 * iterations, exports before encoding and before writing. A single step is
 * not interrupted, so on the largest images the gap between two calls can
 * exceed 100 ms (a LibRaw demosaicing, a noise-reduction step, the PNG or
 * TIFF encoder).
 *
 * Cancellation: when fn returns non-zero, the engine call stops and returns
 * -1 with the message "cancelled", and leaves the context as it was before
 * the call: settings, loaded image, development and its validity, mask and
 * sizes (only the last error changes). A cancelled export leaves an existing
 * file untouched and no temporary file behind. A non-zero return at fraction
 * 1 can come too late (the work is done): the call then succeeds. fn must
 * not call the engine on the same context.
 *
 * Returns 0; -1 for a NULL context. Needs no loaded image. The callback stays
 * installed through loads and unloads until replaced or the context is
 * destroyed.
 */
VANTORIX_API int vantorix_set_progress_callback(EngineContext* ctx,
                                                int (*fn)(void* user, int stage, float fraction), void* user);

#ifdef __cplusplus
}
#endif

#endif /* VANTORIX_H */
