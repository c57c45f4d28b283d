#include "storage/unit_cache_params.h"

#include <algorithm>

namespace pirin {
namespace {

// Negative settings count as 0.
std::size_t NonNegative(std::int32_t value) noexcept {
    return value > 0 ? static_cast<std::size_t>(value) : 0;
}

std::size_t Budget(std::int32_t bytes, std::int32_t count, std::size_t unitSize) noexcept {
    if (unitSize == 0) return NonNegative(count);
    return std::min(NonNegative(bytes) / unitSize, NonNegative(count));
}

}  // namespace

std::int32_t UnitsPerRun(std::size_t runBytes, std::size_t unitSize) noexcept {
    if (unitSize == 0 || runBytes / unitSize == 0) return 1;
    return static_cast<std::int32_t>(std::min<std::size_t>(runBytes / unitSize, INT32_MAX));
}

std::size_t RecordCacheBudget(const TCacheBudgets& budgets, std::size_t recordSize) noexcept {
    return Budget(budgets.RecordBytes, budgets.RecordCount, recordSize);
}

std::size_t PageCacheBudget(const TCacheBudgets& budgets) noexcept {
    return std::max(NonNegative(budgets.RecordBytes) / 8192, NonNegative(budgets.IndexPages));
}

std::size_t BlockCacheBudget(const TCacheBudgets& budgets, std::size_t blockSize) noexcept {
    return Budget(budgets.BlobBytes, budgets.BlobCount, blockSize);
}

}  // namespace pirin
