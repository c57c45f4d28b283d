#include "app/password_dialog.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "tables/password_encodings.h"
#include "tables/pirin_session.h"

namespace vorlano {

namespace {

// The typed text in the code pages a table may keep its password in.
std::vector<std::string> PasswordForms(const QString& text) {
    return pirin::PasswordEncodings(
        std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                            static_cast<std::size_t>(text.size())));
}

}  // namespace

TPirinPasswordDialog::TPirinPasswordDialog(pirin::TPirinSession& session, QWidget* parent)
    : QDialog(parent), FSession(session) {
    setWindowTitle("Enter password");
    setModal(true);
    auto* group = new QGroupBox("Password", this);
    FEdit = new QLineEdit(group);
    FEdit->setObjectName("Edit");
    FEdit->setEchoMode(QLineEdit::Password);  // shown masked
    FAdd = new QPushButton("&Add", group);
    FRemove = new QPushButton("&Remove", group);
    FRemoveAll = new QPushButton("Re&move all", group);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(FEdit);
    auto* row = new QHBoxLayout;
    row->addWidget(FAdd);
    row->addWidget(FRemove);
    row->addWidget(FRemoveAll);
    groupLayout->addLayout(row);

    FOK = new QPushButton("&OK", this);
    FOK->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(FOK);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttons);

    connect(FEdit, &QLineEdit::textChanged, this, [this] { EditChange(); });
    connect(FAdd, &QPushButton::clicked, this, [this] {
        for (const std::string& form : PasswordForms(FEdit->text())) FSession.AddPassword(form);
        FAdded = true;
        FEdit->clear();
        FEdit->setFocus();
        EditChange();
    });
    connect(FRemove, &QPushButton::clicked, this, [this] {
        for (const std::string& form : PasswordForms(FEdit->text())) FSession.RemovePassword(form);
        FEdit->clear();
        FEdit->setFocus();
    });
    connect(FRemoveAll, &QPushButton::clicked, this, [this] {
        FSession.RemoveAllPasswords();
        FEdit->setFocus();
    });
    connect(FOK, &QPushButton::clicked, this, [this] {
        for (const std::string& form : PasswordForms(FEdit->text())) FSession.AddPassword(form);
        accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    EditChange();
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}

void TPirinPasswordDialog::EditChange() {
    const bool hasText = !FEdit->text().isEmpty();
    FAdd->setEnabled(hasText);
    FRemove->setEnabled(hasText);
    FOK->setEnabled(hasText || FAdded);
}

void TPirinPasswordDialog::Install() {
    pirin::TPirinSession::SetPasswordDialog([](pirin::TPirinSession& session) {
        TPirinPasswordDialog dialog(session);
        return dialog.exec() == QDialog::Accepted;
    });
}

}  // namespace vorlano
