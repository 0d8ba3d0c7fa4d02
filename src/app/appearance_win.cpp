#include "app/appearance.h"

#include <QFont>

namespace lk58 {

// Every Windows has these; the Liberation fonts were drawn to their widths.
QString SansFamily() { return QStringLiteral("Arial"); }
QString MonoFamily() { return QStringLiteral("Courier New"); }

// Wine has neither, but lists the Liberation fonts of the system it runs on.
void AddFontStandIns()
{
    QFont::insertSubstitution(SansFamily(), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(MonoFamily(), QStringLiteral("Liberation Mono"));
}

} // namespace lk58
