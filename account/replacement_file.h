#pragma once
// A text file written beside its target ("<target>.new") and then put in the
// target's place in one step: flushed to disk and renamed over it, so the
// target is at every moment either the old file or the new one, whole. It is
// written in text mode: lines end with carriage return + line feed on disk.

#include <cstdio>
#include <functional>
#include <string>

class ReplacementFile {
  public:
    explicit ReplacementFile(const std::string& target);
    ~ReplacementFile(); // an uncommitted file is removed
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    bool IsOpen() const { return file_ != nullptr; }
    // Writes the text with every line end made carriage return + line feed.
    void Write(const std::string& text);
    // Flushes and closes the new file, hands its finished path to
    // beforeRename (so the caller can record what recognises it before it
    // takes the target's place), renames it over the target and flushes the
    // folder; false (target untouched) on any failure.
    bool Commit(const std::function<void(const std::string&)>& beforeRename = {});

  private:
    std::string target_;
    std::string path_;
    std::FILE* file_ = nullptr;
    bool failed_ = false;
};
