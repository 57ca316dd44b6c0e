/*
 * Vantorix: a photo-development engine with a flat C interface.
 *
 * A host creates a context, loads one photograph into it (camera RAW files
 * through LibRaw; JPEG, PNG, TIFF, BMP and WebP through OpenCV), changes
 * development settings, and reads back an 8-bit RGBA preview, histograms or
 * exported files.
 *
 * Usage: a host's life cycle
 *
 *     EngineContext* ctx = vantorix_create_context();         // NULL: out of memory
 *     if (vantorix_load_arw(ctx, "photo.cr2", 2) != 0)          // RAW at half size, or a JPEG/PNG/...
 *         fprintf(stderr, "%s\n", vantorix_last_error(ctx));
 *     vantorix_set_temperature(ctx, 6500.0f);                   // neutral white balance
 *     vantorix_set_exposure(ctx, 0.5f);                         // half a stop brighter
 *     int w = vantorix_get_width(ctx), h = vantorix_get_height(ctx);  // after vantorix_process
 *     vantorix_get_preview(ctx, pixels, w * h * 4);             // develops, copies RGBA
 *     vantorix_export_jpeg(ctx, "photo.jpg", 90, 0, 1);         // quality 90, keep EXIF
 *     vantorix_destroy_context(ctx);                            // frees everything it holds
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
 *
 * Ownership
 *  - The host owns a context from vantorix_create_context until
 *    vantorix_destroy_context; the context owns everything it holds (images,
 *    settings, messages, the segmentation mask).
 *  - Buffers the host passes in (pixels, histograms, mask bytes, records,
 *    out-values) stay the host's; the engine only writes into them and keeps
 *    no pointer to them after the call.
 *  - Strings the engine returns (vantorix_version, vantorix_last_error,
 *    vantorix_last_file_error) stay the engine's; copy them if you need them
 *    later. The one block the engine allocates for the host, a thumbnail, is
 *    released with vantorix_free_thumb.
 *
 * Threads
 *  - One context per thread: different contexts may be used on different
 *    threads at the same time; one context must not be used by two threads at
 *    once. Nothing in the engine takes a lock.
 *  - Context-free functions (vantorix_init, vantorix_shutdown,
 *    vantorix_version, vantorix_extract_thumbnail, vantorix_free_thumb,
 *    vantorix_phash, vantorix_read_exif, vantorix_last_file_error) may be
 *    called from any thread at any time; the message of
 *    vantorix_last_file_error belongs to the calling thread. vantorix_set_quiet changes process-wide logging: call it
 *    once, before other threads use the engine.
 *  - The engine starts no thread of its own, but OpenCV, which does most of
 *    the pixel work, runs some of its functions (resizing, blurs, colour
 *    conversion, DFT) on OpenCV's process-wide worker pool. A host that needs
 *    every call confined to the calling thread sets cv::setNumThreads(0) (or
 *    the OPENCV_FOR_THREADS_NUM environment variable) itself.
 *  - Grain draws from OpenCV's random generator of the calling thread (see
 *    vantorix_set_grain_amount).
 *
 * Output on stderr
 *  - LibRaw's diagnostics (damaged data, allocation failures) never reach
 *    stderr: the engine catches them, and a failed thumbnail or hash quotes
 *    them in its message. OpenCV logs through its own logger; a host that
 *    wants a quiet process calls vantorix_set_quiet(1) once. The image
 *    decoders OpenCV links (libpng, libjpeg, libtiff) may still print a line
 *    about a file they cannot decode; a successful call prints nothing.
 */
#ifndef VANTORIX_H
#define VANTORIX_H

#include <stdint.h>
#include <stddef.h>

/* The version of this header; vantorix_version() gives the library's. */
#define VANTORIX_VERSION_MAJOR 1
#define VANTORIX_VERSION_MINOR 0
#define VANTORIX_VERSION_PATCH 0
#define VANTORIX_VERSION_STRING "1.0.0"

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
 * Proposed settings from vantorix_auto_enhance: 32 floats (128 bytes). Slots
 * 0..18 hold proposals for the 19 scalar settings named below, in the order
 * the engine declares its settings; slots 19..31 are always 0. Index the
 * record with these names, e.g. r.slots[VANTORIX_SLOT_TEMPERATURE].
 * Slots that auto enhance does not measure carry fixed values: brightness,
 * whites, saturation, sharpening (all three), clarity, texture and dehaze are
 * 0, blacks 5, temperature 6500, tint 0, vibrance 8, colour noise reduction 1.
 * Note that the sharpening radius proposal is 0, which turns sharpening off
 * if applied with vantorix_set_sharpening_radius.
 */
typedef struct AutoEnhanceResult {
    float slots[32];
} AutoEnhanceResult;

