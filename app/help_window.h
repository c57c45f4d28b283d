// The help window fHelp: an ordinary resizable window "Помощ" holding one
// QTextBrowser that fills it. Every time it becomes visible it is made
// normal, moved to the main window's top-left corner and sized 526 x 382;
// showing it while visible only raises it. Closing hides it; the browser
// keeps the last page (F1 shows it again, empty when none was loaded).
//
// Ownership: top-level, owned by main(). Threads: GUI thread.
// Failures: a missing page is shown by the browser as an empty page with a
// short note; nothing is raised.
#pragma once

#include <QString>
#include <QTextBrowser>
#include <QWidget>

namespace vorlano {

class TfHelp : public QWidget {
    Q_OBJECT
  public:
    // `anchor`: the main window whose corner the help window takes.
    explicit TfHelp(QWidget* anchor);

    QTextBrowser* webHelp() const noexcept { return FBrowser; }

    // Navigates to the page (a full path) and then shows the window.
    void ShowPage(const QString& path);
    // Shows the window as it is, without navigating (F1).
    void ShowCurrent();

  protected:
    void showEvent(QShowEvent*) override;

  private:
    void Present();

    QWidget* FAnchor;
    QTextBrowser* FBrowser;
};

}  // namespace vorlano
