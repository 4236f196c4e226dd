#include "provider/provider_settings.h"

namespace zul {

ProviderSettings& ProcessSettings() {
    static ProviderSettings settings;
    return settings;
}

const char* BlockPageUrl() {
    return ProcessSettings().blockPage.c_str();
}

} // namespace zul