/** Slot numbers of AutoEnhanceResult, each with the setter that takes its value. */
enum VantorixSlot {
    VANTORIX_SLOT_EXPOSURE = 0,            /* vantorix_set_exposure, within [-2, 2] */
    VANTORIX_SLOT_BRIGHTNESS = 1,          /* vantorix_set_brightness, always 0 */
    VANTORIX_SLOT_CONTRAST = 2,            /* vantorix_set_contrast, within [-20, 15] */
    VANTORIX_SLOT_HIGHLIGHTS = 3,          /* vantorix_set_highlights, within [-40, 0] */
    VANTORIX_SLOT_SHADOWS = 4,             /* vantorix_set_shadows, within [15, 25] */
    VANTORIX_SLOT_WHITES = 5,              /* vantorix_set_whites, always 0 */
    VANTORIX_SLOT_BLACKS = 6,              /* vantorix_set_blacks, always 5 */
    VANTORIX_SLOT_TEMPERATURE = 7,         /* vantorix_set_temperature, always 6500 */
    VANTORIX_SLOT_TINT = 8,                /* vantorix_set_tint, always 0 */
    VANTORIX_SLOT_SATURATION = 9,          /* vantorix_set_saturation, always 0 */
    VANTORIX_SLOT_VIBRANCE = 10,           /* vantorix_set_vibrance, always 8 */
    VANTORIX_SLOT_SHARPEN_AMOUNT = 11,     /* vantorix_set_sharpening_amount, always 0 */
    VANTORIX_SLOT_SHARPEN_RADIUS = 12,     /* vantorix_set_sharpening_radius, always 0 */
    VANTORIX_SLOT_SHARPEN_THRESHOLD = 13,  /* vantorix_set_sharpening_threshold, always 0 */
    VANTORIX_SLOT_NR_LUMINANCE = 14,       /* vantorix_set_nr_luminance, within [0, 20] */
    VANTORIX_SLOT_NR_COLOR = 15,           /* vantorix_set_nr_color, always 1 */
    VANTORIX_SLOT_CLARITY = 16,            /* vantorix_set_clarity, always 0 */
    VANTORIX_SLOT_TEXTURE = 17,            /* vantorix_set_texture, always 0 */
    VANTORIX_SLOT_DEHAZE = 18,             /* vantorix_set_dehaze, always 0 */
    VANTORIX_SLOT_COUNT = 19               /* slots in use; slots 19..31 are 0 */
};

/** Tone-curve channels of vantorix_set_tone_curve and vantorix_reset_tone_curve. */
enum VantorixCurveChannel {
    VANTORIX_CURVE_MASTER = 0, /* applied to red, green and blue, before the per-channel curves */
    VANTORIX_CURVE_RED = 1,
    VANTORIX_CURVE_GREEN = 2,
    VANTORIX_CURVE_BLUE = 3
};

/** Hue bands of vantorix_set_hsl, with their centres in degrees. */
enum VantorixHslBand {
    VANTORIX_HSL_RED = 0,     /* 0 */
    VANTORIX_HSL_ORANGE = 1,  /* 30 */
    VANTORIX_HSL_YELLOW = 2,  /* 60 */
    VANTORIX_HSL_GREEN = 3,   /* 120 */
    VANTORIX_HSL_AQUA = 4,    /* 180 (cyan) */
    VANTORIX_HSL_BLUE = 5,    /* 240 */
    VANTORIX_HSL_PURPLE = 6,  /* 280 */
    VANTORIX_HSL_MAGENTA = 7  /* 300 */
};

/** The `which` argument of vantorix_set_split_toning (any non-zero value means shadows). */
enum VantorixSplitTone {
    VANTORIX_SPLIT_HIGHLIGHTS = 0,
    VANTORIX_SPLIT_SHADOWS = 1
};

/* ---- Lifecycle and errors ------------------------------------------------ */

/**
 * Loads the development engine (libvantorix_engine.so, installed beside this
 * library) ahead of its first use; without this call it loads on the first
 * call that needs it. Metadata calls (vantorix_read_exif, vantorix_version,
 * vantorix_write_file, the embedded JPEG of a RAW file through
 * vantorix_extract_thumbnail) never need it. Needs no context and no image;
 * may be called any number of times, or never. Returns 0, or -1 when the
 * engine cannot be loaded; vantorix_last_file_error() then says why.
 */
VANTORIX_API int vantorix_init(void);

/**
 * Does nothing; kept as the counterpart of vantorix_init. Needs no context.
 */
VANTORIX_API void vantorix_shutdown(void);

/**
 * The library's version as "MAJOR.MINOR.PATCH" ("1.0.0"), equal to
 * VANTORIX_VERSION_STRING of the header it was built with. Needs no context.
 * Returns a constant string owned by the library; never NULL.
 */
VANTORIX_API const char* vantorix_version(void);

/**
 * Creates a context in the empty state: no image, every setting at its
 * default, an empty last-error message, width and height 0.
 * Returns the new context, owned by the caller until vantorix_destroy_context,
 * or NULL when memory runs out (nothing is leaked then).
 */
VANTORIX_API EngineContext* vantorix_create_context(void);

/**
 * Releases a context and everything it holds (images, settings, mask,
 * messages). Pointers obtained from it (vantorix_last_error) become invalid.
 * ctx: the context; NULL is ignored.
 */
VANTORIX_API void vantorix_destroy_context(EngineContext* ctx);

/**
 * The message of the context's last failure.
 * ctx: the context; NULL gives the constant text "null context".
 * Returns "" when no call on ctx has failed yet. Success never clears it.
 * The string is owned by the context and stays valid until the next call
 * that fails on ctx or until ctx is destroyed.
 */
VANTORIX_API const char* vantorix_last_error(EngineContext* ctx);

/**
 * Width in pixels of the image the context reports: the developed image
 * while a development is current (after vantorix_process, a preview or a
 * histogram; a crop or rotation changes it), else the loaded image.
 * ctx: the context; NULL gives 0.
 * Returns the width, 0 when nothing is loaded. Stores no message.
 */
VANTORIX_API int vantorix_get_width(EngineContext* ctx);

/**
 * Height in pixels of the same image as vantorix_get_width.
 * ctx: the context; NULL gives 0.
 * Returns the height, 0 when nothing is loaded. Stores no message.
 */
VANTORIX_API int vantorix_get_height(EngineContext* ctx);

/* ---- Development settings -------------------------------------------------
 * Rules shared by all setters below:
 *  - ctx is the context; a NULL context is ignored (nothing happens).
 *  - A setter stores its value unchanged: no clamping, no validation, and
 *    NaN or +-inf are stored as given. Each pipeline stage interprets its
 *    values when the image is developed; the ranges below are the useful
 *    ones, values outside are taken as they are unless a setter says
 *    otherwise. In the stages a NaN acts like the neutral value; no value,
 *    finite or not, makes a development fail.
 *  - Setters need no loaded image and return nothing. They do not develop:
 *    call vantorix_process (or read a preview) to see the change. A
 *    development that is current stays current (vantorix_get_width keeps
 *    reporting its size) until the next development, load, unload or
 *    vantorix_reset_adjustments.
 *  - A successful load and vantorix_reset_adjustments restore the defaults.
 */

