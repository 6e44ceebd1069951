#pragma once

#include "panel/PanelWidgets.h"
#include "panel/Payload.h"

#include <QList>
#include <QPlainTextEdit>
#include <QWidget>

class QLabel;
class SimulatorPanelModel;
class Thumbnail;

// The six report categories as chips in two rows; pressing the selected chip clears the choice.
class FlowChips : public QWidget {
    Q_OBJECT
public:
    explicit FlowChips(SimulatorPanelModel& model, QWidget* parent = nullptr);
    QList<PanelWidgets::Chip*> chips() const { return m_chips; }

private:
    void showSelected();

    SimulatorPanelModel& m_model;
    QList<PanelWidgets::Chip*> m_chips;
};

// A multi-line editor on a faint rounded plate, outlined in the brand colour while it has focus.
class RequestEditor : public QWidget {
    Q_OBJECT
public:
    explicit RequestEditor(QWidget* parent = nullptr);
    QPlainTextEdit* editor() const { return m_editor; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPlainTextEdit* m_editor;
};

// The packet preview: selectable monospaced text on a faint rounded plate.
class PacketPreview : public QWidget {
    Q_OBJECT
public:
    explicit PacketPreview(QWidget* parent = nullptr);
    void setPacket(const QString& packet);
    QPlainTextEdit* text() const { return m_text; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QPlainTextEdit* m_text;
};

// A pin's number in a brand-coloured badge, as the overlay and the annotated screenshot draw it.
class PinBadge : public QWidget {
    Q_OBJECT
public:
    PinBadge(int number, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {16, 16}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_number;
};

// Where the user turns the targeted elements into a report: the (first) element, the annotated
// screenshot and, for several, the pins to remove one by one, the categories, the request, the
// context preview, Copy as Prompt and Send.
class Composer : public QWidget {
    Q_OBJECT
public:
    explicit Composer(SimulatorPanelModel& model, QWidget* parent = nullptr);

    // The draft to show, handed over by the panel view.
    void setDraft(const Draft& draft);

    QPlainTextEdit* editor() const { return m_request->editor(); }
    PanelWidgets::PanelButton* sendButton() const { return m_send; }
    PanelWidgets::PanelButton* copyButton() const { return m_copy; }
    Thumbnail* thumbnail() const { return m_thumbnail; }
    // The remove button of each pin, in order; none for a single pin.
    QList<PanelWidgets::SymbolButton*> pinRemovers() const { return m_removers; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void showComment(const QString& comment);
    void showSending();
    void showPictures();
    void showPins(const Draft& draft);
    void sendIfAllowed();
    // The prompt and the annotated screenshot onto the clipboard, as one item.
    void copyPrompt();
    void setCopied(bool copied);

    SimulatorPanelModel& m_model;
    QWidget* m_elementRow;
    PanelWidgets::ClampedLabel* m_name;
    PanelWidgets::ClampedLabel* m_details;
    PanelWidgets::SymbolButton* m_discard;
    QWidget* m_picturesRow;
    Thumbnail* m_thumbnail;
    QWidget* m_pins;
    QList<PanelWidgets::SymbolButton*> m_removers;
    FlowChips* m_chips;
    RequestEditor* m_request;
    PanelWidgets::PanelButton* m_context;
    PanelWidgets::PanelButton* m_copy;
    PanelWidgets::PanelButton* m_send;
    PacketPreview* m_preview;
    int m_copies = 0;
};

// What the element row says of a pick: its name, and the details joined by " · ".
struct ElementText {
    QString name;
    QString details;
    bool monospaced; // the name is an identifier
};
ElementText elementText(const Draft& draft);
