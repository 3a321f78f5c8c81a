#include "platform/settings_backend.h"

#include "platform/handler_guard.h"

namespace qv {

void reportToErrorStream(std::string_view line) {
    HandlerGuard::instance().say(line);
}

std::string_view withoutExtension(std::string_view fileName) {
    const auto dot = fileName.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return fileName;
    return fileName.substr(0, dot);
}

}  // namespace qv