/**
 * Exposure: multiplies red, green and blue by 2^stops (values above 1 are
 * cut at 1).
 * ctx: the context.
 * stops: exposure change in stops (EV); default 0, neutral 0; useful range
 *        about -5..5. NaN: no change.
 */
VANTORIX_API void vantorix_set_exposure(EngineContext* ctx, float stops);

/**
 * Brightness: a gamma curve on red, green and blue, exponent
 * 1 / (value / 200 + 1) limited to 0.1..10.
 * ctx: the context.
 * value: percent; default 0, neutral 0; -100..100 (positive brightens the
 *        mid-tones). NaN: no change.
 */
VANTORIX_API void vantorix_set_brightness(EngineContext* ctx, float value);

/**
 * Contrast: an S-curve around mid-grey 0.5 with slope factor
 * value / 100 * 0.8 + 1 (at least 0.2).
 * ctx: the context.
 * value: percent; default 0, neutral 0; -100..100 (negative flattens, below
 *        -100 the factor stays at 0.2). NaN: no change.
 */
VANTORIX_API void vantorix_set_contrast(EngineContext* ctx, float value);

/**
 * Highlights: brightens (positive) or recovers (negative) pixels brighter
 * than mid-grey, the more the brighter they are; white becomes 0.6 at -100
 * and is multiplied by 1.4 (then cut at 1) at +100.
 * ctx: the context.
 * value: percent; default 0, neutral 0; -100..100. NaN: no change.
 */
VANTORIX_API void vantorix_set_highlights(EngineContext* ctx, float value);

/**
 * Shadows: lifts (positive) or deepens (negative) pixels darker than
 * mid-grey through a gamma limited to 0.3..3.
 * ctx: the context.
 * value: percent; default 0, neutral 0; -100..100 (below about -66.7 the
 *        darkest pixels are no longer darkened further). NaN: no change.
 */
VANTORIX_API void vantorix_set_shadows(EngineContext* ctx, float value);

/**
 * Whites: moves the white point to value / 100 * 0.2 + 1 (1.2 at +100: the
 * image gets darker; 0.8 at -100: values above 0.8 clip to white).
 * ctx: the context.
 * value: percent; default 0, neutral 0; -100..100. NaN: no change.
 */
VANTORIX_API void vantorix_set_whites(EngineContext* ctx, float value);

/**
 * Blacks: moves the black point to value / 100 * 0.1 (values at or below
 * 0.1 become black at +100; black is lifted to about 0.09 at -100).
 * ctx: the context.
 * value: percent; default 0, neutral 0; -100..100. NaN: no change.
 */
VANTORIX_API void vantorix_set_blacks(EngineContext* ctx, float value);

/**
 * White-balance temperature: scales red, green and blue by the colour of a
 * black body at kelvin relative to the one at 6500 K.
 * ctx: the context.
 * kelvin: colour temperature in kelvin; default 5500, neutral 6500. Note
 *         that the default is not neutral: with default settings the
 *         development warms the picture (green and blue lowered). Useful
 *         range 2000..12000; above 6600 K blue stays at its maximum gain.
 *         Within 1 K of 6500 (and a tint within 0.1 of 0) the image is left
 *         unchanged. NaN: treated as 6500 K.
 */
VANTORIX_API void vantorix_set_temperature(EngineContext* ctx, float kelvin);

/**
 * White-balance tint: a green (positive) / magenta (negative) shift added to
 * the green gain as value / 150 * 0.15.
 * ctx: the context.
 * value: default 0, neutral 0; -150..150 (+-150 moves the green gain by
 *        +-0.15). NaN: no change.
 */
VANTORIX_API void vantorix_set_tint(EngineContext* ctx, float value);

/**
 * Saturation: moves every pixel away from (positive) or toward (negative)
 * its own luminance; -100 gives a grey picture.
 * ctx: the context.
 * value: percent; default 0, neutral 0; -100..100. NaN: no change.
 */
VANTORIX_API void vantorix_set_saturation(EngineContext* ctx, float value);

/**
 * Vibrance: saturation that acts fully on grey pixels and not at all on
 * pixels whose channel spread is a third of the range or more.
 * ctx: the context.
 * value: percent; default 0, neutral 0; -100..100. NaN: no change.
 */
VANTORIX_API void vantorix_set_vibrance(EngineContext* ctx, float value);

/**
 * Sharpening amount of a thresholded unsharp mask: detail is added back
 * scaled by value / 150.
 * ctx: the context.
 * value: default 0, neutral 0 (0 or less: off); useful range 0..150.
 *        NaN: off.
 */
VANTORIX_API void vantorix_set_sharpening_amount(EngineContext* ctx, float value);

/**
 * Sharpening radius: the Gaussian sigma of the unsharp mask.
 * ctx: the context.
 * value: pixels; default 1.0; useful range 0.5..5. 0 or less (and NaN)
 *        turn sharpening off.
 */
VANTORIX_API void vantorix_set_sharpening_radius(EngineContext* ctx, float value);

/**
 * Sharpening threshold: only detail larger than value / 65535 is sharpened.
 * ctx: the context.
 * value: on the 16-bit scale; default 0 (all detail); 0..65535 (65535
 *        sharpens nothing). NaN: nothing is sharpened.
 */
VANTORIX_API void vantorix_set_sharpening_threshold(EngineContext* ctx, float value);

/**
 * Luminance noise reduction: an edge-aware blend with a Gaussian blur whose
 * kernel grows from 3 to 13 pixels as value goes from 1 to 100.
 * ctx: the context.
 * value: percent; default 0, neutral 0 (0 or less: off); 0..100; larger
 *        values are not clamped and keep enlarging the kernel (and the
 *        cost). NaN: off.
 */
