#include "ctl/platformtexts.h"

namespace lk58::ctl {

const TPlatformTexts kPlatformTexts{
    "$XDG_DATA_HOME/LK58/backups (by default ~/.local/share/LK58/backups)",
    "; with neither XDG_DATA_HOME nor HOME set they refuse to write",
    {"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB2", "/dev/ttyUSB3", "/dev/ttyUSB4"},
};

} // namespace lk58::ctl
