#include "common/account_secrets.h"

#include "common/text.h"

#include <algorithm>

namespace qm {
namespace {

std::string Reversed(std::string piece) {
    std::reverse(piece.begin(), piece.end());
    return piece;
}

} // namespace

std::string VerificationConstant() {
    std::string text = "Vr";
    text += Reversed("qK7");
    text += "m2";
    text += ToUpper("zt");
    text += "x9L";
    return text;
}

std::string IntegrityConstant() {
    std::string text = "pR";
    text += Reversed("4e");
    text += "Hw";
    text += ToUpper("nj");
    text += "81";
    text += Reversed("oUc");
    text += "Td";
    return text;
}

} // namespace qm
