#include "upcheck/upcheck_dlg.h"

#include <QDesktopServices>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

namespace koru::upcheck {

namespace {

constexpr int kWidthDu = 250;
constexpr int kHeightDu = 81;

QLabel* AddLabel(QWidget* parent, const char* name, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// The Korean builds label the buttons in Korean as well.
void LabelButtons(QMessageBox& box, Language language) {
    if (language != Language::kKorean) return;
    const std::pair<QMessageBox::StandardButton, const char*> labels[] = {
        {QMessageBox::Ok, "확인"}, {QMessageBox::Yes, "예(&Y)"}, {QMessageBox::No, "아니요(&N)"}};
    for (const auto& [which, label] : labels) {
        if (QAbstractButton* button = box.button(which)) button->setText(QString::fromUtf8(label));
    }
}

}  // namespace

void QtPollTimer::Start(int period_ms, std::function<void()> tick) {
    timer_.disconnect();
    QObject::connect(&timer_, &QTimer::timeout, std::move(tick));
    timer_.start(period_ms);
}

UpcheckDlg::UpcheckDlg(const BuildVariant& variant, VersionCheck::Setup setup, PollTimer* timer,
                       QWidget* parent)
    : QDialog(parent),
      language_(variant.language),
      open_url_([](const QUrl& url) { return QDesktopServices::openUrl(url); }) {
    setWindowTitle(QString::fromUtf8(variant.caption));
    setFont(QFont("돋움", 10));
    status_ = AddLabel(this, "status_1000", QString::fromStdString(StatusText(variant.language)));
    status_->setWordWrap(true);
    version_label_ =
        AddLabel(this, "label_1003", QString::fromStdString(VersionLabel(variant.language)));
    version_ = AddLabel(this, "version_1001", QString::fromStdString(setup.current_version));

    auto* version_row = new QHBoxLayout;
    version_row->addWidget(version_label_);
    version_row->addWidget(version_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(status_, 1);
    layout->addLayout(version_row);
    SizeInDialogUnits(kWidthDu, kHeightDu);

    if (timer == nullptr) {
        own_timer_ = std::make_unique<QtPollTimer>();
        timer = own_timer_.get();
    }
    setup.language = variant.language;
    check_ = std::make_unique<VersionCheck>(std::move(setup), *this, *timer);
}

UpcheckDlg::~UpcheckDlg() {
    // Before the timer it uses.
    check_.reset();
}

// A dialog unit is a quarter of the font's average character width and an eighth of its height.
void UpcheckDlg::SizeInDialogUnits(int width, int height) {
    const QFontMetrics metrics(font());
    const int average =
        (metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 26 +
         1) /
        2;
    setFixedSize(width * average / 4, height * metrics.height() / 8);
}

void UpcheckDlg::StartCheck() {
    check_->Start();
}

void UpcheckDlg::SetStatusText(const std::string& text) {
    status_->setText(QString::fromStdString(text));
}

void UpcheckDlg::ShowMessage(Icon icon, const std::string& text) {
    QMessageBox box(icon == Icon::kWarning ? QMessageBox::Warning : QMessageBox::Information,
                    kBoxCaption, QString::fromStdString(text), QMessageBox::Ok, this);
    // The texts hold what the server sent: never rich text.
    box.setTextFormat(Qt::PlainText);
    LabelButtons(box, language_);
    box.exec();
}

bool UpcheckDlg::AskYesNo(const std::string& text) {
    QMessageBox box(QMessageBox::Question, kBoxCaption, QString::fromStdString(text),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    LabelButtons(box, language_);
    return box.exec() == QMessageBox::Yes;
}

bool UpcheckDlg::OpenUrl(const std::string& url) {
    const QUrl parsed(QString::fromStdString(url), QUrl::StrictMode);
    return parsed.isValid() && open_url_(parsed);
}

void UpcheckDlg::End() {
    if (ending_) return;
    ending_ = true;
    hide();
    emit ended();
}

// OK and Cancel (Enter, Escape, the close box) end the check.
void UpcheckDlg::done(int result) {
    QDialog::done(result);
    check_->Close();
}

void UpcheckDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace koru::upcheck
