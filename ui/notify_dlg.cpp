#include "ui/notify_dlg.h"

#include "platform/qt/window_hints.h"
#include "ui/desktop_notifications.h"
#include "ui/notify_placement.h"
#include "ui/notify_record.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QScreen>
#include <QTextBrowser>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr platform::UINT_PTR kDisplayTimer = 2;

// A top-level window with the notification caption exists (shown).
bool NotificationWindowExists() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->windowTitle() == kNotifyCaption) {
            return true;
        }
    }
    return false;
}

RECT ToRect(const QRect& r) {
    return RECT{r.left(), r.top(), r.right() + 1, r.bottom() + 1};
}

// The window can sit by the taskbar: the platform lets programs place their
// windows and the desktop keeps a taskbar strip out of the work area.
bool WindowCanBePlaced() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen || QGuiApplication::platformName().startsWith("wayland")) {
        return false;
    }
    return TaskbarRect(ToRect(screen->geometry()), ToRect(screen->availableGeometry())) !=
           RECT{0, 0, 0, 0};
}

RECT PlacementOnPrimaryScreen() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        return NotifyPlacement(RECT{0, 0, 0, 0}, kNotifyWidth, kNotifyHeight);
    }
    RECT whole = ToRect(screen->geometry());
    return NotifyPlacement(TaskbarRect(whole, ToRect(screen->availableGeometry())),
                           whole.right - whole.left, whole.bottom - whole.top);
}

} // namespace

// The dialog window: the caption's close box ends the display like the timer.
// Its whole outer frame, caption and borders included, fills the placement
// rectangle: once the window manager has framed it, the client area shrinks
// by the frame's margins.
class CNotifyDlg::NotifyWindow : public QDialog {
  public:
    NotifyWindow(CNotifyDlg* owner, const QRect& place)
        : QDialog(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                               Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                               Qt::WindowSystemMenuHint),
          owner_(owner), place_(place) {
        setGeometry(place);
    }

    void Detach() { owner_ = nullptr; }

  protected:
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        if (owner_) {
            owner_->EndDisplay();
        }
    }
    void showEvent(QShowEvent* event) override {
        platform::MarkWithoutMinimiseAndMaximise(*this);
        QDialog::showEvent(event);
        // The frame's margins are known once the window manager has framed it.
        for (int ms : {50, 200, 600}) {
            QTimer::singleShot(ms, this, [this] { FitFrame(); });
        }
    }
    void moveEvent(QMoveEvent* event) override {
        QDialog::moveEvent(event);
        FitFrame();
    }
    void resizeEvent(QResizeEvent* event) override {
        QDialog::resizeEvent(event);
        for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            child->setGeometry(rect());
        }
        FitFrame();
    }

  private:
    void FitFrame() {
        QRect frame = frameGeometry();
        QRect client = geometry();
        QRect wanted =
            place_.adjusted(client.left() - frame.left(), client.top() - frame.top(),
                            client.right() - frame.right(), client.bottom() - frame.bottom());
        if (isVisible() && wanted.isValid() && client != wanted) {
            setFixedSize(wanted.size());
            setGeometry(wanted);
        }
    }

    CNotifyDlg* owner_;
    QRect place_;
};

CNotifyDlg::CNotifyDlg() = default;

CNotifyDlg::~CNotifyDlg() {
    if (timer_) {
        platform::Timers().KillTimer(timer_);
    }
    delete window_;
}

QDialog* CNotifyDlg::Window() const {
    return window_;
}

std::string CNotifyDlg::BuildPage(const std::string& html) {
    return "<html>"
           "<body topmargin=\"0\" leftmargin=\"0\" OnContextMenu=\"return false\" Scroll=\"no\">"
           "<div align=\"left\">"
           "<table border=\"0\" width=\"190\" cellpadding=\"0\" cellspacing=\"0\">"
           "<tr>"
           "<td align=\"center\" width=\"190\" height=\"50\">"
           "<p align=\"center\"><font face=\"Verdana, Arial\" size=\"1\">" +
           html +
           "</font></p>"
           "</td></tr></table></div></body></html>";
}

void CNotifyDlg::Show(unsigned displayMs, const std::string& html) {
    RecordNotification(displayMs, html);
    Display(displayMs, html);
}

void CNotifyDlg::Display(unsigned displayMs, const std::string& html) {
    if (NotificationWindowExists() || desktopShowing_) {
        char time[16];
        std::snprintf(time, sizeof time, "%u", displayMs);
        queue_.push_back(html + "|" + time);
        return;
    }
    ++shown_;
    if (!WindowCanBePlaced() && DisplayByDesktop(displayMs, html)) {
        return;
    }
    Create();
    window_->show();
    browser_->clear(); // the blank page, then the message's page written into it
    browser_->setHtml(QString::fromLocal8Bit(BuildPage(html).c_str()));
    if (displayMs != 0) {
        timer_ = platform::Timers().SetTimer(kDisplayTimer, displayMs, [this] { EndDisplay(); });
    }
}

void CNotifyDlg::Create() {
    RECT place = PlacementOnPrimaryScreen();
    window_ = new NotifyWindow(
        this, QRect(place.left, place.top, place.right - place.left, place.bottom - place.top));
    window_->setWindowTitle(kNotifyCaption);
    browser_ = new QTextBrowser(window_);
    browser_->setContextMenuPolicy(Qt::NoContextMenu);
    browser_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    browser_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    browser_->setFrameShape(QFrame::NoFrame);
    browser_->setOpenLinks(false);
    browser_->setGeometry(window_->rect());
}

// The message goes to the desktop's notification service, which lets it
// expire after the display time; the next queued message follows when the
// service reports it closed, or when the display time is over.
bool CNotifyDlg::DisplayByDesktop(unsigned displayMs, const std::string& html) {
    if (!CDesktopNotifications::Available()) {
        return false;
    }
    if (!desktop_) {
        desktop_ = std::make_unique<CDesktopNotifications>();
    }
    unsigned shown = shown_;
    auto end = [this, shown] {
        if (desktopShowing_ && shown == shown_) {
            EndDisplay();
        }
    };
    if (!desktop_->Send(html, displayMs, end)) {
        return false;
    }
    desktopShowing_ = true;
    if (displayMs != 0) {
        timer_ = platform::Timers().SetTimer(kDisplayTimer, displayMs, end);
    }
    return true;
}

void CNotifyDlg::EndDisplay() {
    desktopShowing_ = false;
    if (timer_) {
        platform::Timers().KillTimer(timer_);
        timer_ = 0;
    }
    if (window_) {
        // The window may be in its own event handler (close box): hide it now,
        // free it when control is back in the event loop.
        window_->Detach();
        window_->hide();
        window_->deleteLater();
        window_ = nullptr;
        browser_ = nullptr;
    }
    if (queue_.empty()) {
        return;
    }
    std::string entry = queue_.front();
    queue_.pop_front();
    std::string::size_type bar = entry.find('|');
    std::string message = entry.substr(0, bar);
    unsigned displayMs =
        bar == std::string::npos
            ? 0
            : static_cast<unsigned>(std::strtoul(entry.c_str() + bar + 1, nullptr, 10));
    Display(displayMs, message);
}
