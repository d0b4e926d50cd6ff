#include "records/int_text.h"

#include <gtest/gtest.h>

#include "support/printers.h"

namespace quorvel {
namespace {

TEST(Int32Text, WholeTextOnly) {
    const std::pair<const char16_t*, std::optional<int32_t>> cases[] = {
        {u"7", 7},
        {u" 7", 7},
        {u"   +7", 7},
        {u"-7", -7},
        {u"007", 7},
        {u"7 ", std::nullopt},
        {u"\t7", std::nullopt},
        {u"", std::nullopt},
        {u" ", std::nullopt},
        {u"+", std::nullopt},
        {u"+-7", std::nullopt},
        {u"7a", std::nullopt},
        {u"$A", 10},
        {u"xa", 10},
        {u"X1f", 31},
        {u"0x10", 16},
        {u"0X10", 16},
        {u"-$A", -10},
        {u"$", std::nullopt},
        {u"0x", std::nullopt},
        {u"$FFFFFFFF", -1},
        {u"$80000000", INT32_MIN},
        {u"$100000000", std::nullopt},
        {u"2147483647", INT32_MAX},
        {u"2147483648", std::nullopt},
        {u"-2147483648", INT32_MIN},
        {u"-2147483649", std::nullopt},
        {u"99999999999999999999", std::nullopt},
        {u"１２", std::nullopt},  // full-width digits are not digits here
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(parseInt32Text(text), expected) << QString::fromUtf16(text).toStdString();
    }
}

}  // namespace
}  // namespace quorvel