VANTORIX_API void vantorix_set_nr_luminance(EngineContext* ctx, float value);

/**
 * Colour noise reduction: blurs the colour difference planes with a kernel
 * from 3 to 11 pixels as value goes from 1 to 100.
 * ctx: the context.
 * value: percent; default 0, neutral 0 (0 or less: off); 0..100; larger
 *        values keep enlarging the kernel. NaN: off.
 */
VANTORIX_API void vantorix_set_nr_color(EngineContext* ctx, float value);

/**
 * Clarity: mid-tone local contrast (luminance detail of a blur with sigma
 * 20, added with weight value / 100 * 0.3).
 * ctx: the context.
 * value: percent; default 0, neutral 0; -100..100 (not clamped).
 *        NaN: no change.
 */
VANTORIX_API void vantorix_set_clarity(EngineContext* ctx, float value);

/**
 * Texture: fine local contrast (luminance detail of a blur with sigma 3,
 * added with weight value / 100 * 0.2).
 * ctx: the context.
 * value: percent; default 0, neutral 0; -100..100 (not clamped).
 *        NaN: no change.
 */
VANTORIX_API void vantorix_set_texture(EngineContext* ctx, float value);

/**
 * Dehaze: removes haze with a dark-channel estimate of the atmospheric
 * light; only positive values act.
 * ctx: the context.
 * value: percent; default 0, neutral 0 (0 or less: off); 0..100 (100 is
 *        full strength). NaN: off.
 */
VANTORIX_API void vantorix_set_dehaze(EngineContext* ctx, float value);

/**
 * Lens distortion correction: a radial remap with coefficient
 * k = -value / 200; positive and negative values bend the picture in
 * opposite directions.
 * ctx: the context.
 * value: percent; default 0, neutral 0; -100..100. NaN and +-inf: off.
 */
VANTORIX_API void vantorix_set_distortion(EngineContext* ctx, float value);

/**
 * Chromatic-aberration correction: scales the red and blue planes against
 * green to realign colour fringes at the edges.
 * ctx: the context.
 * value: percent; default 0, neutral 0 (0 or less: off); 0..100.
 *        NaN and +-inf: off.
 */
VANTORIX_API void vantorix_set_ca_correction(EngineContext* ctx, float value);

/**
 * Lens vignetting compensation: brightens toward the corners (by 50 % in
 * the corners at 100).
 * ctx: the context.
 * value: percent; default 0, neutral 0 (0 or less: off); 0..100.
 *        NaN and +-inf: off.
 */
VANTORIX_API void vantorix_set_lens_vignette(EngineContext* ctx, float value);

/**
 * Defringe: desaturates purple and green fringes along high-contrast edges.
 * ctx: the context.
 * value: percent; default 0, neutral 0 (0 or less: off); 0..100.
 *        NaN and +-inf: off.
 */
VANTORIX_API void vantorix_set_defringe(EngineContext* ctx, float value);

/**
 * Rotation about the image centre; the image keeps its size and the corners
 * that rotation uncovers are filled with mirrored picture content.
 * ctx: the context.
 * degrees: default 0, neutral 0; positive angles turn the picture
 *          counter-clockwise; useful range -45..45 (any value is taken).
 *          NaN and +-inf: no rotation.
 */
VANTORIX_API void vantorix_set_rotation(EngineContext* ctx, float degrees);

/**
 * Horizontal perspective (keystone) correction.
 * ctx: the context.
 * value: percent; default 0, neutral 0; -100..100 (+-100 move the corners by
 *        15 % of the width). NaN and +-inf: no correction.
 */
VANTORIX_API void vantorix_set_perspective_h(EngineContext* ctx, float value);

/**
 * Vertical perspective (keystone) correction.
 * ctx: the context.
 * value: percent; default 0, neutral 0; -100..100 (+-100 move the corners by
 *        15 % of the height). NaN and +-inf: no correction.
 */
VANTORIX_API void vantorix_set_perspective_v(EngineContext* ctx, float value);

/**
 * Mirrors the picture left to right.
 * ctx: the context.
 * flip: 0 (default): no flip; any other value flips.
 */
VANTORIX_API void vantorix_set_flip_h(EngineContext* ctx, int flip);

/**
 * Mirrors the picture top to bottom.
 * ctx: the context.
 * flip: 0 (default): no flip; any other value flips.
 */
VANTORIX_API void vantorix_set_flip_v(EngineContext* ctx, int flip);

/**
 * Creative vignette, applied after the geometry.
 * ctx: the context.
 * value: percent; default 0, neutral 0 (off); -100..100: positive values
 *        lighten the edges, negative values darken them. A non-finite
 *        amount, midpoint or roundness leaves the vignette off.
 */
VANTORIX_API void vantorix_set_vignette_amount(EngineContext* ctx, float value);

/**
 * Where the creative vignette begins, as a share of the distance from the
 * centre to the corner.
 * ctx: the context.
 * value: percent; default 50; 0..100. Non-finite: vignette off.
 */
VANTORIX_API void vantorix_set_vignette_midpoint(EngineContext* ctx, float value);

/**
 * Shape of the creative vignette.
 * ctx: the context.
 * value: default 0 (an ellipse following the picture's aspect); -100..0:
 *        negative values square the shape off (rectangular at -100);
 *        positive values act like 0. Non-finite: vignette off.
 */
VANTORIX_API void vantorix_set_vignette_roundness(EngineContext* ctx, float value);

/**
 * Film grain strength. Grain is random noise drawn from OpenCV's random
 * generator of the calling thread, which the engine never seeds: it differs
 * from run to run, so two developments with grain on never give identical
 * pixels.
 * ctx: the context.
 * value: percent; default 0 (0 or less: off); 100 gives noise of standard
 *        deviation 0.05 of full scale. Non-finite: off.
 */
VANTORIX_API void vantorix_set_grain_amount(EngineContext* ctx, float value);

