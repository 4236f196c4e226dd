#include "provider/most_wanted_list.h"

#include "provider/lsp_log.h"
#include "provider/provider_settings.h"

namespace zul {
namespace {

void Log(const char* message) {
    const ProviderSettings& settings = ProcessSettings();
    WriteLog(settings.dir, settings.debugLevel, "CMostWantedList::IsMostWanted", message, 2);
}

} // namespace

CMostWantedList::~CMostWantedList() {
    while (head_) {
        CMostWantedEntry* next = head_->next;
        delete head_;
        head_ = next;
    }
}

bool CMostWantedList::IsMostWanted(SOCKET socket, CMostWantedEntry** entry) {
    std::lock_guard hold(lock_);
    for (CMostWantedEntry* at = head_; at; at = at->next) {
        if (at->socket == socket) {
            Log("Socket found");
            if (entry) {
                *entry = at;
            }
            return true;
        }
        Log("Wrong Socket let's try the nest one");
    }
    return false;
}

bool CMostWantedList::Holds(SOCKET socket) {
    std::lock_guard hold(lock_);
    for (CMostWantedEntry* at = head_; at; at = at->next) {
        if (at->socket == socket) {
            return true;
        }
    }
    return false;
}

void CMostWantedList::Add(SOCKET socket, const std::string& url, const std::string& target) {
    std::lock_guard hold(lock_);
    auto* entry = new CMostWantedEntry{url, target, tail_, nullptr, socket};
    if (tail_) {
        tail_->next = entry;
    } else {
        head_ = entry;
    }
    tail_ = entry;
    count_.fetch_add(1, std::memory_order_release);
}

void CMostWantedList::Remove(CMostWantedEntry* entry) {
    if (!entry) {
        return;
    }
    std::lock_guard hold(lock_);
    (entry->previous ? entry->previous->next : head_) = entry->next;
    (entry->next ? entry->next->previous : tail_) = entry->previous;
    delete entry;
    count_.fetch_sub(1, std::memory_order_release);
}

void CMostWantedList::RemoveSocket(SOCKET socket) {
    std::lock_guard hold(lock_);
    CMostWantedEntry* entry = nullptr;
    if (IsMostWanted(socket, &entry)) {
        Remove(entry);
    }
}

} // namespace zul
