#pragma once

#include <QStringList>

namespace lk58 {

// The item lists that change with the language (0 Czech, 1 English).
QStringList WireItems(int lang);
QStringList InErrItems(int lang);

} // namespace lk58
