#pragma once
// The site of a pop-up allowance as a member types it, normalised to a host
// pattern: scheme, path, port and query dropped, a bare domain widened to its
// subdomains ("example.com" becomes "*.example.com"), punctuation removed.

#include <string>

// Normalises site; on success returns null and sets pattern, otherwise returns
// the error text to show ("Add Site Error").
const char* NormalizePopupSite(const std::string& site, std::string& pattern);
