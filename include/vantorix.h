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

/* ---- Loading from memory ---------------------------------------------------- */

/**
 * Loads an image the host holds in memory, in place of a file: the pixels
 * become the working image exactly as a decoded ordinary file does. The image
 * is reduced to 4096 pixels on the longer side (area interpolation, the same
 * factor for both axes) and widened to 16 bits: 8-bit samples are multiplied
 * by 257, so an 8-bit RGB image gives the same working image as the same
 * pixels saved as PNG and loaded with vantorix_load_arw; 16-bit samples are
 * kept at their full precision. An alpha channel is not kept (the working
 * alpha is 65535), as for files. On success the settings return to their
 * defaults, the previous image and RAW data are dropped and no file counts as
 * loaded (vantorix_get_exif then fails with "no file loaded", and JPEG export
 * carries no metadata). The subject mask and background blur stay as they
 * are. A failed call keeps the earlier image and settings.
 *
 *   pixels          first byte of the top row; rows follow top to bottom,
 *                   stride_bytes apart. Read during the call only; the host
 *                   keeps ownership.
 *   width, height   size in pixels, each 1..65535.
 *   channels        3 (red, green, blue) or 4 (red, green, blue, alpha).
 *   bits_per_sample 8 (uint8_t samples) or 16 (uint16_t samples in the
 *                   machine's byte order).
 *   stride_bytes    distance between the starts of two rows in bytes, at
 *                   least width * channels * bits_per_sample / 8 (even for
 *                   16-bit samples); 0 means rows are packed without gaps.
 *
 * Returns 0, or -1: a NULL context or pixels (no message); an unusable layout
 * ("invalid pixel layout: " followed by the reason, e.g. "channels must be 3
 * (RGB) or 4 (RGBA)"); lack of memory ("out of memory"). Does not need an
 * image to be loaded before.
 */
VANTORIX_API int vantorix_load_pixels(EngineContext* ctx, const void* pixels, int width, int height, int channels,
                                      int bits_per_sample, int stride_bytes);

/* ---- Metadata without decoding ------------------------------------------------ */

/**
 * Fills record with a file's shooting data without decoding any pixel and
 * without a context: a photo browser can call it for every file of a card.
 *  - path: NUL-terminated UTF-8 path of a regular file (a FIFO, device or
 *    folder is refused without blocking).
 *  - record: written only on success; the caller owns it.
 * The EXIF block is read where the file keeps it: a JPEG's APP1 segment, a
 * TIFF file's own header (TIFF is itself an EXIF structure), a PNG eXIf chunk
 * or a WebP EXIF chunk. For a file that vantorix_get_exif reads EXIF from, the
 * record is identical to what vantorix_get_exif gives after loading it. A
 * camera RAW file without such a block gives what LibRaw reports when it opens
 * the file (make, model, ISO, shutter, aperture, focal length, its flip code
 * as orientation, and the size a full-size development, size_level 1, would
 * have) - the record vantorix_get_exif gives after loading it at size_level 1.
 * An ordinary image file without EXIF gives the empty record (zeros, empty
 * texts, NaN GPS).
 * Returns 0; -1 for a NULL argument or a path that is not a readable regular
 * file; -2 for a file with a RAW name that carries no EXIF block and that
 * LibRaw cannot open. Thread-safe: it touches no shared state.
 */
VANTORIX_API int vantorix_read_exif(const char* path, ExifSummary* record);

/* ---- Level finding and subject seeds ------------------------------------- */

