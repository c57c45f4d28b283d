#include "storage/os_error_map.h"

#include <cerrno>

#include "errors/engine_error_codes.h"

namespace pirin {

std::uint16_t EngineCodeOfErrno(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return PIRIN_OSENOENT;
        case EMFILE:
        case ENFILE:
            return PIRIN_OSEMFILE;
        case EACCES:
        case EPERM:
        case EROFS:
        case EBUSY:
        case ETXTBSY:
            return PIRIN_OSEACCES;
        case EBADF:
            return PIRIN_OSEBADF;
        case ENOMEM:
            return PIRIN_OSENOMEM;
        case ENODEV:
        case ENXIO:
            return PIRIN_OSENODEV;
        case EXDEV:
            return PIRIN_OSENOTSAM;
        default:
            return PIRIN_OSUNKNOWN;
    }
}

}  // namespace pirin
