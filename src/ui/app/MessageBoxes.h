#pragma once
// Every message box of the program goes through ShowMessage(), so that
// tests can answer them without a person in front of the screen: a test
// installs a handler, which receives the request instead of a box being
// shown, and returns the button the operator would have pressed.

#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

namespace mv::ui {

enum class TMessageKind { Information, Warning, Error, Question };

struct TMessageRequest {
    TMessageKind Kind = TMessageKind::Information;
    QString Title;
    QString Text;
    QMessageBox::StandardButtons Buttons = QMessageBox::Ok;
};

using TMessageHandler = std::function<QMessageBox::StandardButton(const TMessageRequest&)>;

// Shows the box modally (or hands it to the installed handler) and returns
// the button pressed.
QMessageBox::StandardButton ShowMessage(QWidget* parent, const TMessageRequest& request);
QMessageBox::StandardButton ShowMessage(QWidget* parent, TMessageKind kind, const QString& title,
                                        const QString& text);

// Installs `handler` (empty: real boxes again); returns the one it replaces.
TMessageHandler SetMessageHandler(TMessageHandler handler);

}  // namespace mv::ui
