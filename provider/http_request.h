#pragma once
// Recognising the start of an HTTP request in what a program sends, whatever
// its method, with carriage returns or bare line feeds, and whether enough of
// it has arrived to build its URL. Plain functions over bytes.

#include <cstddef>
#include <string_view>

namespace zul {

// The most of a request's start gathered over several sends before it is
// decided with what has come.
constexpr std::size_t kRequestStartMax = 8192;

enum class RequestStart {
    NotRequest, // not the start of a request
    Partial,    // may be one; more bytes are needed to build its URL
    Ready,      // a request whose URL can be built, or as much as will be gathered
};

// A method token (capital letters, "-" or "_") and a blank begin the text.
bool BeginsWithMethod(std::string_view text);
RequestStart ReadRequestStart(std::string_view text);

} // namespace zul