/** Proposes the rotation that levels the loaded image (as loaded: development settings play no part),
 *  or declines when the picture does not tell. Unlike vantorix_auto_straighten, which always answers
 *  with the mean of every nearly horizontal edge, it looks for the one tilt that most straight lines
 *  agree on, vertical lines included, and says when there is none.
 *
 *  Method: the image is scaled to 800 pixels wide (linear interpolation) and its Rec. 709 luminance is
 *  taken as 8 bits; line segments longer than 20 pixels found by OpenCV's line segment detector vote
 *  with their length for their angle from the horizontal (segments within 30 degrees of the vertical
 *  vote with their angle from the vertical; those between 30 and 60 degrees not at all), in 0.1-degree
 *  bins over -30..30 degrees smoothed by a Gaussian of 3 bins. The tilt is the length-weighted mean
 *  angle within 0.5 degrees of the highest bin, refined once more within 0.5 degrees of that mean.
 *  Evidence S = agreeing length (within the final window) / 800; rival ratio = the highest smoothed bin
 *  more than 2 degrees from the tilt / the highest bin.
 *
 *  out_rotation:   receives the proposal in degrees, to pass to vantorix_set_rotation as it is (positive
 *                  turns the picture counter-clockwise); within -10..10; 0 when the function declines.
 *  out_confidence: receives 0..1: (1 - exp(-S / 1.5)) x (1 - rival ratio), so about 0.39 x (1 - ratio)
 *                  at the smallest accepted evidence and towards 1 for long agreeing lines without a
 *                  rival; 0 when the function declines.
 *  Returns 0 with a proposal; it declines, with both outputs 0 and no message, with
 *  1 no usable evidence (S < 0.75: fewer than 600 pixels of agreeing line length),
 *  2 ambiguous (rival ratio > 0.7), 3 out of range (the tilt found is beyond 10 degrees);
 *  -1 on failure, outputs untouched: a null argument (no message) or "no image loaded".
 *  Needs a loaded image; changes no setting. The same image always gives the same answer. */
VANTORIX_API int vantorix_auto_level(EngineContext* ctx, float* out_rotation, float* out_confidence);

/** Segments the subject like vantorix_segment_subject (same reduction to a long side of 512, five
 *  GrabCut iterations with a fixed random state, clean-up, feathering, and the same stored mask), but
 *  seeded without a point: a filled ellipse centred on the image with semi-axes 30 % of the width and
 *  height is probably subject, a band along every edge (5 % of the width at the sides, 5 % of the height
 *  at top and bottom, at least one pixel) is certainly background, the rest probably background. It
 *  follows subjects that are off-centre or reach beyond the centred rectangle better than the default
 *  seed of vantorix_segment_subject. Needs a loaded image.
 *  0; -1 null context (no message) or "no image loaded"; -2 "GrabCut failed" (for example an image of
 *  a few pixels); a failure leaves an earlier mask as it was. */
VANTORIX_API int vantorix_segment_subject_auto(EngineContext* ctx);

/** Segments the subject like vantorix_segment_subject, seeded by a box the user drew around it.
 *  x, y: top-left corner, w, h: size, all fractions of the loaded image's width (x, w) and height
 *  (y, h). The part of the box inside the image is used, kept one pixel clear of every edge (GrabCut
 *  needs background outside it); in pixels of the reduced copy each edge goes to the nearest pixel
 *  boundary, at least one pixel apart. Needs a loaded image.
 *  0; -1 null context (no message) or "no image loaded"; -2 "GrabCut failed"; -3 "subject box is empty
 *  or outside the image" (a value not finite, w or h not above 0, or no overlap with the frame:
 *  x >= 1, y >= 1, x + w <= 0 or y + h <= 0). A failure leaves an earlier mask as it was. */
VANTORIX_API int vantorix_segment_subject_box(EngineContext* ctx, float x, float y, float w, float h);

/* Background blur and geometry: the preview lays the subject mask on the developed picture through the
 * same distortion, flips, rotation, perspective and crop as the picture (same maps, interpolation and
 * mirrored borders), so the blur stays off the subject after a geometry change. Without distortion or
 * geometry settings the mask is used as before (stretched to the picture's size if it differs). */

#ifdef __cplusplus
}
#endif

#endif /* VANTORIX_H */
