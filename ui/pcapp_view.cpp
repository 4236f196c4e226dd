#include "ui/pcapp_view.h"

#include <QUrl>

CPCAppView::CPCAppView(std::string installFolder, QWidget* parent)
    : QTextBrowser(parent), installFolder_(std::move(installFolder)) {
    setOpenLinks(true);
    setOpenExternalLinks(false);
}

std::string CPCAppView::StartPage() const {
    return installFolder_ + "/splash/frame.htm";
}

void CPCAppView::ShowStartPage() {
    setSource(QUrl::fromLocalFile(QString::fromLocal8Bit(StartPage().c_str())));
    clearHistory();
}
