// TBlobHandles: the BLOB buffers a cursor has open, at most 128, each known
// by a negative 32-bit handle that the cursor writes into the BLOB field of
// the caller's record image while the BLOB is open. Handles count down from
// -1 and are not reused while the cursor lives (after 2^31 opens they start
// again at -1, skipping handles still open), so a stale handle left in an
// old image names no buffer instead of someone else's.
//
// Ownership: owns the buffers. Threads: the cursor's thread. Nothing raises.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "storage/blob_buffer.h"

namespace pirin {

inline constexpr std::size_t kMaxOpenBlobs = 128;

enum class TBlobOpenMode : std::uint8_t { Read = 1, ReadWrite = 2 };

class TBlobHandles {
  public:
    // The buffer of a handle, or null when it names none.
    TBlobBuffer* Find(std::int32_t handle) const noexcept;
    // Takes the buffer and returns its new handle.
    std::int32_t Add(std::unique_ptr<TBlobBuffer> buffer, TBlobOpenMode mode);
    // Takes the buffer of a handle out (null when it names none).
    std::unique_ptr<TBlobBuffer> Remove(std::int32_t handle) noexcept;
    std::size_t Count() const noexcept { return FEntries.size(); }
    bool Full() const noexcept { return FEntries.size() >= kMaxOpenBlobs; }
    void Clear() noexcept { FEntries.clear(); }

  private:
    struct TEntry {
        std::int32_t Handle;
        TBlobOpenMode Mode;
        std::unique_ptr<TBlobBuffer> Buffer;
    };
    std::vector<TEntry> FEntries;
    std::int32_t FNextHandle = -1;
};

}  // namespace pirin
