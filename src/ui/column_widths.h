#pragma once

#include <QString>

#include <array>

#include "records/file_io.h"

namespace quorvel {

inline constexpr int kSectionCount = 8;
inline constexpr int kMinSectionWidth = 50;
inline constexpr int kMaxSectionWidth = 10000;
inline constexpr char16_t kWidthFileName[] = u"widths.qvf";

using ColumnWidths = std::array<int, kSectionCount>;

int clampSectionWidth(int width);

// The widths for a list of width `listWidth`: a quarter for the first two
// sections, a ninth for the next two, a sixth for the two after, 50 for the
// last two; each rounded to the nearest integer, a tie to the even one.
ColumnWidths defaultColumnWidths(int listWidth);

// Reads the width file over `widths`: line i sets section i, until the first
// line that is missing or no integer; lines after the eighth are ignored.
void readColumnWidths(const QString& path, ColumnWidths& widths);
// Eight lines of decimal widths, each ended by CR LF, written atomically.
Outcome<> writeColumnWidths(const QString& path, const ColumnWidths& widths);

}  // namespace quorvel
