// The update checker's window (dialog 101): the status line (1000), the label (1003) and the
// installed version (1001), 250 by 81 dialog units in 10-point "돋움". Enter, Escape and the
// close box end the check; the outcome is shown in message boxes captioned "Version Check".
#ifndef UPCHECK_UPCHECK_DLG_H
#define UPCHECK_UPCHECK_DLG_H

#include <QDialog>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <memory>

#include "upcheck/build_variant.h"
#include "upcheck/version_check.h"

class QLabel;

namespace koru::upcheck {

// Timer 100 as a QTimer.
class QtPollTimer : public PollTimer {
  public:
    void Start(int period_ms, std::function<void()> tick) override;
    void Stop() override { timer_.stop(); }

  private:
    QTimer timer_;
};

class UpcheckDlg : public QDialog, public VersionCheckView {
    Q_OBJECT

  public:
    // The texts are in the build's language; timer: the poll timer (a QtPollTimer when null).
    UpcheckDlg(const BuildVariant& variant, VersionCheck::Setup setup, PollTimer* timer = nullptr,
               QWidget* parent = nullptr);
    ~UpcheckDlg() override;

    // Starts the check (once the event loop runs: its outcome may end the program at once).
    void StartCheck();
    VersionCheck& check() { return *check_; }

    // How URLs are opened (QDesktopServices::openUrl unless replaced).
    void SetUrlOpener(std::function<bool(const QUrl&)> opener) { open_url_ = std::move(opener); }

    // VersionCheckView
    void SetStatusText(const std::string& text) override;
    void ShowMessage(Icon icon, const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
    bool OpenUrl(const std::string& url) override;
    void End() override;

    void done(int result) override;

  signals:
    // The check is over; the program ends.
    void ended();

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void SizeInDialogUnits(int width, int height);

    Language language_;
    std::unique_ptr<QtPollTimer> own_timer_;
    QLabel* status_ = nullptr;
    QLabel* version_label_ = nullptr;
    QLabel* version_ = nullptr;
    std::function<bool(const QUrl&)> open_url_;
    std::unique_ptr<VersionCheck> check_;
    bool ending_ = false;
};

}  // namespace koru::upcheck

#endif
