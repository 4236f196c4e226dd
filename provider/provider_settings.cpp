#include "provider/provider_settings.h"

namespace zul {

ProviderSettings& ProcessSettings() {
    static ProviderSettings settings;
    return settings;
}

} // namespace zul
