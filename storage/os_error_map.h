// Maps an errno value of a failed file operation to the engine error code the
// file layer reports for it. Pure function; any thread.
#pragma once

#include <cstdint>

namespace pirin {

// ENOENT, ENOTDIR -> 11010; EMFILE, ENFILE -> 11012; EACCES, EPERM, EROFS,
// EBUSY, ETXTBSY -> 11013; EBADF -> 11014; ENOMEM -> 11016; ENODEV, ENXIO ->
// 11023; EXDEV -> 11025; anything else -> 11047.
[[nodiscard]] std::uint16_t EngineCodeOfErrno(int error);

}  // namespace pirin
