#pragma once
// The service's memory of the sites it blocked lately, by host, with the
// reason: the block page tells the person why, and a blocked secure site is
// told once per host per minute. Bounded: the oldest host is forgotten first.
// Written on the user-interface thread, read by the block page's thread.

#include <chrono>
#include <cstdint>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

enum class BlockReason {
    DenyList,   // on the family's deny list
    Categories, // rated in categories the member's profile blocks
    NotRated,   // blocked without a rating: nobody logged in or no rating service
};

struct BlockedSite {
    std::string host; // lower case
    BlockReason reason = BlockReason::NotRated;
    std::uint64_t categories = 0; // for Categories: the blocked categories
    std::chrono::steady_clock::time_point decided;
    std::uint64_t serial = 0; // order of recording
    std::optional<std::chrono::steady_clock::time_point> noticed;
};

class CBlockedSites {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::size_t kCapacity = 256;

    // Records the reason the address's host was blocked, replacing an older one.
    void Record(std::string_view address, BlockReason reason, std::uint64_t categories = 0);
    // A mark to hand to RecordIfNoneSince.
    std::uint64_t Mark() const;
    // Records the reason unless the host was recorded after the mark was taken.
    void RecordIfNoneSince(std::string_view address, std::uint64_t mark, BlockReason reason);
    // The last blocked decision for the host, if it is still remembered.
    std::optional<BlockedSite> Find(std::string_view host) const;
    // True when the person at the screen is to be told of the host now: not
    // told within the last minute. Marks it told.
    bool TakeNotice(std::string_view host, Clock::time_point now = Clock::now());

  private:
    std::list<BlockedSite>::iterator Entry(const std::string& host);
    void Store(const std::string& host, BlockReason reason, std::uint64_t categories);

    mutable std::mutex lock_;
    std::list<BlockedSite> sites_; // most recent first
    std::uint64_t serial_ = 0;
};
