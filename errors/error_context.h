// The process-wide error context: the code, the two error numbers and the
// seven names of the latest engine error raised anywhere in the process.
//
// Every access takes the context's own lock, one access at a time. The lock is
// re-entrant, so the raising routine can hold it from storing the context until
// the exception has copied it (see engine_error.cpp), while the single reads
// it makes on the way take the lock again. The lock is never held while
// calling out of the errors layer.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace pirin {

// The context slots, in slot order.
enum TErrorSlot : int {
    kServer = 0,  // database server (remote sessions)
    kUser,        // user name
    kDatabase,    // database name or directory
    kTable,       // table name
    kField,       // field name
    kIndex,       // index name
    kMessage,     // extra message text
};
inline constexpr int kErrorSlotCount = 7;

// Names in the context are cut to this many bytes.
inline constexpr std::size_t kMaxErrorNameLength = 255;

using TErrorNames = std::array<std::string, kErrorSlotCount>;

class TErrorContext {
public:
    static TErrorContext& Instance();

    // Holds the context lock for a sequence of accesses on this thread.
    [[nodiscard]] std::unique_lock<std::recursive_mutex> Hold();

    void Clear();
    // Stores code, error numbers and names; each name is cut to 255 bytes.
    void Store(std::uint16_t code, std::int32_t osError, std::int32_t socketError,
               const TErrorNames& names);

    std::uint16_t Code() const;
    std::int32_t OSError() const;
    std::int32_t SocketError() const;
    std::string Slot(TErrorSlot slot) const;

private:
    TErrorContext() = default;

    mutable std::recursive_mutex FLock;
    std::uint16_t FCode = 0;
    std::int32_t FOSError = 0;
    std::int32_t FSocketError = 0;
    TErrorNames FNames;
};

}  // namespace pirin
