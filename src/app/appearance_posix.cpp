#include "app/appearance.h"

namespace lk58 {

// Debian's fonts-liberation, which the package depends on.
QString SansFamily() { return QStringLiteral("Liberation Sans"); }
QString MonoFamily() { return QStringLiteral("Liberation Mono"); }

void AddFontStandIns() {}

} // namespace lk58
