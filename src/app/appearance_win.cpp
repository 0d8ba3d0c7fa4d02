#include "app/appearance.h"

namespace lk58 {

// Every Windows has these; the Liberation fonts were drawn to their widths.
QString SansFamily() { return QStringLiteral("Arial"); }
QString MonoFamily() { return QStringLiteral("Courier New"); }

} // namespace lk58
