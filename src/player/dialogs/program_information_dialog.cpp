#include "player/dialogs/program_information_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QPixmap>
#include <QPushButton>

#include "m4systems/folders.h"
#include "player/dialogs/program_information.h"

namespace koru::player {

namespace {

constexpr int kIconSize = 48;

}  // namespace

ProgramInformationDlg::ProgramInformationDlg(QWidget* parent, int language)
    : KeyReleaseDialog(parent) {
    setObjectName("ProgramInformationDlg");
    setWindowTitle(kProgramInformationTitle.Q(language));
    auto* layout = new QGridLayout(this);
    const QPixmap icon(QString::fromStdString(ProgramFolder() + "/koru-dmb.png"));
    if (!icon.isNull()) {
        auto* picture = new QLabel;
        picture->setPixmap(
            icon.scaled(kIconSize, kIconSize, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        layout->addWidget(picture, 0, 0, 2, 1, Qt::AlignTop);
    }
    auto* product = new QLabel(kProductLine.Q(language));
    QFont bold = product->font();
    bold.setBold(true);
    product->setFont(bold);
    version_ = new QLabel(QString::fromStdString(VersionLine(language)));
    version_->setObjectName("version");
    layout->addWidget(product, 0, 1);
    layout->addWidget(version_, 1, 1);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(kOkText.Q(language), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QString::number(control::kDialogOk));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(buttons, 2, 0, 1, 2);
    layout->setHorizontalSpacing(16);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace koru::player
