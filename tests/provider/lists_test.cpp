#include "provider/most_wanted_list.h"
#include "provider/popup_list.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

TEST(MostWantedList, OldestEntryOfASocketIsFoundFirst) {
    zul::CMostWantedList list;
    list.Add(1, "http://a/1", "t");
    list.Add(2, "http://b/", "t");
    list.Add(1, "http://a/2", "t");
    zul::CMostWantedEntry* entry = nullptr;
    ASSERT_TRUE(list.IsMostWanted(1, &entry));
    EXPECT_EQ(entry->url, "http://a/1");
    list.Remove(entry);
    ASSERT_TRUE(list.IsMostWanted(1, &entry));
    EXPECT_EQ(entry->url, "http://a/2");
    list.RemoveSocket(1);
    EXPECT_FALSE(list.IsMostWanted(1, &entry));
    ASSERT_TRUE(list.IsMostWanted(2, &entry));
    EXPECT_EQ(entry->target, "t");
    list.RemoveSocket(2);
    list.RemoveSocket(2);
    EXPECT_FALSE(list.IsMostWanted(2, nullptr));
    list.Add(3, "http://c/", "t");
    EXPECT_TRUE(list.IsMostWanted(3, nullptr));
}

TEST(MostWantedList, RemovingHeadMiddleAndTailKeepsTheLinks) {
    zul::CMostWantedList list;
    for (SOCKET s = 1; s <= 5; ++s) {
        list.Add(s, "u", "t");
    }
    for (SOCKET s : {SOCKET(3), SOCKET(1), SOCKET(5)}) {
        list.RemoveSocket(s);
        EXPECT_FALSE(list.IsMostWanted(s, nullptr));
    }
    EXPECT_TRUE(list.IsMostWanted(2, nullptr));
    EXPECT_TRUE(list.IsMostWanted(4, nullptr));
    list.Add(6, "u", "t");
    list.RemoveSocket(4);
    list.RemoveSocket(2);
    list.RemoveSocket(6);
    for (SOCKET s = 1; s <= 6; ++s) {
        EXPECT_FALSE(list.IsMostWanted(s, nullptr));
    }
}

TEST(MostWantedList, ThreadsAddingAndRemovingLoseNothing) {
    zul::CMostWantedList list;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&list, t] {
            for (int i = 0; i < 500; ++i) {
                list.Add(SOCKET(t), "u", "t");
                list.Add(SOCKET(t), "u", "t");
                list.RemoveSocket(SOCKET(t));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < 4; ++t) {
        int count = 0;
        while (list.IsMostWanted(SOCKET(t), nullptr)) {
            list.RemoveSocket(SOCKET(t));
            ++count;
        }
        EXPECT_EQ(count, 500);
    }
}

TEST(PopupList, EachSocketAtMostOnce) {
    zul::CPopupList list;
    EXPECT_FALSE(list.Find(7));
    list.Add(7);
    list.Add(7);
    list.Add(8);
    EXPECT_TRUE(list.Find(7));
    list.Remove(7);
    EXPECT_FALSE(list.Find(7));
    list.Remove(7);
    EXPECT_TRUE(list.Find(8));
    for (SOCKET large : {SOCKET(65535), SOCKET(65536), SOCKET(1) << 40}) {
        list.Add(large);
        list.Add(large);
        EXPECT_TRUE(list.Find(large));
        list.Remove(large);
        EXPECT_FALSE(list.Find(large));
    }
    EXPECT_TRUE(list.Find(8));
}

} // namespace
