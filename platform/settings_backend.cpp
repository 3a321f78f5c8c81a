#include "platform/settings_backend.h"

#include "platform/handler_guard.h"
#include "platform/program_identity.h"

namespace qv {

void warnAboutSettings(HandlerGuard& guard, std::string_view what) {
    guard.warnOnce(std::string(kSettingsWarningPrefix).append(what));
}

std::string_view withoutExtension(std::string_view fileName) {
    const auto dot = fileName.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return fileName;
    return fileName.substr(0, dot);
}

}  // namespace qv
