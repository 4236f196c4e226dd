#include "ui/login_dlg.h"

#include "account/answer_field.h"
#include "account/saved_profiles.h"
#include "common/text.h"
#include "platform/qt/message_box.h"
#include "service/app.h"
#include "ui/bitmap_region.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QScreen>

#include <algorithm>

namespace {

constexpr QRgb kMagenta = 0xff00ff;
// The template's 272 by 107 dialog units at the usual 8-point font.
constexpr QSize kDefaultSize(408, 174);

std::string Text(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

} // namespace

CLoginDlg::CLoginDlg(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
    setObjectName("CLoginDlg");
    LoadSkin();
    CreateControls();
    std::string password;
    ReadRememberedMember(rememberedName_, password);
    std::vector<std::string> names = SavedUserNames();
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return qm::CompareNoCase(a, b) < 0;
    });
    for (const std::string& name : names) {
        nameBox_->addItem(QString::fromLocal8Bit(name.c_str()));
    }
    nameBox_->setCurrentIndex(-1);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    nameBox_->setFocus();
}

void CLoginDlg::LoadSkin() {
    CPCAppApp* app = CPCAppApp::Current();
    if (app) {
        skin_.load(QString::fromLocal8Bit((app->InstallFolder() + "/resources/login.bmp").c_str()));
    }
    ShapeToSkin(*this, skin_, kMagenta);
    setFixedSize(skin_.isNull() ? kDefaultSize : skin_.size());
}

void CLoginDlg::CreateControls() {
    nameBox_ = new QComboBox(this);
    nameBox_->setObjectName("name");
    nameBox_->setEditable(true);
    nameBox_->setInsertPolicy(QComboBox::NoInsert); // the list is sorted when filled
    nameBox_->setCompleter(nullptr);
    nameBox_->setGeometry(130, 39, 159, 20);
    passwordBox_ = new QLineEdit(this);
    passwordBox_->setObjectName("password");
    passwordBox_->setEchoMode(QLineEdit::Password);
    passwordBox_->setGeometry(130, 67, 159, 20);
    rememberBox_ = new QCheckBox(this);
    rememberBox_->setObjectName("remember");
    rememberBox_->setGeometry(130, 91, 13, 13);

    nameBox_->lineEdit()->installEventFilter(this);
    passwordBox_->installEventFilter(this);
    rememberBox_->installEventFilter(this);
    connect(nameBox_->lineEdit(), &QLineEdit::textEdited, this,
            [this](const QString& typed) { CompleteName(typed); });
    CreateNameList();
    connect(nameBox_, &QComboBox::activated, this, [this] {
        nameList_->popup()->hide(); // the box's own list was chosen from
        UpdateRememberBox();
    });
    connect(rememberBox_, &QCheckBox::clicked, this, [](bool ticked) {
        if (!ticked) {
            ForgetRememberedMember();
        }
    });
}

// The saved names dropped down below the name box while a typed name is being
// completed. Typing goes on in the name box: the list hands every key it does
// not use to it, after the dialog's filter has seen the key.
void CLoginDlg::CreateNameList() {
    nameList_ = new QCompleter(nameBox_->model(), this);
    nameList_->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
    nameList_->setWidget(nameBox_->lineEdit());
    nameList_->popup()->setCursor(Qt::ArrowCursor);
    nameList_->popup()->installEventFilter(this);
    connect(nameList_, qOverload<const QString&>(&QCompleter::activated), this,
            [this](const QString& name) { AcceptListedName(name); });
}

void CLoginDlg::DropNameListDown(int row) {
    nameList_->complete();
    nameList_->popup()->setCurrentIndex(nameList_->completionModel()->index(row, 0));
}

void CLoginDlg::AcceptListedName(const QString& name) {
    nameBox_->setCurrentIndex(nameBox_->findText(name, Qt::MatchExactly));
    nameBox_->lineEdit()->setText(name);
    UpdateRememberBox();
}

