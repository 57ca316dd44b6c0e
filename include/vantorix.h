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
#include <stddef.h>

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

/* ---- Limits, file handling and the file writer ----------------------------
 *
 * Files read: every function that takes a path (vantorix_load_arw,
 * vantorix_extract_thumbnail, vantorix_phash, and vantorix_get_exif and the
 * JPEG export's EXIF carry-over for the loaded path) accepts only a regular
 * file. The check never blocks: a FIFO, socket, device or directory is
 * refused at once; where a message is kept it is "cannot read '<path>': not a
 * regular file". Files are read whole (at most 2^31 - 1 bytes) and LibRaw
 * works on those bytes, never on the path again.
 *
 * Decoding: ordinary image files are decoded only when their content is
 * JPEG, PNG, TIFF, BMP or WebP (recognised by content, whatever the name says)
 * and their header declares at most VANTORIX_MAX_IMAGE_PIXELS pixels; larger
 * ones are refused before any pixel memory is taken, with "OpenCV could not
 * read: <path>: image of W x H pixels exceeds the limit of 268435456 pixels"
 * from vantorix_load_arw and -1 from the thumbnail and the hash (the hash's
 * decoding of embedded JPEG thumbnails is checked the same way, and an
 * embedded thumbnail declaring more pixels gives -2). A RAW file is refused
 * before unpacking when LibRaw's declared raw_width x raw_height exceeds
 * VANTORIX_MAX_IMAGE_PIXELS or VANTORIX_MAX_RAW_PIXELS_PER_BYTE times the
 * file's size in bytes ("RAW file '<path>' declares W x H pixels, more than
 * ..."). Every reduction keeps each side at least 1 pixel.
 *
 * Files written: every export and vantorix_write_file write the whole file
 * under a short temporary name in the target's folder, flush it, rename it
 * over the target and flush the folder. A symbolic link at the target is
 * followed and the file it names replaced (the link stays); a replaced file
 * keeps its permission bits, and its owner and group where the process may
 * set them; a hard-linked target is split (the path gets the new file, its
 * other names keep the old content). A FIFO, socket, device or directory at
 * the target is refused and left alone. Failure messages begin with the
 * function's own text ("JPEG write failed", "PNG write failed", "TIFF write
 * failed", "failed to write PNG") followed by ": cannot write '<path>':
 * <reason>", the reason being the system's (e.g. "No such file or directory")
 * or "not a regular file"; a failed write leaves the old file untouched. */

/** Largest image, in pixels (16384 x 16384), that is decoded or developed. */
#define VANTORIX_MAX_IMAGE_PIXELS 268435456
/** A RAW file may declare at most this many sensor pixels per byte of its size. */
#define VANTORIX_MAX_RAW_PIXELS_PER_BYTE 64
/** Most control points vantorix_set_tone_curve accepts; a larger count is ignored like count < 2. */
#define VANTORIX_MAX_TONE_CURVE_POINTS 4096

/** Writes the preview, as vantorix_get_preview gives it (background blur behind a segmented subject
 *  included), to a file through the writer above; the encoder follows the path's extension (.jpg,
 *  .png, .tif, ...). Develops first, like vantorix_get_preview, and marks the development valid.
 *  path: UTF-8 file name. quality: JPEG quality, limited to 1..100 (other formats ignore it).
 *  bits: 16 widens the 8-bit preview samples to 16 bits (x 257) for PNG and TIFF; any other value
 *  writes 8-bit samples. No alpha is written. Needs a loaded image.
 *  0; -1 null argument, "no image loaded", or "preview write failed: cannot write '<path>': <reason>"
 *  (or ": cannot encode '<path>'" for an extension no encoder handles). */
VANTORIX_API int vantorix_export_preview(EngineContext* ctx, const char* path, int quality, int bits);
/** Writes size bytes from data to a file through the writer above (atomic replacement, links
 *  followed, mode kept, special files refused). Needs no context. path: UTF-8 file name; data may be
 *  NULL only when size is 0. message: optional buffer of message_capacity bytes that receives, on
 *  failure, "cannot write '<path>': <reason>" (cut to fit, always NUL-terminated; an empty string
 *  on success). 0; -1 null path, or null data with size > 0; -2 the write failed. */
VANTORIX_API int vantorix_write_file(const char* path, const uint8_t* data, size_t size, char* message,
                                     size_t message_capacity);

#ifdef __cplusplus
}
#endif

#endif /* VANTORIX_H */
