#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "link/Protocol.h"

namespace {

std::string Extent(int a, int b) {
    char out[16];
    const int n = pv::protocol::FormatExtent(out, a, b);
    return std::string(out, static_cast<std::size_t>(n));
}

std::string Position(int x, int y) {
    char out[16];
    const int n = pv::protocol::FormatPosition(out, x, y);
    return std::string(out, static_cast<std::size_t>(n));
}

}  // namespace

TEST(Protocol, RecordsAreExactAndNineBytesAtEveryValue) {
    struct Row {
        int a, b;
        const char* extent;
        const char* position;
    };
    const Row rows[] = {
        {0, 0, ":00000000", ">   0   0"},
        {960, -5, ":0960-005", "> 960  -5"},
        {240, 320, ":02400320", "> 240 320"},
        {-12, 7, ":-0120007", "> -12   7"},
        {-25, 1072, ":-0251072", "> -251072"},
        // The range ends keep their four characters.
        {9999, -999, ":9999-999", ">9999-999"},
        // Beyond them the numbers are clamped, so the record stays nine bytes.
        {10000, -1000, ":9999-999", ">9999-999"},
        {INT_MAX, INT_MIN, ":9999-999", ">9999-999"},
        {-50000, 123456, ":-9999999", ">-9999999"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.a) + "," + std::to_string(row.b));
        EXPECT_EQ(Extent(row.a, row.b), row.extent);
        EXPECT_EQ(Position(row.a, row.b), row.position);
        EXPECT_EQ(Extent(row.a, row.b).size(), 9u);
        EXPECT_EQ(Position(row.a, row.b).size(), 9u);
    }
}

TEST(Protocol, FieldsCutAtTheDesktopsWidthGiveBackTheClampedNumbers) {
    // The desktop cuts a record after its marker into two fields of kNumberWidth characters.
    constexpr std::size_t w = pv::protocol::kNumberWidth;
    const int values[] = {0, 7, -5, -12, 240, 960, 1072, -999, 9999, -1000, 10000, INT_MIN, INT_MAX};
    for (int a : values) {
        for (int b : values) {
            SCOPED_TRACE(std::to_string(a) + "," + std::to_string(b));
            for (const std::string& record : {Extent(a, b), Position(a, b)}) {
                ASSERT_EQ(record.size(), 1 + 2 * w);
                EXPECT_EQ(std::stoi(record.substr(1, w)), pv::protocol::ClampNumber(a));
                EXPECT_EQ(std::stoi(record.substr(1 + w, w)), pv::protocol::ClampNumber(b));
            }
        }
    }
}

TEST(Protocol, FormatterWritesItsTerminatorInsideTheRecordSlot) {
    // Sixteen records back to back and the last terminator fit the batch buffer exactly.
    char batch[pv::protocol::kBatchBufferSize];
    std::size_t total = 0;
    for (int k = 0; k < 16; ++k) {
        total += static_cast<std::size_t>(pv::protocol::FormatPosition(batch + 9 * k, -999, 9999));
    }
    EXPECT_EQ(total, 144u);
    EXPECT_EQ(batch[144], '\0');
    EXPECT_EQ(std::string(batch + 135, 9), ">-9999999");
}
