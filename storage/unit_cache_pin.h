// TUnitPin: the RAII handle of one pin on a cached unit. While it lives the
// unit stays in memory with its number and is never chosen as a victim nor
// written back; when it goes (or on Release) the pin is given back.
//
// A fetch that delivers nothing (another process changed the table) returns
// an empty pin; test it before use. Pins move, never copy. Every pin must be
// released before its cache is destroyed.
//
// Threads: the thread of the cache. Failures: none; releasing never throws.
#pragma once

#include <utility>

namespace pirin {

template <class TUnit>
class TUnitCache;

template <class TUnit>
class [[nodiscard]] TUnitPin {
  public:
    TUnitPin() noexcept = default;
    TUnitPin(TUnitPin&& other) noexcept
        : FCache(std::exchange(other.FCache, nullptr)),
          FUnit(std::exchange(other.FUnit, nullptr)) {}
    TUnitPin& operator=(TUnitPin&& other) noexcept {
        if (this != &other) {
            Release();
            FCache = std::exchange(other.FCache, nullptr);
            FUnit = std::exchange(other.FUnit, nullptr);
        }
        return *this;
    }
    TUnitPin(const TUnitPin&) = delete;
    TUnitPin& operator=(const TUnitPin&) = delete;
    ~TUnitPin() { Release(); }

    // False when nothing was fetched.
    explicit operator bool() const noexcept { return FUnit != nullptr; }
    TUnit* Get() const noexcept { return FUnit; }
    TUnit* operator->() const noexcept { return FUnit; }
    TUnit& operator*() const noexcept { return *FUnit; }

    // Gives the pin back now; the handle becomes empty.
    void Release() noexcept {
        if (FUnit != nullptr) FCache->Release(*FUnit);
        FCache = nullptr;
        FUnit = nullptr;
    }

  private:
    friend class TUnitCache<TUnit>;
    // Takes over a pin the cache has already counted.
    TUnitPin(TUnitCache<TUnit>* cache, TUnit* unit) noexcept : FCache(cache), FUnit(unit) {}

    TUnitCache<TUnit>* FCache = nullptr;
    TUnit* FUnit = nullptr;
};

}  // namespace pirin
