#include "account/category_table.h"

namespace {

constexpr const char* kNames[64] = {
    "Adults Only ",
    "Alcohol ",
    "Auction ",
    "Chat ",
    "Hate/Discrimination ",
    "Electronic Commerce ",
    "Free Mail ",
    "Free Pages ",
    "Gambling ",
    "Games ",
    "Tasteless/Gross ",
    "Illegal ",
    "Employment Search ",
    "Jokes ",
    "Profanity ",
    "Lingerie ",
    "Loophole ",
    "Message/Bulletin Boards ",
    "News ",
    "Nudity ",
    "Personal Information ",
    "Personals ",
    "Pornography ",
    "Recreation/Entertainment ",
    "School Cheating Information ",
    "Search Engines ",
    "Sex ",
    "Sports ",
    "Stocks ",
    "Murder/Suicide ",
    "Swimsuits ",
    "Tobacco ",
    "Violence ",
    "Weapons ",
    "Drugs ",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "", // 35 to 46
    "Search Terms ",
    "",
    "Education (Exception) ",
    "",
    "For Kids (Exception) ",
    "History (Exception) ",
    "Medical (Exception) ",
    "Moderated (Exception) ",
    "Text/Spoken Only (Exception) ",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "", // 56 to 63
};

} // namespace

const char* CategoryName(int bit) {
    return bit >= 0 && bit < 64 ? kNames[bit] : "";
}

std::string CategoryNames(std::uint64_t mask) {
    std::string names;
    for (int bit = 0; bit < 64; ++bit) {
        if (mask & (std::uint64_t(1) << bit)) {
            names += kNames[bit];
        }
    }
    return names;
}
