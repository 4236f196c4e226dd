#include "platform/registry_hive.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using platform::hive::Hive;

std::vector<std::string> Paths(const Hive& hive) {
    std::vector<std::string> paths;
    for (const auto& key : hive.keys) {
        paths.push_back(key.path);
    }
    return paths;
}

// Keys are found without regard to case; a key and its missing parents are
// added in the order of the path, in the case first written.
TEST(RegistryHive, KeysAreAddedOnceWhateverTheirCaseParentsFirst) {
    Hive hive = platform::hive::Parse("REGEDIT4\n"
                                      "[HKEY_CURRENT_USER\\Software\\Quellmark\\Settings]\n"
                                      "\"A\"=\"1\"\n"
                                      "[HKEY_CURRENT_USER\\SOFTWARE]\n"
                                      "\"B\"=\"2\"\n"
                                      "[HKEY_CURRENT_USER\\software\\quellmark\\SETTINGS]\n"
                                      "\"a\"=\"3\"\n"
                                      "[HKEY_CURRENT_USER\\x\\\\y]\n"
                                      "[HKEY_CURRENT_USER\\\\z]\n",
                                      "HKEY_CURRENT_USER");
    EXPECT_FALSE(hive.damaged);
    EXPECT_EQ(Paths(hive), (std::vector<std::string>{"Software", "Software\\Quellmark",
                                                     "Software\\Quellmark\\Settings", "x", "x\\",
                                                     "x\\\\y", "", "\\z"}));
    ASSERT_EQ(hive.keys[0].values.size(), 1u);
    EXPECT_EQ(hive.keys[0].values[0].name, "B");
    ASSERT_EQ(hive.keys[2].values.size(), 1u);
    EXPECT_EQ(hive.keys[2].values[0].data, "3");

    EXPECT_EQ(&hive.Create("SOFTWARE\\QUELLMARK"), &hive.keys[1]);
    hive.Create("software\\Quellmark\\Settings\\New\\Leaf");
    EXPECT_EQ(hive.keys.size(), 10u);
    EXPECT_EQ(hive.keys[8].path, "software\\Quellmark\\Settings\\New");
    EXPECT_EQ(hive.keys[9].path, "software\\Quellmark\\Settings\\New\\Leaf");
    EXPECT_EQ(platform::hive::Parse(platform::hive::Format(hive, "HKEY_CURRENT_USER"),
                                    "HKEY_CURRENT_USER")
                  .keys.size(),
              10u);

    // A parent removed on its own is added again before its new child; the
    // child's other parents are kept.
    std::erase_if(hive.keys, [](const auto& key) { return key.path == "Software"; });
    hive.Create("software\\quellmark\\Other");
    EXPECT_EQ(hive.keys.size(), 11u);
    EXPECT_EQ(hive.keys[9].path, "software");
    EXPECT_EQ(hive.keys[10].path, "software\\quellmark\\Other");
}

} // namespace
