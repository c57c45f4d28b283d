#include "errors/engine_error.h"

#include <cerrno>

#include "errors/engine_error_texts.h"

namespace pirin {

namespace {

// Fills each "%s" of `format` in one pass, so "%s" inside a name stays text.
std::string FillPlaces(const TEngineErrorText& entry, const TErrorContext& context) {
    std::string result;
    std::string_view format(entry.Text);
    std::size_t filler = 0;
    while (true) {
        auto at = format.find("%s");
        result.append(format.substr(0, at));
        if (at == std::string_view::npos) break;
        if (filler < entry.Fillers.size()) result += context.Slot(entry.Fillers[filler++]);
        format.remove_prefix(at + 2);
    }
    return result;
}

}  // namespace

std::string EngineErrorText(std::uint16_t code) {
    auto& context = TErrorContext::Instance();
    auto hold = context.Hold();
    const TEngineErrorText* entry = FindEngineErrorText(code);
    std::string text = entry ? FillPlaces(*entry, context) : kUnknownEngineErrorText;
    if (text.size() > kMaxEngineErrorTextLength) text.resize(kMaxEngineErrorTextLength);
    return text;
}

EPirinEngineError::EPirinEngineError(std::uint16_t code) : ErrorCode(code) {
    auto& context = TErrorContext::Instance();
    std::string text = EngineErrorText(code);
    ErrorRemoteName = context.Slot(kServer);
    ErrorUserName = context.Slot(kUser);
    ErrorDatabaseName = context.Slot(kDatabase);
    ErrorTableName = context.Slot(kTable);
    ErrorFieldName = context.Slot(kField);
    ErrorIndexName = context.Slot(kIndex);
    ErrorMessage = context.Slot(kMessage);
    OSErrorCode = context.OSError();
    SocketErrorCode = context.SocketError();
    SetMessage("Pirin Engine Error # " + std::to_string(code) + " " + text);
}

void RaiseEngineError(std::uint16_t code, const TErrorPlace& place) {
    // errno first, before anything below can change it. There is no separate
    // socket error on this platform.
    const std::int32_t osError = errno;
    const std::int32_t socketError = 0;
    auto& context = TErrorContext::Instance();
    auto hold = context.Hold();
    context.Clear();
    context.Store(code, osError, socketError,
                  {std::string(place.server), std::string(place.user), std::string(place.database),
                   std::string(place.table), std::string(place.field), std::string(place.index),
                   std::string(place.message)});
    EPirinEngineError error(code);
    hold.unlock();
    throw error;
}

void RaiseEngineError(std::uint16_t code, std::string_view server, std::string_view user,
                      std::string_view database, std::string_view table, std::string_view field,
                      std::string_view index, std::string_view message) {
    RaiseEngineError(code, TErrorPlace{server, user, database, table, field, index, message});
}

void RaiseEngineErrorCode(std::uint16_t code) { throw EPirinEngineError(code); }

std::int32_t ErrorCodeOf(const std::exception& error) {
    if (auto* engine = dynamic_cast<const EPirinEngineError*>(&error)) return engine->ErrorCode;
    return PIRIN_OSUNKNOWN;
}

std::int32_t ErrorCodeOf(const std::exception_ptr& error) {
    try {
        if (!error) return 0;
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return ErrorCodeOf(e);
    } catch (...) {
    }
    return PIRIN_OSUNKNOWN;
}

}  // namespace pirin
