#pragma once
// The provider's diagnostic log level, "DebugLevel" under the current user's
// "Software\Quellmark\Settings", and the radio button that shows it.

#include "platform/wintypes.h"

namespace kovdiag {

// The radio button id for the stored level: Off when it cannot be read or is 0,
// 0 (none) for a level no button shows.
int StoredDebugLevelButton();
// Stores the level of a radio button id (none counts as Off); failures are ignored.
void StoreDebugLevelButton(int buttonId);

} // namespace kovdiag
