#pragma once
// A private installation for the targets that run the service's own code: a
// temporary folder (on /dev/shm when there is one, so that the many small
// writes stay in memory) with the registry and the installation folder, the
// account server named at a closed local port, message boxes answered at once,
// and the service's application object (not started) on the offscreen platform.
// Made once per process and removed when the process ends.

#include <string>

namespace fuzz {

class ServiceFixture {
  public:
    static ServiceFixture& Get();

    // The installation folder (the service's Dir).
    const std::string& InstallFolder() const { return install_; }
    // Replaces Dir/user.prefs with the text and records its integrity code, as
    // the service does after writing it.
    void WritePreferences(const std::string& text) const;

  private:
    ServiceFixture();
    std::string install_;
};

} // namespace fuzz
