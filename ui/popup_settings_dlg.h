#pragma once
// The pop-up blocker settings dialog: the sites on which pop-ups are allowed,
// for one saved profile or for all profiles ("*"), kept in the "[POPUPS]"
// section of the preference file. Additions and removals are written at once.
// The window is skinned: its shape and face come from Dir +
// "/resources/settings1.bmp", and its buttons are painted on the skin.

#include <QDialog>
#include <QImage>

#include <string>

class CUserPrefs;
class QComboBox;
class QLineEdit;
class QListWidget;

class CPopupSettingsDlg : public QDialog {
    Q_OBJECT
  public:
    CPopupSettingsDlg(const std::string& installFolder, CUserPrefs& prefs,
                      QWidget* parent = nullptr);

    // Painted buttons, by their actions.
    void OnAdd();
    void OnRemove();

    QListWidget* SiteList() const { return sites_; }
    QComboBox* ProfileList() const { return profiles_; }
    QLineEdit* SiteEdit() const { return siteEdit_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void LoadSkin(const std::string& installFolder);
    void FillProfiles();
    void RefreshSites();
    std::string ChosenProfile() const;

    CUserPrefs& prefs_;
    QImage skin_;
    QListWidget* sites_;
    QComboBox* profiles_;
    QLineEdit* siteEdit_;
    std::string site_;
    QPoint dragFrom_;
    bool dragging_ = false;
};
