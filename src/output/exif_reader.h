#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/shooting_data.h"
#include "vantorix.h"

namespace vantorix {

// Fills `rec` from the EXIF block of the file at `path`. False (with `rec`
// cleared: zeros, empty texts, NaN GPS) when libexif finds no EXIF data.
bool read_exif_summary(const std::string& path, ExifSummary& rec);

// Fills `rec` from a TIFF structure ("II*\0" or "MM\0*" and its IFDs), the form
// EXIF takes in TIFF files, PNG eXIf chunks and WebP EXIF chunks. False (with
// `rec` cleared) when it holds no entry.
bool summarize_tiff_structure(const uint8_t* tiff, size_t size, ExifSummary& rec);

// Fills `rec` from the shooting data a RAW file reported.
void fill_from_raw(const ShootingData& raw, ExifSummary& rec);

}  // namespace vantorix
