#pragma once
// What the channel does after blocking a site: a block that neither the lists
// nor a rating explained is remembered as unrated, and a blocked secure site
// is told to the person at the screen (its connection just fails, with no
// page to show), once per host per minute, since browsers try again at once.

#include <cstdint>
#include <string>

class CBlockedSites;

void NoteBlockedSite(CBlockedSites& sites, const std::string& address, std::uint64_t mark);
