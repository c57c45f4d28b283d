// TPirinPasswordDialog: the session's password prompt. A small modal
// dialog "Enter password", centred on the screen: a group "Password" with a
// masked edit and the buttons "&Add", "&Remove" and "Re&move all", and
// "&OK" (default) and "Cancel" below. Add and Remove are enabled while the
// edit holds text; OK while it holds text or a password was added in this
// dialog. OK registers the typed password and accepts.
//
// Ownership: works on a session it does not own. Threads: GUI thread.
// Failures: the session's errors pass through.
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace pirin {
class TPirinSession;
}

namespace vorlano {

class TPirinPasswordDialog : public QDialog {
    Q_OBJECT
  public:
    explicit TPirinPasswordDialog(pirin::TPirinSession& session, QWidget* parent = nullptr);

    QLineEdit* Edit() const noexcept { return FEdit; }
    QPushButton* AddButton() const noexcept { return FAdd; }
    QPushButton* RemoveButton() const noexcept { return FRemove; }
    QPushButton* RemoveAllButton() const noexcept { return FRemoveAll; }
    QPushButton* OKButton() const noexcept { return FOK; }

    // Installs the dialog as the prompt of every session.
    static void Install();

  private:
    void EditChange();

    pirin::TPirinSession& FSession;
    bool FAdded = false;
    QLineEdit* FEdit;
    QPushButton* FAdd;
    QPushButton* FRemove;
    QPushButton* FRemoveAll;
    QPushButton* FOK;
};

}  // namespace vorlano
