// TMemoryFile: an in-memory file, the storage of an in-memory table. Its
// bytes live in a buffer that grows in 4096-byte steps and never shrinks while
// the file lives; every byte beyond the size reads as zero once the file grows
// over it again, as on disk. Ownership, threads and failures as TAbstractFile.
#pragma once

#include <cstdint>
#include <vector>

#include "storage/abstract_file.h"

namespace pirin {

class TMemoryFile final : public TAbstractFile {
  public:
    static constexpr std::size_t kGrowthStep = 4096;

    explicit TMemoryFile(std::string name) : TAbstractFile(std::move(name)) {}

    // Drops the buffer; the size becomes 0.
    [[nodiscard]] int CreateNew() override;
    bool InMemory() const override { return true; }

    std::size_t Capacity() const { return FData.size(); }

  protected:
    [[nodiscard]] std::int64_t ReadHandle(TFileHandleEntry& handle, std::uint64_t offset,
                                          void* buffer, std::size_t count) override;
    [[nodiscard]] std::int64_t WriteHandle(TFileHandleEntry& handle, std::uint64_t offset,
                                           const void* buffer, std::size_t count) override;

  private:
    // Grows the buffer (zero-filled) to hold `size` bytes; false when memory
    // runs out (errno ENOMEM).
    bool Reserve(std::uint64_t size);

    std::vector<std::uint8_t> FData;  // its size is the capacity
};

}  // namespace pirin
