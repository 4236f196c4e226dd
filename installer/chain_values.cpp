#include "installer/chain_values.h"

#include "installer/guid_key.h"
#include "platform/registry.h"

namespace qm {

std::string ExtraChainValue(const char* valueName, int index) {
    return std::string(valueName) + "." + std::to_string(index);
}

void ForgetExtraChains(const char* valueName) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kGuidKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
        return;
    }
    for (int index = 1;
         RegDeleteValueA(key, ExtraChainValue(valueName, index).c_str()) == ERROR_SUCCESS;
         ++index) {
    }
    RegCloseKey(key);
}

} // namespace qm
