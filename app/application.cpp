#include "app/application.h"

#include <QMessageBox>
#include <exception>

namespace vorlano {
namespace {

std::function<void(const QString&)>& ErrorSink() {
    static std::function<void(const QString&)> sink;
    return sink;
}

}  // namespace

void ShowPlainMessage(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, kApplicationTitle, text, QMessageBox::Ok, parent);
    box.exec();
}

TVorlanoApplication::TVorlanoApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName("vorlano");
    setQuitOnLastWindowClosed(false);
}

bool TVorlanoApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowError(QString::fromUtf8(e.what()));
    } catch (...) {
        ShowError(QStringLiteral("Unknown error"));
    }
    return false;
}

void TVorlanoApplication::ShowError(const QString& text) {
    if (ErrorSink()) {
        ErrorSink()(text);
        return;
    }
    ShowPlainMessage(QApplication::activeWindow(), text);
}

void TVorlanoApplication::SetErrorSink(std::function<void(const QString&)> sink) {
    ErrorSink() = std::move(sink);
}

}  // namespace vorlano
