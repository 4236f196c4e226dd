#include "installer/secrets.h"

#include <cstddef>

namespace qm {
namespace {

// Pieces of all three texts, stored out of order. The order tables are read
// through a volatile index so the compiler cannot fold a text back together.
const char* const kPieces[] = {"ern", "Kit", "lowM", "Jay", "orl", "Sil",
                               "art", "eWh", "verF", "Hol", "en"};

std::string Assemble(const int* order, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        volatile int piece = order[i];
        text += kPieces[piece];
    }
    return text;
}

} // namespace

std::string InstallSecret() {
    static const int order[] = {9, 2, 6, 10};
    return Assemble(order, 4);
}

std::string RemovalSecret() {
    static const int order[] = {1, 7, 4};
    return Assemble(order, 3);
}

std::string UnlockSecret() {
    static const int order[] = {5, 8, 0, 3};
    return Assemble(order, 4);
}

} // namespace qm
