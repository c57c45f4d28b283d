// 10,000 cycles of a session opening a table with memos, reading a record
// and its memo, and closing everything again: no descriptor stays open and
// the resident memory does not grow (leaks themselves are the sanitizer
// build's business, whose allocator keeps freed memory on purpose, so the
// memory check is left to the plain build).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "tests/engine/write_test_support.h"

namespace pirin::testing {
namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kPlainAllocator = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kPlainAllocator = false;
#else
constexpr bool kPlainAllocator = true;
#endif
#else
constexpr bool kPlainAllocator = true;
#endif

std::size_t OpenDescriptors() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

// Resident pages of the process, in KiB.
long ResidentKiB() {
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

TEST(OpenCloseCyclesTest, TenThousandOpensLeaveNoDescriptorAndNoMemoryBehind) {
    TFixtureTable table({.Fields = {Field("Id", "INTEGER"), Field("Word", "VARCHAR", 20),
                                    Field("Note", "MEMO")},
                         .Primary = TIndexDefinition{.Fields = {"Id"}},
                         .Indexes = {{.Name = "ByWord", .Fields = {"Word"}}}});
    for (int id = 1; id <= 50; ++id)
        table.Append({id, "w" + std::to_string(id), std::string(600, 'n')});
    const auto cycle = [&table] {
        TTableSession session(table);
        auto cursor = session.OpenCursor();
        cursor->SetToIndex("ByWord");
        cursor->First();
        TImage image(static_cast<std::size_t>(cursor->RecordSize()));
        ASSERT_EQ(cursor->GetNextRecord(image), 0);
        ASSERT_EQ(MemoText(*cursor, 3, image).size(), 600u);
    };
    // The first cycles fill what stays for the process's life (the
    // character maps, the collators, the allocator's arenas).
    for (int i = 0; i < 500; ++i) cycle();
    const std::size_t descriptors = OpenDescriptors();
    const long resident = ResidentKiB();
    for (int i = 0; i < 10000; ++i) {
        cycle();
        if (::testing::Test::HasFatalFailure()) return;
    }
    EXPECT_EQ(OpenDescriptors(), descriptors);
    if (kPlainAllocator) {
        EXPECT_LT(ResidentKiB() - resident, 2048) << "KiB grown";
    }
}

}  // namespace
}  // namespace pirin::testing
