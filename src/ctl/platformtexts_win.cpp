#include "ctl/platformtexts.h"

namespace lk58::ctl {

const TPlatformTexts kPlatformTexts{
    "%LOCALAPPDATA%\\LK58\\backups",
    "",
    {"COM3", "COM4", "COM5", "COM6", "COM7"},
};

} // namespace lk58::ctl
