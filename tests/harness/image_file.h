#pragma once

// Window pictures as PNG files: 8-bit RGB, no dates or other chunks, so the
// same picture always makes the same file.

#include "x_session.h"

#include <string>

namespace e2e {

// Both throw std::runtime_error, naming the file, when they cannot.
void writePng(const std::string &path, const Image &image);
Image readPng(const std::string &path);

} // namespace e2e
