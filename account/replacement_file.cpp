#include "account/replacement_file.h"

#include "common/text.h"

#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

ReplacementFile::ReplacementFile(const std::string& target)
    : target_(target), path_(target + ".new"), file_(std::fopen(path_.c_str(), "wbe")) {}

ReplacementFile::~ReplacementFile() {
    if (file_) {
        std::fclose(file_);
        std::remove(path_.c_str());
    }
}

void ReplacementFile::Write(const std::string& text) {
    std::string bytes = qm::WithCrLf(text);
    if (file_ && std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
        failed_ = true;
    }
}

bool ReplacementFile::Commit(const std::function<void(const std::string&)>& beforeRename) {
    if (!file_) {
        return false;
    }
    bool ok = !failed_ && std::fflush(file_) == 0 && ::fsync(fileno(file_)) == 0;
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (ok && beforeRename) {
        beforeRename(path_);
    }
    if (!ok || std::rename(path_.c_str(), target_.c_str()) != 0) {
        std::remove(path_.c_str());
        return false;
    }
    std::string folder = std::filesystem::path(target_).parent_path().string();
    int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir); // the rename itself reaches the disk
        ::close(dir);
    }
    return true;
}
