#include "service/channel_request.h"

#include <cstring>

ChannelRequest ReadChannelRequest(const char* bytes, std::size_t count) {
    ChannelRequest request;
    if (count == 0) {
        return request; // nothing received: no bytes to look at
    }
    request.text.assign(bytes, ::strnlen(bytes, count)); // the request ends at the first NUL
    request.program = request.text.compare(0, 3, "AB:") == 0;
    return request;
}
