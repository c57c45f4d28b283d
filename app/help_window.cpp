#include "app/help_window.h"

#include <QFileInfo>
#include <QUrl>
#include <QVBoxLayout>

namespace vorlano {

TfHelp::TfHelp(QWidget* anchor)
    : QWidget(nullptr), FAnchor(anchor), FBrowser(new QTextBrowser(this)) {
    setObjectName("fHelp");
    setWindowTitle(QStringLiteral("Помощ"));
    FBrowser->setObjectName("webHelp");
    FBrowser->setOpenExternalLinks(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(FBrowser);
    resize(526, 382);
}

void TfHelp::ShowPage(const QString& path) {
    if (QFileInfo::exists(path)) {
        FBrowser->setSource(QUrl::fromLocalFile(path));
    } else {
        FBrowser->setHtml(
            QStringLiteral("<p>Страницата <b>%1</b> не е намерена.</p>").arg(path.toHtmlEscaped()));
    }
    Present();
}

void TfHelp::ShowCurrent() { Present(); }

void TfHelp::Present() {
    if (isVisible()) {
        raise();
        activateWindow();
        return;
    }
    show();
    activateWindow();
}

void TfHelp::showEvent(QShowEvent* e) {
    setWindowState(windowState() &
                   ~(Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
    if (FAnchor) move(FAnchor->frameGeometry().topLeft());
    resize(526, 382);
    QWidget::showEvent(e);
}

}  // namespace vorlano