/**
 * Grain coarseness.
 * ctx: the context.
 * value: percent; default 25; 1 or less gives per-pixel noise; useful range
 *        0..100. Non-finite: grain off.
 */
VANTORIX_API void vantorix_set_grain_size(EngineContext* ctx, float value);

/**
 * Crop: the kept region, applied after rotation and perspective.
 * ctx: the context.
 * x, y: left and top edge as fractions of the width (x) and height (y);
 *       default 0; 0..1.
 * w, h: width and height as fractions of the width and height; default 0.
 *       w or h <= 0 means no crop (the default). A crop of 10 pixels or
 *       fewer in either direction, the whole frame, or values that are not
 *       finite leave the image uncropped.
 */
VANTORIX_API void vantorix_set_crop(EngineContext* ctx, float x, float y, float w, float h);

/**
 * Shifts the pixels of one hue band (each band has a triangular weight of
 * half-width 32.4 degrees around its centre).
 * ctx: the context.
 * band: VANTORIX_HSL_RED (0) .. VANTORIX_HSL_MAGENTA (7); any other value is
 *       ignored (nothing stored).
 * hue: hue shift in degrees; default 0; -180..180.
 * saturation: change of HSL saturation in percent; default 0; -100..100.
 * luminance: change of HSL lightness; default 0; -100..100 (+100 adds 0.5 at
 *            the band's centre).
 * NaN in any of the three: that shift is 0.
 */
VANTORIX_API void vantorix_set_hsl(EngineContext* ctx, int band, float hue, float saturation, float luminance);

/**
 * Split toning: tints the highlights and the shadows separately.
 * ctx: the context.
 * which: VANTORIX_SPLIT_HIGHLIGHTS (0) sets the highlight hue and saturation
 *        and the balance; any other value (VANTORIX_SPLIT_SHADOWS) sets the
 *        shadow hue and saturation and ignores balance.
 * hue: target hue in degrees; default 0; 0..360.
 * saturation: strength in percent; default 0 (no toning for that range);
 *             0..100. With both saturations 0 the stage is off.
 * balance: percent, default 0; -100..100: +100 adds 0.3 to the highlight
 *          weight and takes 0.3 from the shadow weight.
 * NaN in any of these: treated as 0.
 */
VANTORIX_API void vantorix_set_split_toning(EngineContext* ctx, int which, float hue, float saturation, float balance);

/**
 * Replaces one tone curve by a Catmull-Rom spline through the given control
 * points. The master curve acts first, then the channel curves.
 * ctx: the context.
 * channel: VANTORIX_CURVE_MASTER (0), _RED (1), _GREEN (2) or _BLUE (3); any
 *          other value is ignored.
 * points: count (x, y) pairs, x then y (2 x count floats), input and output
 *         on 0..1. The points are copied (the host keeps its array) and kept
 *         in the given order; inputs left of the first x map to the first y,
 *         right of the last x to the last y; outputs are limited to 0..1.
 *         NULL is ignored.
 * count: number of points; fewer than 2 is ignored (the curve stays).
 * Default curve: (0, 0), (1, 1), the identity.
 */
VANTORIX_API void vantorix_set_tone_curve(EngineContext* ctx, int channel, const float* points, int count);

/**
 * Restores one tone curve to the identity (0, 0), (1, 1).
 * ctx: the context.
 * channel: VANTORIX_CURVE_MASTER (0) .. VANTORIX_CURVE_BLUE (3); any other
 *          value is ignored.
 */
VANTORIX_API void vantorix_reset_tone_curve(EngineContext* ctx, int channel);

/**
 * Restores every development setting (all four curves included) to its
 * default and ends the current development: vantorix_get_width reports the
 * loaded size again until the next development. Does not touch the image,
 * the mask, the background blur or the last-error message.
 * ctx: the context.
 */
VANTORIX_API void vantorix_reset_adjustments(EngineContext* ctx);

/**
 * Background blur of the preview behind a segmented subject (see
 * vantorix_segment_subject); exports are never blurred.
 * ctx: the context.
 * amount: percent; default 0 (off); clamped to 0..100 when stored (unlike
 *         the other settings); NaN stores 100. Kept through loads, unloads
 *         and vantorix_reset_adjustments.
 */
VANTORIX_API void vantorix_set_bg_blur(EngineContext* ctx, float amount);

/* ---- Loading -------------------------------------------------------------- */

/**
 * Loads a photograph into the context, replacing the one loaded before.
 * JPEG, PNG, TIFF, BMP and WebP files (recognised by the extension .jpg,
 * .jpeg, .png, .tif, .tiff, .bmp, .webp in any case) are decoded by OpenCV
 * and reduced to 4096 pixels on the longer side; any other file is developed
 * as a camera RAW file by LibRaw (camera white balance, sRGB, 16 bits) and
 * reduced to 2000 pixels on the longer side. On success every development
 * setting returns to its default and the path is remembered for
 * vantorix_get_exif and the JPEG metadata carry-over. The segmentation mask,
 * the background blur and the last-error message are kept.
 * ctx: the context.
 * path: the file, NUL-terminated UTF-8; the engine copies it.
 * size_level: RAW files only (ignored for ordinary images), clamped to
 *             1..4: 1 full size, 2 and 3 half size, 4 quarter size.
 * Returns 0, or -1: NULL ctx or path (no message); "OpenCV could not read: "
 * followed by the path; "LibRaw open_file failed: ", "LibRaw unpack failed: ",
 * "LibRaw dcraw_process failed: " or "LibRaw dcraw_make_mem_image failed: "
 * followed by LibRaw's reason; "out of memory" or "OpenCV error: ...". A
 * failed load keeps the earlier image and settings but ends the current
 * development.
 */
VANTORIX_API int vantorix_load_arw(EngineContext* ctx, const char* path, int size_level);

/**
 * Releases the loaded image and its development and forgets the path; width
 * and height become 0. Settings, the segmentation mask, the background blur
 * and the last-error message are kept.
 * ctx: the context; NULL is ignored. Needs no loaded image.
 */
