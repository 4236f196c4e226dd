#include "ui/notify_record.h"

#include <cstdio>
#include <cstdlib>

void RecordNotification(unsigned displayMs, const std::string& html) {
    const char* file = std::getenv("QUELLMARK_NOTIFY_RECORD");
    if (!file || !*file) {
        return;
    }
    if (std::FILE* out = std::fopen(file, "a")) {
        std::fprintf(out, "%s|%u\n", html.c_str(), displayMs);
        std::fclose(out);
    }
}
