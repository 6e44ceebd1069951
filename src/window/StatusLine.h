#pragma once

#include "foundation/CommonWidgets.h"
#include "window/BridgeWindow.h"

#include <QWidget>

class QLabel;

// The connection status as one line of words with its indicator.
class StatusLine : public QWidget {
    Q_OBJECT
public:
    StatusLine(ConnectStatus status, BridgePort port, QWidget* parent = nullptr);
    void setStatus(ConnectStatus status, BridgePort port);
    QString text() const;

private:
    Spinner* m_spinner;
    SymbolView* m_symbol;
    QLabel* m_label;
};
