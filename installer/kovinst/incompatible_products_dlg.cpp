#include "installer/kovinst/incompatible_products_dlg.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {

// Dialog units of an 8-point dialog font, in pixels.
constexpr int DluX(int units) {
    return units * 3 / 2;
}
constexpr int DluY(int units) {
    return units * 13 / 8;
}

QLabel* Text(const char* text, const char* name, QWidget* parent) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setObjectName(name);
    label->setWordWrap(true);
    return label;
}

} // namespace

CIncompatibleProductsDlg::CIncompatibleProductsDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setWindowTitle("Incompatible Products Report");
    setFont(QFont("MS Sans Serif", 8));
    setFixedSize(DluX(293), DluY(138));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Text("The following product(s) have been found that are not compatible with "
                           "Orvane. In order to continue with installation, the product(s) listed "
                           "below will need to be removed. An",
                           "introText", this));
    layout->addWidget(Text("attempt has been made to provide a website for each product listed "
                           "that will give more information on what the incompatible product is "
                           "and how to remove it.",
                           "introText2", this));
    m_reportText = Text("", "reportText", this);
    m_reportText->setAlignment(Qt::AlignCenter);
    m_reportText->setFrameShape(QFrame::Box);
    m_reportText->setMinimumSize(DluX(242), DluY(33));
    layout->addWidget(m_reportText, 0, Qt::AlignHCenter);
    layout->addWidget(Text("Installation of Orvane is unable to continue.  Once the product(s) "
                           "listed above have been removed installation can be attempted again.",
                           "closingText", this));
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("okButton");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
}

void CIncompatibleProductsDlg::showEvent(QShowEvent* event) {
    m_reportText->setText(QString::fromUtf8(m_report.c_str()));
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
    raise();
    activateWindow();
    QDialog::showEvent(event);
}
