#pragma once

namespace lk58::ctl {

// What the help says differently on each system (one file per platform).
struct TPlatformTexts {
    const char* backupFolder;   // where backups go, as the user would look for it
    const char* backupNoFolder; // when there is none: "; ..." or empty
    const char* ports[5];     // port names for the examples
};

extern const TPlatformTexts kPlatformTexts;

} // namespace lk58::ctl
