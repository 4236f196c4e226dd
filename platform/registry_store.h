#pragma once
// Whole-hive access for platform stand-ins that keep several keys in step (the
// socket catalog): one read of the hive, or one change made under the hive's
// write lock and stored by a single rename, so readers see all of it or none.

#include "platform/registry.h"
#include "platform/registry_hive.h"

#include <functional>
#include <memory>

namespace platform {

// The hive as it is on disk now (empty when the file is missing).
std::shared_ptr<const hive::Hive> LoadHive(HKEY root);
// Runs change on the freshly read hive under the write lock; stores the hive when
// change returns ERROR_SUCCESS. A damaged hive is never rewritten (ERROR_BADDB).
LONG ModifyHive(HKEY root, const std::function<LONG(hive::Hive&)>& change);

} // namespace platform