// Completes the typed text to the first saved name that begins with it and
// selects the completed part, unless the member is editing inside the text.
void CLoginDlg::CompleteName(const QString& typed) {
    if (completeNames_) {
        QLineEdit* edit = nameBox_->lineEdit();
        int cursor = edit->cursorPosition();
        int n = int(typed.size());
        int found = n == 0 ? -1 : nameBox_->findText(typed, Qt::MatchStartsWith);
        if (found < 0) {
            nameList_->popup()->hide();
            edit->setText(typed);
            edit->setCursorPosition(cursor);
        } else {
            DropNameListDown(found);
            edit->setText(nameBox_->itemText(found));
            if (cursor < n) {
                edit->setCursorPosition(cursor);
            } else {
                edit->setSelection(n, int(edit->text().size()) - n);
            }
        }
    }
    UpdateRememberBox();
}

// While the list is down, its selected name counts; otherwise the typed one.
void CLoginDlg::UpdateRememberBox() {
    QModelIndex listed = nameList_->popup()->currentIndex();
    QString name = nameList_->popup()->isVisible() && listed.isValid() ? listed.data().toString()
                                                                       : nameBox_->currentText();
    rememberBox_->setChecked(!rememberedName_.empty() && Text(name) == rememberedName_);
}

bool CLoginDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        int key = static_cast<QKeyEvent*>(event)->key();
        completeNames_ = key != Qt::Key_Delete && key != Qt::Key_Backspace;
    }
    return QDialog::eventFilter(watched, event);
}

void CLoginDlg::OnOK() {
    std::string user = Text(nameBox_->currentText());
    std::string password = Text(passwordBox_->text());
    QApplication::setOverrideCursor(Qt::WaitCursor);
    bool verified = PostLogin(user, password, loginAnswer_);
    QApplication::restoreOverrideCursor();
    if (verified) {
        SaveProfile(user, password, rememberBox_->isChecked());
        QDialog::accept();
        return;
    }
    std::string response = GetAnswerField(loginAnswer_, "|response|");
    platform::MessageBox("Error: " + (response.empty() ? response : response.substr(1)),
                         "Login Error", platform::MB_OK);
}

void CLoginDlg::paintEvent(QPaintEvent*) {
    if (!skin_.isNull()) {
        QPainter(this).drawImage(0, 0, skin_);
    }
}

void CLoginDlg::mousePressEvent(QMouseEvent* event) {
    dragging_ = event->button() == Qt::LeftButton && kCaptionStrip.contains(event->pos());
    dragOffset_ = event->pos();
}

void CLoginDlg::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_) {
        move(event->globalPosition().toPoint() - dragOffset_);
    }
}

void CLoginDlg::mouseReleaseEvent(QMouseEvent* event) {
    dragging_ = false;
    if (event->button() != Qt::LeftButton) {
        return;
    }
    if (kOkButton.contains(event->pos())) {
        OnOK();
    } else if (kCancelButton.contains(event->pos())) {
        reject();
    }
}

void CLoginDlg::keyPressEvent(QKeyEvent* event) {
    completeNames_ = true;
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        OnOK();
        return;
    }
    QDialog::keyPressEvent(event); // Escape cancels
}

bool RunLoginDialog(bool allowSavedProfile, std::string& answer) {
    std::string user;
    std::string password;
    if (allowSavedProfile && ReadRememberedMember(user, password) &&
        PostLogin(user, password, answer)) {
        return true;
    }
    answer.clear();
    int result = platform::RunDialog([] { return std::make_unique<CLoginDlg>(); },
                                     [&](QDialog& dialog, int code) {
                                         if (code == QDialog::Accepted) {
                                             answer = static_cast<CLoginDlg&>(dialog).LoginAnswer();
                                         }
                                     });
    return result == QDialog::Accepted && !answer.empty();
}
