// Reading and writing the image files of the command-line host: PNG and JPEG
// in, PNG and JPEG out, written so that a failure never leaves a half-written
// file under the output name.
#pragma once

#include <string>

#include "cli/image_header.h"
#include "cli/pixels.h"

enum class load_status { ok, unreadable, not_an_image, too_large, out_of_memory };

// Loads a PNG or JPEG with the channels it has: 1 gray, 2 gray + alpha,
// 3 RGB, 4 RGBA, always 8 bits each.  A 16-bit PNG keeps the high byte of
// each sample, and *had_16_bits (when given) says so.  The file's structure
// and size are checked first (image_header.h), so a damaged or oversized file
// is refused before anything is decoded.  On failure *error holds the reason
// in a few words.
load_status load_image(const std::string& path, raster* image, std::string* error, bool* had_16_bits = nullptr);

// The same for the bytes of a file already read.
load_status decode_image(const std::string& bytes, raster* image, std::string* error, bool* had_16_bits = nullptr);

enum class file_kind { png, jpeg, unknown };
file_kind output_kind(const std::string& path);  // from the name's ending

// Encodes the image as `kind` and puts it in place of `path` atomically: the
// bytes go to a temporary file in the same directory, which is then renamed
// over `path`.  On failure nothing at `path` changes and the temporary file
// is removed.
bool save_image(const std::string& path, const raster& image, file_kind kind, std::string* error);

// Writes bytes to `path` the same way.
bool write_file_atomically(const std::string& path, const std::string& bytes, std::string* error);

// The whole file, or false with a reason.
bool read_whole_file(const std::string& path, std::string* bytes, std::string* error);
