#include "errors/error_context.h"

namespace pirin {

TErrorContext& TErrorContext::Instance() {
    // Constructed on first use and never destroyed, so errors raised while
    // other static objects are torn down still find a living context.
    static TErrorContext* context = new TErrorContext();
    return *context;
}

std::unique_lock<std::recursive_mutex> TErrorContext::Hold() {
    return std::unique_lock<std::recursive_mutex>(FLock);
}

void TErrorContext::Clear() {
    std::lock_guard guard(FLock);
    FCode = 0;
    FOSError = 0;
    FSocketError = 0;
    for (auto& name : FNames) name.clear();
}

void TErrorContext::Store(std::uint16_t code, std::int32_t osError, std::int32_t socketError,
                          const TErrorNames& names) {
    std::lock_guard guard(FLock);
    FCode = code;
    FOSError = osError;
    FSocketError = socketError;
    for (int i = 0; i < kErrorSlotCount; ++i) {
        FNames[i] = names[i].substr(0, kMaxErrorNameLength);
    }
}

std::uint16_t TErrorContext::Code() const {
    std::lock_guard guard(FLock);
    return FCode;
}

std::int32_t TErrorContext::OSError() const {
    std::lock_guard guard(FLock);
    return FOSError;
}

std::int32_t TErrorContext::SocketError() const {
    std::lock_guard guard(FLock);
    return FSocketError;
}

std::string TErrorContext::Slot(TErrorSlot slot) const {
    std::lock_guard guard(FLock);
    return FNames[slot];
}

}  // namespace pirin
