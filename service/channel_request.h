#pragma once
// What one receive of the local filter channel asks: the bytes up to the first
// NUL are the request; "AB:" port "," program asks about a program, anything
// else is a site address.

#include <cstddef>
#include <string>

struct ChannelRequest {
    std::string text;
    bool program = false; // a program question ("AB:"), else a site question
};

ChannelRequest ReadChannelRequest(const char* bytes, std::size_t count);