VANTORIX_API void vantorix_unload(EngineContext* ctx);

/* ---- Development and read-out -------------------------------------------- */

/**
 * Develops the loaded image with the current settings, from the loaded image
 * each time (settings never accumulate). The result is what previews,
 * histograms and exports show; vantorix_get_width/height then report its
 * size. When the settings are exactly those of the last development of the
 * same image (every value bit for bit), that result is kept instead of being
 * computed again, since it would be the same bits; with grain on, which is
 * random by design, the image is always developed afresh.
 * ctx: the context; needs a loaded image.
 * Returns 0, or -1: NULL ctx (no message); "no image loaded"; "out of
 * memory" or "OpenCV error: ..." when a stage fails inside OpenCV.
 */
VANTORIX_API int vantorix_process(EngineContext* ctx);

/**
 * Develops (always, as vantorix_process does) and copies the result as 8-bit
 * RGBA into the host's buffer: rows top to bottom without gaps, 4 bytes per
 * pixel (red, green, blue, alpha; alpha 255 for loaded images), width x
 * height x 4 bytes in all. When a segmentation mask exists and the
 * background blur is above 0, the background is blurred behind the subject.
 * ctx: the context; needs a loaded image.
 * buffer: the host's memory; written only on success. NULL gives -1.
 * buffer_size: its size in bytes; ask vantorix_get_width/height after a
 *              development for the size needed.
 * Returns 0, or -1: NULL ctx or buffer (no message); "no image loaded";
 * "pipeline produced empty result"; "output buffer too small" (the
 * development has run, so vantorix_get_width/height now give the size to
 * allocate); "out of memory" or "OpenCV error: ...".
 */
VANTORIX_API int vantorix_get_preview(EngineContext* ctx, uint8_t* buffer, int buffer_size);

/**
 * Four 256-bin histograms of the developed image, developing first when no
 * development is current. Bin i counts the values nearest to i / 255 (values
 * outside 0..1 count in bin 0 or 255); luminance is
 * 0.2126 R + 0.7152 G + 0.0722 B. Each array sums to width x height.
 * ctx: the context; needs a loaded image unless a development is current.
 * out_red, out_green, out_blue, out_luminance: 256 counters each, owned by
 *                                             the host; written only on success.
 * Returns 0, or -1: a NULL argument (no message); "no image loaded"; "out of
 * memory" or "OpenCV error: ...".
 */
VANTORIX_API int vantorix_get_histogram(EngineContext* ctx, uint32_t* out_red, uint32_t* out_green,
                                        uint32_t* out_blue, uint32_t* out_luminance);

/* ---- Export --------------------------------------------------------------
 * Each export writes the developed image, developing first when no
 * development is current (without making one current). None writes alpha;
 * the background blur never applies. The encoder follows the path's
 * extension (.jpg/.jpeg, .png, .tif/.tiff, .bmp, .webp), whatever the
 * function. Files are replaced atomically: a failed export leaves an
 * existing file untouched. */

/**
 * Writes the developed image with 8 bits per channel.
 * ctx: the context; needs a loaded image.
 * path: the output file, NUL-terminated UTF-8.
 * quality: JPEG quality, limited to 1..100 (75..95 is usual).
 * reserved: not read; pass 0.
 * keep_metadata: non-zero copies the loaded file's EXIF block into a JPEG
 *                (when the source has one); 0 writes none.
 * Returns 0, or -1: NULL ctx or path (no message); "no image loaded"; "JPEG
 * write failed" (no encoder for the extension, an encoder failure, a file
 * that cannot be created or written); "out of memory" or "OpenCV error: ...".
 */
VANTORIX_API int vantorix_export_jpeg(EngineContext* ctx, const char* path, int quality, int reserved,
                                      int keep_metadata);

/**
 * Writes the developed image as PNG with the encoder's default compression.
 * ctx: the context; needs a loaded image.
 * path: the output file, NUL-terminated UTF-8.
 * bits: 16 writes 16-bit samples; any other value 8-bit.
 * Returns 0, or -1: NULL ctx or path (no message); "no image loaded"; "PNG
 * write failed"; "out of memory" or "OpenCV error: ...".
 */
VANTORIX_API int vantorix_export_png(EngineContext* ctx, const char* path, int bits);

/**
 * Writes the developed image as a 16-bit TIFF.
 * ctx: the context; needs a loaded image.
 * path: the output file, NUL-terminated UTF-8.
 * Returns 0, or -1: NULL ctx or path (no message); "no image loaded"; "TIFF
 * write failed"; "out of memory" or "OpenCV error: ...".
 */
VANTORIX_API int vantorix_export_tiff(EngineContext* ctx, const char* path);

/* ---- Metadata and files without a context --------------------------------- */

/**
 * Fills record with the loaded file's shooting data, read from its EXIF block.
 * A file without EXIF is not a failure: the record then holds what the RAW
 * development reported (or zeros, empty texts and NaN GPS for an ordinary
 * image). Absent or malformed entries leave their field at 0 / "" / NaN.
 * ctx: the context; needs a loaded file.
 * record: the host's record; written only on success.
 * Returns 0, or -1: a NULL argument (no message); "no file loaded"; "out of
 * memory".
 */
VANTORIX_API int vantorix_get_exif(EngineContext* ctx, ExifSummary* record);

