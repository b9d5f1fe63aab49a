#include "ui/app/MessageBoxes.h"

#include <QApplication>
#include <QWidget>

#include <utility>

namespace mv::ui {

namespace {

TMessageHandler& Handler() {
    static TMessageHandler handler;
    return handler;
}

QMessageBox::Icon IconOf(TMessageKind kind) {
    switch (kind) {
    case TMessageKind::Information: return QMessageBox::Information;
    case TMessageKind::Warning: return QMessageBox::Warning;
    case TMessageKind::Error: return QMessageBox::Critical;
    case TMessageKind::Question: return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

QMessageBox::StandardButton ShowMessage(QWidget* parent, const TMessageRequest& request) {
    if (Handler()) return Handler()(request);
    QMessageBox box(IconOf(request.Kind),
                    request.Title.isEmpty() ? QApplication::applicationDisplayName() : request.Title,
                    request.Text, request.Buttons, parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QMessageBox::StandardButton ShowMessage(QWidget* parent, TMessageKind kind, const QString& title,
                                        const QString& text) {
    return ShowMessage(parent, TMessageRequest{kind, title, text, QMessageBox::Ok});
}

TMessageHandler SetMessageHandler(TMessageHandler handler) {
    return std::exchange(Handler(), std::move(handler));
}

}  // namespace mv::ui
