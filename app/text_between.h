// Cutting the text between two markers out of a larger text.
#pragma once

#include "app/owned.h"

#include <cstdint>

// The GBK word "#引号" that stands for one double quote inside a marker, so
// that markers holding quotes can be written.
inline constexpr char kQuoteMarker[] = "#\xD2\xFD\xBA\xC5";

// The text between the first startMarker at or after startPosition (1-based;
// 0 or 1 mean from the start) and the first endMarker after it. ignoreCase
// applies to both searches (ASCII letters). The empty text when either
// marker is missing; the source is never altered.
OwnedText TextBetween(const char* source, const char* startMarker, const char* endMarker, int32_t startPosition = 0,
                      bool ignoreCase = false);
