// The decoder reads the network's bytes in place, so it must never look one byte
// before or after what a read gave it. Each piece is laid right against a page
// that may not be touched: a stray look there ends the test program, in every
// build and not only under the sanitizers.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "server/Decoder.h"
#include "tests/server/RecordingSink.h"

namespace pv::server {
namespace {

using Lines = std::vector<std::string>;

// One readable page between two that fault on any access.
class GuardedPage {
public:
    GuardedPage() {
        m_size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        void* base = mmap(nullptr, 3 * m_size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (base == MAP_FAILED) {
            return;
        }
        m_base = static_cast<char*>(base);
        if (mprotect(m_base + m_size, m_size, PROT_READ | PROT_WRITE) != 0) {
            munmap(m_base, 3 * m_size);
            m_base = nullptr;
        }
    }
    ~GuardedPage() {
        if (m_base != nullptr) {
            munmap(m_base, 3 * m_size);
        }
    }
    GuardedPage(const GuardedPage&) = delete;
    GuardedPage& operator=(const GuardedPage&) = delete;

    bool Usable() const { return m_base != nullptr; }
    // The bytes placed so that the first follows the guard before, or the last
    // precedes the guard after.
    const char* AtStart(const std::string& bytes) {
        std::memcpy(m_base + m_size, bytes.data(), bytes.size());
        return m_base + m_size;
    }
    const char* AtEnd(const std::string& bytes) {
        char* at = m_base + 2 * m_size - bytes.size();
        std::memcpy(at, bytes.data(), bytes.size());
        return at;
    }

private:
    char* m_base = nullptr;
    std::size_t m_size = 0;
};

Lines Decode(const std::vector<std::string>& pieces, GuardedPage* page, bool atEnd) {
    test::RecordingSink sink;
    Decoder decoder(sink);
    for (const std::string& piece : pieces) {
        const char* data = page == nullptr ? piece.data() : (atEnd ? page->AtEnd(piece) : page->AtStart(piece));
        decoder.Feed(data, piece.size());
    }
    decoder.Finish();
    return sink.Lines();
}

TEST(Decoder, NeverReadsOutsideTheBytesOfARead) {
    GuardedPage page;
    ASSERT_TRUE(page.Usable());
    // Records cut off at every place, lead bytes last, and malformed fields whose
    // check could run on past the end of the read.
    const std::vector<std::string> streams = {
        ":02400320",  "> 960  -5",  ">   0   0", ":-012-999", ">-9999999", ":",         ">",
        ">    ",      ":0240",      "> 960",     ">  -",       ":-",        "!^|+",      ">   1   2:",
        "x>",         ":0240>   1", ">  !2   3", ">10000   5", ":-0000240", ">       1", "> 1 2   3",
    };
    for (const std::string& stream : streams) {
        for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
            const std::vector<std::string> pieces = {stream.substr(0, cut), stream.substr(cut)};
            // The same bytes in ordinary memory give what the guarded ones must give.
            const Lines expected = Decode(pieces, nullptr, false);
            EXPECT_EQ(Decode(pieces, &page, true), expected) << stream << ", cut at " << cut;
            EXPECT_EQ(Decode(pieces, &page, false), expected) << stream << ", cut at " << cut;
        }
    }
}

}  // namespace
}  // namespace pv::server
