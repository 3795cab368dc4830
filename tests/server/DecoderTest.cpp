#include "server/Decoder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/server/RecordingSink.h"

namespace pv::server {
namespace {

using Lines = std::vector<std::string>;

struct Case {
    const char* name;
    std::string bytes;
    Lines expected;
};

// Each stream with the exact lines --print gives for it.
const std::vector<Case>& Cases() {
    static const std::vector<Case> cases = {
        {"attach", "+", {"attach"}},
        {"extent", ":02400320", {"extent 240 320"}},
        {"extent negative", ":-012-999", {"extent -12 -999"}},
        {"extent largest", ":99990000", {"extent 9999 0"}},
        {"position", "> 960  -5", {"position 960 -5"}},
        {"position zero", ">   0   0", {"position 0 0"}},
        {"position widest", ">-9999999", {"position -999 9999"}},
        {"buttons", "!^|", {"down", "up", "right-click"}},
        {"click", "!^", {"down", "up"}},
        {"double click", "!^!^", {"down", "up", "down", "up"}},
        {"empty", "", {}},
        {"session",
         "+:09601072>   0   0> 401 201!> 402 203> 403 205^> 403 205|",
         {"attach", "extent 960 1072", "position 0 0", "position 401 201", "down", "position 402 203",
          "position 403 205", "up", "position 403 205", "right-click"}},
        {"batch of sixteen",
         ">   1   1>   2   2>   3   3>   4   4>   5   5>   6   6>   7   7>   8   8"
         ">   9   9>  10  10>  11  11>  12  12>  13  13>  14  14>  15  15>  16  16",
         {"position 1 1", "position 2 2", "position 3 3", "position 4 4", "position 5 5", "position 6 6",
          "position 7 7", "position 8 8", "position 9 9", "position 10 10", "position 11 11",
          "position 12 12", "position 13 13", "position 14 14", "position 15 15", "position 16 16"}},
        // Bytes that belong to no message.
        {"garbage before", "hello+", {"skipped 5", "attach"}},
        {"garbage between", "!ab\r\n^", {"down", "skipped 4", "up"}},
        {"garbage after", "!zz", {"down", "skipped 2"}},
        {"only garbage", "abc", {"skipped 3"}},
        {"zero and high bytes", std::string("\0\xff\x80+", 4), {"skipped 3", "attach"}},
        {"record cut off at the end", "!>  12", {"down", "skipped 5"}},
        {"lone lead byte at the end", "^:", {"up", "skipped 1"}},
        // Malformed fields: the lead byte is skipped and what follows is decoded afresh.
        {"extent with a letter", ":02a00320!", {"skipped 9", "down"}},
        {"extent padded with spaces", ": 240 320", {"skipped 9"}},
        {"extent minus zero", ":-0000240", {"skipped 9"}},
        {"extent minus in the middle", ":02-40320", {"skipped 9"}},
        {"position padded with zeros", ">00120034", {"skipped 9"}},
        {"position minus zero", ">  -0   1", {"skipped 9"}},
        {"position without digits", ">       1", {"skipped 9"}},
        {"position space after a digit", "> 1 2   3", {"skipped 9"}},
        {"position minus after a digit", ">  1-   3", {"skipped 9"}},
        {"record inside a broken one", ":0240>   1   2", {"skipped 5", "position 1 2"}},
        {"two leads", ">>   1   2", {"skipped 1", "position 1 2"}},
        {"button inside a broken record", ">  !2   3", {"skipped 3", "down", "skipped 5"}},
        {"extent lead inside a position", ">  1:02400320", {"skipped 4", "extent 240 320"}},
        // Numbers wider than four characters: the fixed widths still cut the stream,
        // which breaks a Position and shifts an Extent.
        {"position out of range", ">10000   5", {"skipped 10"}},
        {"extent out of range", ":100000320!", {"extent 1000 32", "skipped 1", "down"}},
    };
    return cases;
}

Lines Decode(const std::vector<std::string>& pieces) {
    test::RecordingSink sink;
    Decoder decoder(sink);
    for (const std::string& piece : pieces) {
        decoder.Feed(piece.data(), piece.size());
    }
    decoder.Finish();
    return sink.Lines();
}

TEST(Decoder, EveryStreamWhole) {
    for (const Case& c : Cases()) {
        EXPECT_EQ(Decode({c.bytes}), c.expected) << c.name;
    }
}

TEST(Decoder, EveryStreamOneByteAtATime) {
    for (const Case& c : Cases()) {
        std::vector<std::string> pieces;
        for (char byte : c.bytes) {
            pieces.emplace_back(1, byte);
        }
        EXPECT_EQ(Decode(pieces), c.expected) << c.name;
    }
}

TEST(Decoder, EveryStreamSplitAtEveryPosition) {
    for (const Case& c : Cases()) {
        for (std::size_t cut = 0; cut <= c.bytes.size(); ++cut) {
            EXPECT_EQ(Decode({c.bytes.substr(0, cut), c.bytes.substr(cut)}), c.expected)
                << c.name << ", cut at " << cut;
        }
    }
}

TEST(Decoder, EveryStreamSplitAtEveryPairOfPositions) {
    for (const Case& c : Cases()) {
        for (std::size_t first = 0; first <= c.bytes.size(); ++first) {
            for (std::size_t second = first; second <= c.bytes.size(); ++second) {
                EXPECT_EQ(Decode({c.bytes.substr(0, first), c.bytes.substr(first, second - first),
                                  c.bytes.substr(second)}),
                          c.expected)
                    << c.name << ", cut at " << first << " and " << second;
            }
        }
    }
}

// Random streams built from valid records, broken records and noise: however the
// stream is split, the messages are the same, and every byte is accounted for
// exactly once (as part of a message or as skipped).
TEST(Decoder, RandomStreamsAreSplitIndependentAndLoseNoByte) {
    std::mt19937 random(20261207);
    const std::vector<std::string> parts = {"+",         "!",         "^", "|", ":02400320", "> 960  -5",
                                            ">   0   0", ":-012-999", ">", ":", "> 9",       ":02",
                                            "-",         " ",         "0", "x", "\n"};
    for (int round = 0; round < 500; ++round) {
        std::string bytes;
        int count = static_cast<int>(random() % 40);
        for (int i = 0; i < count; ++i) {
            bytes += parts[random() % parts.size()];
        }
        Lines whole = Decode({bytes});

        std::vector<std::string> pieces;
        for (std::size_t at = 0; at < bytes.size();) {
            std::size_t size = 1 + random() % 12;
            pieces.push_back(bytes.substr(at, size));
            at += size;
        }
        ASSERT_EQ(Decode(pieces), whole) << bytes;

        std::size_t accounted = 0;
        for (const std::string& line : whole) {
            if (line.rfind("skipped ", 0) == 0) {
                accounted += std::stoul(line.substr(8));
            } else {
                accounted += line.rfind("extent", 0) == 0 || line.rfind("position", 0) == 0 ? 9 : 1;
            }
        }
        ASSERT_EQ(accounted, bytes.size()) << bytes;
    }
}

TEST(Decoder, FinishStartsAFreshStream) {
    test::RecordingSink sink;
    Decoder decoder(sink);
    decoder.Feed(":0240", 5);
    decoder.Finish();
    // The unfinished record of the old stream must not join the new one.
    decoder.Feed("0320!", 5);
    decoder.Finish();
    EXPECT_EQ(sink.Lines(), (Lines{"skipped 5", "skipped 4", "down"}));
}

}  // namespace
}  // namespace pv::server
