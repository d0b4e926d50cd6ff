#pragma once

#include <QStringView>

#include <cstdint>
#include <optional>

namespace quorvel {

// A whole text read as a signed 32-bit integer: any number of leading spaces,
// at most one "+" or "-", then decimal digits, or hexadecimal digits after
// "$", "x", "X", "0x" or "0X"; nothing after. A decimal value must lie in the
// signed 32-bit range; a hexadecimal one must fit in 32 bits and is read as
// that bit pattern ("$FFFFFFFF" is -1). Anything else is no number.
std::optional<int32_t> parseInt32Text(QStringView text);

}  // namespace quorvel
