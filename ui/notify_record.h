#pragma once
// Notifications of a process started by a test can be recorded: with
// QUELLMARK_NOTIFY_RECORD naming a file, every text handed to the notification
// window is appended to it as one line "text|displayMs".

#include <string>

void RecordNotification(unsigned displayMs, const std::string& html);
