#pragma once

// "Find" beside Connect: pings every port of the list at once, selects the
// first one where a converter answers and connects to it, or says that none
// answered and which ports were tried. A progress dialog shows how many
// ports have given their result, and its Cancel stops the search.

#include <QObject>

class QToolButton;

namespace lk58 {

class TFrmMain;

class TPortFinder : public QObject {
    Q_OBJECT

public:
    // Places its button on the port panel, beside Connect.
    explicit TPortFinder(TFrmMain& frm);

    QToolButton* BtnFind = nullptr;

    void SetLang(int lang);

public slots:
    void BtnFindClick();

private:
    // The name of the port that answered, or an empty text. By name: the
    // port list may be read again (a device plugged) while the search runs.
    QString Search(const QStringList& ports);

    TFrmMain& frm_;
    int lang_ = 0;
};

} // namespace lk58