/**
 * A small JPEG for a file, without a context: a RAW file's embedded thumbnail
 * (its JPEG bytes unchanged, or its bitmap encoded at quality 80), or a copy
 * of an ordinary image reduced to 160 pixels on the longer side (quality 75).
 * path: the file, NUL-terminated UTF-8.
 * out_data: receives a block allocated by the engine and owned by the host,
 *           to be released with vantorix_free_thumb.
 * out_size: receives the block's size in bytes.
 * Unless an argument is NULL, *out_data and *out_size are reset to NULL / 0
 * first. Returns 0, or (message from vantorix_last_file_error):
 *  -1 a NULL argument (no message); an ordinary image that cannot be read
 *     ("OpenCV could not read: " + path) or encoded; LibRaw cannot open the
 *     file ("LibRaw open_file failed: " + LibRaw's reason);
 *  -2 no embedded thumbnail could be unpacked ("LibRaw unpack_thumb failed: "
 *     + LibRaw's reason, e.g. "No thumbnail in file");
 *  -3 the thumbnail could not be produced ("LibRaw dcraw_make_mem_thumb
 *     failed: " + reason, "the embedded thumbnail is empty", "the embedded
 *     thumbnail has a layout that cannot be converted", "the thumbnail could
 *     not be encoded as JPEG");
 *  -4 out of memory ("out of memory").
 * LibRaw's notes on damaged data are appended in parentheses.
 */
VANTORIX_API int vantorix_extract_thumbnail(const char* path, uint8_t** out_data, uint32_t* out_size);

/**
 * Releases bytes from vantorix_extract_thumbnail.
 * data: the block; NULL is allowed (nothing happens).
 */
VANTORIX_API void vantorix_free_thumb(uint8_t* data);

/**
 * 64-bit perceptual (DCT) hash of an image file, for near-duplicate search by
 * Hamming distance (about 10 bits or fewer: the same picture); RAW files are
 * hashed through their embedded thumbnail. Stable across versions. Needs no
 * context.
 * path: the file, NUL-terminated UTF-8.
 * out_hash: receives the hash; unless an argument is NULL it is 0 after every
 *           failure.
 * Returns 0, or (message from vantorix_last_file_error):
 *  -1 a NULL argument (no message); an unreadable ordinary image ("OpenCV
 *     could not read: " + path); LibRaw cannot open the file ("LibRaw
 *     open_file failed: " + reason);
 *  -2 no embedded thumbnail ("LibRaw unpack_thumb failed: " + reason);
 *  -3 no thumbnail in memory ("LibRaw dcraw_make_mem_thumb failed: " +
 *     reason) or a bitmap layout that cannot be converted;
 *  -4 the thumbnail decodes to nothing ("the embedded JPEG thumbnail cannot
 *     be decoded").
 */
VANTORIX_API int vantorix_phash(const char* path, uint64_t* out_hash);

/* ---- Automatic tools -------------------------------------------------------
 * Each tool measures the image as loaded (the RAW development, else the
 * decoded file), never the developed one, so settings made before do not
 * influence it, and it never changes settings: apply proposals with the
 * setters. Every tool needs a loaded image and returns 0 on success; -1 for
 * a NULL argument (no message), when no image is loaded ("no image loaded")
 * or on an internal failure ("out of memory", "OpenCV error: ...").
 * Out-values are written only on success. */

/**
 * Proposed exposure for vantorix_set_exposure: moves the median luminance of
 * a 256 x 256 copy toward 0.42 (0.35 * log2(0.42 / median)).
 * ctx: the context; needs a loaded image.
 * out_exposure: receives the proposal in stops, within [-1, 1].
 */
VANTORIX_API int vantorix_auto_exposure(EngineContext* ctx, float* out_exposure);

/**
 * Proposed white balance: always the neutral temperature 6500 K and tint 0
 * (the same as VANTORIX_SLOT_TEMPERATURE and VANTORIX_SLOT_TINT of
 * vantorix_auto_enhance).
 * ctx: the context; needs a loaded image.
 * out_temperature: receives the temperature in kelvin (6500).
 * out_tint: receives the tint (0).
 */
VANTORIX_API int vantorix_auto_white_balance(EngineContext* ctx, float* out_temperature, float* out_tint);

/**
 * Proposed basic settings, measured on a 512-pixel-wide copy: exposure from
 * the median luminance, contrast from the luminance spread, highlights and
 * shadows from the clipped pixels, luminance noise reduction from the fine
 * detail, fixed values for the rest (see AutoEnhanceResult and VantorixSlot).
 * ctx: the context; needs a loaded image.
 * out_settings: the host's record; all 32 slots are written on success.
 */
VANTORIX_API int vantorix_auto_enhance(EngineContext* ctx, AutoEnhanceResult* out_settings);

/**
 * Proposed rotation for vantorix_set_rotation, which levels the long edges
 * within 30 degrees of the horizontal: their length-weighted mean tilt.
 * Positive means turn counter-clockwise: an edge whose right end is lower
 * (the picture is turned clockwise) gives a positive proposal, one whose
 * right end is higher a negative one.
 * ctx: the context; needs a loaded image.
 * out_angle: receives degrees within [-30, 30]; 0 when no such edge is found.
 */
VANTORIX_API int vantorix_auto_straighten(EngineContext* ctx, float* out_angle);

/**
 * Proposed 3:2 landscape crop for vantorix_set_crop. Chosen by saliency,
 * edges and the rule of thirds among sizes of 80 to 100 % of the largest 3:2
 * rectangle in the frame that stay inside 2 % margins (so normally at most
 * 95 %). The crop is landscape for portrait pictures too.
 * ctx: the context; needs a loaded image.
 * out_x, out_y: receive the left and top edge as fractions of the width and
 *               height.
 * out_w, out_h: receive the width and height as fractions of the width and
 *               height.
 */
VANTORIX_API int vantorix_auto_crop(EngineContext* ctx, float* out_x, float* out_y, float* out_w, float* out_h);

/* ---- Subject segmentation -------------------------------------------------- */

/**
 * Finds the main subject of the loaded image (as loaded: development
 * settings play no part) with GrabCut, and keeps a feathered 8-bit mask the
 * size of the loaded image (255 subject, 0 background). The same image and
 * centre always give the same mask; the mask stays through loads and unloads
 * until the next successful segmentation.
 * ctx: the context; needs a loaded image.
 * center_x, center_y: centre of the seed rectangle (60 % of each side) as
 *                     fractions of the width and height, 0..1; a negative
 *                     value means the image centre.
 * Returns 0; -1 NULL ctx (no message) or "no image loaded"; -2 "GrabCut
 * failed" (for example an image too small for a seed rectangle). A failure
 * leaves an earlier mask as it was.
 */
