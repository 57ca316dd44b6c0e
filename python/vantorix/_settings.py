"""The single-value development settings: name, default and documentation.

The names are those of the C setters (``vantorix_set_<name>``). The engine
stores every value unchanged (as a 32-bit float, flips as 0/1); each stage
reads its setting as documented here, and values beyond the nominal range
are allowed.
"""
from __future__ import annotations

TYPE_CHECKING = False  # see _lib
if TYPE_CHECKING:
    from typing import Dict, Tuple

# name: (default, documentation)
SCALARS: Dict[str, Tuple[float, str]] = {
    "exposure": (0.0, "Exposure in stops (EV): each channel times 2**exposure. Nominal -5..5, default 0."),
    "brightness": (0.0, "Mid-tone brightness in percent, -100..100 (gamma 2 .. 1/1.5), default 0."),
    "contrast": (0.0, "Contrast in percent: S-curve around 0.5, -100..100, default 0 (off)."),
    "highlights": (0.0, "Recovery (-) or boost (+) of pixels brighter than 0.5, percent -100..100, default 0."),
    "shadows": (0.0, "Lift (+) or deepen (-) pixels darker than 0.5, percent -100..100, default 0."),
    "whites": (0.0, "White point in percent, -100..100 (white point 0.8 .. 1.2), default 0."),
    "blacks": (0.0, "Black point in percent, -100..100 (black point -0.1 .. 0.1), default 0."),
    "temperature": (5500.0, "Colour temperature in kelvin, about 2000..50000; default 5500 (warms the "
                            "image slightly); 6500 is neutral."),
    "tint": (0.0, "Green (-) / magenta (+) shift, -150..150 moves the green gain by -/+0.15; default 0."),
    "saturation": (0.0, "Saturation in percent, -100 (grey) ..100, default 0."),
    "vibrance": (0.0, "Saturation of the less colourful pixels, percent -100..100, default 0."),
    "sharpening_amount": (0.0, "Unsharp-mask strength, 0..150 (acts when > 0), default 0."),
    "sharpening_radius": (1.0, "Unsharp-mask Gaussian sigma in pixels, about 0.5..3, default 1.0."),
    "sharpening_threshold": (0.0, "Detail below this on the 16-bit scale 0..65535 is not sharpened, default 0."),
    "nr_luminance": (0.0, "Luminance noise reduction in percent, 0..100, default 0."),
    "nr_color": (0.0, "Colour noise reduction in percent, 0..100, default 0."),
    "clarity": (0.0, "Local mid-tone contrast in percent, -100..100, default 0."),
    "texture": (0.0, "Fine-detail contrast in percent, -100..100, default 0."),
    "dehaze": (0.0, "Haze removal in percent, -100..100 (negative adds haze), default 0."),
    "distortion": (0.0, "Radial lens distortion correction in percent, -100..100 (either sign), default 0."),
    "ca_correction": (0.0, "Lateral chromatic aberration correction in percent, 0..100, default 0."),
    "lens_vignette": (0.0, "Lens vignetting correction in percent, 0..100 (100 brightens corners by 50 %), "
                           "default 0."),
    "defringe": (0.0, "Purple/green fringe removal in percent, 0..100, default 0."),
    "rotation": (0.0, "Rotation in degrees; positive turns the picture counter-clockwise. Default 0."),
    "perspective_h": (0.0, "Horizontal keystone in percent, -100..100 (corners move 15 % of the width), "
                           "default 0."),
    "perspective_v": (0.0, "Vertical keystone in percent, -100..100 (corners move 15 % of the height), "
                           "default 0."),
    "flip_h": (False, "Mirror left-right. Default False."),
    "flip_v": (False, "Mirror top-bottom. Default False."),
    "vignette_amount": (0.0, "Creative vignette in percent, -100 (darker edges) ..100 (lighter), default 0."),
    "vignette_midpoint": (50.0, "Distance from the centre where the vignette starts, percent 0..100, "
                                "default 50."),
    "vignette_roundness": (0.0, "Vignette shape, -100 (rectangle) ..100 (ellipse), default 0."),
    "grain_amount": (0.0, "Film grain in percent, 0..100 (100: noise of standard deviation 0.05), default 0. "
                          "Random: differs from run to run."),
    "grain_size": (25.0, "Grain coarseness in percent, 0..100 (1 or less: per-pixel), default 25."),
}
