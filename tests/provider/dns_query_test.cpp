// The name query reader: which queries ask for service bindings, over whole,
// cut and garbled queries. Every input lies in a buffer of its exact size, so
// the address sanitizer sees any read past its end.

#include "provider/dns_query.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// A header (id 7, recursion desired unless flags say otherwise) and questions
// of the given types, the first for site.test, later ones pointing back to it.
Bytes Query(std::vector<unsigned> types, unsigned flags = 0x0100) {
    Bytes out{0,
              7,
              static_cast<unsigned char>(flags >> 8),
              static_cast<unsigned char>(flags),
              0,
              static_cast<unsigned char>(types.size()),
              0,
              0,
              0,
              0,
              0,
              0};
    for (std::size_t i = 0; i < types.size(); ++i) {
        Bytes name =
            i == 0 ? Bytes{4, 's', 'i', 't', 'e', 4, 't', 'e', 's', 't', 0} : Bytes{0xC0, 12};
        out.insert(out.end(), name.begin(), name.end());
        Bytes typeAndClass{static_cast<unsigned char>(types[i] >> 8),
                           static_cast<unsigned char>(types[i]), 0, 1};
        out.insert(out.end(), typeAndClass.begin(), typeAndClass.end());
    }
    return out;
}

bool Asks(const Bytes& query) {
    std::vector<unsigned char> exact(query); // a heap block of exactly this size
    return zul::AsksForServiceBindings(exact.data(), exact.size());
}

TEST(DnsQuery, OnlyQuestionsForServiceBindingsAreFound) {
    EXPECT_TRUE(Asks(Query({65})));
    EXPECT_TRUE(Asks(Query({64})));
    EXPECT_TRUE(Asks(Query({1, 65}))); // the second question, its name a pointer
    EXPECT_FALSE(Asks(Query({1})));
    EXPECT_FALSE(Asks(Query({28, 16})));
    EXPECT_FALSE(Asks(Query({})));
    EXPECT_FALSE(Asks(Query({65}, 0x8180))); // an answer, not a query
    EXPECT_FALSE(Asks(Query({65}, 0x2800))); // opcode UPDATE
}

TEST(DnsQuery, CutOrGarbledQueriesAreNotReadPastTheirEnd) {
    Bytes whole = Query({1, 65});
    for (std::size_t size = 0; size < whole.size(); ++size) {
        EXPECT_FALSE(Asks(Bytes(whole.begin(), whole.begin() + std::ptrdiff_t(size)))) << size;
    }
    Bytes badLabel = Query({65});
    badLabel[12] = 0x40; // a label type that is neither a length nor a pointer
    EXPECT_FALSE(Asks(badLabel));
    Bytes longLabel = Query({65});
    longLabel[12] = 63; // a label running past the end
    EXPECT_FALSE(Asks(longLabel));
    Bytes manyQuestions = Query({65});
    manyQuestions[4] = 0xFF; // more questions counted than there are
    EXPECT_TRUE(Asks(manyQuestions));
    EXPECT_FALSE(zul::AsksForServiceBindings(nullptr, 0));
}

} // namespace
