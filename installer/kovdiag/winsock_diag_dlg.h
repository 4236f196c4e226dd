#pragma once
// The diagnostic tool's main dialog: the socket catalog as a tree (chains
// unfold into their layers, top first), install and removal of the provider
// behind the unlock code, and the provider's debug level.

#include "installer/kovdiag/provider_item.h"
#include "platform/winsock_types.h"

#include <QDialog>

#include <memory>
#include <vector>

class CDiagApp;
class QButtonGroup;
class QTreeWidget;
class QTreeWidgetItem;

class CWinsockDiagDlg : public QDialog {
  public:
    explicit CWinsockDiagDlg(CDiagApp& app, QWidget* parent = nullptr);
    ~CWinsockDiagDlg() override;

    // Empties the tree and fills it from a fresh enumeration of the catalog.
    void FillTree();

    QTreeWidget* tree() const { return m_tree; }

  private:
    void OnInstall();
    void OnUninstall();
    void OnProperties();
    void OnDone();
    QTreeWidgetItem* AddItem(const WSAPROTOCOL_INFOW& info, QTreeWidgetItem* parent);

    CDiagApp& m_app;
    QTreeWidget* m_tree;
    QButtonGroup* m_levels;
    std::vector<std::unique_ptr<CProviderItem>> m_items;
};
