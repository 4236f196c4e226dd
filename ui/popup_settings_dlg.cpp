#include "ui/popup_settings_dlg.h"

#include "account/user_prefs.h"
#include "common/text.h"
#include "platform/qt/message_box.h"
#include "platform/registry.h"
#include "ui/bitmap_region.h"
#include "ui/popup_site.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

namespace {

constexpr char kPopupsHeader[] = "[POPUPS]";
constexpr char kAllProfiles[] = "All Profiles";
constexpr char kPrefsErrorCaption[] = "User Preference File Error";
constexpr DWORD kProfileBufferSize = 30;

// Where the painted parts of the skin lie, in client pixels (right and bottom
// edges excluded).
const QRect kCaption(QPoint(0, 0), QPoint(576, 23));
const QRect kAddButton(QPoint(443, 276), QPoint(543, 296));
const QRect kRemoveButton(QPoint(443, 243), QPoint(543, 264));
const QRect kOkButton(QPoint(442, 364), QPoint(506, 387));
const QRect kCancelButton(QPoint(520, 364), QPoint(584, 387));
const QRect kCloseMark(QPoint(577, 4), QPoint(590, 18));
// The controls, placed in the skin's frames for them.
const QRect kProfileBox(20, 56, 400, 24);
const QRect kSiteListBox(20, 110, 400, 278);
const QRect kSiteEditBox(443, 206, 142, 24);
const QSize kSizeWithoutSkin(600, 400);

std::string Text(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

} // namespace

CPopupSettingsDlg::CPopupSettingsDlg(const std::string& installFolder, CUserPrefs& prefs,
                                     QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), prefs_(prefs),
      sites_(new QListWidget(this)), profiles_(new QComboBox(this)),
      siteEdit_(new QLineEdit(this)) {
    LoadSkin(installFolder);
    sites_->setSortingEnabled(true);
    sites_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    sites_->setGeometry(kSiteListBox);
    profiles_->setGeometry(kProfileBox);
    siteEdit_->setGeometry(kSiteEditBox);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    FillProfiles();
    connect(profiles_, &QComboBox::activated, this, [this] { RefreshSites(); });
    RefreshSites();
}

void CPopupSettingsDlg::LoadSkin(const std::string& installFolder) {
    skin_.load(QString::fromLocal8Bit((installFolder + "/resources/settings1.bmp").c_str()));
    setFixedSize(skin_.isNull() ? kSizeWithoutSkin : skin_.size());
    ShapeToSkin(*this, skin_, qRgb(255, 0, 255));
}

void CPopupSettingsDlg::FillProfiles() {
    profiles_->addItem(kAllProfiles);
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Quellmark\\UserProfiles", 0, KEY_READ, &key) ==
        ERROR_SUCCESS) {
        for (DWORD index = 0;; ++index) {
            char name[kProfileBufferSize] = {};
            char data[kProfileBufferSize] = {};
            DWORD nameSize = sizeof name;
            DWORD dataSize = sizeof data;
            DWORD type = 0;
            LONG result = RegEnumValueA(key, index, name, &nameSize, nullptr, &type,
                                        reinterpret_cast<BYTE*>(data), &dataSize);
            if (result == ERROR_NO_MORE_ITEMS) {
                break;
            }
            if (result == ERROR_SUCCESS && name[0] != '\0') {
                profiles_->addItem(QString::fromLocal8Bit(data));
            }
        }
        RegCloseKey(key);
    }
    profiles_->setCurrentIndex(0);
}

std::string CPopupSettingsDlg::ChosenProfile() const {
    std::string profile = Text(profiles_->currentText());
    return qm::EqualsNoCase(profile, kAllProfiles) ? "*" : profile;
}

void CPopupSettingsDlg::RefreshSites() {
    std::string profile = ChosenProfile();
    sites_->clear();
    std::string section = prefs_.SectionText(kPopupsHeader);
    std::string::size_type start = 0;
    while (start < section.size()) {
        std::string::size_type end = section.find('\n', start);
        std::string line = section.substr(start, end - start);
        start = end == std::string::npos ? section.size() : end + 1;
        std::string::size_type comma = line.find(',');
        if (comma != std::string::npos && qm::EqualsNoCase(line.substr(0, comma), profile)) {
            sites_->addItem(QString::fromLocal8Bit(line.substr(comma + 1).c_str()));
        }
    }
}

void CPopupSettingsDlg::OnAdd() {
    site_ = Text(siteEdit_->text());
    std::string pattern;
    if (const char* error = NormalizePopupSite(site_, pattern)) {
        platform::MessageBox(error, "Add Site Error", platform::MB_OK);
        return;
    }
    if (!prefs_.AddLine(kPopupsHeader, ChosenProfile() + "," + pattern)) {
        platform::MessageBox("There is a problem with your user preference file.  You will not be "
                             "able to\nadd popup blocker settings until you log out and log back "
                             "in.",
                             kPrefsErrorCaption, platform::MB_ICONERROR);
        return;
    }
    site_.clear();
    siteEdit_->clear();
    RefreshSites();
}

void CPopupSettingsDlg::OnRemove() {
    QListWidgetItem* selected = sites_->currentItem();
    if (!selected || !selected->isSelected()) {
        return;
    }
    if (!prefs_.RemoveLine(ChosenProfile() + "," + Text(selected->text()))) {
        platform::MessageBox("There is a problem with your user preference file.  You will not be "
                             "able to\nremove popup blocker settings until you log out and log "
                             "back in.",
                             kPrefsErrorCaption, platform::MB_ICONERROR);
        return;
    }
    RefreshSites();
}

void CPopupSettingsDlg::paintEvent(QPaintEvent*) {
    if (!skin_.isNull()) {
        QPainter(this).drawImage(0, 0, skin_);
    }
}

// The top strip acts as the caption: it drags the window.
void CPopupSettingsDlg::mousePressEvent(QMouseEvent* event) {
    dragging_ = event->button() == Qt::LeftButton && kCaption.contains(event->position().toPoint());
    dragFrom_ = event->globalPosition().toPoint() - pos();
    QDialog::mousePressEvent(event);
}

void CPopupSettingsDlg::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_) {
        move(event->globalPosition().toPoint() - dragFrom_);
    }
    QDialog::mouseMoveEvent(event);
}

void CPopupSettingsDlg::mouseReleaseEvent(QMouseEvent* event) {
    QPoint at = event->position().toPoint();
    bool wasDragging = dragging_;
    dragging_ = false;
    if (event->button() == Qt::LeftButton && !wasDragging) {
        if (kAddButton.contains(at)) {
            OnAdd();
        } else if (kRemoveButton.contains(at)) {
            OnRemove();
        } else if (kOkButton.contains(at)) {
            accept();
        } else if (kCancelButton.contains(at) || kCloseMark.contains(at)) {
            reject();
        }
    }
    QDialog::mouseReleaseEvent(event);
}
