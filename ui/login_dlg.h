#pragma once
// The login window: a frameless dialog skinned with Dir/resources/login.bmp and
// cut to the bitmap's outline (magenta is transparent). A name box that lists
// and completes the saved user names, a password box, a remember box, and two
// buttons painted in the bitmap: OK logs in against the account server and
// saves the profile, Cancel closes.

#include <QDialog>
#include <QImage>

#include <string>

class QCheckBox;
class QComboBox;
class QCompleter;
class QLineEdit;

// Areas of the skin, in client pixels (right and bottom edges excluded).
inline const QRect kCaptionStrip(0, 0, 355, 24);
inline const QRect kOkButton(100, 113, 65, 24);
inline const QRect kCancelButton(185, 113, 65, 24);

class CLoginDlg : public QDialog {
  public:
    explicit CLoginDlg(QWidget* parent = nullptr);

    // The verified login answer after OK.
    const std::string& LoginAnswer() const { return loginAnswer_; }
    const std::string& RememberedName() const { return rememberedName_; }
    bool HasOutline() const { return !mask().isEmpty(); }

    QComboBox* NameBox() const { return nameBox_; }
    QLineEdit* PasswordBox() const { return passwordBox_; }
    QCheckBox* RememberBox() const { return rememberBox_; }
    // The dropped-down list of saved names that completion shows.
    QCompleter* NameList() const { return nameList_; }

    // The dialog log-in of the OK button: post, verify, save, close with OK;
    // on failure "Login Error" and the dialog stays open.
    void OnOK();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void LoadSkin();
    void CreateControls();
    void CreateNameList();
    void CompleteName(const QString& typed);
    void DropNameListDown(int row);
    void AcceptListedName(const QString& name);
    void UpdateRememberBox();

    QImage skin_;
    QComboBox* nameBox_ = nullptr;
    QLineEdit* passwordBox_ = nullptr;
    QCheckBox* rememberBox_ = nullptr;
    QCompleter* nameList_ = nullptr;
    std::string loginAnswer_;
    std::string rememberedName_;
    bool completeNames_ = true;
    bool dragging_ = false;
    QPoint dragOffset_;
};

// The log-in of CUser::Login: the remembered member silently when allowed and
// accepted, otherwise the dialog. True with a verified answer.
bool RunLoginDialog(bool allowSavedProfile, std::string& answer);