VANTORIX_API int vantorix_segment_subject(EngineContext* ctx, float center_x, float center_y);

/**
 * Copies the mask: width x height bytes of the segmented image, top row
 * first, no gaps between rows. Needs a mask, not a loaded image.
 * ctx: the context.
 * out_mask: the host's buffer; written only on success.
 * capacity: its size in bytes.
 * Returns 0; -1 a NULL argument, or no mask yet ("no segmentation mask",
 * an em dash U+2014, "call vantorix_segment_subject first", 60 bytes); -2
 * when capacity is smaller than width x height (nothing written, no
 * message).
 */
VANTORIX_API int vantorix_get_mask(EngineContext* ctx, uint8_t* out_mask, int capacity);

/**
 * Writes the developed image as an 8-bit RGBA PNG whose alpha is the mask
 * (colour not premultiplied), developing first when no development is
 * current.
 * ctx: the context; needs a mask of the developed image's size.
 * path: the output file, NUL-terminated UTF-8.
 * Returns 0; -1 a NULL argument (no message), "no segmentation mask", or
 * "segmentation mask does not match the developed image" (after a crop, a
 * load of an image of another size or an unload; nothing is written); -2
 * "failed to write PNG".
 */
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
 *   ctx             the context; needs no image loaded before.
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
 * (RGB) or 4 (RGBA)"); lack of memory ("out of memory").
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
 *  ctx:            the context; needs a loaded image.
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
 *  seed of vantorix_segment_subject.
 *  ctx: the context; needs a loaded image.
 *  0; -1 null context (no message) or "no image loaded"; -2 "GrabCut failed" (for example an image of
 *  a few pixels); a failure leaves an earlier mask as it was. */
VANTORIX_API int vantorix_segment_subject_auto(EngineContext* ctx);

/** Segments the subject like vantorix_segment_subject, seeded by a box the user drew around it.
 *  ctx: the context; needs a loaded image.
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

/* ---- Diagnostics ------------------------------------------------------------ */

/**
 * The reason the calling thread's last failed vantorix_extract_thumbnail or
 * vantorix_phash gave, for example "LibRaw unpack_thumb failed: No thumbnail
 * in file". Those functions replace it on every failure except a NULL
 * argument and leave it alone on success; "" before the first failure.
 * Needs no context. Returns a string owned by the calling thread, valid
 * until that thread's next call of one of those functions.
 */
VANTORIX_API const char* vantorix_last_file_error(void);

/**
 * Asks for a quiet process: with quiet non-zero, OpenCV's log output
 * (warnings such as "[ WARN:0@...] ...") is switched off; with 0, OpenCV's
 * log level returns to what it was before the first quiet request. The
 * setting belongs to the process (OpenCV's logger is process-wide), so call
 * it once at start-up, before other threads use the engine. LibRaw never
 * prints, quiet or not. Needs no context.
 * quiet: non-zero for quiet, 0 to restore.
 */
VANTORIX_API void vantorix_set_quiet(int quiet);

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
 * ctx: the context whose settings are written.
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
 * ctx: the context whose settings are replaced.
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
 * Installs a progress callback on the context ctx, replacing an earlier one;
 * a NULL fn removes it. user is handed back unchanged to every call; the engine
 * never dereferences it.
 *
 * During vantorix_load_arw, vantorix_process, vantorix_get_preview,
 * vantorix_get_histogram (when it develops), vantorix_segment_subject and the
 * export functions, the engine calls fn(user, stage, fraction): stage is a
 * VantorixStage, fraction goes from 0 to 1 and never decreases within one
 * stage; a call that finishes its work has reported fraction 1 for each of
 * its stages (an export that develops first reports VANTORIX_STAGE_PROCESS,
 * then VANTORIX_STAGE_EXPORT). fn is called only on the thread that made the
 * engine call, never from the engine's or a library's worker threads: while a
 * callback is installed, the work of these calls runs on a helper thread and
 * the calling thread waits for it, passing each report on (RAW development at
 * each LibRaw step, the pipeline after each of its eighteen steps,
 * segmentation after each of its five GrabCut iterations, exports before
 * encoding and before writing) and, in between, repeating the last fraction
 * at least every 50 ms, also while one long library call runs. The work waits
 * for fn's answer to each of its own reports.
 *
 * Cancellation: when fn returns non-zero, the engine call stops at the next
 * step (a LibRaw decoding stops at once; a running pipeline step, encoder or
 * GrabCut iteration is finished first) and returns -1 with the message
 * "cancelled", and leaves the context as it was before the call: settings,
 * loaded image, development and its validity, mask and sizes (only the last
 * error changes). A cancelled export leaves an existing
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
 *  ctx: the context. path: UTF-8 file name. quality: JPEG quality, limited to 1..100 (other formats
 *  ignore it).
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

/* ---- Threads --------------------------------------------------------------- */

/**
 * Sets how many threads OpenCV's process-wide pool, and LibRaw's OpenMP
 * threads during a RAW development, may use for the engine's work. count: 0
 * or 1 runs everything on the calling thread (apart from the progress helper
 * thread of vantorix_set_progress_callback), which suits a host that develops
 * several photos at once, one context per thread; n > 1 allows n threads; a
 * negative value restores the libraries' defaults (one per core; LibRaw's
 * count is then left as the host or OMP_NUM_THREADS set it). Results do not
 * depend on it. Process-wide: call it at start-up, not while another thread
 * develops. Needs no context.
 */
VANTORIX_API void vantorix_set_thread_count(int count);

#ifdef __cplusplus
}
#endif

#endif /* VANTORIX_H */
