#include "installer/kovdiag/winsock_diag_dlg.h"

#include "installer/catalog_snapshot.h"
#include "installer/kovdiag/control_ids.h"
#include "installer/kovdiag/debug_level.h"
#include "installer/kovdiag/diag_app.h"
#include "installer/kovdiag/diag_installer.h"
#include "installer/kovdiag/provider_properties_dlg.h"
#include "platform/qt/message_box.h"

#include <QApplication>
#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <functional>

using namespace kovdiag;

namespace {

// The catalog tree; F5 asks for a refill.
class ProviderTree : public QTreeWidget {
  public:
    ProviderTree(QWidget* parent, std::function<void()> refresh)
        : QTreeWidget(parent), m_refresh(std::move(refresh)) {}

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_F5) {
            m_refresh();
            return;
        }
        QTreeWidget::keyPressEvent(event);
    }

  private:
    std::function<void()> m_refresh;
};

QPushButton* Button(const char* text, int id, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(ControlName(id));
    button->setAutoDefault(false);
    return button;
}

void ShowError(const char* what, const char* caption, int result) {
    platform::MessageBox("Error: " + std::to_string(result) + " ocurred while trying to " + what +
                             ".",
                         caption, platform::MB_OK);
}

} // namespace

CWinsockDiagDlg::CWinsockDiagDlg(CDiagApp& app, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_app(app) {
    setWindowTitle("Winsock Diagnostics (Version 2.3)");
    setFont(QFont("MS Sans Serif", 8));
    setFixedSize(DluX(249), DluY(210));
    setWindowIcon(QApplication::style()->standardIcon(QStyle::SP_ComputerIcon));
    auto* layout = new QVBoxLayout(this);

    auto* handler = new QGroupBox("LSP Handler:", this);
    auto* handlerLayout = new QVBoxLayout(handler);
    m_tree = new ProviderTree(handler, [this] { FillTree(); });
    m_tree->setObjectName(ControlName(IDC_PROVIDER_TREE));
    m_tree->setHeaderHidden(true);
    m_tree->setRootIsDecorated(true);
    handlerLayout->addWidget(m_tree);
    auto* catalogButtons = new QHBoxLayout;
    auto* install = Button("Install OV", IDC_INSTALL, handler);
    auto* uninstall = Button("Uninstall OV", IDC_UNINSTALL, handler);
    catalogButtons->addWidget(install);
    catalogButtons->addWidget(uninstall);
    handlerLayout->addLayout(catalogButtons);
    layout->addWidget(handler);

    auto* levels = new QGroupBox("Debug Levels:", this);
    auto* levelsLayout = new QHBoxLayout(levels);
    m_levels = new QButtonGroup(this);
    for (auto [id, text] :
         {std::pair{IDC_DEBUG_OFF, "Off"}, std::pair{IDC_DEBUG_HIGH, "High"},
          std::pair{IDC_DEBUG_MEDIUM, "Medium"}, std::pair{IDC_DEBUG_LOW, "Low"}}) {
        auto* radio = new QRadioButton(text, levels);
        radio->setObjectName(ControlName(id));
        m_levels->addButton(radio, id);
        levelsLayout->addWidget(radio);
    }
    layout->addWidget(levels);

    auto* done = new QPushButton("Done", this);
    done->setObjectName(ControlName(IDOK_DONE));
    done->setDefault(true);
    layout->addWidget(done, 0, Qt::AlignRight);

    connect(install, &QPushButton::clicked, this, [this] { OnInstall(); });
    connect(uninstall, &QPushButton::clicked, this, [this] { OnUninstall(); });
    connect(done, &QPushButton::clicked, this, [this] { OnDone(); });
    // Queued: the properties dialog may refill the tree, which must not happen
    // while the tree is still delivering the double-click.
    connect(
        m_tree, &QTreeWidget::itemDoubleClicked, this, [this] { OnProperties(); },
        Qt::QueuedConnection);

    if (QAbstractButton* stored = m_levels->button(StoredDebugLevelButton())) {
        stored->setChecked(true);
    }
    FillTree();
}

CWinsockDiagDlg::~CWinsockDiagDlg() = default;

QTreeWidgetItem* CWinsockDiagDlg::AddItem(const WSAPROTOCOL_INFOW& info, QTreeWidgetItem* parent) {
    std::string name = qm::ProtocolName(info);
    m_items.push_back(std::make_unique<CProviderItem>(
        CProviderItem{info.ProviderId, info.dwCatalogEntryId, info.ProtocolChain.ChainLen, name}));
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(m_tree);
    item->setText(0, QString::fromStdString(name));
    item->setData(0, Qt::UserRole, QVariant::fromValue(quintptr(m_items.back().get())));
    return item;
}

void CWinsockDiagDlg::FillTree() {
    m_tree->clear();
    m_items.clear();
    std::vector<WSAPROTOCOL_INFOW> records = qm::EnumerateCatalog();
    for (const auto& info : records) {
        if (qm::ProtocolName(info).find("MSAFD NetBIOS [") != std::string::npos) {
            continue;
        }
        QTreeWidgetItem* root = AddItem(info, nullptr);
        int length = info.ProtocolChain.ChainLen;
        for (int i = 0; length > 1 && i < length && i < MAX_PROTOCOL_CHAIN; ++i) {
            for (const auto& layer : records) {
                if (layer.dwCatalogEntryId == info.ProtocolChain.ChainEntries[i]) {
                    AddItem(layer, root);
                }
            }
        }
    }
}

void CWinsockDiagDlg::OnInstall() {
    if (!m_app.AskUnlockCode(this)) {
        return;
    }
    CDiagInstaller installer;
    if (int result = installer.install(); result != 0) {
        ShowError("install", "Install Error", result);
        return;
    }
    FillTree();
}

void CWinsockDiagDlg::OnUninstall() {
    if (!m_app.AskUnlockCode(this)) {
        return;
    }
    CDiagInstaller installer;
    if (int result = installer.uninstall(); result != 0) {
        ShowError("uninstall", "Uninstall Error", result);
        return;
    }
    FillTree();
}

void CWinsockDiagDlg::OnProperties() {
    QTreeWidgetItem* selected = m_tree->currentItem();
    if (!selected) {
        return;
    }
    auto* item =
        reinterpret_cast<CProviderItem*>(selected->data(0, Qt::UserRole).value<quintptr>());
    CProviderPropertiesDlg dialog(*item, m_app, this);
    platform::ExecDialog(dialog);
}

void CWinsockDiagDlg::OnDone() {
    StoreDebugLevelButton(m_levels->checkedId());
    m_tree->clear();
    m_items.clear();
    accept();
}
