#include "fileio/atomic_file.h"

namespace rv {

std::string AtomicWriteErrorText(const std::string& path, const AtomicWriteError& error) {
    return (error.step == AtomicWriteError::Step::CreateTemporary
                ? "Не удалось создать файл рядом с «" + path + "»: "
                : "Не удалось записать файл «" + path + "»: ") +
           error.reason;
}

}  // namespace rv
