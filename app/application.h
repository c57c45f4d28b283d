// The application object: title "Речник", and the one central handler
// that shows the text of any error escaping an event handler in a plain
// message box (title "Речник", no icon, one OK) while the program keeps
// running.
//
// Ownership: one per process, made by main(). Threads: GUI thread.
// Failures: none escape notify().
#pragma once

#include <QApplication>
#include <QString>
#include <functional>

namespace vorlano {

inline const QString kApplicationTitle = QStringLiteral("Речник");

// The plain message box of the program.
void ShowPlainMessage(QWidget* parent, const QString& text);

class TVorlanoApplication : public QApplication {
  public:
    TVorlanoApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Shows the error as the central handler does (also for errors caught
    // outside the event loop, such as during start-up).
    static void ShowError(const QString& text);
    // Replaces the message box (tests).
    static void SetErrorSink(std::function<void(const QString&)> sink);
};

}  // namespace vorlano
