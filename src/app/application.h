#pragma once

#include <QApplication>

namespace lk58 {

// Catches what escapes an event handler that is not guarded already, as a
// last resort: an exception must never unwind through Qt.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace lk58
