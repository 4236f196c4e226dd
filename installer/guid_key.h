#pragma once

namespace qm {

// Machine key that records the GUIDs of the installed catalog entries.
inline constexpr const char* kGuidKey = "SOFTWARE\\Quellmark\\GUID";

} // namespace qm
